// The command line as UTF-8 in any locale: valid UTF-8 as it is, other bytes in the locale's
// 8-bit character set, else ISO 8859-1.
#include "command_line.h"

#include <doctest/doctest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// An ISO 8859-15 locale of our own, made in a scratch folder that LOCPATH points to, so that
// the row runs whatever locales the machine has (localedef's sources: Debian's "locales").
struct Latin9Locale
{
    char folder[29] = "/tmp/tst_command_line.XXXXXX";
    bool made = ::mkdtemp(folder) &&
                std::system(("localedef -i pt_BR -f ISO-8859-15 " + std::string(folder) +
                             "/pt_BR.ISO-8859-15 >/dev/null 2>&1")
                                .c_str()) == 0 &&
                ::setenv("LOCPATH", folder, 1) == 0;
    ~Latin9Locale() { std::system(("rm -rf " + std::string(folder)).c_str()); }
};

} // namespace

TEST_CASE("words joined by one space, as UTF-8 in the C, C.UTF-8 and ISO 8859-15 locales")
{
    struct Row
    {
        const char *locale;
        std::vector<std::string> words;
        std::string parameter;
    };
    const Row rows[] = {
        {"C", {"1"}, "1"},
        {"C", {"e", "1", "-reverse"}, "e 1 -reverse"},
        {"C", {"a\xc3\xa7\xc3\xa3o"}, "a\xc3\xa7\xc3\xa3o"}, // ação, in UTF-8
        {"C", {"\xe9", "\xc3\xa9"}, "\xc3\xa9 \xc3\xa9"},    // é in ISO 8859-1, then UTF-8
        {"C", {"\xa4", "\xed\xa0\x80"}, "\xc2\xa4 \xc3\xad\xc2\xa0\xc2\x80"}, // ¤; no surrogate
        {"C.UTF-8", {"\xe9"}, "\xc3\xa9"},
        {"pt_BR.ISO-8859-15", {"\xa4", "\xe9", "\xc3\xa9"}, "\xe2\x82\xac \xc3\xa9 \xc3\xa9"}, // €
    };
    const Latin9Locale latin9;
    for (const Row &row : rows) {
        CAPTURE(row.locale);
        if (!std::setlocale(LC_CTYPE, row.locale)) {
            MESSAGE("locale not available: ", row.locale, latin9.made ? "" : " (localedef failed)");
            CHECK(std::getenv("COMUTEL_NO_SKIPS") == nullptr);
            continue;
        }
        std::vector<char *> argv{const_cast<char *>("comutel")};
        for (const std::string &word : row.words)
            argv.push_back(const_cast<char *>(word.c_str()));
        CHECK(commandParameter(static_cast<int>(argv.size()), argv.data()) == row.parameter);
    }
    std::setlocale(LC_CTYPE, "C");
}
