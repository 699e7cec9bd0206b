// MainWindow is the whole program: it searches ports 2 to 30 for the relay board, sends the
// command given on the command line, catches the board's answer into the reply log, and ends
// through endProgram with an exit status a calling script can trust. Without a command it stays
// connected and shows the connection status in its window. It needs Qt Core only; the widgets
// behind Window are loaded when there is a window to show.
#pragma once

#include "comm_port.h"
#include "reply_collector.h"
#include "reply_log.h"
#include "window.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>

class MainWindow : public QObject
{
    Q_OBJECT

public:
    enum ExitStatus {
        ExitOk = 0,       // command sent (and answer logged), or window closed
        ExitNoPort = 1,   // command mode: no port would open
        ExitNoAnswer = 2, // E or R: no answer in time
        ExitFatal = 3,    // log not writable, port refused its settings, command not sent
    };

    static constexpr std::chrono::milliseconds kScanInterval{100};
    static constexpr std::chrono::milliseconds kReplyTimeout{500};
    static constexpr qint16 kFirstPort = 2;
    static constexpr qint16 kLastPort = 30;

    // Neither the port nor the view is owned; an empty parameter means window mode.
    MainWindow(CommPort *port, Window *view, const QString &parameter, const ReplyLog &log,
               QObject *parent = nullptr);
    ~MainWindow() override;

    // Runs once, at start; in window mode it shows the window as its last step.
    void onLoad();

    // The advice for a user whose board was not found, one piece per paragraph.
    static const QStringList &advice();

signals:
    // The program is over; the event loop should return exitStatus.
    void finished(int exitStatus);
    // A line for standard error.
    void diagnostic(const QString &line);
    // The board's answer, just before it goes to the reply log.
    void answered(const QByteArray &answer);

private:
    void onCloseRequest();
    void onScanTick();
    void giveUp();
    void sendCommand();
    void onComm(CommEvent event);
    void onReplyGathered(const QByteArray &reply);
    void onReplyTimeout();
    void endProgram(int exitStatus);

    bool commandMode() const { return !commandParameter.isEmpty(); }
    void setStatus(const QString &text, Window::Colour colour);

    CommPort *const MSComm1;
    Window *const window;
    const QString commandParameter;
    ReplyLog replyLog;
    QTimer TimerConectar;
    QTimer TimerRecebe;
    ReplyCollector replyCollector;
    qint16 portCounter = kFirstPort;
    QStringList openProblems; // devices that exist but would not open, for the advice
    bool ended = false;
};
