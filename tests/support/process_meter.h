// What another process holds, measured from the outside.
#ifndef PIMBO_TESTS_PROCESS_METER_H
#define PIMBO_TESTS_PROCESS_METER_H

#include <windows.h>

namespace testing {

// -1 where a figure cannot be had.
struct ProcessCounts {
    long gdiObjects;
    long userObjects;
    long handles;
    long long privateBytes;
};

// Where the system's own counters answer 0 (Wine stubs GetGuiResources and
// GetProcessHandleCount, and leaves PrivateUsage empty) the figures are
// counted instead: GDI objects from the process's GDI handle table, USER
// objects as its windows, handles from the system's handle list, private
// bytes as its commit charge (Wine: anonymous resident plus swapped memory).
ProcessCounts MeasureProcess(HANDLE process, DWORD processId);

}  // namespace testing

#endif
