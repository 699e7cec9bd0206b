// The board's bytes in the system's ANSI code page (1252 on a Brazilian or Portuguese Windows):
// each character of the command upper-cased on its own by Windows' rules, one byte each, "?"
// where the code page has no such character; received bytes back into text for the window.
#pragma once

#include "core/code_page.h"

class Win32CodePage : public CodePage
{
public:
    Win32CodePage();
    char commandByte(char32_t c) const override;
    std::string textOf(unsigned char byte) const override;

private:
    bool oneByte(const wchar_t *chars, int count, char *byte) const;

    unsigned m_page;
};
