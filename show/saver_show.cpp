#include "show/saver_show.h"

#include <stdio.h>
#include <time.h>
#include <mmsystem.h>

#include "engine/expressions.h"
#include "engine/hooks.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "host/saver_window.h"
#include "resources/resource.h"
#include "show/roster.h"
#include "show/settings.h"
#include "toon/toon_document.h"
#include "toon/hooks.h"
#include "toon/toon_file.h"

#define TEXT_FONT_HEIGHT    20
#define MAX_BACKGROUNDS     99     // tile names carry two digits
#define MAX_BACKGROUND_DRAWS 1000

ShowState show = { 0, 0, 0, 0, 0, 1, "", NULL, NULL };

// The editor fills the same items of the show's state for its own stage.
static void ReadShowStageLook(StageLook *look)
{
    look->backgroundNumber = show.backgroundNumber;
    look->titleText = show.titleText;
    look->titleFont = show.titleFont;
    look->textFont = show.textFont;
    look->saverShow = show.running == 1;
    look->randomBackgrounds = settings.backgrounds == 1;
    look->preview = previewMode;
}

static void TakeToonHeader(const ToonHeader *header)
{
    frameSpeed = header->frameSpeed;
    show.backgroundNumber = header->backgroundIndex;
}

static int InstallShowHooks(void)
{
    engineHooks.readStageLook = ReadShowStageLook;
    toonHooks.takeHeader = TakeToonHeader;
    return 1;
}

static const int showHooksInstalled = InstallShowHooks();

static void DeleteFontHandle(HFONT *font)
{
    if (*font) {
        DeleteObject(*font);
        *font = NULL;
    }
}

static void MakeToonDirectoryCurrent(void)
{
    SetCurrentDirectoryA(settings.directory);
}

void RebuildStageBackground(HWND window, HINSTANCE instance)
{
    DeleteBitmapHandle(&stageBackground);
    stageBackground = BuildStageBackground(instance, window);
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
    toon.currentFrame = 0;
    nextFrameIndex = 0;
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

void ShowBeginCycle(HWND window, HINSTANCE instance)
{
    if (previewMode) {
        StartPreviewVisit(window);
        return;
    }
    if (roster.currentToon[0] == '\0') {
        if (settings.backgrounds == 1)
            RebuildStageBackground(window, instance);
        InvalidateRect(window, NULL, FALSE);
        StartRandomWalk(window, settings.statements);
        return;
    }
    if (LoadToonByName(window, roster.currentToon) != 0) {
        StartToonPlayback(window);
        RebuildStageBackground(window, instance);
        InvalidateRect(window, NULL, FALSE);
    }
}

void ShowStart(HWND window, HINSTANCE instance)
{
    show.savedStageSize = stageSize;
    show.running = 1;
    introWalkDone = 0;
    titleShown = 0;
    show.backgroundNumber = 0;

    show.titleText[0] = '\0';
    LoadStringA(instance, IDS_SAVER_TITLE, show.titleText, TITLE_TEXT_SIZE);
    ReadSettings();

    RECT client;
    GetClientRect(window, &client);
    SeedRandomNumber((DWORD)time(NULL));

    expressionsBitmap = LoadBitmapA(instance, "expresns");
    show.titleFont = CreateSerifFont(TITLE_FONT_HEIGHT, FW_BOLD);
    show.textFont = CreateSerifFont(TEXT_FONT_HEIGHT, FW_NORMAL);
    stageSize = MakePackedSize(client.right - client.left, client.bottom - client.top);

    if (!spritesLoaded)
        LoadSpriteSet(window, instance);
    ShowResetCycle(window);
    RebuildStageBackground(window, instance);
    SetTimer(window, IDT_START, START_DELAY_MS, NULL);
    if (!previewMode)
        ShowCursor(FALSE);
}

void ShowStop(HWND window)
{
    StopWalkTimer(window);
    show.running = 0;
    stageSize = show.savedStageSize;
    FreeToonFrames();

    DeleteBitmapHandle(&expressionsBitmap);
    DeleteFontHandle(&show.textFont);
    DeleteFontHandle(&show.titleFont);
    ReleaseCharacter();
    // The background belongs to this window: the next show builds its own.
    DeleteBitmapHandle(&stageBackground);

    introWalkDone = 0;
    titleShown = 0;
    // A walk, a pending speech or a moving mouth cut short by the window's
    // end would otherwise carry over into the next show.
    AbandonCycle(window);
    WritePacesWalked();
    if (!previewMode)
        ShowCursor(TRUE);
}

// The saver window follows the primary monitor's size; the stage follows it.
static void ShowFollowSize(HWND window, HINSTANCE instance, LPARAM size)
{
    const DWORD packed = MakePackedSize(LOWORD(size), HIWORD(size));
    if (!show.running || LOWORD(size) == 0 || HIWORD(size) == 0 || packed == stageSize)
        return;
    stageSize = packed;
    RebuildStageBackground(window, instance);
    InvalidateRect(window, NULL, FALSE);
}

static void OnShowCreate(HWND window, HINSTANCE instance)
{
    ShowStart(window, instance);
    MakeToonDirectoryCurrent();
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

LRESULT CALLBACK SaverShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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
        PaintStage(window, &show.paintFlag);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        ShowFollowSize(window, instance, lParam);
        return 0;
    case WM_TIMER:
        OnShowTimer(window, instance, wParam);
        return 0;
    case MM_MCINOTIFY:
        OnSoundDone(window);
        return 0;
    case WM_ACTDONE:
        OnCycleDone(window, instance);
        return 0;
    case WM_WALKDONE:
        OnWalkFinished(window);
        return 0;
    default:
        return SaverHostDefaultProc(window, message, wParam, lParam);
    }
}
