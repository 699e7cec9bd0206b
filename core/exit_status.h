// The exit statuses a calling script can trust.
#pragma once

enum ExitStatus : int {
    ExitOk = 0,       // command sent (and the answer logged), or window closed
    ExitNoPort = 1,   // command mode: no port would open
    ExitNoAnswer = 2, // E or R: no answer in time
    ExitFatal = 3,    // log not writable, port refused its settings, command not sent
};
