#include "support/process_meter.h"

#include <winternl.h>
#include <psapi.h>
#include <vector>

namespace testing {

typedef NTSTATUS(NTAPI *QueryProcessProc)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
typedef NTSTATUS(NTAPI *QuerySystemProc)(ULONG, PVOID, ULONG, PULONG);

static const ULONG SYSTEM_EXTENDED_HANDLE_INFORMATION = 64;
static const size_t PEB_GDI_TABLE_OFFSET = sizeof(void *) == 8 ? 0xF8 : 0x94;
static const size_t GDI_TABLE_ENTRIES = 0x10000;
static const size_t GDI_ENTRY_SIZE = 24;       // Wine's layout, the same for both bitnesses
static const size_t GDI_ENTRY_TYPE_OFFSET = 14; // 0 in a free entry

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
};

static void *NtFunction(const char *name)
{
    return (void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), name);
}

static long CountGdiTable(HANDLE process)
{
    QueryProcessProc query = (QueryProcessProc)NtFunction("NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic;
    ULONG length = 0;
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, &length) != 0)
        return -1;
    void *table = nullptr;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, (char *)basic.PebBaseAddress + PEB_GDI_TABLE_OFFSET, &table,
                           sizeof table, &got) || !table)
        return -1;
    std::vector<unsigned char> entries(GDI_TABLE_ENTRIES * GDI_ENTRY_SIZE);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size(), &got) || got != entries.size())
        return -1;
    long count = 0;
    for (size_t i = 0; i < GDI_TABLE_ENTRIES; ++i)
        count += entries[i * GDI_ENTRY_SIZE + GDI_ENTRY_TYPE_OFFSET] != 0;
    return count;
}

struct WindowCount {
    DWORD processId;
    long windows;
};

static BOOL CALLBACK CountChild(HWND, LPARAM param)
{
    ++((WindowCount *)param)->windows;
    return TRUE;
}

static BOOL CALLBACK CountTopLevel(HWND window, LPARAM param)
{
    WindowCount *count = (WindowCount *)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == count->processId) {
        ++count->windows;
        EnumChildWindows(window, CountChild, param);
    }
    return TRUE;
}

static long CountHandles(DWORD processId)
{
    QuerySystemProc query = (QuerySystemProc)NtFunction("NtQuerySystemInformation");
    if (!query)
        return -1;
    std::vector<char> buffer(1 << 20);
    for (int tries = 0; tries < 6; ++tries, buffer.resize(buffer.size() * 2)) {
        ULONG needed = 0;
        NTSTATUS status = query(SYSTEM_EXTENDED_HANDLE_INFORMATION, buffer.data(), (ULONG)buffer.size(), &needed);
        if (status != 0)
            continue;
        ULONG_PTR entries = *(ULONG_PTR *)buffer.data();
        const HandleEntry *entry = (const HandleEntry *)(buffer.data() + 2 * sizeof(ULONG_PTR));
        if (2 * sizeof(ULONG_PTR) + entries * sizeof *entry > buffer.size())
            return -1;
        long count = 0;
        for (ULONG_PTR i = 0; i < entries; ++i)
            count += entry[i].processId == processId;
        return count;
    }
    return -1;
}

ProcessCounts MeasureProcess(HANDLE process, DWORD processId)
{
    ProcessCounts counts;
    counts.gdiObjects = (long)GetGuiResources(process, GR_GDIOBJECTS);
    if (!counts.gdiObjects)
        counts.gdiObjects = CountGdiTable(process);
    counts.userObjects = (long)GetGuiResources(process, GR_USEROBJECTS);
    if (!counts.userObjects) {
        WindowCount windows = { processId, 0 };
        EnumWindows(CountTopLevel, (LPARAM)&windows);
        counts.userObjects = windows.windows;
    }
    DWORD handles = 0;
    counts.handles = GetProcessHandleCount(process, &handles) && handles ? (long)handles : CountHandles(processId);
    PROCESS_MEMORY_COUNTERS_EX memory;
    ZeroMemory(&memory, sizeof memory);
    memory.cb = sizeof memory;
    counts.privateBytes = -1;
    if (GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS *)&memory, sizeof memory))
        counts.privateBytes = memory.PrivateUsage ? (long long)memory.PrivateUsage : (long long)memory.PagefileUsage;
    return counts;
}

}  // namespace testing
