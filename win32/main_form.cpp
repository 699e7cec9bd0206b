#include "main_form.h"

#include "resource_ids.h"

#include <commctrl.h>

namespace {

enum Font { Dialog, DialogBold, Segoe, SegoeSemibold, SegoeLink, Courier, CourierLarge, NoFont };

struct FontStyle
{
    const wchar_t *family;
    int hundredthsOfPoint;
    int weight;
    bool underline;
};

// "MS Sans Serif" is the window's dialog font; Windows maps it to Microsoft Sans Serif today.
const FontStyle kFonts[] = {
    {L"MS Sans Serif", 825, FW_NORMAL, false}, {L"MS Sans Serif", 825, FW_BOLD, false},
    {L"Segoe UI", 975, FW_NORMAL, false},      {L"Segoe UI", 825, FW_SEMIBOLD, false},
    {L"Segoe UI", 975, FW_SEMIBOLD, true},     {L"Courier New", 825, FW_NORMAL, false},
    {L"Courier New", 975, FW_NORMAL, false},
};

constexpr COLORREF kDefault = RGB(0, 0, 0);

struct Item
{
    MainForm::Control id;
    RECT twips; // left, top, width, height
    Font font;
    COLORREF colour;
    const wchar_t *text;
    DWORD style;
};

const DWORD kText = SS_LEFT | SS_NOPREFIX;

const Item kItems[] = {
    {MainForm::Other,
     {480, 360, 4095, 615},
     Segoe,
     kDefault,
     L"Sistema de acionamentos da controladora 2/4 relés produzida por Pelmora Eletrônica.",
     kText},
    {MainForm::Other,
     {600, 960, 3735, 1335},
     Segoe,
     kDefault,
     L"Linha de comando:\r\nComutel.exe parâmetro\r\nonde parâmetro pode ser:",
     kText},
    {MainForm::Other,
     {1200, 2400, 2535, 1695},
     Courier,
     kDefault,
     L"1 (Liga relé 1)\r\n2 (Desliga relé 1)\r\n3 (Liga relé 2)\r\n4 (Desliga relé 2)\r\n"
     L"5 (Liga relé 3)\r\n6 (Desiga relé 3)\r\n7 (Liga relé 4)\r\n8 (Desiga relé 4)",
     kText},
    {MainForm::Other,
     {600, 4440, 2055, 255},
     Dialog,
     kDefault,
     L"Exemplo que liga o relé 1:",
     kText},
    {MainForm::Label8, {1200, 4680, 1695, 255}, CourierLarge, kDefault, L"Comutel.exe 1", kText},
    {MainForm::Other, {600, 5400, 1815, 255}, Dialog, kDefault, L"Status da conexão:", kText},
    {MainForm::Label1, {2160, 5400, 2775, 255}, DialogBold, kDefault, L"Buscando em COM", kText},
    {MainForm::Label3, {600, 5760, 2655, 255}, Dialog, kDefault, L"Baudrate (bp/s):", kText},
    {MainForm::Other, {480, 6240, 1125, 1035}, NoFont, kDefault, L"", SS_BITMAP | SS_NOTIFY},
    {MainForm::Other,
     {1800, 6480, 3885, 480},
     SegoeSemibold,
     kDefault,
     L"Controladora de Relés Serial\r\nPelmora Controladores Eletrônicos",
     kText},
    {MainForm::Label7,
     {1800, 6960, 1845, 240},
     SegoeLink,
     RGB(0, 0, 192),
     L"pelmora.example",
     kText | SS_NOTIFY},
    {MainForm::Other,
     {480, 7440, 4005, 1650},
     Dialog,
     RGB(64, 64, 64),
     L"Visite nosso site para obter a vesão mais recente do Software de controle, o Driver de "
     L"comunicação e detalhes sobre como adquirir a placa controladora.\r\n\r\n"
     L"Programa desenvolvido pela Pelmora Eletrônica.\r\nLogomarca criada pela equipe da Pelmora.",
     kText},
    // Line1, from (480, 8160) to (4440, 8160): a black rectangle one pixel high.
    {MainForm::Other, {480, 8160, 3960, 15}, NoFont, kDefault, L"", SS_BLACKRECT},
};

constexpr int kLogoItem = 8;
constexpr int kLinkItem = 10;
constexpr int kLineItem = 12;

} // namespace

MainForm::~MainForm()
{
    for (HFONT font : m_fonts)
        DeleteObject(font);
    if (m_logo)
        DeleteObject(m_logo);
}

void MainForm::create(HWND window, HINSTANCE instance, unsigned dpi)
{
    m_window = window;
    m_instance = instance;
    m_tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                                nullptr, instance, nullptr);
    for (int i = 0; i < int(std::size(kItems)); ++i) {
        const Item &item = kItems[i];
        const HWND control =
            CreateWindowExW(0, L"STATIC", item.text, WS_CHILD | WS_VISIBLE | item.style, 0, 0, 0, 0,
                            window, nullptr, instance, nullptr);
        m_controls.push_back({control, i, item.colour});
    }
    addTooltip(m_controls[kLogoItem].handle, L"Logomarca da Pelmora");
    addTooltip(m_controls[kLinkItem].handle,
               L"Clique para visitar o site e obter atualizações sobre este produto");
    layout(dpi);
}

void MainForm::addTooltip(HWND control, const wchar_t *text)
{
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_window;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t *>(text);
    SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

HFONT MainForm::fontFor(int item, unsigned dpi)
{
    const FontStyle &font = kFonts[kItems[item].font];
    const int height = -MulDiv(font.hundredthsOfPoint, int(dpi), 7200);
    return CreateFontW(height, 0, 0, 0, font.weight, FALSE, font.underline, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, font.family);
}

void MainForm::layout(unsigned dpi)
{
    std::vector<HFONT> old;
    old.swap(m_fonts);
    for (const Placed &placed : m_controls) {
        const Item &item = kItems[placed.item];
        const RECT &r = item.twips;
        const int height = placed.item == kLineItem ? 1 : toPixels(r.bottom, dpi);
        MoveWindow(placed.handle, toPixels(r.left, dpi), toPixels(r.top, dpi),
                   toPixels(r.right, dpi), height, FALSE);
        if (item.font != NoFont) {
            m_fonts.push_back(fontFor(placed.item, dpi));
            SendMessageW(placed.handle, WM_SETFONT, reinterpret_cast<WPARAM>(m_fonts.back()),
                         FALSE);
        }
    }
    loadLogo(dpi);
    for (HFONT font : old)
        DeleteObject(font);
    InvalidateRect(m_window, nullptr, TRUE);
}

void MainForm::loadLogo(unsigned dpi)
{
    const int width = MulDiv(75, int(dpi), 96), height = MulDiv(69, int(dpi), 96);
    const HBITMAP logo = static_cast<HBITMAP>(
        LoadImageW(m_instance, MAKEINTRESOURCEW(dpi > 96 ? IDB_LOGO_2X : IDB_LOGO), IMAGE_BITMAP,
                   width, height, LR_DEFAULTCOLOR));
    SendMessageW(m_controls[kLogoItem].handle, STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(logo));
    if (m_logo)
        DeleteObject(m_logo);
    m_logo = logo;
}

HWND MainForm::handle(Control which) const
{
    for (const Placed &placed : m_controls) {
        if (kItems[placed.item].id == which)
            return placed.handle;
    }
    return nullptr;
}

COLORREF MainForm::colourOf(HWND control) const
{
    for (const Placed &placed : m_controls) {
        if (placed.handle == control)
            return placed.colour;
    }
    return kDefault;
}

void MainForm::setColour(Control which, COLORREF colour)
{
    for (Placed &placed : m_controls) {
        if (kItems[placed.item].id == which) {
            placed.colour = colour;
            InvalidateRect(placed.handle, nullptr, TRUE);
        }
    }
}
