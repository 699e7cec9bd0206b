// The command as the caller typed it, in UTF-8 whatever the locale: cron runs scripts in the C
// locale, and a script written in UTF-8 must still send "AÇÃO" for "ação". And the 8-bit set it
// goes out in: the locale's own where it has one (pt_BR.ISO-8859-15 sends the euro as 0xA4),
// else ISO 8859-1.
#pragma once

#include "core/code_page.h"

#include <memory>
#include <string>

// Everything after the program name, the words joined by one space. A word that is valid UTF-8
// is taken as it is; another is read in the locale's 8-bit character set (LC_CTYPE, as set by
// the caller with setlocale) where it has one, otherwise as ISO 8859-1.
std::string commandParameter(int argc, char **argv);

// Whether the locale must be loaded (setlocale, which costs the start-up) before the two calls
// here: only where a word holds more than ASCII and the locale's name (LC_ALL, else LC_CTYPE,
// else LANG) may be an 8-bit one, that is, says neither UTF-8 nor C.
bool localeMatters(int argc, char **argv, const std::string &localeName);
// The name that rules LC_CTYPE, from the environment; "" for none.
std::string ctypeLocaleName();
// The locale's 8-bit character set as the board's code page, as LC_CTYPE now stands; ISO 8859-1
// where it has none.
std::unique_ptr<CodePage> localeCodePage();
