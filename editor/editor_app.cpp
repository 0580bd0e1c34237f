#include "editor/editor_app.h"

#include <stdio.h>
#include <string.h>
#include <commdlg.h>

#include "editor/editor_controls.h"
#include "editor/editor_window.h"
#include "editor/frame_editor.h"
#include "engine/messages.h"
#include "engine/screen.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "resources/resource.h"
#include "show/settings.h"
#include "show/toon_export.h"
#include "toon/toon_document.h"
#include "toon/toon_file.h"

#define MAIN_CLASS          "ToonHelpClass"
#define STAGE_CLASS         "ToonChildClass"
#define STAGE_TITLE         "no text"
#define MENU_ITEMS          7       // the separator counts
#define GIF_FILTER          "GIF pictures (*.gif)\0*.gif\0"
#define GIF_EXTENSION       "gif"
#define MESSAGE_SIZE        (MAX_PATH + 32)
#define MENU_LEFT           11
#define MENU_LIFT           44
#define VERSION_TEXT_SIZE   64
#define WINDOW_DEPTH_MAX    16      // controls within controls, far deeper than the editor's

EditorFrame editorFrame;

/* Classes, windows and the keys */

// A class left registered by an earlier start that made no windows counts
// as set up: registering it again fails, and the editor would never start.
static int SetUpClass(HINSTANCE instance, const char *name, WNDPROC procedure, HICON icon)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    windowClass.lpszClassName = name;
    if (RegisterClassA(&windowClass))
        return 1;
    WNDCLASSA existing;
    return GetClassInfoA(instance, name, &existing) != 0;
}

static int SetUpClasses(HINSTANCE instance)
{
    const int main = SetUpClass(instance, MAIN_CLASS, EditorWndProc,
                                LoadIconA(instance, MAKEINTRESOURCEA(IDI_PIMBO)));
    const int stage = SetUpClass(instance, STAGE_CLASS, StageWndProc, NULL);
    return main || stage;
}

static int CreateEditorWindows(HINSTANCE instance, int showCommand)
{
    editorFrame.instance = instance;
    HWND main = CreateWindowExA(0, MAIN_CLASS, NULL, WS_POPUP | WS_BORDER, 0, 0, 0, 0, editorFrame.owner,
                                NULL, instance, NULL);
    if (!main)
        return 0;
    ShowWindow(main, showCommand);
    UpdateWindow(main);
    // Loaded once: every load would make another handle of the same table.
    if (!editorFrame.accelerators)
        editorFrame.accelerators = LoadAcceleratorsA(instance, "BUTTONS");
    editorFrame.stageWindow = CreateWindowExA(0, STAGE_CLASS, STAGE_TITLE, WS_CHILD | WS_VISIBLE | WS_BORDER,
                                              0, 0, 0, 0, main, NULL, instance, NULL);
    return 1;
}

// A key typed in the editor's own windows (the main window with its stage,
// the frame editor), while no box of the editor's is up: such a box
// disables its owner and answers its keys itself.
static int IsEditorKey(const MSG *msg)
{
    HWND main = editorFrame.mainWindow;
    HWND frameEditor = frameEditorDialog;
    if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST || !main)
        return 0;
    if (!IsWindowEnabled(main) || (frameEditor && !IsWindowEnabled(frameEditor)))
        return 0;
    HWND root = msg->hwnd;
    for (int depth = 0; root && depth < WINDOW_DEPTH_MAX && (GetWindowLongA(root, GWL_STYLE) & WS_CHILD); ++depth)
        root = GetParent(root);
    return root == main || (frameEditor && root == frameEditor);
}

// The editor has no loop of its own: it lives in the configuration
// dialog's, which hands every message to the thread's filters before it
// looks at it. The editor's keys get its accelerators and the frame
// editor's dialog keys here; every other window keeps its own keys.
static LRESULT CALLBACK EditorKeyFilter(int code, WPARAM wParam, LPARAM lParam)
{
    MSG *msg = (MSG *)lParam;
    // The frame editor's IsDialogMessage calls the filters once more.
    if (code == MSGF_DIALOGBOX && !editorFrame.routingKey && IsEditorKey(msg)) {
        editorFrame.routingKey = 1;
        const int taken =
            (editorFrame.accelerators &&
             TranslateAcceleratorA(editorFrame.mainWindow, editorFrame.accelerators, msg)) ||
            (frameEditorDialog && IsDialogMessageA(frameEditorDialog, msg));
        editorFrame.routingKey = 0;
        if (taken)
            return 1;
    }
    return CallNextHookEx(editorFrame.keyFilter, code, wParam, lParam);
}

static void BringEditorForward(void)
{
    HWND main = editorFrame.mainWindow;
    if (IsIconic(main))
        ShowWindow(main, SW_RESTORE);
    // A box of the frame editor is the window to answer.
    HWND box = frameEditorDialog ? GetLastActivePopup(main) : main;
    SetForegroundWindow(box ? box : main);
}

int RunToonEditor(HINSTANCE instance, HWND owner, int showCommand)
{
    if (editorFrame.mainWindow) {
        BringEditorForward();
        return 0;
    }
    editorFrame.owner = owner;
    if (!editorFrame.classesReady && !SetUpClasses(instance))
        return 0;
    if (!CreateEditorWindows(instance, showCommand))
        return 0;
    editorFrame.classesReady = 1;
    return 1;
}

static int FrameEditorHasBox(void)
{
    return frameEditorDialog && !IsWindowEnabled(frameEditorDialog);
}

// Frames not yet saved are offered for saving before the frame editor goes
// with the main window; 0 when the user keeps the editor open. While the
// frame editor has a box up (its own question, a file dialog, Configure, a
// message) nothing is asked over it: the box comes forward and the editor
// stays.
static int SettleToonChanges(void)
{
    if (!frameEditorDialog)
        return 1;
    if (FrameEditorHasBox()) {
        BringEditorForward();
        return 0;
    }
    return AskSaveFrameEditorChanges(frameEditorDialog);
}

// A walk stops while the question is up; a close that does not happen
// leaves the editor as it was, the walk going on.
static int CloseEditorWindow(HWND window)
{
    const int paused = !FrameEditorHasBox() && PausePlayback(editorFrame.stage);
    if (!SettleToonChanges()) {
        if (paused)
            ResumePlayback(editorFrame.stage);
        return 0;
    }
    DestroyWindow(window);
    return 1;
}

int CloseToonEditor(void)
{
    if (!editorFrame.mainWindow)
        return 1;
    return CloseEditorWindow(editorFrame.mainWindow);
}

/* Commands */

static int CanExportToon(void);

static void BuildFileMenu(void)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, IDM_OPEN, "&Open..\tCtrl+O");
    AppendMenuA(menu, MF_STRING, IDM_EDIT, "&Edit..\tCtrl+E");
    AppendMenuA(menu, MF_STRING, IDM_PLAY, "&Play\tAlt+P");
    AppendMenuA(menu, MF_STRING, IDM_EXPORTGIF, "Export as &GIF..");
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, "&About..");
    AppendMenuA(menu, MF_STRING, IDM_EXIT, "E&xit");
    editorFrame.popupMenu = menu;
}

static void DestroyFileMenu(void)
{
    if (editorFrame.popupMenu) {
        DestroyMenu(editorFrame.popupMenu);
        editorFrame.popupMenu = NULL;
    }
}

static int SystemFontHeight(HWND window)
{
    TEXTMETRICA metrics;
    ZeroMemory(&metrics, sizeof metrics);
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return metrics.tmHeight;
}

static void ShowFileMenu(HWND window)
{
    RECT box;
    GetWindowRect(window, &box);
    const int itemHeight = SystemFontHeight(window);
    HMENU menu = editorFrame.popupMenu;
    EnableMenuItem(menu, IDM_PLAY, MF_BYCOMMAND | (ButtonEnabled(editorUi.playButton) ? MF_ENABLED : MF_GRAYED));
    const UINT fileState = frameEditorDialog ? MF_GRAYED : MF_ENABLED;
    EnableMenuItem(menu, IDM_OPEN, MF_BYCOMMAND | fileState);
    EnableMenuItem(menu, IDM_EDIT, MF_BYCOMMAND | fileState);
    EnableMenuItem(menu, IDM_EXPORTGIF, MF_BYCOMMAND | (CanExportToon() ? MF_ENABLED : MF_GRAYED));
    TrackPopupMenu(menu, 0, box.left + EditorLength(MENU_LEFT),
                   box.bottom - MENU_ITEMS * itemHeight - EditorLength(MENU_LIFT), 0, window, NULL);
}

void TakeEditorToonHeader(void)
{
    SetStageSpeed(editorFrame.stage, editorFrame.toon.header.frameSpeed);
    editorFrame.backgroundNumber = editorFrame.toon.header.backgroundIndex;
}

// The character back at the toon's start with Play ready. A random act
// keeps the stage until it ends; the toon then starts at frame 1 too.
void ResetEditorPlayback(void)
{
    ResetPlayback(editorFrame.stage);
    ShowEditorPlayState();
}

int EditedToonFolder(char *folder, DWORD size)
{
    const char *name = editorFrame.toon.fileName;
    char *namePart = NULL;
    DWORD length = name[0] ? GetFullPathNameA(name, size, folder, &namePart) : 0;
    if (length > 0 && length < size && namePart && *namePart) {
        *namePart = '\0';
        return 1;
    }
    if (strnlen(settings.directory, sizeof settings.directory) >= size)
        return 0;
    lstrcpynA(folder, settings.directory, (int)size);
    return 1;
}

// Unsaved frames are not asked about here: the frame editor asked when it
// closed. Until a toon is read, the one on hand stays as it was: its name,
// frames, flag and Play.
int OpenToonFile(HWND window)
{
    ToonDocument *toon = &editorFrame.toon;
    // A toon opened before the entrance keeps the stage.
    CancelEntrance(editorFrame.stage);
    const int wasModified = toon->modified;
    PrepareToonFileDialogs(toon, window, settings.directory);
    const ShownFrame none = { NULL, 0 };
    const int count = TakeReadToon(toon, OpenToonFileDialog(toon, window, none));
    if (!count) {
        SetToonModified(toon, window, wasModified);
        return 0;
    }
    TakeEditorToonHeader();
    SendMessageA(window, WM_ENABLEPLAY, 1, 0);
    // A toon paused before must not go on in the one just read.
    ResetEditorPlayback();
    SendMessageA(window, WM_TOONCHANGED, 0, 0);
    return count;
}

int OpenFrameEditor(HWND window)
{
    if (frameEditorDialog)
        return 0;
    if (editorFrame.stage && !editorFrame.stage->spritesLoaded)
        LoadSpriteSet(editorFrame.stage, editorFrame.instance);
    frameEditorDialog = CreateDialogParamA(editorFrame.instance, "Framedit", window, FrameEditorProc, 0);
    if (!frameEditorDialog)
        return 0;
    // The stage shows a target while points are picked for frames.
    if (editorFrame.stageWindow)
        SetClassLongPtrA(editorFrame.stageWindow, GCLP_HCURSOR, (LONG_PTR)editorUi.targetCursor);
    return 1;
}

/* Export as GIF */

// A toon with frames, and a stage where neither an act nor a toon runs.
static int CanExportToon(void)
{
    const Stage *stage = editorFrame.stage;
    const ToonDocument &toon = editorFrame.toon;
    return stage && toon.frames && toon.frameCount >= 1 && !ActRunning(stage) && !ToonRunning(stage);
}

// The GIF's name, from the save dialog; it starts as the toon's name.
static int ChooseGifName(HWND window, char *path, DWORD size)
{
    path[0] = '\0';
    const char *toonName = editorFrame.toon.fileName;
    const char *base = toonName;
    for (const char *p = toonName; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    lstrcpynA(path, base, (int)size);
    char *dot = strrchr(path, '.');
    if (dot)
        *dot = '\0';
    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof dialog);
    dialog.lStructSize = FileDialogSize();
    dialog.hwndOwner = window;
    dialog.lpstrFilter = GIF_FILTER;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = size;
    dialog.lpstrDefExt = GIF_EXTENSION;
    char folder[MAX_PATH];
    dialog.lpstrInitialDir = EditedToonFolder(folder, sizeof folder) ? folder : NULL;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    return GetSaveFileNameA(&dialog) ? 1 : 0;
}

static void ShowExportProgress(void *context, int done, int total)
{
    DrawProgressShare((HWND)context, done, total);
}

// Escape, pressed while the export runs, ends it.
static int ExportCancelled(void *context)
{
    (void)context;
    MSG msg;
    int cancelled = 0;
    while (PeekMessageA(&msg, NULL, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE))
        if (msg.wParam == VK_ESCAPE)
            cancelled = 1;
    return cancelled;
}

static void ExportToonAsGif(HWND window)
{
    char path[MAX_PATH];
    if (!CanExportToon() || !ChooseGifName(window, path, sizeof path))
        return;
    HCURSOR previous = SetCursor(waitCursor);
    const ExportWatch watch = { ShowExportProgress, ExportCancelled, window };
    const DWORD size = editorFrame.stageSize;
    const int result = ExportToonGifScaled(editorFrame.instance, &editorFrame.toon, path, PackedWidth(size),
                                           PackedHeight(size), EditorLength(1), &watch);
    SetCursor(previous);
    DrawProgressBar(window);
    if (result == EXPORT_DONE || result == EXPORT_CANCELLED)
        return;
    char text[MESSAGE_SIZE];
    DescribeExportFailure(result, &editorFrame.toon, path, PackedWidth(size), PackedHeight(size), text, sizeof text);
    MessageBoxA(window, text, NULL, MB_OK | MB_ICONEXCLAMATION);
}

static void StartRandomAct(void)
{
    StartRandomWalk(editorFrame.stage, 1);
}

static void ShowAboutBox(HWND window)
{
    DialogBoxParamA(editorFrame.instance, "ABOUT", window, AboutDlgProc, 0);
}

static int OnControlCommand(HWND window, HWND control)
{
    if (!control)
        return 0;
    if (control == editorUi.fileButton)
        ShowFileMenu(window);
    else if (control == editorUi.playButton)
        TogglePlay(window);
    else if (control == editorUi.actionButton)
        StartRandomAct();
    else if (control == editorUi.minimizeButton)
        ShowWindow(window, SW_MINIMIZE);
    else if (control == editorUi.closeButton)
        CloseEditorWindow(window);
    else
        return 0;
    return 1;
}

static int OnAcceleratorCommand(HWND window, int id)
{
    // While the frame editor is open, the keys are its own.
    if (frameEditorDialog)
        return FrameEditorKeys(editorFrame.instance, id);
    switch (id) {
    case IDA_FILEMENU:
        if (ButtonEnabled(editorUi.fileButton))
            ShowFileMenu(window);
        return 1;
    case IDA_PLAY:
    case IDA_CONTINUE:
    case IDA_SECONDS:
        if (ButtonEnabled(editorUi.playButton))
            TogglePlay(window);
        return 1;
    case IDA_OPEN:
        if (ButtonEnabled(editorUi.fileButton))
            OpenToonFile(window);
        return 1;
    case IDA_EDIT:
        if (ButtonEnabled(editorUi.fileButton))
            OpenFrameEditor(window);
        return 1;
    case IDA_ACTION:
        if (ButtonEnabled(editorUi.actionButton))
            StartRandomAct();
        return 1;
    default:
        return 0;
    }
}

static void OnMenuCommand(HWND window, WPARAM command)
{
    switch (command) {
    case IDM_OPEN:
        OpenToonFile(window);
        break;
    case IDM_EDIT:
        OpenFrameEditor(window);
        break;
    case IDM_PLAY:
        TogglePlay(window);
        break;
    case IDM_EXPORTGIF:
        ExportToonAsGif(window);
        break;
    case IDM_ABOUT:
        ShowAboutBox(window);
        break;
    case IDM_EXIT:
        CloseEditorWindow(window);
        break;
    default:
        break;
    }
}

static void OnEditorCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (OnControlCommand(window, (HWND)lParam))
        return;
    if (OnAcceleratorCommand(window, LOWORD(wParam)))
        return;
    OnMenuCommand(window, wParam);
}

/* The main window's events */

static void OnEditorCreate(HWND window)
{
    editorFrame.mainWindow = window;
    SizeEditorWindow(window);
    CreateEditorResources(window, editorFrame.instance);
    BuildFileMenu();
    CreatePushButtons(window, editorFrame.instance);
    CreateSystemButtons(window, editorFrame.instance);
    editorFrame.keyFilter = SetWindowsHookExA(WH_MSGFILTER, EditorKeyFilter, NULL, GetCurrentThreadId());
}

static void OnEditorDestroy(HWND window)
{
    (void)window;
    StorePacesWalked(TakeWalkedPaces(editorFrame.stage));
    // The children go first: the stage with everything it runs.
    if (editorFrame.stageWindow)
        DestroyWindow(editorFrame.stageWindow);
    DestroyPushButtons();
    DestroySystemButtons();
    DestroyEditorResources();
    DestroyFileMenu();
    FreeToonFrames(&editorFrame.toon);
    if (editorFrame.keyFilter) {
        UnhookWindowsHookEx(editorFrame.keyFilter);
        editorFrame.keyFilter = NULL;
    }
    editorFrame.mainWindow = NULL;
    frameEditorDialog = NULL;
}

static void OnEditorSize(HWND window)
{
    if (editorFrame.stageWindow)
        SendMessageA(editorFrame.stageWindow, WM_SIZE, 0, 0);
    LayoutPushButtons(window);
    LayoutSystemButtons(window);
}

static void OnEditorActivate(HWND window, WPARAM state)
{
    StageGroundChanged(editorFrame.stage);
    if (state == WA_ACTIVE || state == WA_CLICKACTIVE) {
        DrawCaptionBars(window, 1);
    } else {
        PausePlayback(editorFrame.stage);
        DrawCaptionBars(window, 0);
    }
}

static void OnToonChanged(HWND window)
{
    RebuildStageBackground(editorFrame.stage);
    InvalidateRect(window, NULL, TRUE);
}

static void OnFrameEditorClosed(void)
{
    HWND stage = editorFrame.stageWindow;
    if (!stage)
        return;
    SetClassLongPtrA(stage, GCLP_HCURSOR, (LONG_PTR)editorUi.arrowCursor);
    ResetEditorPlayback();
}

LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnEditorCreate(window);
        return 0;
    case WM_DESTROY:
        OnEditorDestroy(window);
        return 0;
    case WM_SIZE:
        OnEditorSize(window);
        return 0;
    case WM_ACTIVATE:
        OnEditorActivate(window, wParam);
        return 0;
    case WM_PAINT:
        PaintEditorFrame(window);
        return 0;
    case WM_CLOSE:
        CloseEditorWindow(window);
        return 0;
    case WM_DRAWITEM:
        DrawSystemButton(window, (const DRAWITEMSTRUCT *)lParam);
        return TRUE;
    case WM_NCHITTEST:
        return CaptionHitTest(window, lParam);
    case WM_COMMAND:
        OnEditorCommand(window, wParam, lParam);
        return 0;
    case WM_QUERYENDSESSION:
        return SettleToonChanges() ? TRUE : FALSE;
    case WM_TOONCHANGED:
        OnToonChanged(window);
        return 0;
    case WM_ENABLEPLAY:
        AllowPlay(wParam != 0);
        return 0;
    case WM_FRAMEDITCLOSED:
        OnFrameEditorClosed();
        return 0;
    case WM_DPICHANGED:
        RescaleEditor(window, LOWORD(wParam), (const RECT *)lParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

/* The about box */

// "Version a.b.c" from the program's own version resource.
static void ShowProgramVersion(HWND dialog)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE);
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = found ? LoadResource(instance, found) : NULL;
    const BYTE *data = loaded ? (const BYTE *)LockResource(loaded) : NULL;
    const DWORD size = found ? SizeofResource(instance, found) : 0;
    // The fixed part sits on a 4-byte boundary after the block's key.
    for (DWORD at = 0; data && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        memcpy(&info, data + at, sizeof info);
        if (info.dwSignature != VS_FFI_SIGNATURE)
            continue;
        char text[VERSION_TEXT_SIZE];
        snprintf(text, sizeof text, "Version %u.%u.%u", (unsigned)HIWORD(info.dwFileVersionMS),
                 (unsigned)LOWORD(info.dwFileVersionMS), (unsigned)HIWORD(info.dwFileVersionLS));
        SetDlgItemTextA(dialog, IDC_ABOUTVERSION, text);
        return;
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        CenterWindowOnScreen(dialog);
        ShowProgramVersion(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK)
            return FALSE;
        EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}
