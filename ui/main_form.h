// The window's static layout: every control with its text, font, colour and place, placed in
// twips as the window was drawn. The controller only writes Label1, Label3 and Label8; the rest
// never changes at run time.
#pragma once

#include <QString>
#include <QUrl>

class QFrame;
class QLabel;
class QWidget;

class MainForm
{
public:
    // The maker's site as Label7 shows it; a click opens it with the desktop's URL handler.
    static inline const QString kMakerSite = QStringLiteral("pelmora.example");
    static QUrl makerSiteUrl() { return QUrl(QStringLiteral("https://") + kMakerSite + '/'); }

    // Builds the controls on window (title, fixed size, fonts and white background included).
    void setupUi(QWidget *window);

    QLabel *Label4 = nullptr; // what the program drives
    QLabel *Label5 = nullptr; // how to call it
    QLabel *Label6 = nullptr; // the relay commands
    QLabel *Label9 = nullptr;
    QLabel *Label8 = nullptr; // example command, later the board's answer
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr; // connection status
    QLabel *Label3 = nullptr; // baud rate
    QLabel *picIcon = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *Label7 = nullptr; // the maker's site
    QLabel *lblDescription = nullptr;
    QFrame *Line1 = nullptr;

private:
    void setupWindow(QWidget *window);
    void setupUsage(QWidget *window);
    void setupStatus(QWidget *window);
    void setupMaker(QWidget *window);
};
