#include "support/support.h"

#include <mmsystem.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace testing {

static std::string Env(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

std::string WinPath(const std::string &unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string ScrPath() { return WinPath(Env("PIMBO_SCR")); }
std::string SourcePath(const std::string &relative) { return WinPath(Env("PIMBO_SOURCE_DIR") + "/" + relative); }
std::string BinaryPath(const std::string &relative) { return WinPath(Env("PIMBO_BINARY_DIR") + "/" + relative); }

PROCESS_INFORMATION StartProcess(const std::string &commandLine)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        ZeroMemory(&process, sizeof process);
    return process;
}

DWORD FinishProcess(PROCESS_INFORMATION &process, DWORD timeoutMs)
{
    if (!process.hProcess)
        return (DWORD)-2;
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ZeroMemory(&process, sizeof process);
    return code;
}

DWORD RunProcess(const std::string &commandLine, DWORD timeoutMs)
{
    PROCESS_INFORMATION process = StartProcess(commandLine);
    return FinishProcess(process, timeoutMs);
}

PROCESS_INFORMATION StartScr(const std::string &tail)
{
    return StartProcess("\"" + ScrPath() + "\" " + tail);
}

void Pump(DWORD milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return done();
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    }
}

struct WindowSearch {
    DWORD processId;
    const char *cls;
    const char *caption;
    HWND found;
};

static BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param)
{
    WindowSearch *search = (WindowSearch *)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    char text[256] = "";
    if (search->cls && (!GetClassNameA(window, text, sizeof text) || lstrcmpiA(text, search->cls) != 0))
        return TRUE;
    text[0] = '\0';
    if (search->caption && (GetWindowTextA(window, text, sizeof text), lstrcmpA(text, search->caption) != 0))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND WaitForProcessWindow(DWORD processId, const char *cls, const char *caption, DWORD timeoutMs)
{
    WindowSearch search = { processId, cls, caption, NULL };
    PumpUntil([&] {
        EnumWindows(MatchProcessWindow, (LPARAM)&search);
        return search.found != NULL;
    }, timeoutMs);
    return search.found;
}

void TapKey(WORD key)
{
    INPUT input[2];
    ZeroMemory(input, sizeof input);
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

int GdiHeadroom()
{
    std::vector<HPEN> pens;
    pens.reserve(70000);
    for (int i = 0; i < 70000; ++i) {
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(i & 255, 0, 0));
        if (!pen)
            break;
        pens.push_back(pen);
    }
    for (HPEN pen : pens)
        DeleteObject(pen);
    return (int)pens.size();
}

static GdiCallCounter *gdiCounter;
static struct {
    decltype(&CreateCompatibleDC) createDc;
    decltype(&CreateCompatibleBitmap) createCompatibleBitmap;
    decltype(&CreateBitmap) createBitmap;
    decltype(&CreateDIBSection) createDibSection;
    decltype(&CreateFontA) createFont;
    decltype(&CreateSolidBrush) createBrush;
    decltype(&SelectObject) select;
    decltype(&BitBlt) blit;
} gdiCalls;

static HDC WINAPI CountCreateDc(HDC dc)
{
    ++gdiCounter->made;
    return gdiCalls.createDc(dc);
}

static HBITMAP WINAPI CountCreateCompatibleBitmap(HDC dc, int width, int height)
{
    ++gdiCounter->made;
    return gdiCalls.createCompatibleBitmap(dc, width, height);
}

static HBITMAP WINAPI CountCreateBitmap(int width, int height, UINT planes, UINT bits, const void *data)
{
    ++gdiCounter->made;
    return gdiCalls.createBitmap(width, height, planes, bits, data);
}

static HBITMAP WINAPI CountCreateDibSection(HDC dc, const BITMAPINFO *info, UINT usage, void **bits,
                                            HANDLE section, DWORD offset)
{
    ++gdiCounter->made;
    return gdiCalls.createDibSection(dc, info, usage, bits, section, offset);
}

static HFONT WINAPI CountCreateFont(int height, int width, int escapement, int orientation, int weight,
                                    DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                                    DWORD precision, DWORD clipPrecision, DWORD quality, DWORD pitch,
                                    LPCSTR face)
{
    ++gdiCounter->made;
    return gdiCalls.createFont(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                               charSet, precision, clipPrecision, quality, pitch, face);
}

static HBRUSH WINAPI CountCreateBrush(COLORREF colour)
{
    ++gdiCounter->made;
    return gdiCalls.createBrush(colour);
}

static HGDIOBJ WINAPI CountSelect(HDC dc, HGDIOBJ object)
{
    if (GetObjectType(object) == OBJ_BITMAP)
        ++gdiCounter->bitmapsSelected;
    return gdiCalls.select(dc, object);
}

typedef void (*AnyEntry)(void);

static BOOL WINAPI CountBlit(HDC dc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                             DWORD operation)
{
    if (dc == gdiCounter->watched)
        ++gdiCounter->blitsOnWatched;
    return gdiCalls.blit(dc, x, y, width, height, source, sourceX, sourceY, operation);
}

// Points the program's import of the gdi32 function at entry; returns
// where it pointed before, null when the program does not import it.
static AnyEntry PatchGdiImport(const char *name, AnyEntry entry)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    const IMAGE_NT_HEADERS *headers = (const IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *library = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress);
         imports.VirtualAddress && library->Name; ++library) {
        if (lstrcmpiA((const char *)(base + library->Name), "gdi32.dll") != 0)
            continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + library->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + library->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name, name) != 0)
                continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            AnyEntry before = (AnyEntry)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)entry;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return before;
        }
    }
    return NULL;
}

// Each entry with its counting stand-in; the first pass puts the stand-ins
// in, the second the real ones back.
static void SwapGdiImports(bool counting)
{
    struct Swap { const char *name; AnyEntry *real; AnyEntry counter; } swaps[] = {
        { "CreateCompatibleDC", (AnyEntry *)&gdiCalls.createDc, (AnyEntry)CountCreateDc },
        { "CreateCompatibleBitmap", (AnyEntry *)&gdiCalls.createCompatibleBitmap, (AnyEntry)CountCreateCompatibleBitmap },
        { "CreateBitmap", (AnyEntry *)&gdiCalls.createBitmap, (AnyEntry)CountCreateBitmap },
        { "CreateDIBSection", (AnyEntry *)&gdiCalls.createDibSection, (AnyEntry)CountCreateDibSection },
        { "CreateFontA", (AnyEntry *)&gdiCalls.createFont, (AnyEntry)CountCreateFont },
        { "CreateSolidBrush", (AnyEntry *)&gdiCalls.createBrush, (AnyEntry)CountCreateBrush },
        { "SelectObject", (AnyEntry *)&gdiCalls.select, (AnyEntry)CountSelect },
        { "BitBlt", (AnyEntry *)&gdiCalls.blit, (AnyEntry)CountBlit },
    };
    for (const Swap &swap : swaps) {
        if (counting)
            *swap.real = PatchGdiImport(swap.name, swap.counter);
        else if (*swap.real)
            PatchGdiImport(swap.name, *swap.real);
    }
}

GdiCallCounter::GdiCallCounter(HDC watchedDc) : watched(watchedDc)
{
    gdiCounter = this;
    SwapGdiImports(true);
}

GdiCallCounter::~GdiCallCounter()
{
    SwapGdiImports(false);
    gdiCounter = NULL;
}

ClipNotices clipNotices;

static LRESULT CALLBACK ClipListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MM_MCINOTIFY) {
        ++clipNotices.count;
        clipNotices.code = wParam;
        clipNotices.device = lParam;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeTestWindow(WNDPROC proc, const char *className, DWORD style, RECT place, HMENU menu)
{
    WNDCLASSA cls;
    ZeroMemory(&cls, sizeof cls);
    cls.lpfnWndProc = proc;
    cls.hInstance = GetModuleHandleA(NULL);
    cls.lpszClassName = className;
    RegisterClassA(&cls);
    return CreateWindowExA(0, className, className, style, place.left, place.top, place.right - place.left,
                           place.bottom - place.top, NULL, menu, cls.hInstance, NULL);
}

HWND MakeClipListener()
{
    return MakeTestWindow(ClipListenerProc, "ClipListener", WS_POPUP, RECT{ 0, 0, 10, 10 });
}

int OpenWaveDevices()
{
    DWORD count = 0;
    MCI_SYSINFO_PARMSA info;
    ZeroMemory(&info, sizeof info);
    info.lpstrReturn = (LPSTR)&count;
    info.dwRetSize = sizeof count;
    info.wDeviceType = MCI_DEVTYPE_WAVEFORM_AUDIO;
    if (mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_SYSINFO, MCI_SYSINFO_QUANTITY | MCI_SYSINFO_OPEN, (DWORD_PTR)&info))
        return -1;
    return (int)count;
}

std::string IniPath()
{
    char dir[MAX_PATH] = "";
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\Pimbo95.ini";
}

std::string PerUserIniFolder()
{
    char folder[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, SHGFP_TYPE_CURRENT, folder);
    return std::string(folder) + "\\Fizzy Pimbo";
}

std::string PerUserIniPath()
{
    return PerUserIniFolder() + "\\Pimbo95.ini";
}

void RemoveIni()
{
    // The profile functions cache files; flush before deleting.
    WritePrivateProfileStringA(NULL, NULL, NULL, "Pimbo95.ini");
    DeleteFileA(IniPath().c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, PerUserIniPath().c_str());
    DeleteFileA(PerUserIniPath().c_str());
    RemoveDirectoryA(PerUserIniFolder().c_str());
}

bool PutIni(const std::string &lines)
{
    RemoveIni();
    return WriteFileBytes(IniPath(), "[Fizzy Pimbo Screen Saver]\r\n" + lines);
}

std::string IniText()
{
    WritePrivateProfileStringA(NULL, NULL, NULL, "Pimbo95.ini");
    return ReadFileBytes(IniPath());
}

std::string IniValue(const char *key, const std::string &file)
{
    char value[MAX_PATH] = "";
    WritePrivateProfileStringA(NULL, NULL, NULL, file.c_str());
    GetPrivateProfileStringA("Fizzy Pimbo Screen Saver", key, "<missing>", value, sizeof value, file.c_str());
    return value;
}

std::vector<uint32_t> GrabQuads(HDC source, int left, int top, int width, int height)
{
    std::vector<uint32_t> quads;
    if (width <= 0 || height <= 0)
        return quads;
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP dib = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!dib)
        return quads;
    HDC memory = CreateCompatibleDC(source);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, source, left, top, SRCCOPY);
    GdiFlush();
    quads.assign((const uint32_t *)bits, (const uint32_t *)bits + (size_t)width * height);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    return quads;
}

std::string TempDirectory(const std::string &name)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + name + "\\";
    CreateDirectoryA(path.c_str(), NULL);
    return path;
}

std::string ReadFileBytes(const std::string &path)
{
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    fclose(file);
    return bytes;
}

bool WriteFileBytes(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

bool ExtendFile(const std::string &path, LONGLONG size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = size;
    bool ok = SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file);
    return CloseHandle(file) && ok;
}

static void Put32(std::string &bytes, size_t offset, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = (char)(((uint32_t)value >> (8 * i)) & 0xFF);
}

std::string FrameBytes(int x, int y, int pose, int pause, int wink, const std::string &text)
{
    std::string bytes(92, '\0');
    Put32(bytes, 0, x);
    Put32(bytes, 4, y);
    Put32(bytes, 8, pose);
    Put32(bytes, 12, pause);
    Put32(bytes, 16, wink);
    memcpy(&bytes[20], text.data(), text.size() < 71 ? text.size() : 71);
    return bytes;
}

std::string ToonBytes(const std::vector<POINT> &points, int pause, int background, uint32_t version)
{
    std::string bytes(104, '\0');
    memcpy(&bytes[0], "Pimbo Toon Frame File", 22);
    Put32(bytes, 32, (int32_t)version);
    memcpy(&bytes[36], "test toon", 10);
    Put32(bytes, 88, 1024 | (768 << 16));
    Put32(bytes, 92, (int32_t)points.size());
    Put32(bytes, 96, 5);
    Put32(bytes, 100, background);
    for (size_t i = 0; i < points.size(); ++i)
        bytes += FrameBytes(points[i].x, points[i].y, (int)i, pause, 0, "");
    return bytes;
}

COLORREF ClientPixel(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

static BoxCatcher *activeCatcher;

static BOOL CALLBACK CollectButton(HWND child, LPARAM param)
{
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") == 0)
        ((std::vector<int> *)param)->push_back(GetDlgCtrlID(child));
    return TRUE;
}

void CALLBACK BoxCatcherTimer(HWND box, UINT, UINT_PTR id, DWORD)
{
    KillTimer(box, id);
    if (!activeCatcher)
        return;
    CaughtBox caught;
    caught.window = box;
    char buffer[1024] = "";
    GetWindowTextA(box, buffer, sizeof buffer);
    caught.caption = buffer;
    buffer[0] = '\0';
    GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
    caught.text = buffer;
    caught.style = GetWindowLongA(box, GWL_STYLE);
    caught.icon = IconOf(box);
    EnumChildWindows(box, CollectButton, (LPARAM)&caught.buttons);
    activeCatcher->boxes.push_back(caught);
    int button = activeCatcher->answer(box, caught);
    if (button) {
        HWND control = GetDlgItem(box, button);
        if (control)
            SendMessageA(control, BM_CLICK, 0, 0);
        else
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    }
}

LRESULT CALLBACK BoxCatcherHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && activeCatcher) {
        HWND window = (HWND)wParam;
        char cls[16] = "";
        GetClassNameA(window, cls, sizeof cls);
        if (lstrcmpA(cls, "#32770") == 0)
            SetTimer(window, 0x7E57, 50, BoxCatcherTimer);
    }
    return CallNextHookEx(activeCatcher ? activeCatcher->hook : NULL, code, wParam, lParam);
}

BoxCatcher::BoxCatcher(std::function<int(HWND, const CaughtBox &)> answerBox)
    : answer(std::move(answerBox)), hook(NULL)
{
    activeCatcher = this;
    hook = SetWindowsHookExA(WH_CBT, BoxCatcherHook, NULL, GetCurrentThreadId());
}

BoxCatcher::~BoxCatcher()
{
    if (hook)
        UnhookWindowsHookEx(hook);
    activeCatcher = NULL;
}

int IconOf(HWND box)
{
    const int iconControl = 1088;
    HICON icon = (HICON)SendDlgItemMessageA(box, iconControl, STM_GETICON, 0, 0);
    if (icon && icon == LoadIconA(NULL, IDI_HAND))
        return MB_ICONHAND;
    if (icon && icon == LoadIconA(NULL, IDI_EXCLAMATION))
        return MB_ICONEXCLAMATION;
    if (icon && icon == LoadIconA(NULL, IDI_QUESTION))
        return MB_ICONQUESTION;
    return 0;
}

int TypeFileName(HWND box, const std::string &name)
{
    const int fileNameCombo = 0x047C;   // cmb13
    SetDlgItemTextA(box, fileNameCombo, name.c_str());
    return IDOK;
}

void *PatchImport(const char *dll, const char *function, void *replacement)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return NULL;
    for (IMAGE_IMPORT_DESCRIPTOR *import = (IMAGE_IMPORT_DESCRIPTOR *)(base + directory.VirtualAddress);
         import->Name; ++import) {
        if (lstrcmpiA((const char *)(base + import->Name), dll) != 0 || !import->OriginalFirstThunk)
            continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + import->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME *byName = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (lstrcmpA((const char *)byName->Name, function) != 0)
                continue;
            DWORD protection;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection))
                return NULL;
            void *previous = (void *)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return previous;
        }
    }
    return NULL;
}

typedef HANDLE (WINAPI *CreateFileAProc)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
typedef BOOL (WINAPI *DeviceIoControlProc)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);

static std::string fakeDeviceName;
static std::string fakeDeviceLog;
static std::vector<HANDLE> fakeDeviceHandles;
static std::vector<DWORD> fakeDeviceCodes;
static CreateFileAProc realCreateFileA;
static DeviceIoControlProc realDeviceIoControl;

static HANDLE WINAPI FakeCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                     DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (name && lstrcmpiA(name, fakeDeviceName.c_str()) == 0) {
        // Any handle that CloseHandle accepts will do.
        HANDLE handle = CreateEventA(NULL, TRUE, FALSE, NULL);
        fakeDeviceHandles.push_back(handle);
        return handle;
    }
    return realCreateFileA(name, access, share, security, disposition, flags, templateFile);
}

static BOOL WINAPI FakeDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                       DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped)
{
    bool ours = false;
    for (HANDLE handle : fakeDeviceHandles)
        ours = ours || handle == device;
    if (!ours)
        return realDeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    fakeDeviceCodes.push_back(code);
    if (!fakeDeviceLog.empty()) {
        FILE *file = fopen(fakeDeviceLog.c_str(), "ab");
        if (file) {
            fprintf(file, "control %lu\n", (unsigned long)code);
            fclose(file);
        }
    }
    if (returned)
        *returned = 0;
    return TRUE;
}

void FakeDevice(const char *name, const char *logPath)
{
    fakeDeviceName = name;
    fakeDeviceLog = logPath ? logPath : "";
    fakeDeviceCodes.clear();
    if (!realCreateFileA)
        realCreateFileA = (CreateFileAProc)PatchImport("kernel32.dll", "CreateFileA", (void *)FakeCreateFileA);
    if (!realDeviceIoControl)
        realDeviceIoControl = (DeviceIoControlProc)PatchImport("kernel32.dll", "DeviceIoControl",
                                                                (void *)FakeDeviceIoControl);
}

void RemoveFakeDevice()
{
    if (realCreateFileA)
        PatchImport("kernel32.dll", "CreateFileA", (void *)realCreateFileA);
    if (realDeviceIoControl)
        PatchImport("kernel32.dll", "DeviceIoControl", (void *)realDeviceIoControl);
    realCreateFileA = NULL;
    realDeviceIoControl = NULL;
    fakeDeviceHandles.clear();
}

const std::vector<DWORD> &FakeDeviceCodes()
{
    return fakeDeviceCodes;
}

}  // namespace testing
