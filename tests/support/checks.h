// Checks for test programs built without exceptions, where REQUIRE cannot
// end a test case.
#ifndef PIMBO_TESTS_CHECKS_H
#define PIMBO_TESTS_CHECKS_H

#include <doctest.h>

// A failed precondition ends the test case by returning.
#define CHECK_OR_RETURN(condition) \
    do {                            \
        CHECK(condition);           \
        if (!(condition))           \
            return;                 \
    } while (0)

#endif
