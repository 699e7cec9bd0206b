// The command parameter from the process's command line, split by the C runtime's documented
// rules (those of CommandLineToArgvW, but for `""` inside quotes, which is one literal quote and
// leaves the quotes open, as in every C program's argv) and joined again by single spaces, as on
// Linux. Done here rather than by shell32, whose loading alone costs a command-mode run more than
// the whole program.
#pragma once

#include <string>
#include <vector>

namespace commandline {

// The arguments after the program's name.
std::vector<std::wstring> arguments(const std::wstring &commandLine);
// Those arguments joined by one space, UTF-8.
std::string parameter(const std::wstring &commandLine);

} // namespace commandline
