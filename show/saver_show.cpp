#include "show/saver_show.h"

#include <stdio.h>
#include <time.h>
#include <mmsystem.h>

#include "engine/messages.h"
#include "engine/screen.h"
#include "engine/sequencer.h"
#include "engine/walk.h"
#include "resources/resource.h"
#include "show/roster.h"
#include "show/settings.h"
#include "toon/toon_file.h"

#define TEXT_FONT_HEIGHT    20
#define MAX_BACKGROUNDS     99     // tile names carry two digits
#define MAX_BACKGROUND_DRAWS 1000

ShowState show = {};

static void ReadShowStageLook(HWND stage, StageLook *look)
{
    (void)stage;
    look->backgroundNumber = show.backgroundNumber;
    look->titleText = show.titleText;
    look->titleFont = show.titleFont;
    look->textFont = show.textFont;
    look->saverShow = show.running == 1;
    look->randomBackgrounds = settings.backgrounds == 1;
    look->preview = show.preview;
}

void TakeToonHeader(HWND window, const ToonHeader *header, int *backgroundNumber)
{
    Stage *stage = StageOf(window);
    if (stage)
        stage->speed = header->frameSpeed;
    *backgroundNumber = header->backgroundIndex;
}

static void DeleteFontHandle(HFONT *font)
{
    if (*font) {
        DeleteObject(*font);
        *font = NULL;
    }
}

void CountBackgrounds(HWND window)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    int count = 0;
    while (count < MAX_BACKGROUNDS) {
        char name[8];
        snprintf(name, sizeof name, "bg%02d", count + 1);
        if (!FindResourceA(instance, name, RT_BITMAP))
            break;
        ++count;
    }
    show.backgroundCount = count;
}

void PickBackground(HWND window)
{
    if (settings.backgrounds == 0 || settings.walkingStyle == 1)
        return;
    if (show.backgroundCount == 0)
        CountBackgrounds(window);
    if (show.backgroundCount < 2)
        return;
    int number = RandomNumber(1, show.backgroundCount);
    for (int draw = 0; number == show.lastBackground && draw < MAX_BACKGROUND_DRAWS; ++draw)
        number = RandomNumber(1, show.backgroundCount);
    // The generator would have to be broken to get here; still never repeat.
    if (number == show.lastBackground)
        number = show.lastBackground % show.backgroundCount + 1;
    show.backgroundNumber = number;
    show.lastBackground = number;
}

void ShowResetCycle(HWND window)
{
    ResetPlayback(window);
}

void ShowChooseNext(HWND window)
{
    if (settings.walkingStyle == 1) {
        // Toons come with their own backgrounds; the file keeps the user's choice.
        settings.backgrounds = 1;
        NextToonFile();
        if (roster.currentToon[0] == '\0')
            settings.walkingStyle = 0;
    } else {
        PickBackground(window);
    }
}

// The toon to play, by its full path.
static int CurrentToonPath(char *path, size_t size)
{
    return JoinPath(path, size, show.toonFolder[0] ? show.toonFolder : settings.directory, roster.currentToon);
}

void ShowBeginCycle(HWND window, HINSTANCE instance)
{
    (void)instance;
    if (show.preview) {
        StartPreviewVisit(window);
        return;
    }
    if (roster.currentToon[0] == '\0') {
        if (settings.backgrounds == 1)
            RebuildStageBackground(window);
        RepaintStage(window);
        StartRandomWalk(window, settings.statements);
        return;
    }
    char path[TOON_FILENAME_SIZE];
    if (LoadToonByName(&show.toon, window, CurrentToonPath(path, sizeof path) ? path : NULL) != 0) {
        TakeToonHeader(window, &show.toon.header, &show.backgroundNumber);
        StartToonPlayback(window);
        RebuildStageBackground(window);
        RepaintStage(window);
    }
}

static const StageOwner showOwner = {
    NULL, NULL, NULL, NULL, NULL, NULL, ReadShowStageLook, ReadPacesWalked, NULL, 0, settings.directory,
};

void ShowStart(HWND window, HINSTANCE instance)
{
    show.running = 1;
    show.backgroundNumber = 0;
    show.toonFolder[0] = '\0';

    show.titleText[0] = '\0';
    LoadStringA(instance, IDS_SAVER_TITLE, show.titleText, TITLE_TEXT_SIZE);
    ReadSettings();

    SeedRandomNumber((DWORD)time(NULL));

    show.titleFont = CreateSerifFont(TITLE_FONT_HEIGHT, FW_BOLD);
    show.textFont = CreateSerifFont(TEXT_FONT_HEIGHT, FW_NORMAL);

    CreateStage(window, &showOwner, &show.toon);
    // The preview's box is a miniature of the screen: one to one there.
    SetStageScale(window, show.preview ? 1 : ChooseScale(settings.size, WindowDpi(window)));
    LoadSpriteSet(window, instance);
    ShowResetCycle(window);
    RebuildStageBackground(window);
    SetTimer(window, IDT_START, START_DELAY_MS, NULL);
    if (!show.preview)
        ShowCursor(FALSE);
}

void ShowStop(HWND window)
{
    KillTimer(window, IDT_START);
    show.running = 0;
    StorePacesWalked(TakeWalkedPaces(window));
    // The stage goes with everything it runs: a walk, a pending speech or
    // a moving mouth cut short by the window's end.
    DestroyStage(window);
    FreeToonFrames(&show.toon);
    DeleteFontHandle(&show.textFont);
    DeleteFontHandle(&show.titleFont);
    if (!show.preview)
        ShowCursor(TRUE);
}

// The saver window follows the primary monitor's size; the stage follows it.
static void ShowFollowSize(HWND window, LPARAM size)
{
    Stage *stage = StageOf(window);
    const RECT client = StageClientRect(window);
    const DWORD packed = MakePackedSize(client.right, client.bottom);
    if (!show.running || !stage || LOWORD(size) == 0 || HIWORD(size) == 0 || packed == stage->size)
        return;
    stage->size = packed;
    RebuildStageBackground(window);
    RepaintStage(window);
}

static void OnShowCreate(HWND window, HINSTANCE instance)
{
    ShowStart(window, instance);
    if (settings.walkingStyle == 1)
        CountToonFiles();
    roster.currentToon[0] = '\0';
    ShowChooseNext(window);
}

void OnShowTimer(HWND window, HINSTANCE instance, UINT_PTR id)
{
    if (id == IDT_START) {
        KillTimer(window, IDT_START);
        ShowBeginCycle(window, instance);
    } else {
        OnEngineTimer(window, id);
    }
}

static void OnCycleDone(HWND window, HINSTANCE instance)
{
    ShowResetCycle(window);
    ShowChooseNext(window);
    ShowBeginCycle(window, instance);
}

LRESULT SaverShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ShowDefaultProc defaultProc)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    switch (message) {
    case WM_CREATE:
        OnShowCreate(window, instance);
        return 0;
    case WM_DESTROY:
        ShowStop(window);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        PaintStage(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        ShowFollowSize(window, lParam);
        return 0;
    case WM_TIMER:
        OnShowTimer(window, instance, wParam);
        return 0;
    case MM_MCINOTIFY:
        OnSoundDone(window, wParam, lParam);
        return 0;
    case WM_ACTDONE:
        OnCycleDone(window, instance);
        return 0;
    case WM_WALKDONE:
        OnWalkFinished(window);
        return 0;
    default:
        return defaultProc(window, message, wParam, lParam);
    }
}
