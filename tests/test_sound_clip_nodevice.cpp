#include <doctest.h>
#include <windows.h>
#include <mmsystem.h>
#include <string>

#include "toon/sound_clip.h"
#include "toon/toon_document.h"
#include "support/support.h"

TEST_CASE("without a wave device every clip complains, whether its file exists or not")
{
    CHECK(waveOutGetNumDevs() == 0);
    const std::string directory = testing::TempDirectory("pimbo-no-device");
    CHECK(testing::WriteFileBytes(directory + "present.wav", std::string(100, 'x')));
    SoundClip clip = {};
    for (const char *reference : { "PBF:present.wav", "PBR:absent.wav" }) {
        CAPTURE(reference);
        char text[TOON_TEXT_SIZE];
        lstrcpynA(text, reference, sizeof text);
        CHECK(PlaySoundClip(&clip, NULL, text, NULL, directory.c_str()) == 0);
        CHECK(std::string(text) == "I can't speak until you get a sound system!");
        lstrcpynA(text, reference, sizeof text);
        CHECK(PlaySoundClipAndWait(NULL, text, NULL, directory.c_str()) == 0);
        CHECK(std::string(text) == "I can't speak until you get a sound system!");
        CHECK(clip.device == 0);
    }
}
