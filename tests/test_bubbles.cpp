#include <doctest.h>
#include "engine/bubbles.h"
#include "resources/resource.h"
#include "support/engine_stage.h"
#include "support/support.h"
#include <string.h>
#include <string>

using namespace testing;

static bool IsTextPixel(COLORREF c)
{
    // Text is black on white; the artwork and the pattern are never grey.
    return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c);
}

TEST_CASE("the bubble goes beside the mouth, on the side with room")
{
    struct Row { int clientWidth; LONG ax, ay; int preferred; int side; LONG x; };
    const Row rows[] = {
        { 800, 465, 335, BUBBLE_SIDE_RIGHT, BUBBLE_SIDE_RIGHT, 480 },
        { 800, 700, 335, BUBBLE_SIDE_RIGHT, BUBBLE_SIDE_LEFT, 525 },    // outer quarter
        { 800, 100, 335, BUBBLE_SIDE_LEFT, BUBBLE_SIDE_RIGHT, 115 },    // outer quarter
        { 800, 600, 335, BUBBLE_SIDE_RIGHT, BUBBLE_SIDE_RIGHT, 615 },
        { 800, 200, 335, BUBBLE_SIDE_LEFT, BUBBLE_SIDE_LEFT, 25 },
        { 300, 200, 100, BUBBLE_SIDE_RIGHT, BUBBLE_SIDE_LEFT, 25 },     // no room on the right
        { 300, 100, 100, BUBBLE_SIDE_LEFT, BUBBLE_SIDE_RIGHT, 115 },    // no room on the left
    };
    for (const Row &row : rows) {
        CAPTURE(row.clientWidth);
        CAPTURE(row.ax);
        EngineStage &stage = OpenEngineStage(row.clientWidth, 600);
        PlaceBubble(stage.stage, row.ax, row.ay, row.preferred);
        CHECK(stage.stage->bubbleSide == row.side);
        CHECK(stage.stage->bubble.source == (row.side == BUBBLE_SIDE_RIGHT ? stage.stage->bubbleLeft : stage.stage->bubbleRight));
        CHECK(stage.stage->bubble.x == row.x);
        CHECK(stage.stage->bubble.y == row.ay - 50);
    }
    CloseEngineStage();
}

TEST_CASE("the bubble is drawn over the stage, its text inside the text rectangle, and hiding it puts back every pixel")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    const RECT client = { 0, 0, 800, 600 };
    const std::vector<COLORREF> before = Capture(stage.window, client);
    PlaceBubble(stage.stage, 465, 335, BUBBLE_SIDE_RIGHT);
    RECT area = { 440, 260, 680, 420 };

    SUBCASE("black is transparent, the rest is drawn")
    {
        ShowBubble(stage.stage, "");
        CHECK(stage.stage->noBubble == 0);
        CHECK(ClientPixel(stage.window, 481, 286) == PatternColour(481, 286));
        CHECK(ClientPixel(stage.window, 490, 290) == bubbleInk);
        CHECK(ClientPixel(stage.window, 635, 375) == bubbleInk);
        CHECK(ClientPixel(stage.window, 638, 378) == PatternColour(638, 378));
    }
    SUBCASE("text that overflows is cut off at (510, 311) to (630, 378), above the outline")
    {
        std::string line(30, 'W');
        std::string text = line + "\r" + line + "\r" + line + "\r" + line + "\r" + line + "\r" + line;
        ShowBubble(stage.stage, text.c_str());
        RECT box = BoundingBox(stage.window, area, IsTextPixel);
        CHECK(box.left == 510);
        CHECK(box.top == 311);
        CHECK(box.right == 630);
        CHECK(box.bottom == 378);
    }
    SUBCASE("a carriage return breaks the text into two centred lines")
    {
        ShowBubble(stage.stage, "Hello there\rfriend");
        RECT box = BoundingBox(stage.window, area, IsTextPixel);
        CHECK(box.bottom > box.top);
        // Rows of text pixels fall into two bands separated by a blank row.
        std::vector<RECT> bands;
        for (int y = box.top; y < box.bottom; y++) {
            RECT row = { area.left, y, area.right, y + 1 };
            RECT found = BoundingBox(stage.window, row, [](COLORREF c) {
                return GetRValue(c) < 128 && IsTextPixel(c);
            });
            if (found.right == 0)
                continue;
            if (bands.empty() || bands.back().bottom < y) {
                bands.push_back(found);
            } else {
                bands.back().left = std::min(bands.back().left, found.left);
                bands.back().right = std::max(bands.back().right, found.right);
                bands.back().bottom = y + 1;
            }
        }
        CHECK(bands.size() == 2);
        if (bands.size() == 2)
            CHECK(bands[0].right - bands[0].left > bands[1].right - bands[1].left);
        for (const RECT &band : bands)
            CHECK(std::abs((band.left + band.right) - 2 * 570) <= 3);
    }
    SUBCASE("on the left side the text moves towards the tail's other end")
    {
        PlaceBubble(stage.stage, 700, 335, BUBBLE_SIDE_RIGHT);
        CHECK(stage.stage->bubble.x == 525);
        std::string line(30, 'W');
        ShowBubble(stage.stage, (line + "\r" + line).c_str());
        RECT box = BoundingBox(stage.window, { 500, 260, 720, 420 }, IsTextPixel);
        CHECK(box.left == 535);
        CHECK(box.right == 655);
        CHECK(box.top == 311);
    }
    // Even after six lines, cut off at the outline.
    HideBubble(stage.stage);
    CHECK(stage.stage->noBubble == 1);
    CHECK(Capture(stage.window, client) == before);
    CloseEngineStage();
}

TEST_CASE("a mouth at either end of the coordinates gets its bubble beside it, out of sight")
{
    EngineStage &stage = OpenEngineStage(800, 600);
    RECT client = { 0, 0, 800, 600 };
    std::vector<COLORREF> before = Capture(stage.window, client);
    const char *text = "Far, far away";
    struct Row { LONG ax; int preferred; int side; LONG x; };
    const Row rows[] = {
        { LONG_MAX, BUBBLE_SIDE_RIGHT, BUBBLE_SIDE_LEFT, LONG_MAX - 175 },
        { LONG_MAX, BUBBLE_SIDE_LEFT, BUBBLE_SIDE_LEFT, LONG_MAX - 175 },
        { LONG_MAX - 100, BUBBLE_SIDE_RIGHT, BUBBLE_SIDE_LEFT, LONG_MAX - 275 },
        { LONG_MIN, BUBBLE_SIDE_RIGHT, BUBBLE_SIDE_RIGHT, LONG_MIN + 15 },
        { LONG_MIN, BUBBLE_SIDE_LEFT, BUBBLE_SIDE_RIGHT, LONG_MIN + 15 },
        { LONG_MIN + 100, BUBBLE_SIDE_LEFT, BUBBLE_SIDE_RIGHT, LONG_MIN + 115 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.ax);
        CAPTURE(row.preferred);
        PlaceBubble(stage.stage, row.ax, LONG_MAX, row.preferred);
        CHECK(stage.stage->bubbleSide == row.side);
        CHECK(stage.stage->bubble.x == row.x);
        CHECK(stage.stage->bubble.y == LONG_MAX - 50);
        ShowBubble(stage.stage, text);
        CHECK(stage.stage->noBubble == 0);
        CHECK(Capture(stage.window, client) == before);
        HideBubble(stage.stage);
        CHECK(Capture(stage.window, client) == before);
    }
    CloseEngineStage();
}

TEST_CASE("statements fill their buffer, bounded and terminated")
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    char buffer[STATEMENT_SIZE + 10];

    SUBCASE("the paces report")
    {
        memset(buffer, 'x', sizeof buffer);
        LoadStatement(instance, PACES_REPORT_ID, 1234, buffer);
        CHECK(std::string(buffer) == "Since starting here, I've walked a total of 1234 Paces!!");
        BuildPacesReport(-2147483647 - 1, buffer);
        CHECK(std::string(buffer) == "Since starting here, I've walked a total of -2147483648 Paces!!");
        CHECK(strlen(buffer) == 63);
    }
    SUBCASE("a string of the table, and nothing for other ids")
    {
        LoadStatement(instance, IDS_PRODUCT, 0, buffer);
        CHECK(std::string(buffer) == "Fizzy Pimbo's Parade");
        for (int id : { 0, -2, 9999 }) {
            strcpy(buffer, "stale");
            LoadStatement(instance, id, 0, buffer);
            CHECK(buffer[0] == '\0');
        }
    }
    SUBCASE("every statement fits the buffer")
    {
        for (int id = IDS_FIRST_STATEMENT; id <= IDS_LAST_STATEMENT; id++) {
            memset(buffer, 'x', sizeof buffer);
            LoadStatement(instance, id, 0, buffer);
            CHECK(strnlen(buffer, STATEMENT_SIZE) < STATEMENT_SIZE);
            CHECK(std::string(buffer + STATEMENT_SIZE, 10) == std::string(10, 'x'));
        }
    }
}
