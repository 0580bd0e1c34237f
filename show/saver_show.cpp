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
#include "toon/paths.h"
#include "toon/toon_file.h"

#define TEXT_FONT_HEIGHT    20
#define MAX_BACKGROUNDS     99     // tile names carry two digits
#define MAX_BACKGROUND_DRAWS 1000

ShowState show = {};

// The stage's owner: its context is the show.
static void ReadShowStageLook(void *context, StageLook *look)
{
    const ShowState *shown = (const ShowState *)context;
    look->backgroundNumber = shown->backgroundNumber;
    look->titleText = shown->titleText;
    look->titleFont = shown->titleFont;
    look->textFont = shown->textFont;
    look->saverShow = shown->running == 1;
    look->randomBackgrounds = settings.backgrounds == 1;
    look->preview = shown->preview;
}

void TakeToonHeader(Stage *stage, const ToonHeader *header, int *backgroundNumber)
{
    SetStageSpeed(stage, header->frameSpeed);
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
    Stage *stage = show.stage;
    if (show.preview) {
        StartPreviewVisit(stage);
        return;
    }
    if (roster.currentToon[0] == '\0') {
        if (settings.backgrounds == 1)
            RebuildStageBackground(stage);
        RepaintStage(stage);
        StartRandomWalk(stage, settings.statements);
        return;
    }
    char path[TOON_FILENAME_SIZE];
    if (LoadToonByName(&show.toon, window, CurrentToonPath(path, sizeof path) ? path : NULL) != 0) {
        TakeToonHeader(stage, &show.toon.header, &show.backgroundNumber);
        StartToonPlayback(stage);
        RebuildStageBackground(stage);
        RepaintStage(stage);
    }
}

static const StageOwner showOwner = {
    &show, NULL, NULL, NULL, NULL, NULL, NULL, ReadShowStageLook, OwnerStoredPaces, NULL, 0, settings.directory,
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

    show.stage = CreateStage(window, &showOwner, &show.toon);
    // The preview's box is a miniature of the screen: one to one there.
    SetStageScale(show.stage, show.preview ? 1 : ChooseScale(settings.size, WindowDpi(window)));
    LoadSpriteSet(show.stage, instance);
    ResetPlayback(show.stage);
    RebuildStageBackground(show.stage);
    SetTimer(window, IDT_START, START_DELAY_MS, NULL);
    if (!show.preview)
        ShowCursor(FALSE);
}

void ShowStop(HWND window)
{
    KillTimer(window, IDT_START);
    show.running = 0;
    StorePacesWalked(TakeWalkedPaces(show.stage));
    // The stage goes with everything it runs: a walk, a pending speech or
    // a moving mouth cut short by the window's end.
    DestroyStage(show.stage);
    show.stage = NULL;
    FreeToonFrames(&show.toon);
    DeleteFontHandle(&show.textFont);
    DeleteFontHandle(&show.titleFont);
    if (!show.preview)
        ShowCursor(TRUE);
}

// The saver window follows the primary monitor's size; the stage follows it.
static void ShowFollowSize(LPARAM size)
{
    Stage *stage = show.stage;
    const RECT client = StageClientRect(stage);
    const DWORD packed = MakePackedSize(client.right, client.bottom);
    if (!show.running || !stage || LOWORD(size) == 0 || HIWORD(size) == 0 || packed == stage->size)
        return;
    SetStageSize(stage, packed);
    RebuildStageBackground(stage);
    RepaintStage(stage);
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
    }
}

static void OnCycleDone(HWND window, HINSTANCE instance)
{
    ResetPlayback(show.stage);
    ShowChooseNext(window);
    ShowBeginCycle(window, instance);
}

LRESULT SaverShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ShowDefaultProc defaultProc)
{
    LRESULT routed;
    if (RouteStageMessage(window, message, wParam, lParam, &routed))
        return routed;
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    switch (message) {
    case WM_CREATE:
        OnShowCreate(window, instance);
        return 0;
    case WM_DESTROY:
        ShowStop(window);
        PostQuitMessage(0);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        ShowFollowSize(lParam);
        return 0;
    case WM_TIMER:
        OnShowTimer(window, instance, wParam);
        return 0;
    case WM_ACTDONE:
        OnCycleDone(window, instance);
        return 0;
    default:
        return defaultProc(window, message, wParam, lParam);
    }
}
