// The look of the editor's main window: its size, the GDI objects it
// draws with, its own caption, the button wells and the progress bar;
// and the procedure of its stage window.
#ifndef PIMBO_EDITOR_EDITOR_WINDOW_H
#define PIMBO_EDITOR_EDITOR_WINDOW_H

#include <windows.h>
#include "engine/stage.h"

// The wait cursor is the controls' (waitCursor); the rest is here.
struct EditorUi {
    HWND fileButton;
    HWND playButton;
    int playAllowed;            // there is a toon to play
    HWND actionButton;
    HWND minimizeButton;
    HWND closeButton;
    HFONT buttonFont;
    HFONT captionFont;
    HFONT titleFont;
    HBRUSH captionBrush;
    HBRUSH greyBrush;           // stock, not owned
    HPEN captionPen;
    HPEN facePen;
    HBITMAP systemButtonStrip;  // "sysbuts"
    HCURSOR targetCursor;       // owned
    HCURSOR arrowCursor;        // shared
    RECT stageWell;
    RECT leftWell;
    RECT bar1;
    RECT titleRect;
    RECT bar2;
    RECT rightWell;
    char titleText[TITLE_TEXT_SIZE];   // the stage's title before the entrance
    int scale;                  // the layout's pixels are scale x scale
};

extern EditorUi editorUi;

// A length of the editor's layout at its scale.
int EditorLength(int length);
// Takes the scale for the display (or the chosen Size) and the stage's
// size from the screen, and sizes and centres the window around them.
void SizeEditorWindow(HWND window);
// The editor moved to a display of another DPI: it is laid out again at
// that display's scale, its top left where the system suggests.
void RescaleEditor(HWND window, int dpi, const RECT *suggested);
void CreateEditorResources(HWND window, HINSTANCE instance);
void DestroyEditorResources(void);
int LayoutCaption(HWND window);
void PaintEditorFrame(HWND window);
void DrawCaptionBars(HWND window, int active);
LRESULT CaptionHitTest(HWND window, LPARAM point);
void DrawProgressBar(HWND window);
// The bar filled to done of total, as an export goes.
void DrawProgressShare(HWND window, int done, int total);
void DrawSystemButton(HWND window, const DRAWITEMSTRUCT *item);
LRESULT CALLBACK StageWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
