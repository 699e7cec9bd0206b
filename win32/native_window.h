// The one window as native Win32 controls, for the controller: the three labels it writes, the
// close request, and the advice box. Created hidden; the controls are made the first time it is
// shown, so a command-mode run (which never shows it) does not pay for them.
#pragma once

#include "core/window.h"
#include "win32/main_form.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

class NativeWindow : public Window
{
public:
    explicit NativeWindow(HINSTANCE instance);
    ~NativeWindow() override;
    NativeWindow(const NativeWindow &) = delete;
    NativeWindow &operator=(const NativeWindow &) = delete;

    void setLabel1(const std::string &text, Colour colour) override;
    void setLabel3(const std::string &text) override;
    void setLabel8(const std::string &text) override;
    void setVisible(bool visible) override;
    void setCloseHandler(std::function<void()> handler) override { m_close = std::move(handler); }
    void showMessageBox(const std::string &title, const std::string &text) override;
    // OK alone and the error icon: the platform's error report.
    void showFailure(const std::string &title, const std::string &text) override;

    // False for a scheduled task or a service: nobody could see or dismiss a box there.
    static bool desktopIsVisible();
    const MainForm &form() const { return m_form; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT handle(UINT message, WPARAM w, LPARAM l);
    void setText(int slot, const std::string &text);
    void resizeFor(unsigned dpi);
    unsigned dpi() const;
    void requestClose();

    HINSTANCE m_instance;
    HWND m_window = nullptr;
    HBRUSH m_background = nullptr;
    MainForm m_form;
    // What the controller wrote last in Label1, Label3 and Label8, for a form made later.
    std::wstring m_texts[3];
    std::optional<COLORREF> m_label1Colour;
    std::function<void()> m_close;
};
