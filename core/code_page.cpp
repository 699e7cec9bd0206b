#include "core/code_page.h"

namespace utf8 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The length of the sequence a lead byte starts, and the smallest code point it may carry.
bool lead(unsigned char byte, int *length, char32_t *value, char32_t *smallest)
{
    if (byte < 0x80) {
        *length = 1, *value = byte, *smallest = 0;
    } else if ((byte & 0xE0) == 0xC0) {
        *length = 2, *value = byte & 0x1F, *smallest = 0x80;
    } else if ((byte & 0xF0) == 0xE0) {
        *length = 3, *value = byte & 0x0F, *smallest = 0x800;
    } else if ((byte & 0xF8) == 0xF0) {
        *length = 4, *value = byte & 0x07, *smallest = 0x10000;
    } else {
        return false;
    }
    return true;
}

// The code point at text[at], and how many bytes it takes; 0 bytes when it is not valid.
char32_t next(const std::string &text, std::size_t at, int *taken)
{
    int length = 0;
    char32_t value = 0, smallest = 0;
    *taken = 0;
    if (!lead(static_cast<unsigned char>(text[at]), &length, &value, &smallest) ||
        at + length > text.size())
        return kReplacement;
    for (int i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if ((byte & 0xC0) != 0x80)
            return kReplacement;
        value = value << 6 | (byte & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not UTF-8.
    if (value < smallest || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return kReplacement;
    *taken = length;
    return value;
}

} // namespace

std::u32string decode(const std::string &text)
{
    std::u32string decoded;
    for (std::size_t at = 0; at < text.size();) {
        int taken = 0;
        decoded += next(text, at, &taken);
        at += taken > 0 ? taken : 1;
    }
    return decoded;
}

bool isValid(const std::string &text)
{
    for (std::size_t at = 0; at < text.size();) {
        int taken = 0;
        next(text, at, &taken);
        if (taken == 0)
            return false;
        at += taken;
    }
    return true;
}

std::string encode(char32_t c)
{
    std::string bytes;
    if (c < 0x80) {
        bytes += static_cast<char>(c);
    } else if (c < 0x800) {
        bytes += static_cast<char>(0xC0 | c >> 6);
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes += static_cast<char>(0xE0 | c >> 12);
        bytes += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | c >> 18);
        bytes += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        bytes += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
    return bytes;
}

} // namespace utf8

char Latin1CodePage::commandByte(char32_t c) const
{
    if (c > 0xFF)
        return '?';
    // In ISO 8859-1 the lower-case letters sit 32 below their capitals, apart from the division
    // sign; ß, µ and ÿ have capitals outside the set and go as they are.
    const bool lower = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
    return static_cast<char>(lower ? c - 0x20 : c);
}

std::string Latin1CodePage::textOf(unsigned char byte) const
{
    return utf8::encode(byte);
}

char EightBitCodePage::commandByte(char32_t c) const
{
    if (c < 0x80)
        return static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
    for (std::size_t byte = 0x80; byte < m_characters.size(); ++byte)
        if (m_characters[byte] == c)
            return static_cast<char>(m_upperCase[byte]);
    return '?';
}

std::string EightBitCodePage::textOf(unsigned char byte) const
{
    return utf8::encode(m_characters[byte] == kNoCharacter ? 0xFFFD : m_characters[byte]);
}

std::string commandBytes(const std::string &parameter, const CodePage &page)
{
    std::string bytes;
    for (const char32_t c : utf8::decode(parameter))
        bytes += page.commandByte(c);
    return bytes;
}

std::string textOfBytes(const std::string &bytes, const CodePage &page)
{
    std::string text;
    for (const char byte : bytes)
        text += page.textOf(static_cast<unsigned char>(byte));
    return text;
}
