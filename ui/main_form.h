// The form's table (core/form.h) as widgets: each control a label (the link a LinkLabel) or, for
// a line, a frame, named as the table names it and placed at 15 twips to a logical pixel.
#pragma once

class QLabel;
class QWidget;

class MainForm
{
public:
    // Builds the controls on window (title, fixed size, fonts and white background included).
    void setupUi(QWidget *window);

    // The labels the controller writes.
    QLabel *Label1 = nullptr; // connection status
    QLabel *Label3 = nullptr; // baud rate
    QLabel *Label8 = nullptr; // example command, later the board's answer
};
