#include "win32/win32_standard_streams.h"

#include "win32/wide_text.h"

#include <windows.h>

#include <algorithm>

namespace {

struct PendingWrite
{
    HANDLE handle;
    std::string bytes;
    bool ok = false;
};

DWORD WINAPI writeAll(void *argument)
{
    auto *pending = static_cast<PendingWrite *>(argument);
    std::size_t done = 0;
    while (done < pending->bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(pending->handle, pending->bytes.data() + done,
                       DWORD(pending->bytes.size() - done), &written, nullptr))
            return 0;
        done += written;
    }
    pending->ok = true;
    return 0;
}

// WriteFile on a pipe nobody reads blocks; it runs on a thread of its own, waited for until the
// run's deadline.
bool writeBounded(HANDLE handle, std::string bytes, StreamDeadline &deadline)
{
    const auto until = deadline.next();
    auto *pending = new PendingWrite{handle, std::move(bytes)};
    const HANDLE thread = CreateThread(nullptr, 0, writeAll, pending, 0, nullptr);
    if (!thread) {
        delete pending;
        return false;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - StreamDeadline::Clock::now());
    if (WaitForSingleObject(thread, DWORD(std::max<long long>(left.count(), 0))) != WAIT_OBJECT_0) {
        CancelSynchronousIo(thread);
        if (WaitForSingleObject(thread, 100) != WAIT_OBJECT_0) {
            CloseHandle(thread);
            return false; // still stuck: its buffer is left to it, the process ends soon anyway
        }
    }
    CloseHandle(thread);
    const bool ok = pending->ok;
    delete pending;
    return ok;
}

HANDLE standardHandle(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

std::string withCrLf(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

bool writeText(DWORD which, const std::string &utf8, StreamDeadline &deadline)
{
    const HANDLE handle = standardHandle(which);
    if (!handle)
        return true; // nobody to tell: not a failure
    const std::wstring text = wide::fromUtf8(withCrLf(utf8));
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        return WriteConsoleW(handle, text.data(), DWORD(text.size()), &written, nullptr);
    }
    // Files and pipes get the ANSI code page, as Notepad and "type" read them.
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(std::size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return writeBounded(handle, std::move(bytes), deadline);
}

} // namespace

void Win32StandardStreams::writeOut(const std::string &bytes)
{
    const HANDLE handle = standardHandle(STD_OUTPUT_HANDLE);
    if (!handle)
        return;
    // The answer's own bytes stay as they came; only the line's end is Windows'.
    std::string line = bytes;
    if (line.size() >= 1 && line.back() == '\n' &&
        (line.size() == 1 || line[line.size() - 2] != '\r'))
        line.insert(line.size() - 1, 1, '\r');
    writeBounded(handle, std::move(line), m_deadline);
}

void Win32StandardStreams::writeErr(const std::string &text)
{
    borrowParentConsole(false);
    writeText(STD_ERROR_HANDLE, text, m_deadline);
}

bool Win32StandardStreams::writeOutText(const std::string &text)
{
    return writeText(STD_OUTPUT_HANDLE, text, m_deadline);
}

void Win32StandardStreams::borrowParentConsole(bool output)
{
    const bool out = output && !standardHandle(STD_OUTPUT_HANDLE);
    const bool err = !standardHandle(STD_ERROR_HANDLE);
    if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    const HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE)
        return;
    if (out)
        SetStdHandle(STD_OUTPUT_HANDLE, console);
    if (err)
        SetStdHandle(STD_ERROR_HANDLE, console);
}
