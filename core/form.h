// The window's form, once for every platform: the title, the client size, the background, and
// each control with its name, place, font, colour, initial text and tooltip, as the window was
// drawn. ui/ and win32/ draw this table; the controller writes only Label1, Label3 and Label8.
#pragma once

#include <array>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace form {

// Places are in twips, 1/1440 inch: 15 to a pixel at 96 dots per inch.
struct Place
{
    int left, top, width, height;
};

struct Font
{
    const char *family;
    double points;
    int weight; // as Windows and Qt count: 400 normal, 600 semibold, 700 bold
    bool underline;
};

struct Rgb
{
    int red, green, blue;
};

enum class Kind { Label, Picture, Line };

struct Control
{
    const char *name; // as the controller's code names it
    Kind kind;
    Place place;               // within the client area; a line one pixel thick
    Font font;                 // a label's
    std::optional<Rgb> colour; // a label's text; none: the window's text colour
    // UTF-8. "\n" ends a line, and a label wraps at its width as well.
    const char *text;
    const char *tooltip = nullptr;
    const char *link = nullptr; // what a click opens
};

constexpr const char *kTitle = "Controladora de relés Pelmora";
constexpr int kClientWidth = 5145, kClientHeight = 9300;
constexpr Rgb kBackground{255, 255, 255}; // on Windows, the system's highlight-text colour

constexpr Rgb kBlack{0, 0, 0}, kGreen{0, 192, 0}, kRed{255, 0, 0}; // the status colours

// Families as the window was drawn with them; each platform names its stand-ins.
constexpr Font kDialogFont{"MS Sans Serif", 8.25, 400, false}; // the window's own
constexpr Font kSegoe{"Segoe UI", 9.75, 400, false};
constexpr Font kCourier{"Courier New", 8.25, 400, false};

// clang-format off
inline constexpr std::array<Control, 13> kControls{{
    {"Label4", Kind::Label, {480, 360, 4095, 615}, kSegoe, {},
     "Sistema de acionamentos da controladora 2/4 relés produzida por Pelmora Eletrônica."},
    {"Label5", Kind::Label, {600, 960, 3735, 1335}, kSegoe, {},
     "Linha de comando:\nComutel.exe parâmetro\nonde parâmetro pode ser:"},
    {"Label6", Kind::Label, {1200, 2400, 2535, 1695}, kCourier, {},
     "1 (Liga relé 1)\n2 (Desliga relé 1)\n3 (Liga relé 2)\n4 (Desliga relé 2)\n"
     "5 (Liga relé 3)\n6 (Desiga relé 3)\n7 (Liga relé 4)\n8 (Desiga relé 4)"},
    {"Label9", Kind::Label, {600, 4440, 2055, 255}, kDialogFont, {}, "Exemplo que liga o relé 1:"},
    {"Label8", Kind::Label, {1200, 4680, 1695, 255}, {"Courier New", 9.75, 400, false}, {},
     "Comutel.exe 1"},
    {"Label2", Kind::Label, {600, 5400, 1815, 255}, kDialogFont, {}, "Status da conexão:"},
    {"Label1", Kind::Label, {2160, 5400, 2775, 255}, {"MS Sans Serif", 8.25, 700, false}, kBlack,
     "Buscando em COM"},
    {"Label3", Kind::Label, {600, 5760, 2655, 255}, kDialogFont, {}, "Baudrate (bp/s):"},
    {"picIcon", Kind::Picture, {480, 6240, 1125, 1035}, {}, {}, "", "Logomarca da Pelmora"},
    {"lblTitle", Kind::Label, {1800, 6480, 3885, 480}, {"Segoe UI", 8.25, 600, false}, kBlack,
     "Controladora de Relés Serial\nPelmora Controladores Eletrônicos"},
    {"Label7", Kind::Label, {1800, 6960, 1845, 240}, {"Segoe UI", 9.75, 600, true}, Rgb{0, 0, 192},
     "pelmora.example", "Clique para visitar o site e obter atualizações sobre este produto",
     "https://pelmora.example/"},
    // The blank line lets Line1 run between the invitation and the credits.
    {"lblDescription", Kind::Label, {480, 7440, 4005, 1650}, kDialogFont, Rgb{64, 64, 64},
     "Visite nosso site para obter a vesão mais recente do Software de controle, o Driver de "
     "comunicação e detalhes sobre como adquirir a placa controladora.\n\n"
     "Programa desenvolvido pela Pelmora Eletrônica.\nLogomarca criada pela equipe da Pelmora."},
    {"Line1", Kind::Line, {480, 8160, 3960, 15}, {}, kBlack, ""},
}};
// clang-format on

// The control of that name; a name the table lacks does not compile where the name is constant.
constexpr const Control &control(std::string_view name)
{
    for (const Control &each : kControls) {
        if (name == each.name)
            return each;
    }
    std::abort();
}

} // namespace form
