#include "editor/toon_configure.h"

#include <stdio.h>
#include <string.h>

#include "editor/editor_app.h"
#include "engine/raster.h"
#include "engine/screen.h"
#include "engine/walk.h"
#include "engine/stage.h"
#include "toon/toon_document.h"
#include "resources/resource.h"

static ToonDocument &toon = editorFrame.toon;

#define CAPTION_LIMIT      49   // typed; 48 of them are kept
#define SWATCH_HEIGHT      35
#define SWATCH_INSET_X     4
#define SWATCH_INSET_Y     2
#define LAST_BACKGROUND    99   // "bg99": the names have two digits
#define NAME_SIZE          16

// Background bitmaps put into the list, to be freed when the dialog goes.
static int backgroundItems;

static HINSTANCE DialogInstance(HWND dialog)
{
    return (HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE);
}

// A field read from a file need not hold its terminator.
static void SetTextFromField(HWND window, const char *field, size_t size)
{
    char text[TOON_CAPTION_SIZE + 1];
    size_t length = strnlen(field, size < sizeof text ? size : sizeof text - 1);
    memcpy(text, field, length);
    text[length] = '\0';
    SetWindowTextA(window, text);
}

static void FillBackgroundList(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_CFGBACKGROUND);
    HINSTANCE instance = DialogInstance(dialog);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    int n = 1;
    for (; n <= LAST_BACKGROUND; ++n) {
        char name[NAME_SIZE];
        snprintf(name, sizeof name, "bg%02d", n);
        if (!FindResourceA(instance, name, (LPCSTR)RT_BITMAP))
            break;
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)LoadBitmapA(instance, name));
    }
    backgroundItems = n - 1;
    SendMessageA(list, CB_SETCURSEL, (WPARAM)(editorFrame.backgroundNumber - 1), 0);
}

static void FreeBackgroundBitmaps(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_CFGBACKGROUND);
    for (int i = 0; i < backgroundItems; ++i) {
        LRESULT data = SendMessageA(list, CB_GETITEMDATA, (WPARAM)i, 0);
        if (data && data != CB_ERR)
            DeleteObject((HBITMAP)data);
    }
    backgroundItems = 0;
}

static void InitConfigureDialog(HWND dialog)
{
    CenterWindowOnScreen(dialog);
    SetTextFromField(dialog, toon.header.signature, sizeof toon.header.signature);
    SetDlgItemInt(dialog, IDC_CFGFRAMECOUNT, (UINT)toon.frameCount, TRUE);
    HWND caption = GetDlgItem(dialog, IDC_CFGCAPTION);
    SendMessageA(caption, EM_LIMITTEXT, CAPTION_LIMIT, 0);
    SetTextFromField(caption, toon.header.caption, sizeof toon.header.caption);
    SetDlgItemInt(dialog, IDC_CFGWIDTH, toon.header.windowSize & 0xFFFF, FALSE);
    SetDlgItemInt(dialog, IDC_CFGHEIGHT, toon.header.windowSize >> 16, FALSE);
    FillBackgroundList(dialog);
    HWND speed = GetDlgItem(dialog, IDC_CFGSPEED);
    SetScrollRange(speed, SB_CTL, SLOWEST_SPEED, FASTEST_SPEED, FALSE);
    SetScrollPos(speed, SB_CTL, toon.header.frameSpeed, TRUE);
}

static void ApplyConfiguration(HWND dialog)
{
    char caption[CAPTION_LIMIT];
    GetDlgItemTextA(dialog, IDC_CFGCAPTION, caption, sizeof caption);
    // Zeroed first, so that no remains of an older caption go to the file.
    memset(toon.header.caption, 0, sizeof toon.header.caption);
    lstrcpynA(toon.header.caption, caption, sizeof toon.header.caption);

    int background = (int)SendDlgItemMessageA(dialog, IDC_CFGBACKGROUND, CB_GETCURSEL, 0, 0) + 1;
    editorFrame.backgroundNumber = background;
    toon.header.backgroundIndex = background;
    lstrcpynA(toon.caption, toon.header.caption, sizeof toon.caption);

    int speed = GetScrollPos(GetDlgItem(dialog, IDC_CFGSPEED), SB_CTL);
    toon.header.frameSpeed = speed;
    SetStageSpeed(editorFrame.stage, speed);
    SetToonModified(&toon, GetWindow(dialog, GW_OWNER), 1);
}

static void DrawSwatch(const DRAWITEMSTRUCT *item)
{
    if (item->itemAction != ODA_DRAWENTIRE || item->itemID == (UINT)-1 || !item->itemData)
        return;
    const RECT *box = &item->rcItem;
    BlitBitmapToRect(item->hDC, box->left + SWATCH_INSET_X, box->top + SWATCH_INSET_Y,
                     box->right - SWATCH_INSET_X, box->bottom - SWATCH_INSET_Y, (HBITMAP)item->itemData);
}

// Arrows and page clicks step by one; dragging the thumb changes nothing.
static void StepSpeedBar(HWND bar, int code)
{
    int position = GetScrollPos(bar, SB_CTL);
    if (code == SB_LINELEFT || code == SB_PAGELEFT)
        position = position - 1 < SLOWEST_SPEED ? SLOWEST_SPEED : position - 1;
    else if (code == SB_LINERIGHT || code == SB_PAGERIGHT)
        position = position + 1 > FASTEST_SPEED ? FASTEST_SPEED : position + 1;
    else
        return;
    SetScrollPos(bar, SB_CTL, position, TRUE);
}

// OK and Cancel both end the dialog with 1.
static INT_PTR ConfigureCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:      ApplyConfiguration(dialog); EndDialog(dialog, 1); return TRUE;
    case IDCANCEL:  EndDialog(dialog, 1); return TRUE;
    default:        return FALSE;
    }
}

INT_PTR CALLBACK ConfigureDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitConfigureDialog(dialog);
        return TRUE;
    case WM_MEASUREITEM:
        ((MEASUREITEMSTRUCT *)lParam)->itemHeight = SWATCH_HEIGHT;
        return FALSE;
    case WM_DRAWITEM:
        DrawSwatch((const DRAWITEMSTRUCT *)lParam);
        return FALSE;
    case WM_COMMAND:
        return ConfigureCommand(dialog, LOWORD(wParam));
    case WM_HSCROLL:
        StepSpeedBar((HWND)lParam, LOWORD(wParam));
        return FALSE;
    case WM_DESTROY:
        // Both ways out come here, as does a dialog destroyed with its owner.
        FreeBackgroundBitmaps(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}
