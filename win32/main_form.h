// The form's table (core/form.h) as native Win32 statics: each in its font and text colour,
// placed in pixels for the monitor's DPI and laid out again when that changes.
#pragma once

#include "core/form.h"

#include <windows.h>

#include <string_view>
#include <vector>

class MainForm
{
public:
    static int toPixels(int twips, unsigned dpi) { return MulDiv(twips, int(dpi), 1440); }
    static COLORREF colorRefOf(form::Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

    MainForm() = default;
    ~MainForm();
    MainForm(const MainForm &) = delete;
    MainForm &operator=(const MainForm &) = delete;

    void create(HWND window, HINSTANCE instance, unsigned dpi);
    // Places, fonts and the logo for a new DPI.
    void layout(unsigned dpi);
    bool created() const { return !m_controls.empty(); }

    // The static of the table's control of that name; null before create().
    HWND handle(std::string_view name) const;
    // The table's control that a static draws; null for any other window.
    const form::Control *controlOf(HWND control) const;
    // The text colour of a static, from WM_CTLCOLORSTATIC.
    COLORREF colourOf(HWND control) const;
    void setColour(std::string_view name, COLORREF colour);

private:
    struct Placed
    {
        HWND handle;
        const form::Control *control;
        COLORREF colour;
    };

    void addTooltip(HWND control, const char *text);
    void loadLogo(unsigned dpi);

    HWND m_window = nullptr;
    HINSTANCE m_instance = nullptr;
    HWND m_tooltip = nullptr;
    HBITMAP m_logo = nullptr;
    std::vector<Placed> m_controls;
    std::vector<HFONT> m_fonts;
};
