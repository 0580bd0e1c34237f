// Helpers shared by the test programs.
#ifndef PIMBO_TESTS_SUPPORT_H
#define PIMBO_TESTS_SUPPORT_H

#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>
#include <functional>

namespace testing {

// Windows path of a file given by a Unix path (wine maps Z: to /).
std::string WinPath(const std::string &unixPath);
// Paths handed to the tests by CTest.
std::string ScrPath();               // the built Pimbo95.scr
std::string SourcePath(const std::string &relative);
std::string BinaryPath(const std::string &relative);

// Starts a program (command line as given) and waits for it; returns its
// exit code, or STILL_ACTIVE when it was killed after timeoutMs.
DWORD RunProcess(const std::string &commandLine, DWORD timeoutMs);
// Starts a program and leaves it running; all zero when it cannot start.
PROCESS_INFORMATION StartProcess(const std::string &commandLine);
// Starts Pimbo95.scr with the given tail; the process is left running.
PROCESS_INFORMATION StartScr(const std::string &tail);
// Waits for a process and closes its handles; STILL_ACTIVE on time-out
// (the process is then terminated).
DWORD FinishProcess(PROCESS_INFORMATION &process, DWORD timeoutMs);

// Dispatches this thread's messages for the given time.
void Pump(DWORD milliseconds);
// Dispatches messages until done() or the time is up; returns done().
bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs);

// The first visible top-level window of the process with this class and
// caption (either may be NULL for any), waited for while pumping.
HWND WaitForProcessWindow(DWORD processId, const char *cls, const char *caption, DWORD timeoutMs);
// Presses and releases one key through the input queue.
void TapKey(WORD key);

// How many GDI objects can still be created: a leak lowers it.
int GdiHeadroom();

// While one lives, counts the DCs, bitmaps, fonts and brushes the program
// makes, the bitmaps it selects into DCs and its blits onto watched, through
// counting entries put in the gdi32 part of its import table (and taken out
// again at the end).
struct GdiCallCounter {
    explicit GdiCallCounter(HDC watched = NULL);
    ~GdiCallCounter();
    HDC watched;
    int made = 0;
    int bitmapsSelected = 0;
    int blitsOnWatched = 0;
};

// Full path of the settings file in the Windows directory, and removing it
// (the per-user one goes too).
std::string IniPath();
void RemoveIni();
// The per-user settings file in the roaming application data, and its folder.
std::string PerUserIniPath();
std::string PerUserIniFolder();
std::string ReadFileBytes(const std::string &path);
// A directory of this name in the temporary directory, made if need be;
// its path ends in a backslash.
std::string TempDirectory(const std::string &name);
bool WriteFileBytes(const std::string &path, const std::string &bytes);
// Makes the file size bytes long without writing what is added (sparse):
// a file far too big to be a toon, made in no time.
bool ExtendFile(const std::string &path, LONGLONG size);

// A toon file made on a 1024 x 768 stage, captioned "test toon", speed 5,
// with the given background and version word: frame i walks to points[i]
// and strikes pose i for the pause, silent.
std::string ToonBytes(const std::vector<POINT> &points, int pause, int background = 1,
                      uint32_t version = 0x20001);
// Bytes of one frame as the format lays it out.
std::string FrameBytes(int x, int y, int pose, int pause, int wink, const std::string &text);

// Replaces the settings file with the given lines of our section, and reads
// it back after flushing the profile cache.
bool PutIni(const std::string &lines);
std::string IniText();
// One value of our section of a settings file, read after flushing the
// profile cache; "<missing>" when the key is not there.
std::string IniValue(const char *key, const std::string &file = IniPath());

// Copies a rectangle of a DC in one transfer: 0x00RRGGBB, top row first;
// empty when the copy cannot be made.
std::vector<uint32_t> GrabQuads(HDC source, int left, int top, int width, int height);

// Reads back one pixel of a window's client area as RGB.
COLORREF ClientPixel(HWND window, int x, int y);

// Catches message boxes and dialogs (class #32770) created on this thread.
struct CaughtBox {
    HWND window;               // gone once the box is answered
    std::string caption;
    std::string text;          // of the static control 0xFFFF, if any
    std::vector<int> buttons;  // ids of the push buttons it has
    LONG style;
    int icon;                  // as IconOf tells
};
class BoxCatcher {
public:
    // answer(box) returns the id of the button to press (for example IDOK),
    // or 0 to leave the box to someone else.
    explicit BoxCatcher(std::function<int(HWND, const CaughtBox &)> answer);
    ~BoxCatcher();
    const std::vector<CaughtBox> &Boxes() const { return boxes; }
private:
    std::vector<CaughtBox> boxes;
    std::function<int(HWND, const CaughtBox &)> answer;
    HHOOK hook;
    friend LRESULT CALLBACK BoxCatcherHook(int, WPARAM, LPARAM);
    friend void CALLBACK BoxCatcherTimer(HWND, UINT, UINT_PTR, DWORD);
};

// The icon a message box shows: MB_ICONHAND, MB_ICONEXCLAMATION,
// MB_ICONQUESTION, or 0 for none.
int IconOf(HWND box);
// Fills the file name of an open or save dialog; returns IDOK to press.
int TypeFileName(HWND box, const std::string &name);

// A hidden window that takes the notifications of sound clips; what the
// last one said is kept in clipNotices, and count counts them all.
struct ClipNotices {
    int count;
    WPARAM code;
    LPARAM device;
};
extern ClipNotices clipNotices;
HWND MakeClipListener();
// How many wave-audio devices the process holds open; -1 when MCI cannot tell.
int OpenWaveDevices();
// A top-level window of a class registered (once) with the given procedure,
// for tests that need a window of their own; menu may be NULL.
HWND MakeTestWindow(WNDPROC proc, const char *className, DWORD style, RECT place, HMENU menu = NULL);

// Points this program's import of dll!function at replacement, so that the
// program's own calls reach it; returns the address it had, or NULL when the
// program does not import that function.
void *PatchImport(const char *dll, const char *function, void *replacement);

// Makes this program's CreateFileA open the device of the given name (for
// example \\.\REBOOT) and records the control codes DeviceIoControl sends
// to it; other files and handles are left alone. With a log path, each code
// is also appended to that file as a line "control N" as it arrives.
void FakeDevice(const char *name, const char *logPath = NULL);
void RemoveFakeDevice();
const std::vector<DWORD> &FakeDeviceCodes();

}  // namespace testing

#endif
