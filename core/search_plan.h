// Which COM numbers a run tries, fixed before the search starts: 2 to 30, one a tick, or the
// number of the one device the user named for the board (COMUTEL_DEVICE), alone, so that no
// other port ever gets the command; and what the user's COM map held that could not be used,
// for standard error. Each platform makes one from what its user set; --ports marks by it.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct SearchPlan
{
    static constexpr int kFirstPort = 2;
    static constexpr int kLastPort = 30;

    std::optional<int> onlyPort;          // the user's device, and no other
    std::vector<std::string> mapProblems; // one line for each map entry that was ignored

    int first() const { return onlyPort.value_or(kFirstPort); }
    int last() const { return onlyPort.value_or(kLastPort); }
    bool searches(int number) const { return number >= first() && number <= last(); }
};
