// Command mode's window: it shows nothing but the advice box, and that only where a display is
// named, loading the window module for it then alone; a failure is for standard error, never
// for a box that would hold a script up.
#pragma once

#include "core/standard_streams.h"
#include "core/window.h"

class AdviceWindow : public HeadlessWindow
{
public:
    explicit AdviceWindow(char **argv) : m_argv(argv) {}
    // streams: where a module that cannot be loaded is told of; signalFd: what closes the box
    // when a termination signal comes, as no loop of ours reads it while the box is up.
    void attach(StandardStreams &streams, int signalFd)
    {
        m_streams = &streams;
        m_signalFd = signalFd;
    }

    void showMessageBox(const std::string &title, const std::string &text) override;
    void showFailure(const std::string &, const std::string &) override {}

private:
    int m_argc = 1;
    char **m_argv;
    StandardStreams *m_streams = nullptr;
    int m_signalFd = -1;
};
