#include "win32/wide_text.h"

#include <windows.h>

namespace wide {

std::wstring fromUtf8(const std::string &text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(), length);
    return result;
}

std::string toUtf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), length, nullptr, nullptr);
    return result;
}

std::string errorText(unsigned long code)
{
    // The system's own messages come in the system's language; these are the ones a user of a
    // serial port meets.
    const char *reason = nullptr;
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        reason = "não existe";
        break;
    case ERROR_ACCESS_DENIED:
        reason = "acesso negado";
        break;
    case ERROR_SHARING_VIOLATION:
        reason = "em uso por outro programa";
        break;
    case ERROR_WRITE_PROTECT:
        reason = "protegido contra gravação";
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        reason = "disco cheio";
        break;
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BROKEN_PIPE:
        reason = "o dispositivo não responde ou foi removido";
        break;
    default:
        reason = "falhou";
    }
    return std::string(reason) + " (erro " + std::to_string(code) + " do Windows)";
}

std::wstring executableFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return L".";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2); // a long path, cut short: ask again with room
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

} // namespace wide
