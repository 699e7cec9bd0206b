// The serial port as the controller sees it: a handful of fixed settings, a port number,
// open/close, write, read-all and one notification. MainWindow is handed one of these, so a test
// can give it a fake or the real port opened on a pseudo-terminal. Texts are UTF-8; bytes are
// bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Codes carried by the port's notification. Only comEvReceive is the board's classic code; the
// loss of the port (unplugged adapter, hang-up) is ours.
enum CommEvent : int {
    comEvReceive = 2,
    comEvPortLost = 1100,
};

// The line settings, written once before the search starts. Members keep the names the board's
// documentation uses; defaults are the values the program always sets.
struct CommSettings
{
    bool DTREnable = true;
    bool EOFEnable = false;
    int Handshaking = 0; // none
    int InBufferSize = 1024;
    int InputLen = 0;  // a read returns everything waiting
    int InputMode = 1; // binary
    bool NullDiscard = true;
    int OutBufferSize = 512;
    int RThreshold = 1;
    bool RTSEnable = true;
    std::string Settings = "300,n,8,1";
    int SThreshold = 1;
};

class CommPort
{
public:
    virtual ~CommPort() = default;

    // Takes the settings; false (with errorString) when one is not acceptable.
    virtual bool configure(const CommSettings &settings) = 0;
    // The line settings read back, in the form "300,n,8,1".
    virtual std::string settings() const = 0;

    // Selects the port by its COM number; false when no port can have that number.
    virtual bool setCommPort(int number) = 0;
    // Opening fails when the port is missing, busy or not a serial port, leaving it closed.
    // Closing waits until every byte handed to output() has left the port.
    virtual bool setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    // Hands the bytes to the port, all or nothing; false when closed or over OutBufferSize.
    virtual bool output(const std::string &bytes) = 0;
    // Everything received and not yet read; empties the buffer. NUL bytes may be in it: the
    // controller drops them, on every platform.
    virtual std::string input() = 0;

    // Why the last operation failed, one line.
    virtual std::string errorString() const = 0;
    // After a failed open: one line naming the device and why a user could not open it, or
    // empty when there is simply no device with that number.
    virtual std::string openProblem() const = 0;
    // After an open, whether it opened or not: one line for each thing it passed over that a
    // user should hear of (a forged lock file).
    virtual std::vector<std::string> openNotices() const { return {}; }

    // Called on the loop's thread while the port is open: comEvReceive when bytes wait,
    // comEvPortLost just after the port closed itself because it vanished.
    void setCommHandler(std::function<void(CommEvent)> handler) { m_handler = std::move(handler); }

protected:
    void notify(CommEvent event)
    {
        if (m_handler)
            m_handler(event);
    }

private:
    std::function<void(CommEvent)> m_handler;
};
