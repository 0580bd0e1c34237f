#include <doctest.h>
#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "support/engine_stage.h"
#include "support/support.h"
#include <mmsystem.h>
#include <string.h>

using namespace testing;

static const LONG shownX = 200, shownY = 150;

// Where each pose's face wants its cells is the art's to show (the art
// test puts every face under its cells); here, that they are pasted there.

static Stage &StandCharacter(int pose, int wink, const char *text)
{
    Stage &stage = *TheEngineStage().stage;
    stage.character.x = shownX;
    stage.character.y = shownY;
    stage.toonFrame.pose = pose;
    stage.toonFrame.wink = wink;
    strncpy(stage.toonFrame.text, text, sizeof stage.toonFrame.text - 1);
    stage.act = 0;
    return stage;
}

// The kind of the cell shown at (x, y), read back from the stage; 0 if none.
static int KindAt(HWND window, int x, int y, int pose)
{
    COLORREF colour = ClientPixel(window, x, y);
    for (int kind = 1; kind <= 5; kind++)
        if (colour == ExpressionColour(kind, pose))
            return kind;
    return 0;
}

TEST_CASE("cells are pasted at the pose's offsets from the character's shown corner")
{
    EngineStage &stage = OpenEngineStage(800, 600);

    SUBCASE("every pose takes its own row of the strip, at its own 32 points")
    {
        for (int pose = 0; pose < 16; pose++) {
            CAPTURE(pose);
            for (int kind = 1; kind <= 5; kind++) {
                CAPTURE(kind);
                StandCharacter(pose, 1, "");
                CHECK(ShowExpression(stage.stage, kind) == 1);
                POINT cell = kind < 3 ? eyeOffsets[pose] : mouthOffsets[pose];
                CHECK(CellShown(stage.window, { shownX + cell.x, shownY + cell.y }, ExpressionColour(kind, pose)));
            }
        }
    }
    SUBCASE("a pose out of range is clamped to 0 or 15")
    {
        StandCharacter(99, 1, "");
        ShowExpression(stage.stage, 5);
        CHECK(CellShown(stage.window, { shownX + 58, shownY + 36 }, ExpressionColour(5, 15)));
        StandCharacter(-4, 1, "");
        ShowExpression(stage.stage, 1);
        CHECK(CellShown(stage.window, { shownX + 53, shownY + 17 }, ExpressionColour(1, 0)));
    }
    SUBCASE("no eye cells for a frame that does not wink; mouths regardless")
    {
        StandCharacter(3, 0, "");
        RECT face = { shownX, shownY, shownX + 130, shownY + 130 };
        std::vector<COLORREF> before = Capture(stage.window, face);
        CHECK(ShowExpression(stage.stage, 1) == 0);
        CHECK(ShowExpression(stage.stage, 2) == 0);
        CHECK(Capture(stage.window, face) == before);
        CHECK(ShowExpression(stage.stage, 3) == 1);
        CHECK(CellShown(stage.window, { shownX + 55, shownY + 34 }, ExpressionColour(3, 3)));
    }
    SUBCASE("kinds outside 1 to 5 draw nothing")
    {
        StandCharacter(3, 1, "");
        CHECK(ShowExpression(stage.stage, 0) == 0);
        CHECK(ShowExpression(stage.stage, 6) == 0);
        CHECK(ShowExpression(stage.stage, -1) == 0);
    }
    SUBCASE("the random frame is in force during a random walk")
    {
        Stage &played = StandCharacter(0, 0, "");
        played.randomFrame.pose = 7;
        played.randomFrame.wink = 1;
        played.act = 1;
        CHECK(ShowExpression(stage.stage, 1) == 1);
        CHECK(CellShown(stage.window, { shownX + 64, shownY + 15 }, ExpressionColour(1, 7)));
    }
    CloseEngineStage();
}

TEST_CASE("the mouth moves while talking and rests at the end")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    SeedRandomNumber(7);
    const int pose = 4;
    POINT mouth = { shownX + mouthOffsets[pose].x, shownY + mouthOffsets[pose].y };

    SUBCASE("41 characters: 10 ticks, never the same mouth twice in a row, drawn with nothing made, ending at rest")
    {
        Stage &played = StandCharacter(pose, 0, "12345678901234567890123456789012345678901");
        CHECK(StartTalking(stage.stage) == 1);
        CHECK(played.talkTickLimit == 10);
        int previous = 0, made = 0;
        for (int tick = 1; tick <= 9; tick++) {
            {
                GdiCallCounter calls;
                Advance(EXPRESSION_MS);
                made += calls.made + calls.bitmapsSelected;
            }
            // Starting again while he talks changes nothing, whatever the text now.
            if (tick == 1) {
                strcpy(played.toonFrame.text, "a much longer text than the first one was, by thirty characters");
                CHECK(StartTalking(stage.stage) == 0);
            }
            int kind = KindAt(stage.window, mouth.x, mouth.y, pose);
            CHECK(kind >= 3);
            CHECK(kind != previous);
            previous = kind;
        }
        CHECK(played.talking == 1);
        CHECK(made == 0);
        Advance(EXPRESSION_MS);
        CHECK(KindAt(stage.window, mouth.x, mouth.y, pose) == 5);
        CHECK(played.talking == 0);
        CHECK_FALSE(TimerArmed(IDT_EXPRESSION));
    }
    SUBCASE("one to four characters rest the mouth at the first tick; none do not start it")
    {
        for (const char *text : { "a", "ab", "abc", "abcd", "" }) {
            CAPTURE(text);
            Stage &played = StandCharacter(pose, 0, text);
            CHECK(StartTalking(stage.stage) == (text[0] != '\0'));
            CHECK(played.talkTickLimit == 0);
            Advance(EXPRESSION_MS);
            CHECK(KindAt(stage.window, mouth.x, mouth.y, pose) == 5);
            CHECK(played.talking == 0);
            CHECK_FALSE(TimerArmed(IDT_EXPRESSION));
        }
        // A tick that was already queued draws nothing more.
        RECT face = { shownX, shownY, shownX + 130, shownY + 130 };
        std::vector<COLORREF> stopped = Capture(stage.window, face);
        SendMessageA(stage.window, WM_TIMER, IDT_EXPRESSION, 0);
        CHECK(Capture(stage.window, face) == stopped);
    }
    SUBCASE("a sound clip moves the mouth until it ends")
    {
        Stage &played = StandCharacter(pose, 0, "");
        CHECK(StartTalkingForSound(stage.stage, 0) == 1);
        CHECK(StartTalkingForSound(stage.stage, 0) == 0);
        CHECK(played.talkTickLimit == 1000);
        Advance(20 * EXPRESSION_MS);
        CHECK(played.talking == 1);
        // As the sequencer leaves it while a clip speaks the frame.
        played.phase = PHASE_SPEAKING;
        played.clip.device = 0x7FFE;
        // Another stage's device ending, or his cut short, is not his clip's end.
        const struct { WPARAM code; LPARAM device; int talking; } notices[] = {
            { MCI_NOTIFY_SUCCESSFUL, 0x7FFF, 1 }, { MCI_NOTIFY_ABORTED, 0x7FFE, 1 }, { MCI_NOTIFY_SUCCESSFUL, 0x7FFE, 0 },
        };
        for (const auto &notice : notices) {
            CAPTURE(notice.device);
            SendMessageA(stage.window, MM_MCINOTIFY, notice.code, notice.device);
            CHECK(played.talking == notice.talking);
        }
        CHECK(KindAt(stage.window, mouth.x, mouth.y, pose) == 5);
        played.phase = PHASE_READY;
        CHECK_FALSE(TimerArmed(IDT_EXPRESSION));
    }
    CloseEngineStage();
}
