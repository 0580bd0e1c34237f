// Speech bubbles beside Pimbo's mouth, and the statements he says in them.
#ifndef PIMBO_ENGINE_BUBBLES_H
#define PIMBO_ENGINE_BUBBLES_H

#include <windows.h>
#include "engine/raster.h"

struct Stage;

#define BUBBLE_SIDE_RIGHT  1     // right of the mouth, "bubleft"
#define BUBBLE_SIDE_LEFT   2     // left of the mouth, "bubright"
#define STATEMENT_SIZE     70
#define PACES_REPORT_ID    (-1)

void LoadBubbles(Stage *stage, HINSTANCE instance);
void FreeBubbles(Stage *stage);
void PlaceBubble(Stage *stage, LONG anchorX, LONG anchorY, int preferredSide);
void ShowBubble(Stage *stage, const char *text);
void HideBubble(Stage *stage);
int DrawBubbleText(Stage *stage, const char *text);
// Fills buffer (STATEMENT_SIZE bytes) with statement id, the paces report
// for PACES_REPORT_ID, or the empty text.
// paces: the count the report gives.
void LoadStatement(HINSTANCE instance, int id, LONG paces, char *buffer);
void BuildPacesReport(LONG paces, char *buffer);

#endif
