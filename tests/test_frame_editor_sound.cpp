// ctest: sound
#include <doctest.h>
#include <windows.h>
#include <mmsystem.h>
#include <string>

#include "editor/editor_controls.h"
#include "editor/frame_commands.h"
#include "resources/resource.h"
#include "show/settings.h"
#include "toon/sound_clip.h"
#include "toon/toon_document.h"
#include "support/checks.h"
#include "support/frame_editor_driver.h"
#include "support/support.h"

namespace {

typedef MCIERROR(WINAPI *MciSend)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);
MciSend realMciSend;
int refusedPlays;

// The device opens the file and then turns the play down, as a busy or
// unplugged device does.
MCIERROR WINAPI RefusingMciSend(MCIDEVICEID device, UINT command, DWORD_PTR flags, DWORD_PTR parameters)
{
    if (command == MCI_PLAY) {
        ++refusedPlays;
        return MCIERR_HARDWARE;
    }
    return realMciSend(device, command, flags, parameters);
}

}  // namespace

TEST_CASE("with a sound device, Play Sound plays the chosen clip to its end, leaves no clip open when the device turns it down, and passes over a clip gone missing")
{
    const std::string directory = testing::TempDirectory("FrameEditorSoundDevice");
    CHECK(CopyFileA(testing::SourcePath("toons/pimbo-hello.wav").c_str(), (directory + "hello.wav").c_str(), FALSE));
    lstrcpynA(settings.directory, directory.c_str(), sizeof settings.directory);
    testing::WithFrameEditor([&](testing::EditorSession &session) {
        HWND dialog = session.dialog;
        testing::BoxCatcher boxes([](HWND box, const testing::CaughtBox &) {
            return box == frameEditorDialog ? 0 : IDOK;
        });
        CHECK_FALSE(testing::MenuEnabled(dialog, IDM_PLAYSOUND));
        testing::Command(dialog, IDC_SOUNDMODE);
        CHECK(testing::MenuEnabled(dialog, IDM_PLAYSOUND));
        CHECK(SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)"hello.wav") == 0);
        CHECK(PlaySelectedSound(dialog) == 1);
        CHECK(testing::OpenWaveDevices() == 0);
        testing::Command(dialog, IDM_PLAYSOUND);
        CHECK(testing::OpenWaveDevices() == 0);

        refusedPlays = 0;
        realMciSend = (MciSend)testing::PatchImport("winmm.dll", "mciSendCommandA", (void *)RefusingMciSend);
        CHECK_OR_RETURN(realMciSend != nullptr);
        testing::Command(dialog, IDM_PLAYSOUND);
        testing::Command(dialog, IDM_PLAYSOUND);
        testing::PatchImport("winmm.dll", "mciSendCommandA", (void *)realMciSend);
        CHECK(refusedPlays == 2);
        CHECK(testing::OpenWaveDevices() == 0);

        // The device works again, and so does Play Sound.
        CHECK(PlaySelectedSound(dialog) == 1);
        CHECK(testing::OpenWaveDevices() == 0);

        // Another stage's clip plays on beside Play Sound's, and is not its to close.
        SoundClip elsewhere = {};
        char busy[TOON_TEXT_SIZE] = "PBF:hello.wav";
        CHECK(PlaySoundClip(&elsewhere, dialog, busy, NULL, directory.c_str()) == 1);
        CHECK(PlaySelectedSound(dialog) == 1);
        CHECK(testing::OpenWaveDevices() == 1);
        CloseSoundClip(&elsewhere);
        DeleteFileA((directory + "hello.wav").c_str());
        CHECK(PlaySelectedSound(dialog) == 0);
        CHECK(testing::OpenWaveDevices() == 0);
        testing::Command(dialog, IDC_TEXTMODE);
        CHECK_FALSE(testing::MenuEnabled(dialog, IDM_PLAYSOUND));
        size_t shown = 0;
        for (const testing::CaughtBox &box : boxes.Boxes())
            shown += box.caption.rfind("File: [", 0) != 0;
        CHECK(shown == 0u);
    });
}

