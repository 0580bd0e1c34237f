// The stage: the one window in which Pimbo is animated, his sprite set,
// the tiled background and the paint handler.
#ifndef PIMBO_ENGINE_STAGE_H
#define PIMBO_ENGINE_STAGE_H

#include <windows.h>
#include "engine/raster.h"

#define SPRITE_COUNT      36
#define SPRITE_SIZE       130     // every character image is 130 x 130
#define SPRITE_WALKRIGHT  0       // 0..7
#define SPRITE_WALKLEFT   8       // 8..15
#define SPRITE_TURNRIGHT  16      // "pbltn1", "pbltn2"
#define SPRITE_TURNLEFT   18      // "pbrtn1", "pbrtn2"
#define SPRITE_POSE       20      // poses 0..15
#define POSE_LAST         15

// Out of sight beside the client area: where walks start and end.
#define SIDE_LEFT_X       (-150)
#define SIDE_RIGHT_GAP    50      // this far right of the client area

// The editor's stage within its main window's client area.
#define EDITOR_STAGE_X    10
#define EDITOR_STAGE_Y    25

// The stage's fonts are "MS Serif"; the title is this high in both owners.
#define TITLE_FONT_HEIGHT 32
#define TITLE_TEXT_SIZE   30      // 29 characters and the terminator

// Packed size: width in the low 16 bits, height in the high 16 bits.
inline DWORD MakePackedSize(int width, int height)
{
    return (DWORD)(width & 0xFFFF) | ((DWORD)(height & 0xFFFF) << 16);
}
inline int PackedWidth(DWORD size) { return (int)(size & 0xFFFF); }
inline int PackedHeight(DWORD size) { return (int)(size >> 16); }

extern DWORD stageSize;
extern HBITMAP stageBackground;
extern HBITMAP spriteSet[SPRITE_COUNT];
extern int spritesLoaded;
extern SpritePlace character;
extern int titleShown;

int LoadSpriteSet(HWND window, HINSTANCE instance);
void FreeSpriteSet(void);
void ReleaseCharacter(void);
int ParkCharacter(HWND window);
HBITMAP BuildStageBackground(HINSTANCE instance, HWND window);
HBITMAP LoadBackgroundTile(HINSTANCE instance, HDC dc, int number);
int PaintStage(HWND window, int *paintFlag);
void PaintStageTexts(HDC dc, HWND window);
void PaintPreviewTitle(HDC dc, HWND window);
void MoveSprite(HWND window, SpritePlace *place, POINT next);
int ResizeEditorStage(HWND window);

#endif
