// The window as the controller sees it: three labels it writes, visibility, and the close
// request. In command mode nothing is ever shown, so the widgets are not even loaded then
// (HeadlessWindow); window mode gets the real one from the window module.
#pragma once

#include <QString>

#include <functional>

class Window
{
public:
    enum class Colour { Black, Green, Red };

    virtual ~Window() = default;

    virtual void setLabel1(const QString &text, Colour colour) = 0; // connection status
    virtual void setLabel3(const QString &text) = 0;                // baud rate
    virtual void setLabel8(const QString &text) = 0;                // the board's answer
    virtual void setVisible(bool visible) = 0;
    // Called whenever the window is asked to close; the window closes either way.
    virtual void setCloseHandler(std::function<void()> handler) = 0;
};

// Command mode's window: it keeps what it was told and shows nothing.
class HeadlessWindow : public Window
{
public:
    void setLabel1(const QString &text, Colour colour) override
    {
        label1 = text;
        label1Colour = colour;
    }
    void setLabel3(const QString &text) override { label3 = text; }
    void setLabel8(const QString &text) override { label8 = text; }
    void setVisible(bool shown) override { visible = shown; }
    void setCloseHandler(std::function<void()> handler) override { close = std::move(handler); }

    QString label1 = QStringLiteral("Buscando em COM");
    Colour label1Colour = Colour::Black;
    QString label3 = QStringLiteral("Baudrate (bp/s):");
    QString label8 = QStringLiteral("Comutel.exe 1");
    bool visible = false;
    std::function<void()> close;
};
