// The board reads and writes single bytes, one per character, in the system's 8-bit code page;
// comutel's texts are UTF-8. A CodePage converts between the two: ISO 8859-1 on Linux, the ANSI
// code page on Windows.
#pragma once

#include <string>

class CodePage
{
public:
    virtual ~CodePage() = default;
    // The byte for c upper-cased on its own: its upper case where that is again one character of
    // the code page, else c as it is; '?' when the code page has no c.
    virtual char commandByte(char32_t c) const = 0;
    // One received byte as UTF-8 text.
    virtual std::string textOf(unsigned char byte) const = 0;
};

class Latin1CodePage : public CodePage
{
public:
    char commandByte(char32_t c) const override;
    std::string textOf(unsigned char byte) const override;
};

namespace utf8 {
// The code points of valid UTF-8; a byte that does not belong to a valid sequence gives U+FFFD.
std::u32string decode(const std::string &text);
bool isValid(const std::string &text);
std::string encode(char32_t c);
} // namespace utf8

// The command as the board reads it: each character upper-cased on its own, one byte each.
std::string commandBytes(const std::string &parameter, const CodePage &page);
// Received bytes as UTF-8 text, for the window.
std::string textOfBytes(const std::string &bytes, const CodePage &page);
