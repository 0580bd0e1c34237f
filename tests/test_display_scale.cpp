// ctest: screen=3840x2160 dpi=192
#include <doctest.h>

#include "editor/editor_app.h"
#include "editor/editor_window.h"
#include "engine/stage.h"
#include "support/checks.h"
#include "support/frame_editor_driver.h"
#include "support/screen_watch.h"
#include "support/support.h"

// A 4K screen at 200 %: the stage's own pixels are 1920 x 1080.
static const int STAGE_W = 1920, STAGE_H = 1080;

TEST_CASE("at 200 % on a 3840 x 2160 screen the saver shows Pimbo twice his size, each of his pixels a 2 x 2 square")
{
    // He walks to the one point of a toon and stands there in his first pose.
    const std::string folder = testing::TempDirectory("scaled-saver");
    const std::vector<POINT> points = { { 300, 500 } };
    CHECK_OR_RETURN(testing::WriteFileBytes(folder + "stand.ptf", testing::ToonBytes(points, 20)));
    CHECK_OR_RETURN(testing::PutIni("Walking Style=1\r\nStatements=0\r\nBackgrounds=0\r\nDirectory=" + folder +
                                    "\r\n"));
    const POINT corner = testing::ExpectedArrivals(points, 1024, 768, STAGE_W, STAGE_H)[0];
    const testing::Shot pose = testing::TileShot("pose01"), tile = testing::TileShot("bg01");
    CHECK_OR_RETURN((pose.width == SPRITE_SIZE && tile.width > 0));
    int squares = -1, figure = -1, ground = -1;
    auto standing = [&] {
        HDC screen = GetDC(NULL);
        const testing::Shot shot =
            testing::GrabShot(screen, 2 * corner.x, 2 * corner.y, 2 * SPRITE_SIZE, 2 * SPRITE_SIZE);
        ReleaseDC(NULL, screen);
        squares = figure = ground = 0;
        for (int y = 0; y < SPRITE_SIZE && shot.width; ++y)
            for (int x = 0; x < SPRITE_SIZE; ++x) {
                const DWORD shown = shot.At(2 * x, 2 * y);
                squares += shot.At(2 * x + 1, 2 * y) != shown || shot.At(2 * x, 2 * y + 1) != shown ||
                           shot.At(2 * x + 1, 2 * y + 1) != shown;
                if (pose.At(x, y) & 0xFFFFFF)
                    figure += shown != pose.At(x, y);
                else
                    ground += shown != tile.At((corner.x + x) % tile.width, (corner.y + y) % tile.height);
            }
        return shot.width && squares == 0 && figure == 0 && ground == 0;
    };
    PROCESS_INFORMATION saver = testing::StartScr("/s");
    CHECK(testing::PumpUntil(standing, 60000));
    CAPTURE(squares);
    CAPTURE(figure);
    CHECK(ground == 0);
    testing::TapKey(VK_SPACE);
    CHECK(testing::FinishProcess(saver, 10000) == 0);
}

TEST_CASE("at 200 % the editor opens twice its size around a stage of its own pixels")
{
    testing::RemoveIni();
    testing::WithFrameEditor([](testing::EditorSession &session) {
        CHECK(editorFrame.stageSize == MakePackedSize(STAGE_W - 50, STAGE_H - 100));
        RECT stage, client;
        GetClientRect(editorFrame.stageWindow, &stage);
        GetClientRect(session.main, &client);
        CHECK((stage.right == 2 * (STAGE_W - 50 - 2) && stage.bottom == 2 * (STAGE_H - 100 - 2)));
        CHECK((client.right == stage.right + 2 + 2 * 20 && client.bottom == stage.bottom + 2 + 2 * 65));
        const RECT shown = StageClientRect(editorFrame.stage);
        CHECK((shown.right == STAGE_W - 50 - 2 && shown.bottom == STAGE_H - 100 - 2));
        RECT file;
        GetWindowRect(editorUi.fileButton, &file);
        CHECK((file.right - file.left == 150 && file.bottom - file.top == 46));
    });
}
