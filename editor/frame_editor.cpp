#include "editor/frame_editor.h"

#include <mmsystem.h>
#include <stdio.h>
#include <string.h>

#include "editor/bevel.h"
#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "editor/frame_commands.h"
#include "engine/messages.h"
#include "engine/raster.h"
#include "engine/stage.h"
#include "engine/screen.h"
#include "show/settings.h"
#include "toon/paths.h"
#include "toon/sound_clip.h"
#include "toon/toon_file.h"
#include "resources/resource.h"

#define POSE_COUNT           16
#define TEXT_LIMIT           69
#define SOUND_PREFIX         "PBF:"
#define SOUND_PREFIX_LENGTH  4
// A WAV name longer than this does not fit a frame's text after the prefix.
#define SOUND_NAME_LIMIT     (TOON_TEXT_SIZE - 1 - SOUND_PREFIX_LENGTH)
#define TARGET_MARGIN        150
#define DEFAULT_PAUSE        5
#define SHORTEST_PAUSE       1
#define LONGEST_PAUSE        20
#define NEW_TOON_BACKGROUND  1
#define NUMBER_TEXT_SIZE     16
#define TITLE_SIZE           (TOON_FILENAME_SIZE + 16)
#define LIST_ITEM_LIMIT      255     // a list box item is at most this high
#define POSE_SCALE_LARGEST   2

// The module the dialog came from, for the dialogs it opens.
static HINSTANCE frameEditorInstance;
// The editor's document, which this dialog edits.
static ToonDocument &toon = editorFrame.toon;
// The frame the controls show; Frame Save, a click on the stage, Insert,
// Delete and the save question store into, or around, this one. Playback
// keeps its own index.
static int shownFrame = -1;

static HWND MainWindowOf(HWND dialog)
{
    return GetWindow(dialog, GW_OWNER);
}

static int SelectedFrameNumber(HWND dialog)
{
    return (int)SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_GETCURSEL, 0, 0);
}

static void InsertFrameNumber(HWND dialog, int position)
{
    char number[NUMBER_TEXT_SIZE];
    snprintf(number, sizeof number, "%d", position + 1);
    SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_INSERTSTRING, (WPARAM)position, (LPARAM)number);
}

static void SelectFrameNumber(HWND dialog, int position)
{
    SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_SETCURSEL, (WPARAM)position, 0);
}

static void RefuseFrameChange(HWND dialog, const char *text)
{
    MessageBeep(0);
    MessageBoxA(dialog, text, "Error", MB_ICONWARNING);
}

static void EnableSoundPlay(HWND dialog, int enable)
{
    EnableMenuItem(GetMenu(dialog), IDM_PLAYSOUND, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

/* The document */

static int DocumentHoldsFrames(void)
{
    return toon.frames && toon.frameCount >= 1;
}

// A new, untitled one-frame toon; also for a document without frames, where
// editing frames that are not there would write nothing but zeros.
static void StartNewToon(void)
{
    toon.fileName[0] = '\0';
    shownFrame = 0;
    toon.frameCount = 1;
    AllocToonFrames(&toon, 1);
    NewToonHeader(&toon, editorFrame.stageSize);
    editorFrame.backgroundNumber = NEW_TOON_BACKGROUND;
}

/* Showing a frame */

static void FillPoseList(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_POSELIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    const Stage *stage = editorFrame.stage;
    for (int pose = 0; pose < POSE_COUNT; ++pose)
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)(stage ? stage->sprites[SPRITE_POSE + pose] : NULL));
}

// Names too long for a frame's text could not be stored whole.
static void DropLongSoundNames(HWND list)
{
    for (LRESULT i = SendMessageA(list, LB_GETCOUNT, 0, 0) - 1; i >= 0; --i)
        if (SendMessageA(list, LB_GETTEXTLEN, (WPARAM)i, 0) > SOUND_NAME_LIMIT)
            SendMessageA(list, LB_DELETESTRING, (WPARAM)i, 0);
}

// What follows the four prefix characters; nothing for a shorter text.
static const char *ReferencedName(const char *text)
{
    return strnlen(text, TOON_TEXT_SIZE) > SOUND_PREFIX_LENGTH ? text + SOUND_PREFIX_LENGTH : "";
}

static void SetSoundMode(HWND dialog)
{
    CheckDlgButton(dialog, IDC_SOUNDMODE, BST_CHECKED);
    CheckDlgButton(dialog, IDC_TEXTMODE, BST_UNCHECKED);
    HWND list = GetDlgItem(dialog, IDC_SOUNDLIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    // Clips are looked for beside the toon that names them.
    char folder[MAX_PATH], pattern[MAX_PATH];
    if (EditedToonFolder(folder, sizeof folder) && JoinPath(pattern, sizeof pattern, folder, "*.wav"))
        SendMessageA(list, LB_DIR, DDL_EXCLUSIVE | DDL_ARCHIVE, (LPARAM)pattern);
    DropLongSoundNames(list);
    SendMessageA(list, LB_SELECTSTRING, 0, (LPARAM)ReferencedName(editFrame.text));
    ShowWindow(GetDlgItem(dialog, IDC_FRAMETEXT), SW_HIDE);
    ShowWindow(list, SW_SHOW);
    EnableSoundPlay(dialog, waveOutGetNumDevs() != 0);
}

static void SetTextMode(HWND dialog)
{
    CheckDlgButton(dialog, IDC_TEXTMODE, BST_CHECKED);
    CheckDlgButton(dialog, IDC_SOUNDMODE, BST_UNCHECKED);
    HWND text = GetDlgItem(dialog, IDC_FRAMETEXT);
    SendMessageA(text, EM_LIMITTEXT, TEXT_LIMIT, 0);
    if (IsSoundClip(editFrame.text))
        editFrame.text[0] = '\0';
    SetWindowTextA(text, editFrame.text);
    ShowWindow(GetDlgItem(dialog, IDC_SOUNDLIST), SW_HIDE);
    ShowWindow(text, SW_SHOW);
    EnableSoundPlay(dialog, 0);
}

void ShowFrame(HWND dialog, const ToonFrame *frame)
{
    SetDlgItemInt(dialog, IDC_FRAMEX, (UINT)frame->x, TRUE);
    SetDlgItemInt(dialog, IDC_FRAMEY, (UINT)frame->y, TRUE);
    SetDlgItemInt(dialog, IDC_FRAMESECONDS, (UINT)frame->pause, TRUE);
    CheckDlgButton(dialog, IDC_FRAMEWINK, frame->wink ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(dialog, IDC_POSELIST, LB_SETTOPINDEX, (WPARAM)frame->pose, 0);
    if (IsSoundClip(frame->text))
        SetSoundMode(dialog);
    else
        SetTextMode(dialog);
    UpdateFrameEditorCaption(dialog);
}

int ShowFrameAt(HWND dialog, int index)
{
    if (!GetToonFrame(&toon, index, &editFrame))
        return 0;
    shownFrame = index;
    ShowFrame(dialog, &editFrame);
    return 1;
}

void FillFrameNumbers(HWND dialog, int selected)
{
    SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < toon.frameCount; ++i)
        InsertFrameNumber(dialog, i);
    SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_SETEXTENDEDUI, 1, 0);
    SelectFrameNumber(dialog, selected);
}

int InitFrameEditor(HWND dialog)
{
    if (!toon.fileName[0] || !DocumentHoldsFrames())
        StartNewToon();
    else if (shownFrame < 0 || shownFrame >= toon.frameCount)
        shownFrame = 0;
    FillFrameNumbers(dialog, shownFrame);
    SendMessageA(MainWindowOf(dialog), WM_ENABLEPLAY, 0, 0);
    CheckSoundTools(dialog);
    FillPoseList(dialog);
    ShowFrameAt(dialog, shownFrame);
    return TRUE;
}

void UpdateFrameEditorCaption(HWND dialog)
{
    char title[TITLE_SIZE] = "File: [Untitled]";
    if (toon.fileName[0]) {
        char base[TOON_FILENAME_SIZE];
        size_t length = strnlen(toon.fileName, sizeof toon.fileName - 1);
        size_t start = length;
        while (start > 0 && !strchr("\\/:", toon.fileName[start - 1]))
            --start;
        memcpy(base, toon.fileName + start, length - start);
        base[length - start] = '\0';
        char *extension = strrchr(base, '.');
        if (extension)
            *extension = '\0';
        CharLowerA(base);
        snprintf(title, sizeof title, "File: [%s]", base);
    }
    SetWindowTextA(dialog, title);
}

/* Reading the controls */

void SelectedSoundReference(HWND dialog, char *text)
{
    strcpy(text, SOUND_PREFIX);
    HWND list = GetDlgItem(dialog, IDC_SOUNDLIST);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return;
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)selected, 0);
    if (length >= 0 && length <= SOUND_NAME_LIMIT)
        SendMessageA(list, LB_GETTEXT, (WPARAM)selected, (LPARAM)(text + SOUND_PREFIX_LENGTH));
}

// 0, empty or not a number: the middle of the stage. Kept within 150
// pixels of the screen's edges.
static int32_t TargetFromBox(HWND dialog, int id, int middle, int screenExtent)
{
    int value = (int)GetDlgItemInt(dialog, id, NULL, TRUE);
    if (value == 0)
        value = middle;
    if (value >= screenExtent + TARGET_MARGIN)
        value = screenExtent + TARGET_MARGIN;
    if (value <= -TARGET_MARGIN)
        value = -TARGET_MARGIN;
    return value;
}

static int32_t PauseFromBox(HWND dialog)
{
    int seconds = (int)GetDlgItemInt(dialog, IDC_FRAMESECONDS, NULL, TRUE);
    if (seconds == 0)
        return DEFAULT_PAUSE;
    if (seconds <= SHORTEST_PAUSE)
        return SHORTEST_PAUSE;
    if (seconds >= LONGEST_PAUSE)
        return LONGEST_PAUSE;
    return seconds;
}

// A reference the sound list does not hold (a file elsewhere, or gone) shows
// with nothing selected; it stays the frame's until another file is chosen.
static void SoundFromControls(HWND dialog, char *text)
{
    LRESULT selected = SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR && IsSoundClip(editFrame.text)) {
        if (text != editFrame.text)
            lstrcpynA(text, editFrame.text, TOON_TEXT_SIZE);
        return;
    }
    SelectedSoundReference(dialog, text);
}

int ReadFrameControls(HWND dialog, ToonFrame *frame)
{
    if (IsDlgButtonChecked(dialog, IDC_TEXTMODE) == BST_CHECKED)
        GetDlgItemTextA(dialog, IDC_FRAMETEXT, frame->text, TEXT_LIMIT + 1);
    else
        SoundFromControls(dialog, frame->text);
    const DWORD stageSize = editorFrame.stageSize;
    frame->x = TargetFromBox(dialog, IDC_FRAMEX, PackedWidth(stageSize) >> 1, GetSystemMetrics(SM_CXSCREEN));
    frame->y = TargetFromBox(dialog, IDC_FRAMEY, PackedHeight(stageSize) >> 1, GetSystemMetrics(SM_CYSCREEN));
    frame->pause = PauseFromBox(dialog);
    frame->wink = IsDlgButtonChecked(dialog, IDC_FRAMEWINK) == BST_CHECKED;
    frame->pose = (int32_t)SendDlgItemMessageA(dialog, IDC_POSELIST, LB_GETTOPINDEX, 0, 0);
    return 1;
}

int FrameFromControls(HWND dialog, ToonFrame *frame)
{
    ReadFrameControls(dialog, frame);
    return PutToonFrame(&toon, shownFrame, frame);
}

int StoreFrame(HWND dialog)
{
    int stored = FrameFromControls(dialog, &editFrame);
    if (stored)
        SetToonModified(&toon, dialog, 1);
    return stored;
}

ShownFrame ShownFrameOfEditor(HWND dialog, ToonFrame *buffer)
{
    *buffer = editFrame;
    ReadFrameControls(dialog, buffer);
    const ShownFrame shown = { buffer, shownFrame };
    return shown;
}

int AskSaveFrameEditorChanges(HWND dialog)
{
    ToonFrame frame;
    return AskSaveToonChanges(&toon, dialog, ShownFrameOfEditor(dialog, &frame));
}

/* Moving between frames, adding and removing them */

static void GotoFrame(HWND dialog)
{
    int selected = SelectedFrameNumber(dialog);
    if (selected < 0 || selected == shownFrame)
        return;
    ShowFrameAt(dialog, selected);
}

static int ShowChangedFrame(HWND dialog)
{
    if (!ShowFrameAt(dialog, shownFrame))
        return 0;
    SetToonModified(&toon, dialog, 1);
    return 1;
}

static int FramesFull(HWND dialog)
{
    if (toon.frameCount < MAX_TOON_FRAMES)
        return 0;
    RefuseFrameChange(dialog, "No More Toon Frames Allowed");
    return 1;
}

// One frame more, at the end or before the frame shown, and its number at
// the end of the box. A failed resize or insert leaves the block as it was,
// so the count goes back too.
static int GrowToon(HWND dialog, int insertBeforeShown)
{
    if (FramesFull(dialog))
        return 0;
    toon.frameCount += 1;
    const int made = insertBeforeShown ? InsertToonFrame(&toon, shownFrame) : ResizeToonFrames(&toon);
    if (!made) {
        toon.frameCount -= 1;
        return 0;
    }
    InsertFrameNumber(dialog, toon.frameCount - 1);
    return 1;
}

static int AppendFrame(HWND dialog)
{
    if (!GrowToon(dialog, 0))
        return 0;
    shownFrame = toon.frameCount - 1;
    SelectFrameNumber(dialog, shownFrame);
    return ShowChangedFrame(dialog);
}

// The new frame takes the place of the one shown, whose number stays selected.
static int InsertFrame(HWND dialog)
{
    return GrowToon(dialog, 1) && ShowChangedFrame(dialog);
}

static int DeleteFrame(HWND dialog)
{
    if (toon.frameCount <= 1) {
        RefuseFrameChange(dialog, "Cannot Delete the Last Toon Frame");
        return 0;
    }
    toon.frameCount -= 1;
    if (!DeleteToonFrame(&toon, shownFrame)) {
        toon.frameCount += 1;
        return 0;
    }
    if (shownFrame > toon.frameCount - 1)
        shownFrame = toon.frameCount - 1;
    SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_DELETESTRING, (WPARAM)toon.frameCount, 0);
    SelectFrameNumber(dialog, shownFrame);
    return ShowChangedFrame(dialog);
}

void SetFrameTarget(LONG x, LONG y)
{
    HWND dialog = frameEditorDialog;
    if (!dialog)
        return;
    StoreFrame(dialog);
    editFrame.x = x;
    editFrame.y = y;
    PutToonFrame(&toon, shownFrame, &editFrame);
    SetDlgItemInt(dialog, IDC_FRAMEX, (UINT)x, TRUE);
    SetDlgItemInt(dialog, IDC_FRAMEY, (UINT)y, TRUE);
}

/* The pose pictures */

static void DrawPoseItem(HDC dc, const RECT *rect, HBITMAP pose)
{
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    HBRUSH brush = CreateSolidBrush(face);
    HPEN pen = CreatePen(PS_SOLID, 1, face);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    FramedBox(dc, rect, -1);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
    if (pose)
        DrawBitmapTransparentAt(dc, pose, rect->left, rect->top);
}

// The poses follow the display of the dialog, as its controls do, as far
// as a list item holds them: twice his size is 260 pixels, the last of
// them his transparent margin.
static int PoseScale(HWND list)
{
    const int scale = ChooseScale(SIZE_AUTOMATIC, WindowDpi(list));
    return scale < POSE_SCALE_LARGEST ? scale : POSE_SCALE_LARGEST;
}

// An item drawn as at one to one, then each pixel a square of the scale.
static void DrawScaledPoseItem(HDC dc, const RECT *rect, HBITMAP pose, int scale)
{
    const RECT small = { 0, 0, (rect->right - rect->left + scale - 1) / scale,
                         (rect->bottom - rect->top + scale - 1) / scale };
    HDC memoryDc = CreateCompatibleDC(dc);
    HBITMAP picture = CreateCompatibleBitmap(dc, small.right, small.bottom);
    if (memoryDc && picture) {
        HGDIOBJ old = SelectObject(memoryDc, picture);
        DrawPoseItem(memoryDc, &small, pose);
        BlitScaled(dc, rect->left, rect->top, small.right, small.bottom, memoryDc, 0, 0, scale);
        SelectObject(memoryDc, old);
    }
    DeleteBitmapHandle(&picture);
    if (memoryDc)
        DeleteDC(memoryDc);
}

static INT_PTR DrawPoseListItem(const DRAWITEMSTRUCT *item)
{
    if (item->CtlID != IDC_POSELIST)
        return FALSE;
    if (item->itemAction != ODA_DRAWENTIRE || item->itemID == (UINT)-1)
        return TRUE;
    const int scale = PoseScale(item->hwndItem);
    if (scale > 1)
        DrawScaledPoseItem(item->hDC, &item->rcItem, (HBITMAP)item->itemData, scale);
    else
        DrawPoseItem(item->hDC, &item->rcItem, (HBITMAP)item->itemData);
    return TRUE;
}

static INT_PTR MeasurePoseItem(HWND dialog, MEASUREITEMSTRUCT *item)
{
    if (item->CtlID != IDC_POSELIST)
        return FALSE;
    const UINT height = SPRITE_SIZE * PoseScale(dialog);
    item->itemHeight = height < LIST_ITEM_LIMIT ? height : LIST_ITEM_LIMIT;
    return TRUE;
}

/* The dialog */

static INT_PTR OpenFrameEditorDialog(HWND dialog)
{
    CenterWindowOnScreen(dialog);
    PrepareToonFileDialogs(&toon, dialog, settings.directory);
    return InitFrameEditor(dialog);
}

// However the dialog goes (Exit, or with the main window), nothing may
// reach it afterwards.
static void ForgetFrameEditor(HWND dialog)
{
    if (frameEditorDialog == dialog)
        frameEditorDialog = NULL;
}

static void FocusControl(HWND dialog, int id)
{
    SetFocus(GetDlgItem(dialog, id));
}

static INT_PTR FrameEditorCommand(HWND dialog, int id)
{
    switch (id) {
    case IDM_FILENEW:        NewToon(dialog); return TRUE;
    case IDM_FILEOPEN:       OpenToonInEditor(dialog); return TRUE;
    case IDM_FILESAVEAS:     SaveToonAs(dialog); return TRUE;
    case IDM_FILECONFIGURE:  ConfigureToon(frameEditorInstance, dialog); return TRUE;
    case IDM_FILEEXIT:       ExitFrameEditor(dialog); return TRUE;
    case IDM_FRAMENEW:
    case IDC_FRAMEAPPEND:    AppendFrame(dialog); return TRUE;
    case IDM_FRAMEINSERT:    InsertFrame(dialog); return TRUE;
    case IDM_FRAMEDELETE:    DeleteFrame(dialog); return TRUE;
    case IDM_FILESAVE:       SaveToon(dialog); return TRUE;
    case IDM_FRAMESAVE:
    case IDC_FRAMESTORE:     StoreFrame(dialog); return TRUE;
    case IDM_PLAYSOUND:      PlaySelectedSound(dialog); return TRUE;
    case IDM_RECORDSOUND:    StartSoundRecorder(dialog); return TRUE;
    case IDM_SETVOLUME:      StartVolumeControl(dialog); return TRUE;
    case IDC_FRAMENUMBER:    GotoFrame(dialog); return TRUE;
    case IDC_FRAMEWINK:      SetToonModified(&toon, dialog, 1); return TRUE;
    case IDC_TEXTMODE:       SetTextMode(dialog); FocusControl(dialog, IDC_FRAMETEXT); return TRUE;
    case IDC_SOUNDMODE:      SetSoundMode(dialog); FocusControl(dialog, IDC_SOUNDLIST); return TRUE;
    default:                 return FALSE;
    }
}

INT_PTR CALLBACK FrameEditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    frameEditorInstance = (HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE);
    switch (message) {
    case WM_INITDIALOG:
        return OpenFrameEditorDialog(dialog);
    case WM_CLOSE:
        ExitFrameEditor(dialog);
        return TRUE;
    case WM_MEASUREITEM:
        return MeasurePoseItem(dialog, (MEASUREITEMSTRUCT *)lParam);
    case WM_DRAWITEM:
        return DrawPoseListItem((const DRAWITEMSTRUCT *)lParam);
    case WM_COMMAND:
        return FrameEditorCommand(dialog, LOWORD(wParam));
    case WM_DESTROY:
        ForgetFrameEditor(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

int FrameEditorKeys(HINSTANCE instance, int id)
{
    HWND dialog = frameEditorDialog;
    if (!dialog)
        return 0;
    switch (id) {
    case IDA_CONFIGURE:         ConfigureToon(instance, dialog); return 1;
    case IDA_SECONDS:           FocusControl(dialog, IDC_FRAMESECONDS); return 1;
    case IDA_OPEN:              OpenToonInEditor(dialog); return 1;
    case IDA_EDIT:              ExitFrameEditor(dialog); return 1;
    case IDA_FRAMENUMBER:       FocusControl(dialog, IDC_FRAMENUMBER); return 1;
    case IDA_FRAMEX:            FocusControl(dialog, IDC_FRAMEX); return 1;
    case IDA_FRAMEY:            FocusControl(dialog, IDC_FRAMEY); return 1;
    case IDA_SAVE:              SaveToon(dialog); return 1;
    default:                    return 0;
    }
}
