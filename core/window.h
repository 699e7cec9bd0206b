// The window as the controller sees it: three labels it writes, visibility, the close request
// and the modal message box. Texts are UTF-8. In command mode nothing is shown, so a platform
// may give a HeadlessWindow that only remembers what it was told.
#pragma once

#include "core/form.h"

#include <functional>
#include <string>

class Window
{
public:
    enum class Colour { Black, Green, Red };
    static constexpr form::Rgb rgbOf(Colour colour)
    {
        return colour == Colour::Green ? form::kGreen
               : colour == Colour::Red ? form::kRed
                                       : form::kBlack;
    }

    virtual ~Window() = default;

    virtual void setLabel1(const std::string &text, Colour colour) = 0; // connection status
    virtual void setLabel3(const std::string &text) = 0;                // baud rate
    virtual void setLabel8(const std::string &text) = 0;                // the board's answer
    virtual void setVisible(bool visible) = 0;
    // Called whenever the window is asked to close; the window closes either way.
    virtual void setCloseHandler(std::function<void()> handler) = 0;
    // Modal, with OK and Cancel; returns once either dismisses it. Lines are separated by CR LF.
    // A platform where nobody could see or dismiss it returns at once.
    virtual void showMessageBox(const std::string &title, const std::string &text) = 0;
    // The failure that ends a run, told to the person in front of the window: modal, with OK
    // alone where the platform has such a box.
    virtual void showFailure(const std::string &title, const std::string &text)
    {
        showMessageBox(title, text);
    }
};

// Command mode's window: it keeps what it was told and shows nothing.
class HeadlessWindow : public Window
{
public:
    void setLabel1(const std::string &text, Colour colour) override
    {
        label1 = text;
        label1Colour = colour;
    }
    void setLabel3(const std::string &text) override { label3 = text; }
    void setLabel8(const std::string &text) override { label8 = text; }
    void setVisible(bool shown) override { visible = shown; }
    void setCloseHandler(std::function<void()> handler) override { close = std::move(handler); }
    void showMessageBox(const std::string &title, const std::string &text) override
    {
        boxTitle = title;
        boxText = text;
    }

    std::string label1 = form::control("Label1").text;
    Colour label1Colour = Colour::Black;
    std::string label3 = form::control("Label3").text;
    std::string label8 = form::control("Label8").text;
    bool visible = false;
    std::function<void()> close;
    std::string boxTitle, boxText;
};
