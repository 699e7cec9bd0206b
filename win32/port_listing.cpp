#include "win32/port_listing.h"

#include "win32/wide_text.h"

#include <windows.h>

#include <cctype>

namespace ports {

namespace {

std::optional<int> comNumberW(const std::wstring &name)
{
    return comNumber(wide::toUtf8(name));
}

// The whole value, however long: one cut short could read as another port's name.
std::wstring environment(const wchar_t *name)
{
    std::wstring value;
    for (DWORD size = 0;;) {
        const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
        if (length < size || length == 0) {
            value.resize(length);
            return value;
        }
        size = length; // room for the value and its terminating NUL
        value.resize(size);
    }
}

// HKLM\HARDWARE is one key for 32- and 64-bit programs (WOW64 redirects parts of SOFTWARE only),
// so the x86 build lists the same ports as the x64 one.
void fromRegistry(std::map<int, std::string> *ports)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t device[256], com[64];
        DWORD deviceLength = 256, comSize = sizeof com, type = 0;
        const LONG result = RegEnumValueW(key, index, device, &deviceLength, nullptr, &type,
                                          reinterpret_cast<BYTE *>(com), &comSize);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const std::wstring name(com, wcsnlen(com, comSize / sizeof(wchar_t)));
        if (const auto number = comNumberW(name))
            (*ports)[*number] = wide::toUtf8(std::wstring(device, deviceLength));
    }
    RegCloseKey(key);
}

void fromDosDevices(std::map<int, std::string> *ports)
{
    std::wstring names(65536, L'\0');
    const DWORD length = QueryDosDeviceW(nullptr, names.data(), DWORD(names.size()));
    for (std::size_t at = 0; at < length && names[at];) {
        const std::wstring name(names.c_str() + at);
        at += name.size() + 1;
        const auto number = comNumberW(name);
        wchar_t target[512];
        if (number && QueryDosDeviceW(name.c_str(), target, 512))
            (*ports)[*number] = wide::toUtf8(target);
    }
}

} // namespace

std::optional<int> comNumber(const std::string &name)
{
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0)
        rest.erase(0, 4);
    if (rest.size() < 4 || rest.size() > 6)
        return std::nullopt;
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(rest[i])) != "COM"[i])
            return std::nullopt;
    }
    int number = 0;
    for (std::size_t i = 3; i < rest.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(rest[i])))
            return std::nullopt;
        number = number * 10 + (rest[i] - '0');
    }
    if (rest[3] == '0' || number < 1 || number > 255)
        return std::nullopt;
    return number;
}

std::map<int, std::string> known()
{
    std::map<int, std::string> ports;
    fromRegistry(&ports);
    if (ports.empty())
        fromDosDevices(&ports);
    return ports;
}

std::optional<SearchPlan> searchPlan(std::string *problem)
{
    const std::string device = wide::toUtf8(environment(L"COMUTEL_DEVICE"));
    SearchPlan plan;
    if (device.empty() || (plan.onlyPort = comNumber(device)))
        return plan;
    *problem = "COMUTEL_DEVICE=" + device + " não é uma porta COM (COM1 a COM255)";
    return std::nullopt;
}

} // namespace ports

std::vector<std::string> portListing(const SearchPlan &plan,
                                     const std::map<int, std::string> &ports)
{
    std::vector<std::string> lines;
    for (const auto &[number, device] : ports) {
        std::string line = "COM" + std::to_string(number) + "\t" + device;
        if (plan.onlyPort == number)
            line += "\t(COMUTEL_DEVICE: a única procurada)";
        else if (!plan.searches(number))
            line += "\t(fora da busca)";
        lines.push_back(line);
    }
    return lines;
}
