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
#include "support/fuzz.h"
#include "support/support.h"
#include "support/engine_stage.h"
#include <functional>
#include <vector>

#define ENSURE(condition) do { bool ensured_ = (condition); CHECK_MESSAGE(ensured_, #condition); \
                               if (!ensured_) return; } while (0)

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

// Works in a directory of its own, with a tone, a fake and a folder.
void EnterClipDirectory()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string directory = std::string(temp) + "pimbo-clips";
    CreateDirectoryA(directory.c_str(), NULL);
    SetCurrentDirectoryA(directory.c_str());
    testing::WriteFileBytes("tone.wav", ToneWav(300));
    testing::WriteFileBytes("noise.wav", std::string(500, '\x5A'));
    CreateDirectoryA("folder.wav", NULL);
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

TEST_CASE("a clip plays asynchronously and its end reaches the window once")
{
    EnterClipDirectory();
    HWND window = testing::MakeClipListener();
    ENSURE(window != nullptr);
    ENSURE(waveOutGetNumDevs() == 1);
    testing::clipNotices.count = 0;
    char text[TOON_TEXT_SIZE];
    SetText(text, "pbf:TONE.wav");
    CHECK(PlaySoundClip(window, text) == 1);
    CHECK(std::string(text) == "pbf:TONE.wav");
    CHECK(clipDevice != 0);
    UINT device = clipDevice;

    // While it is open every other request is turned down, untouched.
    char second[TOON_TEXT_SIZE];
    SetText(second, "PBR:tone.wav");
    CHECK(PlaySoundClip(window, second) == 0);
    CHECK(PlaySoundClipAndWait(window, second) == 0);
    SetText(second, "PBR:missing.wav");
    CHECK(PlaySoundClip(window, second) == 0);
    CHECK(std::string(second) == "PBR:missing.wav");
    CHECK(clipDevice == device);

    CHECK(testing::PumpUntil([] { return testing::clipNotices.count > 0; }, 10000));
    testing::Pump(200);
    CHECK(testing::clipNotices.count == 1);
    CHECK(testing::clipNotices.code == MCI_NOTIFY_SUCCESSFUL);
    CHECK((UINT)testing::clipNotices.device == device);
    CHECK(clipDevice == device);   // only the caller closes it
    CloseSoundClip();
    CHECK(clipDevice == 0);
    CloseSoundClip();
    CHECK(clipDevice == 0);

    SetText(text, "PBR:tone.wav");
    CHECK(PlaySoundClip(window, text) == 1);
    CloseSoundClip();
    DestroyWindow(window);
}

TEST_CASE("waiting play closes the device before it returns")
{
    EnterClipDirectory();
    HWND window = testing::MakeClipListener();
    ENSURE(window != nullptr);
    char path[MAX_PATH];
    GetFullPathNameA("tone.wav", sizeof path, path, NULL);
    CHECK(CopyFileA(testing::SourcePath("toons/pimbo-hello.wav").c_str(), "pimbo-hello.wav", FALSE));
    std::string shipped = "PBF:pimbo-hello.wav";
    for (std::string reference : { std::string("PBF:tone.wav"), "PBR:" + std::string(path), shipped }) {
        CAPTURE(reference);
        char text[TOON_TEXT_SIZE];
        SetText(text, reference.c_str());
        CHECK(PlaySoundClipAndWait(window, text) == 1);
        CHECK(clipDevice == 0);
        CHECK(std::string(text) == reference);
    }
    DestroyWindow(window);
}

TEST_CASE("a clip that cannot play says why instead")
{
    EnterClipDirectory();
    HWND window = testing::MakeClipListener();
    ENSURE(window != nullptr);
    char text[TOON_TEXT_SIZE];
    for (const char *reference : { "PBF:absent.wav", "PBF:folder.wav", "PBF:*.wav" }) {
        CAPTURE(reference);
        SetText(text, reference);
        CHECK(PlaySoundClip(window, text) == 0);
        CHECK(std::string(text) == "Hey, someone stole this frame's sound file!");
        CHECK(clipDevice == 0);
    }

    // A file that is no WAV at all: the platform's words, or ours.
    SetText(text, "PBF:noise.wav");
    CHECK(PlaySoundClip(window, text) == 0);
    std::string said = text;
    CAPTURE(said);
    CHECK(said != "PBF:noise.wav");
    CHECK(!said.empty());
    CHECK(said.size() <= 69u);
    CloseSoundClip();
    CHECK(clipDevice == 0);

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
    for (const std::string &bytes : { noChannels, manyChannels, odd, noFormat, hugeRate, noRate, longFormat, unknown }) {
        testing::WriteFileBytes("bad.wav", bytes);
        SetText(text, "PBF:bad.wav");
        CHECK(PlaySoundClip(window, text) == 0);
        CHECK(std::string(text) == invalid);
        CHECK(clipDevice == 0);
        SetText(text, "PBF:bad.wav");
        CHECK(PlaySoundClipAndWait(window, text) == 0);
        CHECK(clipDevice == 0);
    }
    // A device another program holds is said to be busy, however the
    // platform tells it: when the format is asked about or at the open.
    testing::WriteFileBytes("bad.wav", tone);
    for (MMRESULT error : { (MMRESULT)MMSYSERR_ALLOCATED, (MMRESULT)MCIERR_DEVICE_OPEN, (MMRESULT)MCIERR_WAVE_OUTPUTSINUSE }) {
        CAPTURE(error);
        busyError = error;
        bool query = error == MMSYSERR_ALLOCATED;
        const char *function = query ? "waveOutOpen" : "mciSendCommandA";
        void *real = testing::PatchImport("winmm.dll", function, query ? (void *)BusyWaveOut : (void *)BusyMciSend);
        ENSURE(real != nullptr);
        (query ? realWaveOut : realMciSend) = real;
        SetText(text, "PBF:bad.wav");
        CHECK(PlaySoundClip(window, text) == 0);
        testing::PatchImport("winmm.dll", function, real);
        CHECK(std::string(text) == "Hold on, someone else is using the sound system!");
        CHECK(clipDevice == 0);
    }
    // A tone with a list chunk before its format still plays.
    std::string listed = tone.substr(0, 12) + "LIST" + Le(3, 4) + "abc" + '\0' + tone.substr(12);
    testing::WriteFileBytes("listed.wav", listed);
    SetText(text, "PBF:listed.wav");
    CHECK(PlaySoundClipAndWait(window, text) == 1);
    CHECK(clipDevice == 0);
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
    StartToonPlayback(stage.window);
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
    HideBubble(window);
    ShowBubble(window, text);
    return testing::Capture(window, area) == shown;
}

}  // namespace

TEST_CASE("a frame's clip plays, and when it ends the device is closed and the mouth rests")
{
    EnterClipDirectory();
    testing::EngineStage &stage = testing::OpenEngineStage(800, 600);
    ArriveAndSpeak(stage, "PBF:tone.wav");
    CHECK(clipDevice != 0);
    CHECK(stage.stage->talking == 1);
    SUBCASE("to its end")
    {
        CHECK(testing::PumpUntil([] { return clipDevice == 0; }, 10000));
        CHECK(MouthColour(stage.window) == testing::ExpressionColour(EXPR_MOUTH_REST, 4));
    }
    SUBCASE("cut short by Stop")
    {
        CHECK(TogglePlayback(stage.window));
        CHECK(clipDevice == 0);
    }
    CHECK(stage.stage->talking == 0);
    CHECK_FALSE(testing::TimerArmed(IDT_EXPRESSION));
    testing::CloseEngineStage();
}

TEST_CASE("what a frame says when its clip cannot play")
{
    EnterClipDirectory();
    HWND other = testing::MakeClipListener();
    ENSURE(other != nullptr);
    testing::EngineStage &stage = testing::OpenEngineStage(800, 600);

    SUBCASE("a missing file")
    {
        ArriveAndSpeak(stage, "PBF:stolen.wav");
        CHECK(clipDevice == 0);
        CHECK(BubbleSays(stage.window, "Hey, someone stole this frame's sound file!"));
    }
    SUBCASE("another clip is still open: the reference itself")
    {
        UINT device = 0;
        ArriveAndSpeak(stage, "PBF:tone.wav", [&] {
            char busy[TOON_TEXT_SIZE] = "PBR:tone.wav";
            CHECK(PlaySoundClip(other, busy) == 1);
            device = clipDevice;
        });
        CHECK(clipDevice == device);
        CHECK(BubbleSays(stage.window, "PBF:tone.wav"));
        CHECK_FALSE(BubbleSays(stage.window, "Hey, someone stole this frame's sound file!"));
        ResetPlayback(stage.window);
        CHECK(clipDevice == device);   // the other window's clip is not the stage's to end
    }
    testing::CloseEngineStage();
    CloseSoundClip();
    DestroyWindow(other);
}
