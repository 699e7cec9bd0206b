// The advice for a user whose board was not found: a message box with these five pieces, an
// empty line between them, and the same pieces as lines on standard error.
#pragma once

#include <array>
#include <string>

namespace advice {

inline const std::string kTitle = "Ravelto";

inline const std::array<std::string, 5> kPieces{
    "O Windows não pôde detectar a placa controladora.",
    "Por favor, tente os seguintes procedimentos (sempre com permissões de administrador do "
    "sistema):",
    "   - Reinstale o Comutel",
    "   - Copie o arquivos Comutel.exe e MSCOMM32.OCX para a pasta C:\\WINDOWS\\SYSTEM32",
    "   - Copie o arquivos Comutel.exe e MSCOMM32.OCX para a pasta C:\\WINDOWS\\SysWOW64",
};

// The box's text: the pieces joined by CR LF CR LF, no line break at the end.
inline std::string boxText()
{
    std::string text;
    for (const std::string &piece : kPieces)
        text += (text.empty() ? "" : "\r\n\r\n") + piece;
    return text;
}

} // namespace advice
