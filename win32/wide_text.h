// The program's texts are UTF-8; Windows speaks UTF-16. These convert between the two, and put
// a Windows error code into the one Portuguese line a user reads.
#pragma once

#include <string>

namespace wide {

std::wstring fromUtf8(const std::string &text);
std::string toUtf8(const std::wstring &text);
// A short reason for a Windows error code, in Portuguese, with the code for a search.
std::string errorText(unsigned long code);
// The folder holding the running executable, without the trailing separator.
std::wstring executableFolder();

} // namespace wide
