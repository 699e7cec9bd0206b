// What comutel tells about itself and the machine, touching neither the board nor the log:
// --help (and /? on Windows), --version, --ports.
#pragma once

#include <optional>
#include <string>

// The exit status, once the parameter was one of those and has been answered; nothing for any
// other parameter, which is the board's.
std::optional<int> infoCommand(const std::string &parameter);
