#include "win32/win32_comm_port.h"

#include "core/line_settings.h"
#include "win32/wide_text.h"

std::wstring Win32CommPort::comDevice(int number)
{
    return L"\\\\.\\COM" + std::to_wstring(number);
}

Win32CommPort::Win32CommPort(HandleWatcher &watcher, DevicePath devicePath)
    : m_watcher(watcher), m_devicePath(std::move(devicePath))
{
    m_readOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_writeOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Win32CommPort::~Win32CommPort()
{
    close();
    CloseHandle(m_readOverlapped.hEvent);
    CloseHandle(m_writeOverlapped.hEvent);
}

bool Win32CommPort::configure(const CommSettings &settings)
{
    const std::optional<LineSettings> taken = LineSettings::of(settings, m_error);
    if (!taken)
        return false;
    using L = LineSettings;
    const BYTE parities[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
    const BYTE stopBits[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS}; // as LineSettings' enums
    const bool xonXoff = taken->handshake == L::Handshake::XonXoff ||
                         taken->handshake == L::Handshake::RtsCtsAndXonXoff;
    const bool rtsCts = taken->handshake == L::Handshake::RtsCts ||
                        taken->handshake == L::Handshake::RtsCtsAndXonXoff;
    DCB line{};
    line.DCBlength = sizeof line;
    line.BaudRate = static_cast<DWORD>(taken->baud);
    line.Parity = parities[static_cast<int>(taken->parity)];
    line.fParity = taken->parity != L::Parity::None;
    line.ByteSize = static_cast<BYTE>(taken->dataBits);
    line.StopBits = stopBits[static_cast<int>(taken->stopBits)];
    line.fBinary = TRUE;
    line.fDtrControl = settings.DTREnable ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    line.fRtsControl = rtsCts               ? RTS_CONTROL_HANDSHAKE
                       : settings.RTSEnable ? RTS_CONTROL_ENABLE
                                            : RTS_CONTROL_DISABLE;
    line.fOutxCtsFlow = rtsCts;
    line.fOutX = line.fInX = xonXoff;
    line.fNull = settings.NullDiscard;
    line.fTXContinueOnXoff = TRUE;
    line.XonLim = line.XoffLim = 64;
    line.XonChar = 0x11;
    line.XoffChar = 0x13;
    line.EofChar = settings.EOFEnable ? 26 : 0;
    m_line = line;
    m_settings = settings;
    m_settings.Settings = taken->text();
    return true;
}

bool Win32CommPort::setCommPort(int number)
{
    if (number < 1 || number > 255) {
        m_error = "número de porta fora de COM1 a COM255: " + std::to_string(number);
        return false;
    }
    m_number = number;
    return true;
}

bool Win32CommPort::setPortOpen(bool open)
{
    if (open == portOpen())
        return true;
    if (!open) {
        close();
        return true;
    }
    return this->open();
}

bool Win32CommPort::fail(const std::string &what, DWORD code)
{
    m_error = "COM" + std::to_string(m_number) + ": " + what + ": " + wide::errorText(code);
    return false;
}

bool Win32CommPort::open()
{
    m_openProblem.clear();
    m_received.clear();
    // No sharing: Windows gives a COM port to one program at a time (a busy one fails here).
    m_handle = CreateFileW(m_devicePath(m_number).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        fail("não abriu", code);
        // A number with no device is the search's everyday case, not a problem to report.
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
            m_openProblem =
                code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION
                    ? "COM" + std::to_string(m_number) + " está em uso por outro programa"
                    : m_error;
        return false;
    }
    if (!applySettings() || !startRead()) {
        m_openProblem = m_error;
        close();
        return false;
    }
    return true;
}

bool Win32CommPort::applySettings()
{
    DCB current{};
    current.DCBlength = sizeof current;
    if (!GetCommState(m_handle, &current))
        return fail("não é uma porta serial", GetLastError());
    SetupComm(m_handle, DWORD(m_settings.InBufferSize), DWORD(m_settings.OutBufferSize));
    DCB line = m_line;
    if (!SetCommState(m_handle, &line)) {
        // Some drivers refuse the modem lines; the line itself (and its flow control) is what
        // matters.
        line.fDtrControl = DTR_CONTROL_DISABLE;
        if (line.fRtsControl != RTS_CONTROL_HANDSHAKE)
            line.fRtsControl = RTS_CONTROL_DISABLE;
        if (!SetCommState(m_handle, &line))
            return fail("recusou " + m_settings.Settings, GetLastError());
    }
    // Asked again on their own; where the lines do not exist (a pseudo-terminal under Wine) the
    // calls fail and that is fine.
    if (m_settings.DTREnable)
        EscapeCommFunction(m_handle, SETDTR);
    if (m_settings.RTSEnable && m_line.fRtsControl != RTS_CONTROL_HANDSHAKE) // else the driver's
        EscapeCommFunction(m_handle, SETRTS);
    // A read ends as soon as there is a byte, with everything there is, or empty after a minute;
    // a write may take its time at 300 baud, but not for ever (40 ms a byte is a little more
    // than the line needs).
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 60000, 40, 2000};
    if (!SetCommTimeouts(m_handle, &timeouts))
        return fail("recusou os tempos de espera", GetLastError());
    PurgeComm(m_handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return true;
}

// One read stays pending while the port is open; it ends when bytes arrive (or, with nothing for
// a minute, empty, and is simply started again).
bool Win32CommPort::startRead()
{
    // One byte: Wine ends a read only once its buffer is full; what else is waiting by then is
    // taken at once by takeQueued().
    m_reading.assign(1, '\0');
    ResetEvent(m_readOverlapped.hEvent);
    if (!ReadFile(m_handle, m_reading.data(), DWORD(m_reading.size()), nullptr,
                  &m_readOverlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        return fail("a leitura falhou", GetLastError());
    // Done at once or later, the event is set when it is done, and the loop sees to it.
    m_readPending = true;
    m_watcher.watch(m_readOverlapped.hEvent, [this] { onReadDone(); });
    return true;
}

void Win32CommPort::onReadDone()
{
    DWORD got = 0;
    m_readPending = false;
    m_watcher.unwatch(m_readOverlapped.hEvent);
    if (!GetOverlappedResult(m_handle, &m_readOverlapped, &got, FALSE)) {
        fail("a porta sumiu", GetLastError());
        lose();
        return;
    }
    m_received.append(m_reading.data(), got);
    if (!takeQueued() || !startRead()) {
        lose();
        return;
    }
    if (got > 0)
        notify(comEvReceive);
}

// Everything else the driver holds now; false when the device has gone.
bool Win32CommPort::takeQueued()
{
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(m_handle, &errors, &status))
        return fail("a porta sumiu", GetLastError());
    if (status.cbInQue == 0)
        return true;
    std::string chunk(status.cbInQue, '\0');
    DWORD got = 0;
    if (!ReadFile(m_handle, chunk.data(), DWORD(chunk.size()), nullptr, &m_readOverlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        return fail("a leitura falhou", GetLastError());
    if (!GetOverlappedResult(m_handle, &m_readOverlapped, &got, TRUE))
        return fail("a leitura falhou", GetLastError());
    m_received.append(chunk.data(), got);
    return true;
}

void Win32CommPort::cancelRead()
{
    m_watcher.unwatch(m_readOverlapped.hEvent);
    if (!m_readPending)
        return;
    CancelIoEx(m_handle, &m_readOverlapped);
    DWORD ignored = 0;
    // The buffer and the OVERLAPPED belong to the system until the read has ended.
    GetOverlappedResult(m_handle, &m_readOverlapped, &ignored, TRUE);
    m_readPending = false;
}

std::string Win32CommPort::input()
{
    std::string bytes;
    bytes.swap(m_received);
    return bytes;
}

bool Win32CommPort::output(const std::string &bytes)
{
    if (!portOpen() || bytes.size() > std::size_t(m_settings.OutBufferSize)) {
        m_error = portOpen() ? "comando maior que o buffer de envio" : "a porta está fechada";
        return false;
    }
    finishWrite();
    m_writing = bytes;
    ResetEvent(m_writeOverlapped.hEvent);
    DWORD written = 0;
    if (WriteFile(m_handle, m_writing.data(), DWORD(m_writing.size()), &written,
                  &m_writeOverlapped))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return fail("o envio falhou", GetLastError());
    // Left to go out at the line's pace; close() waits for it.
    m_writePending = true;
    return true;
}

void Win32CommPort::finishWrite()
{
    DWORD written = 0;
    if (m_writePending)
        GetOverlappedResult(m_handle, &m_writeOverlapped, &written, TRUE);
    m_writePending = false;
}

void Win32CommPort::close()
{
    if (!portOpen())
        return;
    // The command must have left before the port is let go.
    finishWrite();
    FlushFileBuffers(m_handle);
    cancelRead();
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

void Win32CommPort::lose()
{
    cancelRead();
    if (m_writePending) {
        CancelIoEx(m_handle, &m_writeOverlapped);
        finishWrite();
    }
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_received.clear();
    notify(comEvPortLost);
}
