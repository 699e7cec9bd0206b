// A test that cannot run here says why and skips; where everything must run (CI sets
// COMUTEL_NO_SKIPS), that same reason is a failure. Included after doctest's header, doctest's
// form (a case cannot skip itself there: it says so and returns); else Qt Test's.
#pragma once

#include <cstdlib>

#ifdef DOCTEST_LIBRARY_INCLUDED
#define COMUTEL_SKIP_FAIL(reason) FAIL(reason)
#define COMUTEL_SKIP_HERE(reason) MESSAGE("skipped: " << reason)
#else
#include <QTest>
#define COMUTEL_SKIP_FAIL(reason) QFAIL(reason)
#define COMUTEL_SKIP_HERE(reason) QSKIP(reason)
#endif

#define COMUTEL_SKIP(reason)                                                                       \
    do {                                                                                           \
        if (std::getenv("COMUTEL_NO_SKIPS"))                                                       \
            COMUTEL_SKIP_FAIL(reason);                                                             \
        COMUTEL_SKIP_HERE(reason);                                                                 \
        return;                                                                                    \
    } while (false)
