// Checks for test programs built without exceptions, where REQUIRE cannot
// end a test case.
#ifndef PIMBO_TESTS_CHECKS_H
#define PIMBO_TESTS_CHECKS_H

#include <doctest.h>

// A failed precondition ends the test case by returning. The condition is
// evaluated once: it may start a process or create an object.
#define CHECK_OR_RETURN(condition)                          \
    do {                                                    \
        const bool holds_ = static_cast<bool>(condition);   \
        CHECK_MESSAGE(holds_, #condition);                  \
        if (!holds_)                                        \
            return;                                         \
    } while (0)

#endif
