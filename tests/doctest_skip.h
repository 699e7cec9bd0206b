// A doctest case that cannot run here says why and stops; where everything must run (CI sets
// COMUTEL_NO_SKIPS), that same reason is a failure.
#pragma once

#include <doctest/doctest.h>

#include <cstdlib>

#define COMUTEL_SKIP(reason)                                                                       \
    do {                                                                                           \
        if (std::getenv("COMUTEL_NO_SKIPS"))                                                       \
            FAIL(reason);                                                                          \
        MESSAGE("skipped: " << reason);                                                            \
        return;                                                                                    \
    } while (false)
