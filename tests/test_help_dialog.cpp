#include <doctest.h>
#include "resources/resource.h"
#include "support/support.h"

#include <string>
#include <vector>

namespace {

const char *CONFIG_CAPTION = "Fizzy Pimbo Screen Saver";
const char *HELP_CAPTION = "Fizzy Pimbo Help";

// The text of a window of another process: WM_GETTEXT crosses processes.
std::string TextOf(HWND window)
{
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> text((size_t)length + 1, '\0');
    SendMessageA(window, WM_GETTEXT, (WPARAM)text.size(), (LPARAM)text.data());
    return text.data();
}

HWND OpenHelp(const PROCESS_INFORMATION &process, HWND config)
{
    PostMessageA(GetDlgItem(config, IDC_HELPBUTTON), BM_CLICK, 0, 0);
    return testing::WaitForProcessWindow(process.dwProcessId, "#32770", HELP_CAPTION, 20000);
}

bool Gone(HWND window)
{
    return testing::PumpUntil([&] { return !IsWindow(window); }, 20000);
}

}  // namespace

TEST_CASE("Help without a help file shows our own help, which OK and Esc close, and the dialog goes on")
{
    const std::string directory = testing::TempDirectory("pimbo-help-toons");
    DeleteFileA((directory + "Pimbo96.hlp").c_str());
    CHECK(testing::PutIni("Walking Style=1\r\nDirectory=" + directory + "\r\n"));
    PROCESS_INFORMATION process = testing::StartScr("/c");
    HWND config = testing::WaitForProcessWindow(process.dwProcessId, "#32770", CONFIG_CAPTION, 20000);
    CHECK(config != NULL);
    if (!config) {
        testing::FinishProcess(process, 1000);
        return;
    }

    HWND help = OpenHelp(process, config);
    CHECK(help != NULL);
    if (help) {
        CHECK(GetWindow(help, GW_OWNER) == config);
        CHECK_FALSE(IsWindowEnabled(config));
        RECT box;
        GetWindowRect(help, &box);
        CHECK(box.left == (GetSystemMetrics(SM_CXSCREEN) - (box.right - box.left)) / 2);

        HWND text = GetDlgItem(help, IDC_HELPTEXT);
        const LONG style = GetWindowLongA(text, GWL_STYLE);
        CHECK((style & (ES_MULTILINE | ES_READONLY | WS_VSCROLL)) == (ES_MULTILINE | ES_READONLY | WS_VSCROLL));
        const std::string shown = TextOf(text);
        CAPTURE(shown);
        for (const char *topic : { "Walk about in a random direction", "Pimbo95.ini", "%APPDATA%\\Fizzy Pimbo",
                                   "THE TOON DIRECTORY", "Play Toon File", "Edit Toon Files..",
                                   "frame editor", "On resume, display logon screen" })
            CHECK(shown.find(topic) != std::string::npos);
        // Lines end the way an edit control needs: no bare line feeds.
        size_t bare = 0;
        for (size_t i = 0; i < shown.size(); ++i)
            bare += shown[i] == '\n' && (i == 0 || shown[i - 1] != '\r');
        CHECK(bare == 0u);

        // More than fits: it scrolls, and typing changes nothing.
        CHECK(SendMessageA(text, EM_GETFIRSTVISIBLELINE, 0, 0) == 0);
        SendMessageA(text, WM_VSCROLL, SB_PAGEDOWN, 0);
        CHECK(SendMessageA(text, EM_GETFIRSTVISIBLELINE, 0, 0) > 0);
        SendMessageA(text, WM_CHAR, 'x', 0);
        SendMessageA(text, WM_CLEAR, 0, 0);
        CHECK(TextOf(text) == shown);

        PostMessageA(GetDlgItem(help, IDOK), BM_CLICK, 0, 0);
        CHECK(Gone(help));
        CHECK(IsWindowEnabled(config));
    }

    help = OpenHelp(process, config);
    CHECK(help != NULL);
    if (help) {
        SetForegroundWindow(help);
        CHECK(testing::PumpUntil([&] { return GetForegroundWindow() == help; }, 5000));
        testing::TapKey(VK_ESCAPE);
        CHECK(Gone(help));
    }
    // The configuration dialog is still there and still works.
    CHECK(IsWindow(config));
    CHECK(IsWindowEnabled(config));
    SendMessageA(GetDlgItem(config, IDC_WALKRANDOM), BM_CLICK, 0, 0);
    PostMessageA(GetDlgItem(config, IDOK), BM_CLICK, 0, 0);
    CHECK(testing::FinishProcess(process, 20000) == 1);
    CHECK(testing::IniText().find("Walking Style=0\r\n") != std::string::npos);
    testing::RemoveIni();
}
