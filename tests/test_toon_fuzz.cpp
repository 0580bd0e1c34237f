#include <doctest.h>
#include <limits.h>
#include <string.h>
#include <string>
#include <vector>

#include "toon/toon_file.h"
#include "toon/toon_document.h"
#include "toon/sound_clip.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/walk.h"
#include "support/fuzz.h"
#include "support/support.h"
#include "support/engine_stage.h"

#define ENSURE(condition) do { bool ensured_ = (condition); CHECK_MESSAGE(ensured_, #condition); \
                               if (!ensured_) return; } while (0)

namespace {

const int MUTANTS = 2000;
const int PLAYED_FRAMES = 5;    // every frame a mutant has, and the walk off
const int WALK_TICKS = WALK_MAX_STEPS + 10;
const int SHORT_WALK_TICKS = 3;
const int FULL_PLAY_EVERY = 50;

using testing::Dice;

// Fills bytes in place, as far as the file reaches.
void Fill(std::string &bytes, size_t offset, char value, size_t count)
{
    for (size_t i = offset; i < offset + count && i < bytes.size(); ++i)
        bytes[i] = value;
}

void Put32(std::string &bytes, size_t offset, int32_t value)
{
    testing::PutLe(bytes, offset, (uint32_t)value, 4);
}

std::string ValidToon(Dice &dice)
{
    int frames = 1 + dice.Below(4);
    std::string bytes(TOON_HEADER_BYTES, '\0');
    memcpy(&bytes[0], TOON_SIGNATURE, 22);
    Put32(bytes, 32, (int32_t)TOON_VERSION);
    memcpy(&bytes[36], "Fuzzed toon", 11);
    Put32(bytes, 88, 0x03000400);
    Put32(bytes, 92, frames);
    Put32(bytes, 96, 1 + dice.Below(5));
    Put32(bytes, 100, 1 + dice.Below(10));
    for (int i = 0; i < frames; ++i) {
        const int x = dice.Below(1024), y = dice.Below(768), pose = dice.Below(16), pause = 1 + dice.Below(20);
        const int wink = dice.Below(2);
        const char *texts[] = { "", "Hello!", "PBF:nothing.wav", "PBR:..\\up.WAV", "pbf:.wav" };
        bytes += testing::FrameBytes(x, y, pose, pause, wink, texts[dice.Below(5)]);
    }
    return bytes;
}

size_t FrameOffset(Dice &dice, const std::string &bytes)
{
    int frames = bytes.size() < TOON_HEADER_BYTES ? 0
               : (int)((bytes.size() - TOON_HEADER_BYTES) / TOON_FRAME_BYTES);
    return TOON_HEADER_BYTES + (size_t)TOON_FRAME_BYTES * dice.Below(frames > 0 ? frames : 1);
}

// One of the kinds of damage a toon file can come with.
std::string Mutate(Dice &dice, std::string bytes)
{
    size_t frame = FrameOffset(dice, bytes);
    switch (dice.Below(10)) {
    case 0:   // cut anywhere, header included
        bytes.resize((size_t)dice.Below((int)bytes.size() + 1));
        break;
    case 1:   // a few bytes anywhere
        for (int i = bytes.empty() ? 0 : 1 + dice.Below(16); i > 0; --i)
            bytes[(size_t)dice.Below((int)bytes.size())] = (char)dice.Next();
        break;
    case 2:   // everything after the version is noise
        for (size_t i = 36; i < bytes.size(); ++i)
            bytes[i] = (char)dice.Next();
        break;
    case 3:   // far-off points
        Put32(bytes, frame, dice.Extreme());
        Put32(bytes, frame + 4, dice.Extreme());
        break;
    case 4:   // poses and winks out of range
        Put32(bytes, frame + 8, dice.Extreme());
        Put32(bytes, frame + 16, dice.Extreme());
        break;
    case 5:   // texts and caption without terminators
        Fill(bytes, frame + 20, (char)('A' + dice.Below(26)), TOON_TEXT_SIZE);
        if (dice.Below(2))
            Fill(bytes, 36, 'c', TOON_CAPTION_SIZE);
        if (dice.Below(2))
            Put32(bytes, frame + 20, 0x3A464250);   // "PBF:"
        break;
    case 6:   // zero and negative pauses, speeds and backgrounds
        Put32(bytes, frame + 12, dice.Extreme());
        Put32(bytes, 96, dice.Extreme());
        Put32(bytes, 100, dice.Extreme());
        break;
    case 7:   // odd window sizes
        Put32(bytes, 88, dice.Extreme());
        break;
    case 8:   // stray bytes after the frames
        for (int i = 1 + dice.Below(TOON_FRAME_BYTES + 40); i > 0; --i)
            bytes += (char)dice.Next();
        break;
    default:  // a lying frame count and a wrong version now and then
        Put32(bytes, 92, dice.Extreme());
        if (dice.Below(8) == 0)
            Put32(bytes, 32, dice.Extreme());
        break;
    }
    return bytes;
}

// Plays the loaded toon with the engine's ticks sent straight away. Walk
// steps are costly under Wine, so most walks are cut after a few steps and
// the arrival is signalled at once; every FULL_PLAY_EVERY-th toon walks
// the whole way. Then playback is reset, and every timer it set is gone.
void PlayBriefly(testing::EngineStage &stage, bool fullWalks)
{
    int acts = stage.actDone;
    StartToonPlayback(stage.stage);
    for (int frame = 0; frame <= PLAYED_FRAMES && stage.actDone == acts; ++frame) {
        if (fullWalks) {
            CHECK(testing::DriveWalk(WALK_TICKS) > 0);
        } else if (testing::DriveWalk(SHORT_WALK_TICKS) < 0) {
            StopWalkTimer(stage.stage);
            SendMessageA(stage.window, WM_WALKDONE, 0, 0);
        }
        if (stage.actDone != acts)
            break;
        SendMessageA(stage.window, WM_TIMER, IDT_SPEECHDELAY, 0);
        SendMessageA(stage.window, WM_TIMER, IDT_EXPRESSION, 0);
        SendMessageA(stage.window, WM_TIMER, IDT_FRAMEPAUSE, 0);
    }
    ResetPlayback(stage.stage);
    CHECK(stage.stage->phase == PHASE_READY);
    for (UINT_PTR id : { IDT_WALK, IDT_SPEECHDELAY, IDT_FRAMEPAUSE, IDT_EXPRESSION })
        CHECK_FALSE(testing::TimerArmed(id));
}

}  // namespace

TEST_CASE("thousands of damaged toon files read and play without harm")
{
    testing::EngineStage &stage = testing::OpenEngineStage(200, 150);
    HWND window = stage.window;
    ToonDocument &toon = stage.toon;
    ENSURE(window != nullptr);
    testing::BoxCatcher boxes([](HWND, const testing::CaughtBox &) { return IDOK; });
    const std::string path = testing::TempDirectory("pimbo-toon-fuzz") + "fuzzed.ptf";
    const std::string copy = testing::TempDirectory("pimbo-toon-fuzz") + "fuzzed-copy.ptf";
    const unsigned long long seed = testing::FuzzSeed(20240607);
    const int mutants = testing::FuzzCount(MUTANTS);
    Dice dice(seed);
    int loaded = 0, refused = 0, roundTrips = 0;

    for (int n = 0; n < mutants; ++n) {
        std::string bytes = ValidToon(dice);
        for (int rounds = 1 + dice.Below(3); rounds > 0; --rounds)
            bytes = Mutate(dice, bytes);
        CAPTURE(n);
        ENSURE(testing::WriteFileBytes(path, bytes));

        size_t boxesBefore = boxes.Boxes().size();
        const std::string named = toon.fileName;
        int count = LoadToonByName(&toon, window, path.c_str());
        CHECK(count >= 0);
        CHECK(toon.frameCount >= 0);
        // A refused toon leaves the name as it was.
        CHECK(std::string(toon.fileName) == (count ? path : named));
        CHECK(strnlen(toon.caption, TOON_CAPTION_SIZE) < (size_t)TOON_CAPTION_SIZE);
        if (!count) {
            ++refused;
            continue;
        }
        ++loaded;
        size_t expected = bytes.size() < TOON_HEADER_BYTES + 1 ? 0
                        : (bytes.size() - (TOON_HEADER_BYTES - 1)) / TOON_FRAME_BYTES;
        CHECK((size_t)count == expected);

        for (int i = 0; i < count; ++i) {
            ToonFrame frame;
            memset(&frame, 0x7F, sizeof frame);
            CHECK(GetToonFrame(&toon, i, &frame));
            CHECK(strnlen(frame.text, TOON_TEXT_SIZE) < (size_t)TOON_TEXT_SIZE);
            LONG x = frame.x, y = frame.y;
            ScaleToonPoint(&toon, window, &x, &y);
            if (IsSoundClip(frame.text)) {
                char said[TOON_TEXT_SIZE];
                memcpy(said, frame.text, sizeof said);
                SoundClip clip = {};
                CHECK(PlaySoundClip(&clip, window, said, toon.fileName, NULL) == 0);   // no wave device here
                CHECK(strnlen(said, TOON_TEXT_SIZE) < (size_t)TOON_TEXT_SIZE);
            }
        }
        ToonFrame out;
        CHECK_FALSE(GetToonFrame(&toon, count, &out));
        PlayBriefly(stage, loaded % FULL_PLAY_EVERY == 0);

        // What reads cleanly writes back as the same bytes.
        bool clean = boxes.Boxes().size() == boxesBefore;
        if (clean && n % 10 == 0) {
            lstrcpynA(toon.fileName, copy.c_str(), sizeof toon.fileName);
            CHECK(WriteToonFile(&toon, window) == 1);
            std::string written = testing::ReadFileBytes(copy);
            std::string original = bytes.substr(0, TOON_HEADER_BYTES + (size_t)TOON_FRAME_BYTES * count);
            Put32(original, 92, count);
            CHECK(written == original);
            ++roundTrips;
        }
        if (n % 250 == 0)
            CHECK(HeapValidate(GetProcessHeap(), 0, NULL));
    }
    MESSAGE("seed " << seed << ": " << mutants << " files, loaded " << loaded << ", refused " << refused << ", written back " << roundTrips
                      << ", message boxes " << boxes.Boxes().size());
    CHECK(loaded > mutants / 2);
    CHECK(refused > mutants / 20);   // the damage reached the refusals too
    CHECK(HeapValidate(GetProcessHeap(), 0, NULL));
    DeleteFileA(path.c_str());
    DeleteFileA(copy.c_str());
    testing::CloseEngineStage();
}
