#include "show/toon_export.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <initializer_list>

#include "engine/messages.h"
#include "engine/screen.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "show/settings.h"
#include "toon/gif_file.h"
#include "toon/toon_file.h"

#define EXPORT_CLASS        "PimboExportStage"
#define CAPTION_FONT_HEIGHT 20        // as the saver's caption
#define FINAL_HOLD_MS       1000      // the empty stage before the loop starts again
#define LONGEST_TOON_MS     (12LL * 60 * 60 * 1000)   // far beyond 251 frames of the longest pauses and walks
#define EVENTS_LIMIT        5000000   // a clock that never runs dry still ends
#define CANCEL_CHECK_EVERY  16        // events between looks at the caller
#define PLAIN_TILE_NUMBER   1
#define LAST_TILE_NUMBER    10
#define SIZE_TEXT_LIMIT     16
#define ARGUMENT_SIZE       MAX_PATH
#define ARGUMENTS_MAX       4
#define MESSAGE_SIZE        (MAX_PATH + 96)

// The colours drawn besides the artwork's: the caption and its emboss, the
// bubble's black text, the grey of a missing tile.
static const COLORREF fixedColours[] = {
    RGB(0, 0, 0), RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128), RGB(0, 0, 255),
};

struct ExportRun {
    StageOwner owner;         // its context is the run
    Stage *stage;             // the hidden window's, while it lives
    SteppedClock clock;
    ToonDocument toon;        // a copy: the caller's document is left alone
    HFONT captionFont;
    int backgroundNumber;
    int actDone;
    int scale;                // the file's pixels per stage pixel, each way
    HeldBitmap scaled;        // the canvas at the scale, made once for the run
};

/* The stage's palette */

static void AddColour(RGBQUAD *palette, int *count, COLORREF colour)
{
    const BYTE red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
    for (int i = 0; i < *count; ++i)
        if (palette[i].rgbRed == red && palette[i].rgbGreen == green && palette[i].rgbBlue == blue)
            return;
    if (*count >= GIF_MAX_COLOURS)
        return;
    RGBQUAD &slot = palette[(*count)++];
    slot.rgbRed = red;
    slot.rgbGreen = green;
    slot.rgbBlue = blue;
    slot.rgbReserved = 0;
}

// The colour table of a bitmap resource of 8 bits or fewer; a resource
// that is not one adds nothing.
static void AddResourceColours(HINSTANCE instance, const char *name, RGBQUAD *palette, int *count)
{
    HRSRC found = FindResourceA(instance, name, (LPCSTR)RT_BITMAP);
    HGLOBAL loaded = found ? LoadResource(instance, found) : NULL;
    const BYTE *data = loaded ? (const BYTE *)LockResource(loaded) : NULL;
    const DWORD size = found ? SizeofResource(instance, found) : 0;
    if (!data || size < sizeof(BITMAPINFOHEADER))
        return;
    BITMAPINFOHEADER header;
    memcpy(&header, data, sizeof header);
    if (header.biBitCount == 0 || header.biBitCount > 8 || header.biSize < sizeof header)
        return;
    DWORD colours = header.biClrUsed ? header.biClrUsed : 1u << header.biBitCount;
    if (colours > GIF_MAX_COLOURS)
        colours = GIF_MAX_COLOURS;
    for (DWORD i = 0; i < colours && header.biSize + (i + 1) * sizeof(RGBQUAD) <= size; ++i) {
        RGBQUAD quad;
        memcpy(&quad, data + header.biSize + i * sizeof(RGBQUAD), sizeof quad);
        AddColour(palette, count, RGB(quad.rgbRed, quad.rgbGreen, quad.rgbBlue));
    }
}

// Every colour the stage can show for this toon: the fixed ones, the
// sprites, bubbles and expressions, and the toon's tile.
static int StagePalette(HINSTANCE instance, int backgroundNumber, RGBQUAD *palette)
{
    int count = 0;
    for (COLORREF colour : fixedColours)
        AddColour(palette, &count, colour);
    // The caption's emboss.
    AddColour(palette, &count, GetSysColor(COLOR_BTNSHADOW));
    AddColour(palette, &count, GetSysColor(COLOR_BTNHIGHLIGHT));
    char name[16];
    for (int i = 1; i <= 8; ++i) {
        snprintf(name, sizeof name, "pbl2r%d", i);
        AddResourceColours(instance, name, palette, &count);
        snprintf(name, sizeof name, "pbr2l%d", i);
        AddResourceColours(instance, name, palette, &count);
    }
    for (const char *turn : { "pbltn1", "pbltn2", "pbrtn1", "pbrtn2", "bubleft", "bubright", "expresns" })
        AddResourceColours(instance, turn, palette, &count);
    for (int pose = 1; pose <= POSE_LAST + 1; ++pose) {
        snprintf(name, sizeof name, "pose%02d", pose);
        AddResourceColours(instance, name, palette, &count);
    }
    int tile = backgroundNumber == 0 ? PLAIN_TILE_NUMBER : backgroundNumber;
    if (tile > LAST_TILE_NUMBER)
        tile = LAST_TILE_NUMBER;
    snprintf(name, sizeof name, "bg%02d", tile);
    AddResourceColours(instance, name, palette, &count);
    return count;
}

/* The stage window nobody sees */

static void ReadExportLook(void *context, StageLook *look)
{
    const ExportRun *run = (const ExportRun *)context;
    look->backgroundNumber = run->backgroundNumber;
    look->textFont = run->captionFont;
    look->titleFont = run->captionFont;
    // The saver's look: the toon's caption above the stage.
    look->saverShow = 1;
}

static LRESULT CALLBACK ExportStageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT routed;
    if (RouteStageMessage(window, message, wParam, lParam, &routed))
        return routed;
    switch (message) {
    case WM_CREATE: {
        ExportRun *run = (ExportRun *)((CREATESTRUCTA *)lParam)->lpCreateParams;
        run->stage = CreateStage(window, &run->owner, &run->toon);
        return run->stage ? 0 : -1;
    }
    case WM_DESTROY:
        DestroyStage(StageOf(window));
        return 0;
    case WM_GETMINMAXINFO: {
        // The picture may be larger than the screen.
        MINMAXINFO *limits = (MINMAXINFO *)lParam;
        limits->ptMaxTrackSize.x = limits->ptMaxSize.x = EXPORT_MAX_SIDE;
        limits->ptMaxTrackSize.y = limits->ptMaxSize.y = EXPORT_MAX_SIDE;
        return 0;
    }
    case WM_ACTDONE: {
        const Stage *stage = StageOf(window);
        if (stage)
            ((ExportRun *)stage->owner.context)->actDone = 1;
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

static int RegisterExportClass(HINSTANCE instance)
{
    WNDCLASSA existing;
    if (GetClassInfoA(instance, EXPORT_CLASS, &existing))
        return 1;
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = ExportStageProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = EXPORT_CLASS;
    return RegisterClassA(&windowClass) != 0;
}

/* The run */

// The picture at the scale: made with the stage's canvas, kept for the run.
static int MakeScaledPicture(ExportRun *run, const Stage *stage, int width, int height)
{
    if (run->scale == 1)
        return 1;
    return HoldBitmap(&run->scaled, CreateCompatibleBitmap(stage->canvasDc, width * run->scale, height * run->scale));
}

// Each pixel of the canvas a square of the file's pixels; the picture
// leaves its DC while the writer reads it.
static int AddScaledPicture(GifWriter *writer, ExportRun *run, const Stage *stage, int durationMs)
{
    HeldBitmap *scaled = &run->scaled;
    BlitScaled(scaled->dc, 0, 0, stage->canvasWidth, stage->canvasHeight, stage->canvasDc, 0, 0, run->scale);
    SelectObject(scaled->dc, scaled->old);
    const int added = GifAddBitmap(writer, scaled->bitmap, durationMs);
    SelectObject(scaled->dc, scaled->bitmap);
    return added;
}

// The canvas goes into the file as it stands, out of the stage's DC, which
// the writer must not find it in.
static int AddStagePicture(GifWriter *writer, ExportRun *run, Stage *stage, int durationMs)
{
    if (run->scale > 1)
        return AddScaledPicture(writer, run, stage, durationMs);
    const int added = GifAddBitmap(writer, LendStageCanvas(stage), durationMs);
    ReturnStageCanvas(stage);
    return added;
}

static int Cancelled(const ExportWatch *watch)
{
    return watch && watch->cancelled && watch->cancelled(watch->context);
}

static void Report(const ExportWatch *watch, const Stage *stage)
{
    if (watch && watch->progress)
        watch->progress(watch->context, stage->nextFrameIndex, stage->toon->frameCount);
}

// From the first walk in to the walk off, every picture with its time.
static int RecordToon(HWND window, ExportRun *run, GifWriter *writer, const ExportWatch *watch)
{
    Stage *stage = run->stage;
    if (!StartToonPlayback(stage))
        return EXPORT_NO_FRAMES;
    for (long events = 0; events < EVENTS_LIMIT; ++events) {
        if (events % CANCEL_CHECK_EVERY == 0) {
            Report(watch, stage);
            if (Cancelled(watch))
                return EXPORT_CANCELLED;
        }
        DWORD wait = NextClockEvent(&run->clock);
        const int over = run->actDone || wait == INFINITE || run->clock.now >= LONGEST_TOON_MS;
        if (!AddStagePicture(writer, run, stage, over ? FINAL_HOLD_MS : (int)wait))
            return EXPORT_CANNOT_WRITE;
        if (over)
            return EXPORT_DONE;
        AdvanceSteppedClock(&run->clock, window, wait);
    }
    return EXPORT_DONE;
}

// A copy of the frames, so that nothing the export does can reach the
// document on hand.
static int CopyToon(ToonDocument *copy, const ToonDocument *toon)
{
    *copy = *toon;
    copy->frames = NULL;
    copy->blockBytes = 0;
    const int count = toon->frameCount;
    if (count < 1 || !AllocToonFrames(copy, count))
        return 0;
    copy->frameCount = count;
    ToonFrame frame;
    for (int i = 0; i < count; ++i)
        if (!GetToonFrame(toon, i, &frame) || !PutToonFrame(copy, i, &frame))
            return 0;
    return 1;
}

typedef BOOL (WINAPI *FileInformationReader)(HANDLE file, BY_HANDLE_FILE_INFORMATION *information);

// Looked up by name: the oldest systems the program runs on do not export it.
static int ReadFileIdentity(const char *path, BY_HANDLE_FILE_INFORMATION *identity)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FileInformationReader reader =
        kernel ? (FileInformationReader)(void *)GetProcAddress(kernel, "GetFileInformationByHandle") : NULL;
    if (!reader)
        return 0;
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    const BOOL read = reader(file, identity);
    CloseHandle(file);
    return read;
}

// Whether two names lead to one existing file, however each is spelt
// (relative, in another case, short, with forward slashes, a link): the
// volume and the file's index tell, and where a system keeps no index
// that holds still, the full names do.
static int SameFile(const char *first, const char *second)
{
    BY_HANDLE_FILE_INFORMATION a, b;
    if (ReadFileIdentity(first, &a) && ReadFileIdentity(second, &b) &&
        a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
        a.nFileIndexLow == b.nFileIndexLow)
        return 1;
    char fullFirst[MAX_PATH], fullSecond[MAX_PATH];
    const DWORD firstLength = GetFullPathNameA(first, MAX_PATH, fullFirst, NULL);
    const DWORD secondLength = GetFullPathNameA(second, MAX_PATH, fullSecond, NULL);
    return firstLength && firstLength < MAX_PATH && secondLength && secondLength < MAX_PATH &&
           lstrcmpiA(fullFirst, fullSecond) == 0;
}

int ExportToonGif(HINSTANCE instance, const ToonDocument *toon, const char *path, int width, int height,
                  const ExportWatch *watch)
{
    return ExportToonGifScaled(instance, toon, path, width, height, 1, watch);
}

int ExportToonGifScaled(HINSTANCE instance, const ToonDocument *toon, const char *path, int width, int height,
                        int scale, const ExportWatch *watch)
{
    if (scale < 1 || scale > SCALE_LARGEST)
        return EXPORT_BAD_SIZE;
    if (width < EXPORT_MIN_SIDE || width > EXPORT_MAX_SIDE / scale || height < EXPORT_MIN_SIDE ||
        height > EXPORT_MAX_SIDE / scale)
        return EXPORT_BAD_SIZE;
    if (toon->fileName[0] && SameFile(toon->fileName, path))
        return EXPORT_TARGET_IS_TOON;
    // Plain records, zeroed: the C++ allocator would bring in a runtime the
    // first 32-bit systems cannot load.
    ExportRun *run = (ExportRun *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ExportRun));
    if (!run)
        return EXPORT_FAILED;
    int result = EXPORT_FAILED;
    if (!CopyToon(&run->toon, toon)) {
        FreeToonFrames(&run->toon);
        HeapFree(GetProcessHeap(), 0, run);
        return EXPORT_NO_FRAMES;
    }
    run->backgroundNumber = toon->header.backgroundIndex;
    run->captionFont = CreateSerifFont(CAPTION_FONT_HEIGHT, FW_NORMAL);
    run->owner.context = run;
    run->owner.readLook = ReadExportLook;
    run->owner.clock = &run->clock;
    run->owner.offScreen = 1;
    run->owner.toonDirectory = settings.directory;
    run->scale = scale;

    HWND window = RegisterExportClass(instance)
        ? CreateWindowExA(0, EXPORT_CLASS, "", WS_POPUP, 0, 0, width, height, NULL, NULL, instance, run)
        : NULL;
    Stage *stage = window ? run->stage : NULL;
    RGBQUAD palette[GIF_MAX_COLOURS];
    const int colours = StagePalette(instance, run->backgroundNumber, palette);
    GifWriter writer;
    int onCanvas = 0;
    if (stage) {
        HDC dc = BeginStageDrawing(stage);
        onCanvas = dc == stage->canvasDc;
        EndStageDrawing(stage, dc, NULL);
    }
    // Without a canvas there would be nothing to read the pictures from.
    if (onCanvas && MakeScaledPicture(run, stage, width, height) && LoadSpriteSet(stage, instance)) {
        SetStageSpeed(stage, toon->header.frameSpeed);
        PassStageTitle(stage);
        RebuildStageBackground(stage);
        RepaintStage(stage);
        if (!GifBegin(&writer, path, width * scale, height * scale, palette, colours)) {
            result = EXPORT_CANNOT_WRITE;
        } else {
            result = RecordToon(window, run, &writer, watch);
            if (result == EXPORT_DONE && !GifFinish(&writer))
                result = EXPORT_CANNOT_WRITE;
            else if (result != EXPORT_DONE)
                GifAbandon(&writer);
        }
    }
    ReleaseHeldBitmap(&run->scaled);
    if (window)
        DestroyWindow(window);
    if (run->captionFont)
        DeleteObject(run->captionFont);
    FreeToonFrames(&run->toon);
    HeapFree(GetProcessHeap(), 0, run);
    return result;
}

int ParseExportSize(const char *text, int *width, int *height)
{
    if (!text || strnlen(text, SIZE_TEXT_LIMIT) >= SIZE_TEXT_LIMIT)
        return 0;
    char *end = NULL;
    const long w = strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X'))
        return 0;
    const char *rest = end + 1;
    const long h = strtol(rest, &end, 10);
    if (end == rest || *end != '\0')
        return 0;
    if (w < EXPORT_MIN_SIDE || w > EXPORT_MAX_SIDE || h < EXPORT_MIN_SIDE || h > EXPORT_MAX_SIDE)
        return 0;
    *width = (int)w;
    *height = (int)h;
    return 1;
}

int ParseExportScale(const char *text, int *scale)
{
    if (!text || strnlen(text, SIZE_TEXT_LIMIT) >= SIZE_TEXT_LIMIT)
        return 0;
    char *end = NULL;
    const long value = strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X') || end[1] != '\0' || value < 1 || value > SCALE_LARGEST)
        return 0;
    *scale = (int)value;
    return 1;
}

/* The command line */

// The next argument, quoted or not; 0 when there is none or it is too long.
static int NextArgument(const char **cursor, char *argument)
{
    const char *p = *cursor;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (!*p)
        return 0;
    const int quoted = *p == '"';
    if (quoted)
        ++p;
    size_t length = 0;
    while (*p && (quoted ? *p != '"' : *p != ' ' && *p != '\t')) {
        if (length + 1 >= ARGUMENT_SIZE)
            return 0;
        argument[length++] = *p++;
    }
    argument[length] = '\0';
    if (quoted && *p == '"')
        ++p;
    *cursor = p;
    return 1;
}

typedef BOOL (WINAPI *AttachConsoleProc)(DWORD process);

// The console the program was started from: its standard error where that
// leads somewhere, else the parent's console (Windows 98 has no way to
// reach one). INVALID_HANDLE_VALUE when there is none.
static HANDLE StartingConsole(void)
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error && error != INVALID_HANDLE_VALUE && GetFileType(error) != FILE_TYPE_UNKNOWN)
        return error;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    AttachConsoleProc attach = kernel ? (AttachConsoleProc)(void *)GetProcAddress(kernel, "AttachConsole") : NULL;
    if (!attach || !attach(ATTACH_PARENT_PROCESS))
        return INVALID_HANDLE_VALUE;
    return CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}

static int TellUser(HWND window, const char *text, const char *caption, UINT style)
{
    HANDLE console = StartingConsole();
    if (console == INVALID_HANDLE_VALUE)
        return MessageBoxA(window, text, caption, style);
    char line[MESSAGE_SIZE];
    const int length = snprintf(line, sizeof line, "Pimbo95: %s\r\n", text);
    DWORD written = 0;
    WriteFile(console, line, (DWORD)(length < (int)sizeof line ? length : (int)sizeof line - 1), &written, NULL);
    return IDOK;
}

static int TellUserOf(const char *format, const char *name)
{
    char text[MESSAGE_SIZE];
    snprintf(text, sizeof text, format, name);
    TellUser(NULL, text, NULL, MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

void DescribeExportFailure(int result, const ToonDocument *toon, const char *path, int width, int height,
                           char *text, int size)
{
    if (result == EXPORT_BAD_SIZE)
        snprintf(text, size, "Bad picture size: the window size of %s is %dx%d; give one as <width>x<height>.",
                 toon->fileName, width, height);
    else if (result == EXPORT_NO_FRAMES)
        snprintf(text, size, "No toon frames in %s.", toon->fileName);
    else if (result == EXPORT_TARGET_IS_TOON)
        snprintf(text, size, "Cannot write to %s: it is the toon itself.", path);
    else
        snprintf(text, size, "Cannot write to %s.", path);
}

int RunToonExport(HINSTANCE instance, const char *arguments)
{
    // One more than are taken, to tell too many.
    char given[ARGUMENTS_MAX + 1][ARGUMENT_SIZE];
    const char *cursor = arguments ? arguments : "";
    int count = 0;
    while (count <= ARGUMENTS_MAX && NextArgument(&cursor, given[count]))
        ++count;
    while (*cursor == ' ' || *cursor == '\t')
        ++cursor;
    const char *wrong = count > ARGUMENTS_MAX ? "Too many arguments"
                      : *cursor ? "An argument too long"
                      : count < 2 ? "Missing arguments" : NULL;
    if (wrong) {
        TellUserOf("%s. Usage: Pimbo95.scr /gif <toon file> <gif file> [<width>x<height>] [<n>x]", wrong);
        return EXPORT_EXIT_USAGE;
    }
    const char *toonName = given[0], *gifName = given[1];
    // The scale follows the size, or stands alone in its place.
    int width = 0, height = 0, scale = 1;
    const char *size = count > 2 ? given[2] : NULL, *scaleText = count > 3 ? given[3] : NULL;
    if (size && !scaleText && ParseExportScale(size, &scale)) {
        scaleText = size;
        size = NULL;
    } else if (scaleText && !ParseExportScale(scaleText, &scale)) {
        TellUserOf("Bad scale %s: give it as 1x, 2x, 3x or 4x.", scaleText);
        return EXPORT_EXIT_USAGE;
    }
    const int sized = size != NULL;
    if (sized && !ParseExportSize(size, &width, &height)) {
        TellUserOf("Bad picture size %s: give it as <width>x<height>, each from 1 to 4096.", size);
        return EXPORT_EXIT_USAGE;
    }

    ToonDocument toon = {};
    toon.showMessage = TellUser;
    lstrcpynA(toon.fileName, toonName, sizeof toon.fileName);
    int code = EXPORT_EXIT_TOON;
    if (TakeReadToon(&toon, ReadToonFile(&toon, NULL)) > 0) {
        // The toon's own window size unless one was given.
        if (!sized) {
            width = PackedWidth(toon.header.windowSize);
            height = PackedHeight(toon.header.windowSize);
        }
        const int result = ExportToonGifScaled(instance, &toon, gifName, width, height, scale, NULL);
        code = result == EXPORT_DONE ? EXPORT_EXIT_DONE
             : result == EXPORT_BAD_SIZE ? EXPORT_EXIT_USAGE
             : result == EXPORT_NO_FRAMES ? EXPORT_EXIT_TOON : EXPORT_EXIT_WRITE;
        char text[MESSAGE_SIZE];
        if (result == EXPORT_BAD_SIZE && scale > 1)
            TellUserOf("Bad picture size at %s: each side times the scale may be 4096 at most.", scaleText);
        else if (result != EXPORT_DONE) {
            DescribeExportFailure(result, &toon, gifName, width, height, text, sizeof text);
            TellUser(NULL, text, NULL, MB_OK | MB_ICONEXCLAMATION);
        }
    }
    FreeToonFrames(&toon);
    return code;
}
