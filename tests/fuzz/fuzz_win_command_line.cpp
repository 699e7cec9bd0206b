// Windows' command line split by its rules: the words of any line, quoted by those rules and
// joined again, split into the same words.
#include "tests/fuzz/fuzz.h"
#include "win32/command_line.h"
#include "win32/wide_text.h"

// parameter()'s one Win32 call: this target tries only the splitting.
std::string wide::toUtf8(const std::wstring &)
{
    return {};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // One character a byte: only blanks, quotes and backslashes mean anything to the rules.
    const std::vector<std::wstring> words = commandline::arguments(std::wstring(data, data + size));
    std::wstring line = L"Comutel.exe";
    for (const std::wstring &word : words) {
        // Backslashes are literal but before a quote, where 2n and the quote stand for n, and
        // 2n+1 for n and a literal quote.
        std::size_t slashes = 0;
        line += L" \"";
        for (const wchar_t c : word) {
            line.append(c == L'"' ? slashes + 1 : 0, L'\\') += c;
            slashes = c == L'\\' ? slashes + 1 : 0;
        }
        line.append(slashes, L'\\') += L'"';
    }
    PROPERTY(commandline::arguments(line) == words);
    return 0;
}
