#include "reply_log_file.h"

#include "wide_text.h"

#include <windows.h>

namespace {

const wchar_t kTempPattern[] = L".log.txt.*.tmp";

} // namespace

ReplyLogFile::ReplyLogFile(std::wstring folder)
    : m_folder(std::move(folder)), m_path(m_folder + L"\\log.txt")
{
}

bool ReplyLogFile::fail(const char *what, unsigned long code)
{
    m_error = "não foi possível " + std::string(what) + " " + wide::toUtf8(m_path) + ": " +
              wide::errorText(code);
    return false;
}

// Temporary files of writers that were killed half way. One whose writer still runs is open
// without delete sharing, so Windows refuses to remove it.
void ReplyLogFile::removeLeftovers() const
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((m_folder + L"\\" + kTempPattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((m_folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A reader that keeps log.txt open (without delete sharing) forbids its replacement, but may let
// it be written: the new line goes over the old one and only then is the file cut to length, so
// it is never empty.
bool ReplyLogFile::writeInPlace(const std::string &line)
{
    // FILE_FLAG_OPEN_REPARSE_POINT: a link planted as log.txt is not followed.
    const HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD written = 0;
    const bool ok = GetFileInformationByHandle(file, &info) &&
                    !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                    WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr) &&
                    written == line.size() && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

bool ReplyLogFile::write(const std::string &text)
{
    if (!m_leftoversChecked) {
        m_leftoversChecked = true;
        removeLeftovers();
    }
    static unsigned serial = 0;
    const std::wstring temp = m_folder + L"\\.log.txt." + std::to_wstring(GetCurrentProcessId()) +
                              L"." + std::to_wstring(++serial) + L".tmp";
    // CREATE_NEW: never a file (or a link) someone else put there.
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail("gravar", GetLastError());
    const std::string line = text + "\r\n";
    DWORD written = 0;
    const bool ok = WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr) &&
                    written == line.size();
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(temp.c_str());
        return fail("gravar", writeError);
    }
    // A reader that has log.txt open without delete sharing holds it for a moment: try again
    // a few times, some 300 ms in all, before giving up.
    for (DWORD attempt = 0;; ++attempt) {
        if (MoveFileExW(temp.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING))
            return true;
        const DWORD code = GetLastError();
        if (attempt == 5 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)) {
            DeleteFileW(temp.c_str());
            return writeInPlace(line) || fail("substituir", code);
        }
        Sleep(20 * (attempt + 1));
    }
}
