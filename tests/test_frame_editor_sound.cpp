// ctest: sound
#include <doctest.h>
#include <string>

#include "editor/editor_controls.h"
#include "editor/frame_commands.h"
#include "resources/resource.h"
#include "toon/sound_clip.h"
#include "support/frame_editor_driver.h"
#include "support/support.h"

TEST_CASE("with a sound device, Play Sound plays the chosen clip to its end; a clip gone missing is passed over silently")
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string directory = std::string(temp) + "FrameEditorSoundDevice\\";
    CreateDirectoryA(directory.c_str(), NULL);
    CHECK(CopyFileA(testing::SourcePath("toons/pimbo-hello.wav").c_str(), (directory + "hello.wav").c_str(), FALSE));
    SetCurrentDirectoryA(directory.c_str());

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
        CHECK(clipDevice == 0);
        testing::Command(dialog, IDM_PLAYSOUND);
        CHECK(clipDevice == 0);

        DeleteFileA((directory + "hello.wav").c_str());
        CHECK(PlaySelectedSound(dialog) == 0);
        CHECK(clipDevice == 0);
        testing::Command(dialog, IDC_TEXTMODE);
        CHECK_FALSE(testing::MenuEnabled(dialog, IDM_PLAYSOUND));
        size_t shown = 0;
        for (const testing::CaughtBox &box : boxes.Boxes())
            shown += box.caption.rfind("File: [", 0) != 0;
        CHECK(shown == 0u);
    });
}
