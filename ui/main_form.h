// The window's static layout: every control with its text, font, colour and place. The
// controller only writes Label1, Label3 and Label8; the rest never changes at run time.
#pragma once

class QLabel;
class QWidget;

class MainForm
{
public:
    // Builds the controls on window (title, fixed size and white background included).
    void setupUi(QWidget *window);

    QLabel *Label1 = nullptr; // connection status
    QLabel *Label3 = nullptr; // baud rate
    QLabel *Label8 = nullptr; // example command, later the board's answer
};
