#include "win32/win32_code_page.h"

#include "win32/wide_text.h"

#include <windows.h>

Win32CodePage::Win32CodePage() : m_page(GetACP()) {}

// The one byte the code page has for these UTF-16 units, without a "best fit" stand-in (which
// would send, say, "A" for "Ā": a different command).
bool Win32CodePage::oneByte(const wchar_t *chars, int count, char *byte) const
{
    char out[8];
    BOOL usedDefault = FALSE;
    // UTF-8 as the ANSI code page (a Windows 10 option) takes neither flag nor default check.
    const bool utf8 = m_page == CP_UTF8;
    const int length = WideCharToMultiByte(m_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, chars, count,
                                           out, sizeof out, nullptr, utf8 ? nullptr : &usedDefault);
    if (length != 1 || usedDefault)
        return false;
    *byte = out[0];
    return true;
}

char Win32CodePage::commandByte(char32_t c) const
{
    wchar_t chars[2];
    int count = 1;
    if (c >= 0x10000 && c <= 0x10ffff) {
        chars[0] = wchar_t(0xd800 + ((c - 0x10000) >> 10));
        chars[1] = wchar_t(0xdc00 + ((c - 0x10000) & 0x3ff));
        count = 2;
    } else if (c < 0xd800 || (c > 0xdfff && c < 0x10000)) {
        chars[0] = wchar_t(c);
    } else {
        return '?';
    }
    wchar_t upper[2] = {chars[0], count == 2 ? chars[1] : L'\0'};
    CharUpperBuffW(upper, DWORD(count));
    char byte = '?';
    if (oneByte(upper, count, &byte) || oneByte(chars, count, &byte))
        return byte;
    return '?';
}

std::string Win32CodePage::textOf(unsigned char byte) const
{
    const char in = static_cast<char>(byte);
    wchar_t out[2];
    const int length = MultiByteToWideChar(m_page, 0, &in, 1, out, 2);
    if (length <= 0)
        return "\xEF\xBF\xBD"; // a byte the code page has no character for: U+FFFD
    return wide::toUtf8(std::wstring(out, std::size_t(length)));
}
