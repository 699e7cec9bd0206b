// The command line as UTF-8 in any locale: valid UTF-8 as it is, other bytes in the locale's
// 8-bit character set, else ISO 8859-1; and the bytes it goes out as, in that same set.
#include "posix/command_line.h"
#include "tests/scratch_folder.h"

#include <clocale>
#include <tuple>
#include <vector>

TEST_CASE("words joined by one space, as UTF-8 and as sent, in the C, C.UTF-8 and ISO 8859-15 "
          "locales")
{
    // An ISO 8859-15 locale of our own (from Debian's "locales"), whatever the machine has.
    const ScratchFolder locales("localedef -i pt_BR -f ISO-8859-15 ./pt_BR.ISO-8859-15 >/dev/null");
    ::setenv("LOCPATH", locales.path.c_str(), 1);
    using Row = std::tuple<const char *, std::vector<std::string>, std::string, std::string>;
    for (const auto &[locale, words, parameter, sent] : {
             Row{"C", {"e", "1", "-reverse"}, "e 1 -reverse", "E 1 -REVERSE"},
             Row{"C", {"a\xc3\xa7\xc3\xa3o"}, "a\xc3\xa7\xc3\xa3o", "A\xc7\xc3O"}, // ação, UTF-8
             Row{"C.UTF-8", {"\xe9", "\xc3\xa9"}, "é é", "\xc9 \xc9"}, // é in 8859-1, in UTF-8
             Row{"C", {"\xa4\xed\xa0\x80"}, "\xc2\xa4\xc3\xad\xc2\xa0\xc2\x80", "\xa4\xcd\xa0\x80"},
             // €, é, œ and ÿ, whose capitals Œ and Ÿ are in ISO 8859-15 and not in 8859-1
             Row{"pt_BR.ISO-8859-15",
                 {"1\xa4\xe9\xbd\xff", "é"},
                 "1€éœÿ é",
                 "1\xa4\xc9\xbc\xbe \xc9"},
         }) {
        CAPTURE(locale);
        REQUIRE(std::setlocale(LC_CTYPE, locale));
        std::vector<char *> argv{const_cast<char *>("comutel")};
        for (const std::string &word : words)
            argv.push_back(const_cast<char *>(word.c_str()));
        CHECK(commandParameter(static_cast<int>(argv.size()), argv.data()) == parameter);
        CHECK(commandBytes(parameter, *localeCodePage()) == sent);
        // Loading the locale costs the start-up: never for ASCII, nor where it is UTF-8 or C.
        CHECK(localeMatters(static_cast<int>(argv.size()), argv.data(), locale) ==
              (locale[0] == 'p'));
    }
    char name[] = "comutel", e1[] = "E1", *ascii[] = {name, e1};
    CHECK_FALSE(localeMatters(2, ascii, "pt_BR.ISO-8859-15"));
}
