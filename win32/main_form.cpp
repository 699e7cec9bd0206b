#include "win32/main_form.h"

#include "win32/resource_ids.h"
#include "win32/wide_text.h"

#include <commctrl.h>

#include <cmath>
#include <string>

namespace {

// "MS Sans Serif", the window's dialog font, Windows maps to Microsoft Sans Serif today.
HFONT fontFor(const form::Font &font, unsigned dpi)
{
    const int height = -MulDiv(int(std::lround(font.points * 100)), int(dpi), 7200);
    return CreateFontW(height, 0, 0, 0, font.weight, FALSE, font.underline, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, wide::fromUtf8(font.family).c_str());
}

DWORD styleOf(const form::Control &control)
{
    // A static tells its tooltip and a click only with SS_NOTIFY.
    const DWORD notify = control.tooltip || control.link ? SS_NOTIFY : 0;
    switch (control.kind) {
    case form::Kind::Picture:
        return SS_BITMAP | notify;
    case form::Kind::Line:
        return SS_BLACKRECT;
    default:
        return SS_LEFT | SS_NOPREFIX | notify;
    }
}

// The table's lines, which a static breaks at CR LF.
std::wstring textOf(const form::Control &control)
{
    std::wstring text;
    for (const wchar_t c : wide::fromUtf8(control.text))
        text += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    return text;
}

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
    for (const form::Control &control : form::kControls) {
        const HWND handle = CreateWindowExW(0, L"STATIC", textOf(control).c_str(),
                                            WS_CHILD | WS_VISIBLE | styleOf(control), 0, 0, 0, 0,
                                            window, nullptr, instance, nullptr);
        m_controls.push_back({handle, &control, colorRefOf(control.colour.value_or(form::kBlack))});
        if (control.tooltip)
            addTooltip(handle, control.tooltip);
    }
    layout(dpi);
}

void MainForm::addTooltip(HWND control, const char *text)
{
    std::wstring wideText = wide::fromUtf8(text); // the tooltip keeps a copy
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_window;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = wideText.data();
    SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainForm::layout(unsigned dpi)
{
    std::vector<HFONT> old;
    old.swap(m_fonts);
    for (const Placed &placed : m_controls) {
        const form::Control &control = *placed.control;
        const form::Place &r = control.place;
        const int height = control.kind == form::Kind::Line ? 1 : toPixels(r.height, dpi);
        MoveWindow(placed.handle, toPixels(r.left, dpi), toPixels(r.top, dpi),
                   toPixels(r.width, dpi), height, FALSE);
        if (control.kind == form::Kind::Label) {
            m_fonts.push_back(fontFor(control.font, dpi));
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
    for (const Placed &placed : m_controls) {
        if (placed.control->kind == form::Kind::Picture)
            SendMessageW(placed.handle, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo));
    }
    if (m_logo)
        DeleteObject(m_logo);
    m_logo = logo;
}

HWND MainForm::handle(std::string_view name) const
{
    for (const Placed &placed : m_controls) {
        if (name == placed.control->name)
            return placed.handle;
    }
    return nullptr;
}

const form::Control *MainForm::controlOf(HWND control) const
{
    for (const Placed &placed : m_controls) {
        if (placed.handle == control)
            return placed.control;
    }
    return nullptr;
}

COLORREF MainForm::colourOf(HWND control) const
{
    for (const Placed &placed : m_controls) {
        if (placed.handle == control)
            return placed.colour;
    }
    return colorRefOf(form::kBlack);
}

void MainForm::setColour(std::string_view name, COLORREF colour)
{
    for (Placed &placed : m_controls) {
        if (name == placed.control->name) {
            placed.colour = colour;
            InvalidateRect(placed.handle, nullptr, TRUE);
        }
    }
}
