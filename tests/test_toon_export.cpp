#include <doctest.h>
#include <windows.h>
#include <math.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/raster.h"
#include "engine/sequencer.h"
#include "engine/walk.h"
#include "show/toon_export.h"
#include "toon/toon_file.h"
#include "support/checks.h"
#include "support/engine_stage.h"
#include "support/gif_decode.h"
#include "support/support.h"

namespace {

const int STRIDE_STEPS = 8;          // one cycle of the walk's images
const int LAST_HOLD_MS = 1000;       // the empty stage before the loop

std::string Folder()
{
    return testing::ScratchFolder("export-test");
}

std::string ShippedToon(const std::string &name)
{
    return testing::SourcePath("toons/" + name + ".ptf");
}

int NoBox(HWND, const char *, const char *, UINT)
{
    return IDOK;
}

int ReadToon(ToonDocument *toon, const std::string &path)
{
    toon->showMessage = NoBox;
    lstrcpynA(toon->fileName, path.c_str(), sizeof toon->fileName);
    return TakeReadToon(toon, ReadToonFile(toon, NULL));
}

double Steps(double x0, double y0, double x1, double y1)
{
    return hypot(x1 - x0, y1 - y0) / STEP_LENGTH;
}

// From the side to every frame's point (its centre, scaled to the picture),
// half a second and the pause there, and off to the nearer side.
long long PlayingMs(const ToonDocument &toon, int width, int height)
{
    const double interval = WalkInterval(toon.header.frameSpeed);
    const double toonWidth = PackedWidth(toon.header.windowSize), toonHeight = PackedHeight(toon.header.windowSize);
    ToonFrame frame;
    GetToonFrame(&toon, 0, &frame);
    double x = frame.x < width / 2 ? SIDE_LEFT_X : width + SIDE_RIGHT_GAP, y = frame.y, ms = 0;
    for (int i = 0; i < toon.frameCount && GetToonFrame(&toon, i, &frame); ++i) {
        const double toX = floor((frame.x - SPRITE_SIZE / 2) * width / toonWidth);
        const double toY = floor((frame.y - SPRITE_SIZE / 2) * height / toonHeight);
        ms += Steps(x, y, toX, toY) * interval + SPEECH_DELAY_MS + (frame.pause < 1 ? 1 : frame.pause) * 1000.0;
        x = toX;
        y = toY;
    }
    ms += Steps(x, y, x < width / 2 ? SIDE_LEFT_X : width + SIDE_RIGHT_GAP, y) * interval;
    return (long long)ms + LAST_HOLD_MS;
}

// The composed picture of the file that stands at the given time.
std::string PictureAt(const std::vector<testing::DecodedFrame> &frames, const std::string &composed, int width,
                      int height, long long ms)
{
    const size_t size = (size_t)width * height * 3;
    long long start = 0;
    size_t i = 0;
    for (; i + 1 < frames.size() && start + frames[i].hundredths * 10LL <= ms; ++i)
        start += frames[i].hundredths * 10LL;
    return composed.size() >= (i + 1) * size ? composed.substr(i * size, size) : "";
}

// The canvas in the file's colours: its global table, each pixel the
// nearest entry, the first of equals.
std::string Canvas(const Stage *stage, int width, int height, const std::string &gif)
{
    const size_t colours = gif.size() > 13 && (gif[10] & 0x80) ? 2u << (gif[10] & 7) : 0;
    std::string rgb;
    for (uint32_t quad : testing::GrabQuads(stage->canvasDc, 0, 0, width, height)) {
        const int drawn[3] = { (int)(quad >> 16 & 255), (int)(quad >> 8 & 255), (int)(quad & 255) };
        size_t best = 0;
        int bestDistance = INT_MAX;
        for (size_t i = 0; i < colours && 13 + i * 3 + 2 < gif.size(); ++i) {
            int distance = 0;
            for (int c = 0; c < 3; ++c)
                distance += (drawn[c] - (BYTE)gif[13 + i * 3 + c]) * (drawn[c] - (BYTE)gif[13 + i * 3 + c]);
            if (distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
        rgb += gif.substr(13 + best * 3, 3);
    }
    return rgb;
}

int DifferingPixels(const std::string &a, const std::string &b)
{
    if (a.size() != b.size() || a.empty())
        return -1;
    int count = 0;
    for (size_t i = 0; i < a.size(); i += 3)
        count += a.compare(i, 3, b, i, 3) != 0;
    return count;
}

// Pimbo95.scr, started in the test's folder, with its standard error in a
// file: the exit code and what it said.
DWORD RunScrSaying(const std::string &tail, std::string *said)
{
    const std::string errorPath = testing::WinPath(Folder() + "/said.txt");
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, NULL, TRUE };
    HANDLE error = CreateFileA(errorPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdError = error;
    std::string line = "\"" + testing::ScrPath() + "\" " + tail;
    PROCESS_INFORMATION process = {};
    DWORD code = STILL_ACTIVE;
    if (CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, testing::WinPath(Folder()).c_str(), &start,
                       &process))
        code = testing::FinishProcess(process, 60000);
    CloseHandle(error);
    *said = testing::ReadFileBytes(errorPath);
    return code;
}

int CancelAtThirdLook(void *context)
{
    return ++*(int *)context >= 3;
}

}  // namespace

TEST_CASE("the shipped toons export from the command line with their playing time")
{
    const int width = 320, height = 240;
    for (std::string name : { "greeting", "dance", "voice" }) {
        CAPTURE(name);
        const std::string gif = Folder() + "/" + name + ".gif";
        DeleteFileA(testing::WinPath(gif).c_str());
        PROCESS_INFORMATION scr = testing::StartScr("/gif \"" + ShippedToon(name) + "\" \"" +
                                                    testing::WinPath(gif) + "\" 320x240");
        CHECK_OR_RETURN(testing::FinishProcess(scr, 60000) == EXPORT_EXIT_DONE);
        CHECK(testing::GifFaults(gif) == "");
        const std::vector<testing::DecodedFrame> frames = testing::ListGifFrames(gif);
        ToonDocument toon = {};
        CHECK_OR_RETURN(ReadToon(&toon, ShippedToon(name)) > 0);
        CHECK(frames.size() > (size_t)toon.frameCount * 2);
        long long ms = 0;
        for (const testing::DecodedFrame &frame : frames)
            ms += frame.hundredths * 10LL;
        const long long expected = PlayingMs(toon, width, height);
        const long long strideMs = (toon.frameCount + 1) * STRIDE_STEPS * (long long)WalkInterval(toon.header.frameSpeed);
        MESSAGE(name << ": " << frames.size() << " frames, " << ms << " ms, expected " << expected);
        // Walks end on whole cycles: never shorter than planned, longer by less than a cycle each.
        CHECK(ms >= expected - (toon.frameCount + 1) * 10);
        CHECK(ms <= expected + strideMs);
        CHECK(testing::ComposeGifFrames(gif).size() == frames.size() * width * height * 3);
        FreeToonFrames(&toon);
    }
}

TEST_CASE("the exported pictures are the stage's on the same clock")
{
    const int width = 400, height = 300, seed = 1234;
    ToonDocument toon = {};
    CHECK_OR_RETURN(ReadToon(&toon, ShippedToon("greeting")) > 1);
    const std::string gif = Folder() + "/greeting-pixels.gif";
    SeedRandomNumber(seed);
    CHECK_OR_RETURN(ExportToonGif(GetModuleHandleA(NULL), &toon, testing::WinPath(gif).c_str(), width, height,
                                  NULL) == EXPORT_DONE);
    CHECK(testing::GifFaults(gif) == "");
    const std::vector<testing::DecodedFrame> frames = testing::ListGifFrames(gif);
    const std::string composed = testing::ComposeGifFrames(gif);
    const std::string file = testing::ReadFileBytes(testing::WinPath(gif));

    // The stage the editor plays on, drawn as off the screen.
    SeedRandomNumber(seed);
    testing::EngineStage &stage = testing::OpenEngineStage(width, height);
    HFONT font = CreateSerifFont(20, FW_NORMAL);
    stage.stage->owner.offScreen = 1;
    stage.look.backgroundNumber = toon.header.backgroundIndex;
    stage.look.titleFont = stage.look.textFont = font;
    stage.look.saverShow = 1;
    ReleaseHeldBitmap(&stage.stage->expressions);
    FreeSpriteSet(stage.stage);
    LoadSpriteSet(stage.stage, GetModuleHandleA(NULL));
    std::vector<ToonFrame> played(toon.frameCount);
    for (int i = 0; i < toon.frameCount; ++i)
        GetToonFrame(&toon, i, &played[i]);
    stage.toon.header = toon.header;
    lstrcpynA(stage.toon.caption, toon.caption, sizeof stage.toon.caption);
    testing::SetStageToon(played, toon.header.windowSize);
    stage.stage->speed = toon.header.frameSpeed;
    stage.stage->titleShown = 1;
    RebuildStageBackground(stage.stage);
    RepaintStage(stage.stage);
    CHECK(StartToonPlayback(stage.stage));

    Stage *s = stage.stage;
    struct { const char *moment; std::function<bool()> reached; } moments[] = {
        { "standing at frame 0 with his bubble",
          [&] { return s->phase == PHASE_SPEAKING && s->nextFrameIndex == 1; } },
        { "mid-walk", [&] { return s->phase == PHASE_WALKING && s->nextFrameIndex == 2 && s->walk.stepIndex >= 4; } },
        { "after the walk-off", [&] { return stage.actDone > 0; } },
    };
    for (const auto &moment : moments) {
        CAPTURE(moment.moment);
        CHECK_OR_RETURN(testing::AdvanceUntil(moment.reached, 600000));
        // Looked at in the middle of the time the canvas stands.
        const DWORD stands = NextClockEvent(&stage.clock);
        const long long at = stage.clock.now + (stands == INFINITE ? LAST_HOLD_MS : stands) / 2;
        CHECK(DifferingPixels(Canvas(s, width, height, file), PictureAt(frames, composed, width, height, at)) == 0);
    }
    testing::CloseEngineStage();
    DeleteObject(font);
    FreeToonFrames(&toon);
}

TEST_CASE("an export at twice the scale is the one-to-one export in 2 x 2 squares, frame for frame")
{
    const int width = 160, height = 120;
    ToonDocument toon = {};
    CHECK_OR_RETURN(ReadToon(&toon, ShippedToon("greeting")) > 1);
    std::vector<testing::DecodedFrame> frames[2];
    std::string pictures[2];
    for (int scale = 1; scale <= 2; ++scale) {
        const std::string gif = Folder() + "/greeting-" + std::to_string(scale) + "x.gif";
        SeedRandomNumber(99);
        CHECK_OR_RETURN(ExportToonGifScaled(GetModuleHandleA(NULL), &toon, testing::WinPath(gif).c_str(), width, height,
                                            scale, NULL) == EXPORT_DONE);
        frames[scale - 1] = testing::ListGifFrames(gif);
        pictures[scale - 1] = testing::ComposeGifFrames(gif);
    }
    CHECK(frames[0].size() > 10);
    CHECK_OR_RETURN(frames[1].size() == frames[0].size());
    CHECK_OR_RETURN(pictures[1].size() == pictures[0].size() * 4);
    int differing = 0;
    for (size_t i = 0; i < frames[0].size(); ++i) {
        CHECK(frames[1][i].hundredths == frames[0][i].hundredths);
        for (int y = 0; y < height * 2; ++y)
            for (int x = 0; x < width * 2; ++x)
                differing += pictures[1].compare(((i * height * 2 + y) * width * 2 + x) * 3, 3, pictures[0],
                                                 ((i * height + y / 2) * width + x / 2) * 3, 3) != 0;
    }
    CHECK(differing == 0);
    FreeToonFrames(&toon);
}

TEST_CASE("a failed or cancelled export says why and leaves no file behind")
{
    const std::string folder = testing::WinPath(Folder()) + "\\", older = folder + "old.gif",
                      locked = folder + "locked.gif", damaged = folder + "damaged.ptf";
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK_OR_RETURN(testing::WriteFileBytes(older, "older picture"));
    testing::WriteFileBytes(locked, "locked picture");
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    std::string wide = testing::ToonBytes({ { 100, 100 }, { 300, 200 } }, 1);
    testing::WriteFileBytes(damaged, wide.substr(0, 60));
    const uint32_t wideSize = 5000 | 300 << 16;
    memcpy(&wide[88], &wideSize, sizeof wideSize);
    testing::WriteFileBytes(folder + "wide.ptf", wide);
    // The toon as the target, however spelt, is refused and stays whole.
    const std::string greeting = ShippedToon("greeting"), self = folder + "selfexport.ptf";
    testing::WriteFileBytes(self, testing::ReadFileBytes(greeting));
    std::string upper = self, slashes = self, shortName(MAX_PATH, '\0');
    upper.replace(upper.size() - 14, 14, "SELFEXPORT.PTF");
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    shortName.resize(GetShortPathNameA(self.c_str(), &shortName[0], MAX_PATH));
    CHECK(shortName.find("~") != std::string::npos);
    struct { std::string what, toon, gif, size; int code; const char *says; } rows[] = {
        { "damaged toon", damaged, older, "", EXPORT_EXIT_TOON, "Pimbo95: No toon frames in" },
        { "missing toon", folder + "none.ptf", older, "", EXPORT_EXIT_TOON, "Pimbo95: Error opening file" },
        { "read-only target", greeting, locked, "", EXPORT_EXIT_WRITE, "Cannot write to" },
        { "missing folder", greeting, folder + "missing\\new.gif", "", EXPORT_EXIT_WRITE, "Cannot write to" },
        { "no width", greeting, older, "0x240", EXPORT_EXIT_USAGE, "Bad picture size" },
        { "too high", greeting, older, "320x4097", EXPORT_EXIT_USAGE, "Bad picture size" },
        { "too many arguments", greeting, older, "320x240 2x more", EXPORT_EXIT_USAGE, "Too many arguments" },
        { "window size out of range", folder + "wide.ptf", older, "", EXPORT_EXIT_USAGE, "is 5000x300;" },
        { "the toon itself", self, self, "", EXPORT_EXIT_WRITE, "it is the toon itself" },
        { "the toon itself, in capitals", self, upper, "", EXPORT_EXIT_WRITE, "it is the toon itself" },
        { "the toon itself, relative", "selfexport.ptf", self, "", EXPORT_EXIT_WRITE, "it is the toon itself" },
        { "the toon itself, short name", self, shortName, "", EXPORT_EXIT_WRITE, "it is the toon itself" },
        { "the toon itself, forward slashes", slashes, self, "", EXPORT_EXIT_WRITE, "it is the toon itself" },
        { "the toon itself, as the editor asks", self, upper, "", EXPORT_TARGET_IS_TOON, NULL },
        { "no such scale", greeting, older, "320x240 5x", EXPORT_EXIT_USAGE, "Bad scale 5x" },
        { "too wide at its scale", greeting, older, "1025x240 4x", EXPORT_EXIT_USAGE, "Bad picture size at 4x" },
        { "Escape", greeting, older, "", EXPORT_CANCELLED, NULL },
    };
    for (const auto &row : rows) {
        CAPTURE(row.what);
        std::string said;
        if (row.says) {
            CHECK(RunScrSaying("/gif \"" + row.toon + "\" \"" + row.gif + "\" " + row.size, &said) == (DWORD)row.code);
            CHECK_MESSAGE(said.find(row.says) != std::string::npos, said);
        } else {
            ToonDocument toon = {};
            int looks = 0;
            const ExportWatch watch = { NULL, CancelAtThirdLook, &looks };
            CHECK(ReadToon(&toon, row.toon) > 0);
            CHECK(ExportToonGif(GetModuleHandleA(NULL), &toon, row.gif.c_str(), 320, 240, &watch) == row.code);
            FreeToonFrames(&toon);
        }
        CHECK(testing::ReadFileBytes(older) == "older picture");
        CHECK(testing::ReadFileBytes(locked) == "locked picture");
        CHECK(testing::ReadFileBytes(self) == testing::ReadFileBytes(greeting));
        CHECK_FALSE(testing::AnyFileMatches(folder + "*.tmp"));
    }
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}
