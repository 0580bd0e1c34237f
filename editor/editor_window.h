// The look of the editor's main window: its size, the GDI objects it
// draws with, its own caption, the button wells and the progress bar;
// and the procedure of its stage window.
#ifndef PIMBO_EDITOR_EDITOR_WINDOW_H
#define PIMBO_EDITOR_EDITOR_WINDOW_H

#include <windows.h>

// Play idle and the wait cursor are the controls' globals (playIdle,
// waitCursor), the expression strip the engine's (expressionsBitmap); the
// rest is here.
struct EditorUi {
    HWND fileButton;
    HWND playButton;
    int savedFileEnabled;       // the saved bottom states
    int savedPlayEnabled;
    int savedActionEnabled;     // the saved system states
    int savedMinimizeEnabled;
    int locked;
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
    int stagePaintFlag;         // the stage's capture request
};

extern EditorUi editorUi;

void SizeEditorWindow(HWND window);
void CreateEditorResources(HWND window, HINSTANCE instance);
void DestroyEditorResources(void);
int LayoutCaption(HWND window);
void PaintEditorFrame(HWND window);
void DrawCaptionBars(HWND window, int active);
LRESULT CaptionHitTest(HWND window, LPARAM point);
void DrawProgressBar(HWND window);
void DrawSystemButton(HWND window, const DRAWITEMSTRUCT *item);
LRESULT CALLBACK StageWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
