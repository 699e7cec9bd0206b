// The serial port on the Win32 communications API: \\.\COMn opened exclusively and overlapped,
// the fixed line settings on its DCB, and one overlapped read always pending, whose event the
// loop waits on: the port's time-outs make it complete as soon as a byte is there, with all that
// is there, so received bytes reach the controller on the loop's thread. (Under Wine an
// overlapped WaitCommEvent on a pseudo-terminal is aborted at once, every time.) A port whose
// device goes away (a USB adapter pulled out) closes itself and says comEvPortLost.
#pragma once

#include "core/comm_port.h"
#include "win32/handle_watcher.h"

#include <windows.h>

#include <functional>
#include <string>

class Win32CommPort : public CommPort
{
public:
    // The device a COM number opens; tests point it elsewhere.
    using DevicePath = std::function<std::wstring(int number)>;
    static std::wstring comDevice(int number);

    explicit Win32CommPort(HandleWatcher &watcher, DevicePath devicePath = comDevice);
    ~Win32CommPort() override;
    Win32CommPort(const Win32CommPort &) = delete;
    Win32CommPort &operator=(const Win32CommPort &) = delete;

    bool configure(const CommSettings &settings) override;
    std::string settings() const override { return m_settings.Settings; }
    bool setCommPort(int number) override;
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }
    bool output(const std::string &bytes) override;
    std::string input() override;
    std::string errorString() const override { return m_error; }
    std::string openProblem() const override { return m_openProblem; }

private:
    bool open();
    bool applySettings();
    void close();
    bool startRead();
    void onReadDone();
    bool takeQueued();
    void cancelRead();
    void finishWrite();
    void lose();
    bool fail(const std::string &what, DWORD code);

    HandleWatcher &m_watcher;
    DevicePath m_devicePath;
    CommSettings m_settings;
    DCB m_line{};
    int m_number = 0;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    OVERLAPPED m_readOverlapped{};
    std::string m_reading; // the pending read's buffer
    bool m_readPending = false;
    OVERLAPPED m_writeOverlapped{};
    std::string m_writing; // stays put until its overlapped write has completed
    bool m_writePending = false;
    std::string m_received;
    std::string m_error;
    std::string m_openProblem;
};
