// The command line as UTF-8 in any locale: valid UTF-8 as it is, other bytes in the locale's
// 8-bit character set, else ISO 8859-1.
#include "command_line.h"
#include "scratch_folder.h"

#include <clocale>
#include <tuple>
#include <vector>

TEST_CASE("words joined by one space, as UTF-8 in the C, C.UTF-8 and ISO 8859-15 locales")
{
    // An ISO 8859-15 locale of our own (from Debian's "locales"), whatever the machine has.
    const ScratchFolder locales("localedef -i pt_BR -f ISO-8859-15 ./pt_BR.ISO-8859-15 >/dev/null");
    ::setenv("LOCPATH", locales.path.c_str(), 1);
    using Row = std::tuple<const char *, std::vector<std::string>, std::string>;
    for (const auto &[locale, words, parameter] : {
             Row{"C", {"1"}, "1"}, Row{"C", {"e", "1", "-reverse"}, "e 1 -reverse"},
             Row{"C", {"a\xc3\xa7\xc3\xa3o"}, "a\xc3\xa7\xc3\xa3o"}, // ação, in UTF-8
             Row{"C", {"\xe9", "\xc3\xa9"}, "\xc3\xa9 \xc3\xa9"},    // é: ISO 8859-1, UTF-8
             Row{"C", {"\xa4\xed\xa0\x80"}, "\xc2\xa4\xc3\xad\xc2\xa0\xc2\x80"}, // no surrogate
             Row{"pt_BR.ISO-8859-15", {"\xa4", "\xc3\xa9"}, "\xe2\x82\xac \xc3\xa9"}, // €, é
         }) {
        CAPTURE(locale);
        REQUIRE(std::setlocale(LC_CTYPE, locale));
        std::vector<char *> argv{const_cast<char *>("comutel")};
        for (const std::string &word : words)
            argv.push_back(const_cast<char *>(word.c_str()));
        CHECK(commandParameter(static_cast<int>(argv.size()), argv.data()) == parameter);
    }
}
