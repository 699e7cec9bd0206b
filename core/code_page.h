// The board reads and writes single bytes, one per character, in the system's 8-bit code page;
// comutel's texts are UTF-8. A CodePage converts between the two: on Linux the locale's 8-bit
// character set, or ISO 8859-1 where it has none (UTF-8, C); the ANSI code page on Windows.
#pragma once

#include <array>
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

// An 8-bit character set as a table, as a platform reads it from its locale: each byte's
// character and the byte of its upper case there. ASCII letters are upper-cased as in ASCII
// whatever the table says, since the board's commands are ASCII.
class EightBitCodePage : public CodePage
{
public:
    static constexpr char32_t kNoCharacter = 0xFFFFFFFF; // a byte the set leaves undefined
    // upperCase[b]: the byte of b's upper case, b itself where the set has none.
    EightBitCodePage(const std::array<char32_t, 256> &characters,
                     const std::array<unsigned char, 256> &upperCase)
        : m_characters(characters), m_upperCase(upperCase)
    {
    }
    char commandByte(char32_t c) const override;
    std::string textOf(unsigned char byte) const override;

private:
    std::array<char32_t, 256> m_characters;
    std::array<unsigned char, 256> m_upperCase;
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
