// Winks and the moving mouth: 10 x 10 cells from the expressions strip
// pasted over the face of the pose in force.
#ifndef PIMBO_ENGINE_EXPRESSIONS_H
#define PIMBO_ENGINE_EXPRESSIONS_H

#include <windows.h>

struct Stage;

#define EXPRESSION_CELL   10
#define EXPRESSION_PITCH  11
#define EXPR_WINK1        1
#define EXPR_WINK2        2
#define EXPR_MOUTH_FIRST  3
#define EXPR_MOUTH_REST   5

extern const POINT eyeOffsets[16];
extern const POINT mouthOffsets[16];

int ShowExpression(Stage *stage, int kind);
int StartTalking(Stage *stage);
// ticks: how long the mouth moves, in expression ticks; 0 for as long as a clip may last.
int StartTalkingForSound(Stage *stage, int ticks);
void OnExpressionTimer(Stage *stage);
void StopTalking(Stage *stage);
// Draws him again in his pose, over the last eye and mouth images.
void ClearExpression(Stage *stage);

#endif
