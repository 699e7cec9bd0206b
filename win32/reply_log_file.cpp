#include "win32/reply_log_file.h"

#include "win32/wide_text.h"

#include <windows.h>

namespace {

const wchar_t kTempPrefix[] = L".log.txt.";

// Whether the process that wrote a temporary file (".log.txt.PID.N.tmp") may still be at work:
// between closing it and replacing log.txt with it, a writer retries for a while. None of this
// process's own is there before its first write: such a file is a dead one's, whose PID we got.
bool writerRuns(const std::wstring &name)
{
    const DWORD pid = wcstoul(name.c_str() + std::size(kTempPrefix) - 1, nullptr, 10);
    if (pid == 0 || pid == GetCurrentProcessId())
        return false;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED; // another user's: it runs
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

} // namespace

ReplyLogFile::ReplyLogFile(const std::string &folder)
    : m_folder(wide::fromUtf8(folder)), m_path(m_folder + L"\\log.txt")
{
}

ReplyLogFile ReplyLogFile::besideExecutable()
{
    return ReplyLogFile(wide::toUtf8(wide::executableFolder()));
}

std::string ReplyLogFile::path() const
{
    return wide::toUtf8(m_path);
}

// What failed, and what mends it where that can be told.
bool ReplyLogFile::fail(const char *what, unsigned long code)
{
    m_error = "não foi possível " + std::string(what) + " " + path() + ": " + wide::errorText(code);
    if (code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT)
        m_error += "; guarde o Comutel.exe numa pasta onde você possa gravar";
    else if (code == ERROR_SHARING_VIOLATION)
        m_error += "; feche o programa que o mantém aberto";
    return false;
}

// Temporary files of writers that were killed half way.
void ReplyLogFile::removeLeftovers() const
{
    WIN32_FIND_DATAW found;
    const HANDLE search =
        FindFirstFileW((m_folder + L"\\" + kTempPrefix + L"*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !writerRuns(found.cFileName))
            DeleteFileW((m_folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A reader that keeps log.txt open (without delete sharing) forbids its replacement, but may let
// it be written: the new line goes over the old one and only then is the file cut to length, so
// it is never empty. Never through a link: a second name would lead to someone else's file.
bool ReplyLogFile::writeInPlace(const std::string &line, unsigned long replaceError)
{
    // FILE_FLAG_OPEN_REPARSE_POINT: a link planted as log.txt is not followed.
    const HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) // why in place failed tells more than why replacing did
        return fail("substituir", GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = GetFileInformationByHandle(file, &info) &&
                       !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (plain && info.nNumberOfLinks > 1) {
        CloseHandle(file);
        m_error = "não foi possível gravar " + path() +
                  ": está aberto por outro programa e tem um segundo nome (vínculo físico); "
                  "gravá-lo mudaria outro arquivo: apague o log.txt";
        return false;
    }
    DWORD written = 0;
    const bool ok = plain && WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr) &&
                    written == line.size() && SetEndOfFile(file);
    CloseHandle(file);
    return ok || fail("substituir", replaceError);
}

bool ReplyLogFile::write(const std::string &text)
{
    if (!m_leftoversChecked) {
        m_leftoversChecked = true;
        removeLeftovers();
    }
    static unsigned serial = 0;
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD code = ERROR_FILE_EXISTS;
    // CREATE_NEW: never a file (or a link) someone else put there. A name taken already (left
    // by a dead process that had our PID, or put there) is passed over for the next.
    for (int attempt = 0; file == INVALID_HANDLE_VALUE && code == ERROR_FILE_EXISTS && attempt < 64;
         ++attempt) {
        temp = m_folder + L"\\" + kTempPrefix + std::to_wstring(GetCurrentProcessId()) + L"." +
               std::to_wstring(++serial) + L".tmp";
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        code = GetLastError();
    }
    if (file == INVALID_HANDLE_VALUE)
        return fail("gravar", code);
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
        const DWORD replaceError = GetLastError();
        if (attempt == 5 ||
            (replaceError != ERROR_ACCESS_DENIED && replaceError != ERROR_SHARING_VIOLATION)) {
            DeleteFileW(temp.c_str());
            return writeInPlace(line, replaceError);
        }
        Sleep(20 * (attempt + 1));
    }
}
