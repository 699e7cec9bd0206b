#include "win32/command_line.h"

#include "win32/wide_text.h"

namespace commandline {

namespace {

bool isBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// The program's name: up to the first blank outside quotes, with no escapes.
std::size_t skipProgramName(const std::wstring &line)
{
    std::size_t at = 0;
    bool quoted = false;
    for (; at < line.size() && (quoted || !isBlank(line[at])); ++at) {
        if (line[at] == L'"')
            quoted = !quoted;
    }
    return at;
}

} // namespace

std::vector<std::wstring> arguments(const std::wstring &line)
{
    std::vector<std::wstring> words;
    std::size_t at = skipProgramName(line);
    for (;;) {
        while (at < line.size() && isBlank(line[at]))
            ++at;
        if (at >= line.size())
            return words;
        std::wstring word;
        bool quoted = false;
        while (at < line.size() && (quoted || !isBlank(line[at]))) {
            std::size_t slashes = 0;
            while (at < line.size() && line[at] == L'\\')
                ++slashes, ++at;
            if (at < line.size() && line[at] == L'"') {
                // 2n backslashes and a quote: n backslashes, and the quote opens or closes;
                // 2n+1: n backslashes and a literal quote.
                word.append(slashes / 2, L'\\');
                if (slashes % 2) {
                    word += L'"';
                } else if (quoted && at + 1 < line.size() && line[at + 1] == L'"') {
                    word += L'"'; // "" inside quotes: a literal quote
                    ++at;
                } else {
                    quoted = !quoted;
                }
                ++at;
            } else {
                word.append(slashes, L'\\');
                if (at < line.size() && (quoted || !isBlank(line[at])))
                    word += line[at++];
            }
        }
        words.push_back(word);
    }
}

std::string parameter(const std::wstring &line)
{
    std::wstring joined;
    for (const std::wstring &word : arguments(line))
        joined += (joined.empty() ? L"" : L" ") + word;
    return wide::toUtf8(joined);
}

} // namespace commandline
