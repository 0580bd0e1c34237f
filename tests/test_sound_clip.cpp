// ctest: sound
#include <doctest.h>
#include <windows.h>
#include <mmsystem.h>
#include <string.h>
#include <string>

#include "toon/sound_clip.h"
#include "toon/toon_document.h"
#include "engine/bubbles.h"
#include "engine/expressions.h"
#include "engine/messages.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "support/checks.h"
#include "support/fuzz.h"
#include "support/support.h"
#include "support/engine_stage.h"
#include <functional>
#include <vector>

namespace {

using testing::Le;

// A short 8-bit mono PCM tone.
std::string ToneWav(int milliseconds)
{
    const uint32_t rate = 8000;
    std::string samples;
    for (uint32_t i = 0; i < rate * milliseconds / 1000; ++i)
        samples += (char)((i / 8) % 2 ? 0xC0 : 0x40);
    std::string wav = "RIFF" + Le(36 + (uint32_t)samples.size(), 4) + "WAVEfmt " + Le(16, 4) +
                      Le(1, 2) + Le(1, 2) + Le(rate, 4) + Le(rate, 4) + Le(1, 2) + Le(8, 2) +
                      "data" + Le((uint32_t)samples.size(), 4) + samples;
    return wav;
}

// The toon directory of these tests, with a tone, a fake and a folder.
std::string ClipDirectory()
{
    const std::string directory = testing::TempDirectory("pimbo-clips");
    testing::WriteFileBytes(directory + "tone.wav", ToneWav(300));
    testing::WriteFileBytes(directory + "noise.wav", std::string(500, '\x5A'));
    CreateDirectoryA((directory + "folder.wav").c_str(), NULL);
    return directory;
}

// A sound device that another program holds.
MMRESULT busyError;
void *realWaveOut, *realMciSend;
MMRESULT WINAPI BusyWaveOut(LPHWAVEOUT out, UINT device, LPCWAVEFORMATEX format, DWORD_PTR callback,
                            DWORD_PTR instance, DWORD flags)
{
    (void)out, (void)device, (void)format, (void)callback, (void)instance, (void)flags;
    return busyError;
}
MCIERROR WINAPI BusyMciSend(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters)
{
    if (message == MCI_OPEN)
        return busyError;
    return ((MCIERROR(WINAPI *)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR))realMciSend)(device, message, flags,
                                                                                   parameters);
}

void SetText(char *text, const char *value)
{
    memset(text, 'Z', TOON_TEXT_SIZE);
    lstrcpynA(text, value, TOON_TEXT_SIZE);
}

}  // namespace

TEST_CASE("a sound clip reference has its prefix and ending in any case")
{
    struct Row { const char *text; int clip; };
    const Row rows[] = {
        { "PBF:hello.wav", 1 }, { "PBR:hello.wav", 1 }, { "pbf:hello.WAV", 1 }, { "pBr:C:\\x\\y.Wav", 1 },
        { "PBF:.wav", 1 }, { "PBF.wav", 0 }, { "PBF:", 0 }, { "", 0 },
        { "PBF:hello.wave", 0 }, { "PBF:hello.wav ", 0 }, { "hello.wav", 0 }, { "PBX:hello.wav", 0 },
        { " PBF:hello.wav", 0 }, { "Say PBF:hello.wav", 0 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.text);
        char text[TOON_TEXT_SIZE];
        SetText(text, row.text);
        CHECK(IsSoundClip(text) == row.clip);
        CHECK(std::string(text) == row.text);
    }
    // Only a text that fits a frame can be a reference.
    std::string tooLong = "PBF:" + std::string(80, 'a') + ".wav";
    CHECK(IsSoundClip(tooLong.c_str()) == 0);
    std::string longest = "PBF:" + std::string(63, 'a') + ".wav";
    CHECK(IsSoundClip(longest.c_str()) == 1);
}

TEST_CASE("clips of one file play at once, each on a device of its own whose end reaches the window once")
{
    const std::string directory = ClipDirectory();
    HWND window = testing::MakeClipListener();
    CHECK_OR_RETURN(window != nullptr);
    CHECK_OR_RETURN(waveOutGetNumDevs() == 1);
    testing::clipNotices.count = 0;
    SoundClip first = {}, second = {};
    char text[TOON_TEXT_SIZE], again[TOON_TEXT_SIZE];
    SetText(text, "pbf:TONE.wav");
    SetText(again, "PBR:tone.wav");
    CHECK(PlaySoundClip(&first, window, text, NULL, directory.c_str()) == 1);
    CHECK(PlaySoundClip(&second, window, again, NULL, directory.c_str()) == 1);
    CHECK(std::string(text) == "pbf:TONE.wav");
    CHECK(first.device != second.device);

    CHECK(testing::PumpUntil([] { return testing::clipNotices.count > 1; }, 10000));
    testing::Pump(200);
    CHECK(testing::clipNotices.count == 2);
    CHECK(testing::clipNotices.code == MCI_NOTIFY_SUCCESSFUL);
    CHECK(IsSoundClipEnd(&first, MCI_NOTIFY_SUCCESSFUL, first.device));
    CHECK_FALSE(IsSoundClipEnd(&first, MCI_NOTIFY_SUCCESSFUL, second.device));
    CHECK_FALSE(IsSoundClipEnd(&first, MCI_NOTIFY_ABORTED, first.device));
    CHECK(testing::OpenWaveDevices() == 2);   // only the caller closes them
    // A record played again gives up its clip first.
    CHECK(PlaySoundClip(&first, window, text, NULL, directory.c_str()) == 1);
    CHECK(testing::OpenWaveDevices() == 2);
    CloseSoundClip(&first);
    CloseSoundClip(&second);
    CloseSoundClip(&second);
    CHECK(first.device == 0);
    CHECK(testing::OpenWaveDevices() == 0);
    DestroyWindow(window);
}

TEST_CASE("a clip is found by its full path, beside its toon, then in the toon directory, never through the current directory")
{
    const std::string directory = ClipDirectory(), beside = testing::TempDirectory("pimbo-clips-beside");
    HWND window = testing::MakeClipListener();
    CHECK_OR_RETURN(window != nullptr);
    CHECK(CopyFileA(testing::SourcePath("toons/pimbo-hello.wav").c_str(), (directory + "pimbo-hello.wav").c_str(), FALSE));
    CHECK(testing::WriteFileBytes(beside + "beside.wav", ToneWav(200)));
    // The process looks elsewhere, at a folder that holds the clip too.
    SetCurrentDirectoryA(beside.c_str());
    const std::string toon = beside + "other.ptf";
    struct Row { std::string reference, toonFile, toonDirectory; bool plays; };
    const Row rows[] = {
        { "PBF:tone.wav", "", directory, true },
        { "PBR:" + directory + "tone.wav", "", "", true },
        { "PBF:pimbo-hello.wav", "", directory, true },
        { "PBF:beside.wav", toon, directory, true },
        { "PBF:tone.wav", toon, directory, true },
        { "PBF:beside.wav", "", directory, false },
        { "PBF:beside.wav", "other.ptf", directory, false },   // a toon named as one of the directory's
        { "PBF:tone.wav", toon, "", false },
    };
    for (const Row &row : rows) {
        CAPTURE(row.reference);
        CAPTURE(row.toonFile);
        char text[TOON_TEXT_SIZE];
        SetText(text, row.reference.c_str());
        CHECK(PlaySoundClipAndWait(window, text, row.toonFile.c_str(), row.toonDirectory.c_str()) == row.plays);
        CHECK(std::string(text) == (row.plays ? row.reference : "Hey, someone stole this frame's sound file!"));
        CHECK((SoundClipMilliseconds(row.reference.c_str(), row.toonFile.c_str(), row.toonDirectory.c_str()) > 0) ==
              row.plays);
        CHECK(testing::OpenWaveDevices() == 0);
    }
    DestroyWindow(window);
}

TEST_CASE("a clip that cannot play says why instead")
{
    const std::string directory = ClipDirectory();
    const char *const toons = directory.c_str();
    SoundClip clip = {};
    HWND window = testing::MakeClipListener();
    CHECK_OR_RETURN(window != nullptr);
    char text[TOON_TEXT_SIZE];
    for (const char *reference : { "PBF:absent.wav", "PBF:folder.wav", "PBF:*.wav" }) {
        CAPTURE(reference);
        SetText(text, reference);
        CHECK(PlaySoundClip(&clip, window, text, NULL, toons) == 0);
        CHECK(std::string(text) == "Hey, someone stole this frame's sound file!");
        CHECK(testing::OpenWaveDevices() == 0);
    }

    // A file that is no WAV at all: the platform's words, or ours.
    SetText(text, "PBF:noise.wav");
    CHECK(PlaySoundClip(&clip, window, text, NULL, toons) == 0);
    std::string said = text;
    CAPTURE(said);
    CHECK(said != "PBF:noise.wav");
    CHECK(!said.empty());
    CHECK(said.size() <= 69u);
    CloseSoundClip(&clip);

    // WAV files whose format no device can take never reach it (some
    // drivers crash on them): the platform's words for a file it cannot play.
    char invalid[70] = "";
    mciGetErrorStringA(MCIERR_INVALID_FILE, invalid, sizeof invalid);
    invalid[sizeof invalid - 1] = '\0';
    std::string tone = ToneWav(100);
    std::string noChannels = tone, manyChannels = tone, odd = tone;
    noChannels.replace(22, 2, Le(0, 2));
    manyChannels.replace(22, 2, Le(200, 2));
    manyChannels.replace(34, 2, Le(12, 2));
    odd.replace(34, 2, Le(12, 2));
    std::string noFormat = "RIFF" + Le(4, 4) + "WAVE";
    // The device sizes its buffers by the byte rate and reads the whole
    // format chunk; and no device takes a format of an unknown tag.
    std::string hugeRate = tone, noRate = tone, longFormat = tone, unknown = tone;
    hugeRate.replace(28, 4, Le(0xFFFFFFF0, 4));
    noRate.replace(28, 4, Le(0, 4));
    longFormat.replace(16, 4, Le(0xC4653600, 4));
    unknown.replace(20, 2, Le(0x1234, 2));
    // Plain samples fill whole bytes, in blocks and at a rate that follow
    // from them: 1 bit in a byte of its own has a driver divide by zero.
    std::string oneBit = tone, twelveBits = tone, offRate = tone;
    oneBit.replace(34, 2, Le(1, 2));
    twelveBits.replace(28, 8, Le(16000, 4) + Le(2, 2) + Le(12, 2));
    offRate.replace(28, 4, Le(8001, 4));
    for (const std::string &bytes : { noChannels, manyChannels, odd, noFormat, hugeRate, noRate, longFormat, unknown,
                                      oneBit, twelveBits, offRate }) {
        testing::WriteFileBytes(directory + "bad.wav", bytes);
        SetText(text, "PBF:bad.wav");
        CHECK(PlaySoundClip(&clip, window, text, NULL, toons) == 0);
        CHECK(std::string(text) == invalid);
        CHECK(testing::OpenWaveDevices() == 0);
        SetText(text, "PBF:bad.wav");
        CHECK(PlaySoundClipAndWait(window, text, NULL, toons) == 0);
        CHECK(testing::OpenWaveDevices() == 0);
    }
    // A device another program holds is said to be busy, however the
    // platform tells it: when the format is asked about or at the open.
    testing::WriteFileBytes(directory + "bad.wav", tone);
    for (MMRESULT error : { (MMRESULT)MMSYSERR_ALLOCATED, (MMRESULT)MCIERR_DEVICE_OPEN, (MMRESULT)MCIERR_WAVE_OUTPUTSINUSE }) {
        CAPTURE(error);
        busyError = error;
        bool query = error == MMSYSERR_ALLOCATED;
        const char *function = query ? "waveOutOpen" : "mciSendCommandA";
        void *real = testing::PatchImport("winmm.dll", function, query ? (void *)BusyWaveOut : (void *)BusyMciSend);
        CHECK_OR_RETURN(real != nullptr);
        (query ? realWaveOut : realMciSend) = real;
        SetText(text, "PBF:bad.wav");
        CHECK(PlaySoundClip(&clip, window, text, NULL, toons) == 0);
        testing::PatchImport("winmm.dll", function, real);
        CHECK(std::string(text) == "Hold on, someone else is using the sound system!");
        CHECK(testing::OpenWaveDevices() == 0);
    }
    // A tone with a list chunk before its format still plays.
    std::string listed = tone.substr(0, 12) + "LIST" + Le(3, 4) + "abc" + '\0' + tone.substr(12);
    testing::WriteFileBytes(directory + "listed.wav", listed);
    SetText(text, "PBF:listed.wav");
    CHECK(PlaySoundClipAndWait(window, text, NULL, toons) == 1);
    CHECK(testing::OpenWaveDevices() == 0);
    DestroyWindow(window);
}

namespace {

// A one-frame toon that says text, played up to the moment he speaks;
// beforeSpeech runs once he has arrived.
void ArriveAndSpeak(testing::EngineStage &stage, const char *text,
                    const std::function<void()> &beforeSpeech = [] {})
{
    ToonFrame frame = { 300, 300, 4, 10, 0, "" };
    lstrcpynA(frame.text, text, sizeof frame.text);
    testing::SetStageToon({ frame }, 0);
    StartToonPlayback(stage.stage);
    CHECK(testing::DriveWalk() > 0);
    beforeSpeech();
    testing::Advance(SPEECH_DELAY_MS);
    CHECK(stage.stage->phase == PHASE_SPEAKING);
}

// The mouth cell he shows, as the synthetic expressions strip paints it.
COLORREF MouthColour(HWND window)
{
    const Stage *stage = StageOf(window);
    POINT mouth = mouthOffsets[ActiveFrame(stage)->pose];
    return testing::ClientPixel(window, stage->character.x + mouth.x + EXPRESSION_CELL / 2,
                                stage->character.y + mouth.y + EXPRESSION_CELL / 2);
}

// Whether the bubble on the stage shows exactly what ShowBubble draws for text.
bool BubbleSays(HWND window, const char *text)
{
    const Stage *stage = StageOf(window);
    if (stage->noBubble)
        return false;
    const SpritePlace &bubble = stage->bubble;
    RECT area = { bubble.x, bubble.y, bubble.x + bubble.width, bubble.y + bubble.height };
    std::vector<COLORREF> shown = testing::Capture(window, area);
    HideBubble(StageOf(window));
    ShowBubble(StageOf(window), text);
    return testing::Capture(window, area) == shown;
}

}  // namespace

TEST_CASE("a frame's clip plays, and when it ends the device is closed and the mouth rests")
{
    const std::string directory = ClipDirectory();
    testing::EngineStage &stage = testing::OpenEngineStage(800, 600);
    lstrcpynA(stage.toon.fileName, (directory + "beside.ptf").c_str(), sizeof stage.toon.fileName);
    const SoundClip &clip = stage.stage->clip;
    ArriveAndSpeak(stage, "PBF:tone.wav");
    CHECK(clip.device != 0);
    CHECK(stage.stage->talking == 1);
    SUBCASE("to its end")
    {
        CHECK(testing::PumpUntil([&] { return clip.device == 0; }, 10000));
        CHECK(MouthColour(stage.window) == testing::ExpressionColour(EXPR_MOUTH_REST, 4));
    }
    SUBCASE("cut short by Stop")
    {
        CHECK(TogglePlayback(stage.stage));
        CHECK(clip.device == 0);
    }
    CHECK(stage.stage->talking == 0);
    CHECK_FALSE(testing::TimerArmed(IDT_EXPRESSION));
    CHECK(testing::OpenWaveDevices() == 0);
    testing::CloseEngineStage();
}

TEST_CASE("what a frame says when its clip cannot play, and beside another stage's clip")
{
    const std::string directory = ClipDirectory();
    HWND other = testing::MakeClipListener();
    CHECK_OR_RETURN(other != nullptr);
    testing::EngineStage &stage = testing::OpenEngineStage(800, 600);
    lstrcpynA(stage.toonDirectory, directory.c_str(), sizeof stage.toonDirectory);
    const SoundClip &clip = stage.stage->clip;

    SUBCASE("a missing file")
    {
        ArriveAndSpeak(stage, "PBF:stolen.wav");
        CHECK(clip.device == 0);
        CHECK(BubbleSays(stage.window, "Hey, someone stole this frame's sound file!"));
    }
    SUBCASE("another stage speaks too: both speak, or he says why not, never the reference")
    {
        SoundClip elsewhere = {};
        ArriveAndSpeak(stage, "PBF:tone.wav", [&] {
            char busy[TOON_TEXT_SIZE] = "PBR:tone.wav";
            CHECK(PlaySoundClip(&elsewhere, other, busy, NULL, directory.c_str()) == 1);
        });
        CHECK((clip.device != 0 || BubbleSays(stage.window, "Hold on, someone else is using the sound system!")));
        CHECK_FALSE(BubbleSays(stage.window, "PBF:tone.wav"));
        CHECK(clip.device != elsewhere.device);
        ResetPlayback(stage.stage);
        CHECK(testing::OpenWaveDevices() == 1);   // the other's clip is not the stage's to end
        CloseSoundClip(&elsewhere);
    }
    testing::CloseEngineStage();
    DestroyWindow(other);
}
