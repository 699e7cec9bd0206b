#include "posix/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cwctype>
#include <optional>

#include <iconv.h>
#include <langinfo.h>
#include <wchar.h>

namespace {

// The locale's character set when it is an 8-bit one: one byte a character, more than ASCII.
std::optional<std::string> eightBitCodeset()
{
    const std::string codeset = ::nl_langinfo(CODESET);
    if (MB_CUR_MAX != 1 || codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII" ||
        codeset == "US-ASCII")
        return std::nullopt;
    return codeset;
}

// word in codeset as UTF-8; nothing when the set has no character for one of its bytes.
std::optional<std::string> converted(const std::string &word, const std::string &codeset)
{
    const iconv_t converter = ::iconv_open("UTF-8", codeset.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string input = word;
    std::string output(word.size() * 4, '\0'); // at most four bytes a character
    char *in = input.data();
    char *out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    const bool done = ::iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    ::iconv_close(converter);
    if (!done || inLeft != 0)
        return std::nullopt;
    output.resize(output.size() - outLeft);
    return output;
}

std::string asUtf8(const std::string &word)
{
    if (utf8::isValid(word))
        return word;
    if (const auto codeset = eightBitCodeset())
        if (const auto text = converted(word, *codeset))
            return *text;
    return textOfBytes(word, Latin1CodePage());
}

} // namespace

bool localeMatters(int argc, char **argv, const std::string &localeName)
{
    std::string name = localeName;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (name.empty() || name == "c" || name == "posix" ||
        name.find(".utf-8") != std::string::npos || name.find(".utf8") != std::string::npos)
        return false;
    for (int i = 1; i < argc; ++i)
        for (const char *c = argv[i]; *c; ++c)
            if (static_cast<unsigned char>(*c) >= 0x80)
                return true;
    return false;
}

std::string ctypeLocaleName()
{
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char *value = std::getenv(variable); value && *value)
            return value;
    return {};
}

std::unique_ptr<CodePage> localeCodePage()
{
    if (!eightBitCodeset())
        return std::make_unique<Latin1CodePage>();
    std::array<char32_t, 256> characters{};
    std::array<unsigned char, 256> upperCase{};
    for (int byte = 0; byte < 256; ++byte) {
        const wint_t c = ::btowc(byte);
        characters[byte] = c == WEOF ? EightBitCodePage::kNoCharacter : static_cast<char32_t>(c);
        const int upper = c == WEOF ? EOF : ::wctob(std::towupper(c));
        upperCase[byte] = static_cast<unsigned char>(upper == EOF ? byte : upper);
    }
    return std::make_unique<EightBitCodePage>(characters, upperCase);
}

std::string commandParameter(int argc, char **argv)
{
    std::string parameter;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            parameter += ' ';
        parameter += asUtf8(argv[i]);
    }
    return parameter;
}
