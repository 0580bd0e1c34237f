// Exports each shipped toon at 640 x 480 as the editor and /gif do, at
// one to one and at twice the scale (1280 x 960 in the file), and prints
// the time it took (on the wall and of processor time), the file's size
// and the toon's playing time, the sum of the file's delays.
//   tools/with-wine.sh wine64 build/bench/bench_export.exe toons
#include <windows.h>
#include <stdio.h>

#include "show/toon_export.h"
#include "toon/toon_file.h"

static const int width = 640, height = 480;
static const char *const toonNames[] = { "greeting", "dance", "voice" };

static double ProcessorMs()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    ULARGE_INTEGER k = { { kernel.dwLowDateTime, kernel.dwHighDateTime } };
    ULARGE_INTEGER u = { { user.dwLowDateTime, user.dwHighDateTime } };
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

// The delays of the graphic control extensions, walked block by block.
static long long PlayingMs(const BYTE *gif, size_t size)
{
    size_t at = 13;
    if (size < at)
        return -1;
    if (gif[10] & 0x80)
        at += 3u << ((gif[10] & 7) + 1);
    long long hundredths = 0;
    while (at < size && gif[at] != 0x3B) {
        if (gif[at] == 0x21 && at + 5 < size && gif[at + 1] == 0xF9)
            hundredths += gif[at + 4] | gif[at + 5] << 8;
        if (gif[at] == 0x21) {
            at += 2;
        } else if (gif[at] == 0x2C && at + 10 < size) {
            const BYTE flags = gif[at + 9];
            at += 10 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0) + 1;
        } else {
            return -1;
        }
        while (at < size && gif[at])
            at += gif[at] + 1u;
        ++at;
    }
    return hundredths * 10;
}

int main(int argc, char **argv)
{
    const char *folder = argc > 1 ? argv[1] : "toons";
    char gifPath[MAX_PATH];
    GetTempPathA(MAX_PATH - 20, gifPath);
    lstrcatA(gifPath, "bench-export.gif");
    printf("%-10s %6s %10s %14s %10s %12s\n", "toon", "scale", "wall ms", "processor ms", "bytes", "playing s");
    int failed = 0;
    for (int scale = 1; scale <= 2; ++scale) {
        for (const char *name : toonNames) {
            ToonDocument toon = {};
            snprintf(toon.fileName, sizeof toon.fileName, "%s\\%s.ptf", folder, name);
            if (TakeReadToon(&toon, ReadToonFile(&toon, NULL)) < 1) {
                printf("%-10s cannot be read\n", name);
                failed = 1;
                continue;
            }
            const double cpu = ProcessorMs();
            const DWORD wall = GetTickCount();
            const int result =
                ExportToonGifScaled(GetModuleHandleA(NULL), &toon, gifPath, width, height, scale, NULL);
            const DWORD wallMs = GetTickCount() - wall;
            const double cpuMs = ProcessorMs() - cpu;
            HANDLE file = CreateFileA(gifPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
            const DWORD size = file == INVALID_HANDLE_VALUE ? 0 : GetFileSize(file, NULL);
            BYTE *bytes = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
            DWORD read = 0;
            if (file != INVALID_HANDLE_VALUE) {
                ReadFile(file, bytes, size, &read, NULL);
                CloseHandle(file);
            }
            const long long playing = PlayingMs(bytes, read);
            HeapFree(GetProcessHeap(), 0, bytes);
            printf("%-10s %5dx %10lu %14.0f %10lu %12.1f%s\n", name, scale, (unsigned long)wallMs, cpuMs,
                   (unsigned long)size, playing / 1000.0, result == EXPORT_DONE ? "" : " FAILED");
            failed |= result != EXPORT_DONE;
            FreeToonFrames(&toon);
        }
    }
    DeleteFileA(gifPath);
    return failed;
}
