// The command as the caller typed it, in UTF-8 whatever the locale: cron runs scripts in the C
// locale, and a script written in UTF-8 must still send "AÇÃO" for "ação".
#pragma once

#include <string>

// Everything after the program name, the words joined by one space. A word that is valid UTF-8
// is taken as it is; another is read in the locale's 8-bit character set (LC_CTYPE, as set by
// the caller with setlocale) where it has one, otherwise as ISO 8859-1.
std::string commandParameter(int argc, char **argv);
