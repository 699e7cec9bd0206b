// SIGTERM, SIGINT and SIGHUP (kill, Ctrl-C, a logout) reach the event loop as a readable file
// descriptor, so the program ends through its own close request: the port closed, its lock file
// removed, the turn released. Then reraise ends the process by that same signal, as the caller
// expects of a killed program.
#pragma once

class TerminationSignals
{
public:
    // Catches the three signals, except one the caller set to be ignored (nohup, a background
    // job's SIGINT): that one stays ignored. One instance per process.
    TerminationSignals();
    // Puts back the dispositions found at construction.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    // Readable once a signal has come: for an FdWatcher.
    int fd() const { return m_readFd; }
    // Reads what came; true when a signal has been received.
    bool consume();
    // The first signal received, 0 while none.
    int received() const { return m_received; }

    // Ends the process by signal, with its default action, whatever the mask.
    [[noreturn]] static void reraise(int signal);
    // After the loop: a run ended by a signal ends by that same signal, as its caller expects;
    // so does one whose box a signal closed, which no loop was there to read. Else status.
    int finish(int status);

private:
    int m_readFd = -1;
    int m_received = 0;
};
