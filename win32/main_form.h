// The window's controls as native Win32 statics: each with its place in twips, its font and its
// text colour, laid out in pixels for the monitor's DPI and laid out again when that changes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class MainForm
{
public:
    // The controls the controller writes.
    enum Control { Label1, Label3, Label8, Label7, Other };

    static constexpr int kClientWidthTwips = 5145;
    static constexpr int kClientHeightTwips = 9300;
    static int toPixels(int twips, unsigned dpi) { return MulDiv(twips, int(dpi), 1440); }

    MainForm() = default;
    ~MainForm();
    MainForm(const MainForm &) = delete;
    MainForm &operator=(const MainForm &) = delete;

    void create(HWND window, HINSTANCE instance, unsigned dpi);
    // Places, fonts and the logo for a new DPI.
    void layout(unsigned dpi);
    bool created() const { return !m_controls.empty(); }

    HWND handle(Control which) const;
    // The text colour of a static, from WM_CTLCOLORSTATIC.
    COLORREF colourOf(HWND control) const;
    void setColour(Control which, COLORREF colour);

private:
    struct Placed
    {
        HWND handle;
        int item; // index into the form's table
        COLORREF colour;
    };

    HFONT fontFor(int item, unsigned dpi);
    void addTooltip(HWND control, const wchar_t *text);
    void loadLogo(unsigned dpi);

    HWND m_window = nullptr;
    HINSTANCE m_instance = nullptr;
    HWND m_tooltip = nullptr;
    HBITMAP m_logo = nullptr;
    std::vector<Placed> m_controls;
    std::vector<HFONT> m_fonts;
};
