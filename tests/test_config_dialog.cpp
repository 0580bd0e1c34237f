#include <doctest.h>
#include "show/config_dialog.h"
#include "show/roster.h"
#include "show/settings.h"
#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "editor/editor_window.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "resources/resource.h"
#include "toon/toon_document.h"
#include "support/frame_editor_driver.h"
#include "support/script.h"
#include "support/support.h"

#include <string.h>
#include <algorithm>
#include <set>
#include <vector>

using testing::Do;
using testing::IniValue;
using testing::ItemText;
using testing::WaitFor;

namespace {

const char *kCaption = "Fizzy Pimbo Screen Saver";

// The dialog, with the steps going on inside its loop.
INT_PTR RunDialogScript(std::vector<testing::ScriptStep> steps)
{
    INT_PTR result = -1;
    testing::RunScript(std::move(steps), [&] {
        result = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_CONFIG), NULL, ConfigDialogProc, 0);
    }, testing::EndEverything);
    return result;
}

// The script acts on the dialog once it is up, and ends it or leaves it to be cancelled.
INT_PTR RunDialog(std::function<void(HWND)> script)
{
    return RunDialogScript({
        WaitFor("the dialog", [] { return testing::ConfigDialog() != NULL; }),
        Do("the script", [&] {
            const HWND dialog = testing::ConfigDialog();
            script(dialog);
            if (IsWindow(dialog))
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }),
    });
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], (DWORD)text.size());
    return text;
}

// The entries of the list, in lower case.
std::set<std::string> ListEntries(HWND dialog)
{
    std::set<std::string> entries;
    for (const std::string &entry : testing::ListItems(dialog, IDC_TOONLIST))
        entries.insert(Lower(entry));
    return entries;
}

// Selects an entry (found regardless of case) and double-clicks it as the list box would report it.
bool DoubleClick(HWND dialog, const std::string &entry)
{
    HWND list = GetDlgItem(dialog, IDC_TOONLIST);
    LRESULT index = SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)entry.c_str());
    if (index == LB_ERR)
        return false;
    SendMessageA(list, LB_SETCURSEL, (WPARAM)index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_TOONLIST, LBN_DBLCLK), (LPARAM)list);
    return true;
}

void SetIni(const char *key, const std::string &value)
{
    WritePrivateProfileStringA(INI_SECTION, key, value.c_str(), INI_FILE);
}

std::string TempRoot()
{
    char path[MAX_PATH] = "";
    GetTempPathA(sizeof path, path);
    return path;
}

// Makes a directory (and its parents) under the temp directory.
std::string MakeDir(const std::string &path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    return path;
}

void MakeFile(const std::string &path)
{
    CHECK(testing::WriteFileBytes(path, "toon"));
}

std::string WindowsDirectory()
{
    char path[MAX_PATH] = "";
    GetWindowsDirectoryA(path, sizeof path);
    return std::string(path) + "\\";
}

void StartFresh(const std::string &directory, const char *style, const char *statements,
                const char *backgrounds)
{
    testing::RemoveIni();
    SetIni("Walking Style", style);
    SetIni("Statements", statements);
    SetIni("Backgrounds", backgrounds);
    SetIni("Directory", directory);
    SetIni("Paces Walked", "12345");
}

}  // namespace

namespace {

// The template as stored in the resource: what the dialog is made from.
struct TemplateItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::string cls;    // "#128" for a predefined class atom
    std::string text;   // "#100" for an ordinal (an icon)
};
struct DialogTemplate {
    DWORD style;
    short x, y, cx, cy;
    std::string caption, face;
    WORD points;
    std::vector<TemplateItem> items;
};

std::string ReadNameOrOrdinal(const WORD *&p)
{
    if (*p == 0xFFFF) {
        std::string ordinal = "#" + std::to_string(p[1]);
        p += 2;
        return ordinal;
    }
    std::string text;
    for (; *p; ++p)
        text += (char)*p;
    ++p;
    return text;
}

const WORD *AlignToDword(const WORD *p, const void *base)
{
    size_t offset = (size_t)((const BYTE *)p - (const BYTE *)base);
    return (const WORD *)((const BYTE *)base + ((offset + 3) & ~(size_t)3));
}

DialogTemplate LoadDialogTemplate(int id)
{
    DialogTemplate dialog = {};
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG);
    const BYTE *base = found ? (const BYTE *)LockResource(LoadResource(NULL, found)) : NULL;
    if (!base)
        return dialog;
    const DLGTEMPLATE *head = (const DLGTEMPLATE *)base;
    dialog.style = head->style;
    dialog.x = head->x; dialog.y = head->y; dialog.cx = head->cx; dialog.cy = head->cy;
    const WORD *p = (const WORD *)(head + 1);
    ReadNameOrOrdinal(p);   // menu
    ReadNameOrOrdinal(p);   // class
    dialog.caption = ReadNameOrOrdinal(p);
    if (dialog.style & DS_SETFONT) {
        dialog.points = *p++;
        dialog.face = ReadNameOrOrdinal(p);
    }
    for (WORD i = 0; i < head->cdit; ++i) {
        p = AlignToDword(p, base);
        const DLGITEMTEMPLATE *item = (const DLGITEMTEMPLATE *)p;
        TemplateItem entry = { item->style, item->x, item->y, item->cx, item->cy, item->id, "", "" };
        p = (const WORD *)(item + 1);
        entry.cls = ReadNameOrOrdinal(p);
        CharUpperBuffA(&entry.cls[0], (DWORD)entry.cls.size());
        entry.text = ReadNameOrOrdinal(p);
        WORD extra = *p++;
        p = (const WORD *)((const BYTE *)p + extra);
        dialog.items.push_back(entry);
    }
    return dialog;
}

RECT DialogUnitsToPixels(HWND dialog, int x, int y, int cx, int cy)
{
    // Position and size are converted apart, as the dialog manager does.
    RECT place = { x, y, 0, 0 }, size = { 0, 0, cx, cy };
    MapDialogRect(dialog, &place);
    MapDialogRect(dialog, &size);
    RECT pixels = { place.left, place.top, place.left + size.right, place.top + size.bottom };
    return pixels;
}

}  // namespace

TEST_CASE("the dialog is built from its template and centred on the screen")
{
    StartFresh(MakeDir(TempRoot() + "Template\\"), "0", "1", "1");
    struct Control { int id; const char *cls; const char *text; DWORD style; short x, y, cx, cy; };
    const Control controls[] = {
        { IDOK, "BUTTON", "&OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 134, 4, 43, 13 },
        { IDCANCEL, "BUTTON", "&Cancel", BS_PUSHBUTTON | WS_TABSTOP, 134, 21, 43, 13 },
        { IDC_WALKRANDOM, "BUTTON", "&Walk about in a random direction:", BS_AUTORADIOBUTTON, 5, 45, 122, 10 },
        { IDC_STATEMENTS, "BUTTON", "&Allow Pimbo to make random wise statements", BS_AUTOCHECKBOX | WS_TABSTOP, 17, 62, 155, 10 },
        { IDC_BACKGROUNDS, "BUTTON", "&Use random freaky tiled background bitmaps", BS_AUTOCHECKBOX | WS_TABSTOP, 17, 74, 155, 10 },
        { IDC_PLAYTOONS, "BUTTON", "&Play Toon Files in a random order:", BS_AUTORADIOBUTTON, 5, 94, 125, 10 },
        { IDC_EDITTOONS, "BUTTON", "&Edit Toon Files..", BS_PUSHBUTTON | WS_TABSTOP, 22, 156, 65, 13 },
        { IDC_TOONLIST, "LISTBOX", "", LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 97, 111, 76, 59 },
        { 0xFFFF, "STATIC", "", SS_BLACKFRAME, 12, 106, 165, 68 },
        { 0xFFFF, "STATIC", "#100", SS_ICON, 6, 7, 18, 20 },
        { 0xFFFF, "STATIC", "", SS_BLACKFRAME, 12, 57, 165, 32 },
        { IDC_TOONCOUNT, "STATIC", "00", SS_CENTER | WS_GROUP, 23, 112, 65, 9 },
        { IDC_TOONCOUNTLABEL, "STATIC", "Toon Files found", SS_CENTER | WS_GROUP, 23, 123, 65, 9 },
        { IDC_PLAYTOON, "BUTTON", "P&lay Toon File", BS_PUSHBUTTON | WS_TABSTOP, 22, 139, 65, 13 },
        { IDC_HELPBUTTON, "BUTTON", "&Help", BS_PUSHBUTTON | WS_TABSTOP, 134, 38, 43, 13 },
        { 0xFFFF, "STATIC", "Si&ze:", SS_LEFT | WS_GROUP, 32, 22, 22, 9 },
        { IDC_SIZECHOICE, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 56, 20, 58, 70 },
    };
    const size_t controlCount = sizeof controls / sizeof controls[0];
    const DWORD child = WS_CHILD | WS_VISIBLE;

    DialogTemplate stored = LoadDialogTemplate(IDD_CONFIG);
    CHECK(stored.style == (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    CHECK(stored.caption == kCaption);
    CHECK(stored.face == "MS Sans Serif");
    CHECK(stored.points == 8);
    CHECK((stored.x == 0 && stored.y == 0 && stored.cx == 182 && stored.cy == 178));
    CHECK(stored.items.size() == controlCount);
    for (size_t i = 0; i < controlCount && i < stored.items.size(); ++i) {
        CAPTURE(i);
        const Control &want = controls[i];
        const TemplateItem &item = stored.items[i];
        CHECK(item.id == want.id);
        CHECK(item.cls == want.cls);
        CHECK(item.text == want.text);
        CHECK(item.style == (child | want.style));
        CHECK((item.x == want.x && item.y == want.y && item.cx == want.cx && item.cy == want.cy));
    }

    INT_PTR result = RunDialog([&](HWND dialog) {
        char caption[64] = "";
        GetWindowTextA(dialog, caption, sizeof caption);
        CHECK(std::string(caption) == kCaption);
        CHECK(GetWindow(dialog, GW_OWNER) == NULL);

        LOGFONTA font;
        ZeroMemory(&font, sizeof font);
        GetObjectA((HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0), sizeof font, &font);
        CHECK(std::string(font.lfFaceName) == "MS Sans Serif");

        RECT client, size = { 0, 0, 182, 178 };
        MapDialogRect(dialog, &size);
        GetClientRect(dialog, &client);
        CHECK(client.right == size.right);
        CHECK(client.bottom == size.bottom);

        RECT box;
        GetWindowRect(dialog, &box);
        CHECK(box.left == (GetSystemMetrics(SM_CXSCREEN) - (box.right - box.left)) / 2);
        CHECK(box.top == (GetSystemMetrics(SM_CYSCREEN) - (box.bottom - box.top)) / 2);

        // The windows made from it, in tab order.
        size_t index = 0;
        for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT), ++index) {
            if (index >= controlCount) {
                FAIL_CHECK("more controls than the template has");
                break;
            }
            const Control &want = controls[index];
            CAPTURE(index);
            CHECK(GetDlgCtrlID(control) == want.id);
            char cls[32] = "";
            GetClassNameA(control, cls, sizeof cls);
            CHECK(lstrcmpiA(cls, want.cls) == 0);
            if (want.text[0] != '#') {
                char text[128] = "";
                GetWindowTextA(control, text, sizeof text);
                if (want.id != IDC_TOONCOUNT && want.id != IDC_SIZECHOICE)
                    CHECK(std::string(text) == want.text);
            }
            RECT expected = DialogUnitsToPixels(dialog, want.x, want.y, want.cx, want.cy);
            RECT actual;
            GetWindowRect(control, &actual);
            MapWindowPoints(NULL, dialog, (POINT *)&actual, 2);
            CHECK(actual.left == expected.left);
            CHECK(actual.top == expected.top);
            if (want.style == SS_ICON) {
                // An icon control takes the size of its icon.
                CHECK(SendMessageA(control, STM_GETICON, 0, 0) != 0);
            } else if (want.id == IDC_SIZECHOICE) {
                // A drop-down list is as high as its closed box.
                CHECK(actual.right == expected.right);
            } else {
                CHECK(actual.right == expected.right);
                CHECK(actual.bottom == expected.bottom);
            }
        }
        CHECK(index == controlCount);

        // One group: choosing either radio button clears the other.
        Click(dialog, IDC_PLAYTOONS);
        CHECK(Checked(dialog, IDC_PLAYTOONS));
        CHECK_FALSE(Checked(dialog, IDC_WALKRANDOM));
        Click(dialog, IDC_WALKRANDOM);
        CHECK(Checked(dialog, IDC_WALKRANDOM));
        CHECK_FALSE(Checked(dialog, IDC_PLAYTOONS));
        Click(dialog, IDCANCEL);
    });
    CHECK(result == 1);
}

TEST_CASE("the dialog shows the settings of the INI file")
{
    std::string directory = MakeDir(TempRoot() + "Shown\\");
    MakeDir(directory + "Older");
    MakeFile(directory + "one.ptf");
    MakeFile(directory + "two.ptf");
    MakeFile(directory + "notes.txt");

    struct Row { const char *style, *statements, *backgrounds; bool walk, play, statementsTicked, backgroundsTicked; };
    const Row rows[] = {
        { "0", "1", "0", true, false, true, false },
        { "1", "0", "1", false, true, false, true },
        { "1", "1", "1", false, true, true, true },
    };
    for (const Row &row : rows) {
        CAPTURE(row.style);
        StartFresh(directory, row.style, row.statements, row.backgrounds);
        RunDialog([&](HWND dialog) {
            CHECK(Checked(dialog, IDC_WALKRANDOM) == row.walk);
            CHECK(Checked(dialog, IDC_PLAYTOONS) == row.play);
            CHECK(Checked(dialog, IDC_STATEMENTS) == row.statementsTicked);
            CHECK(Checked(dialog, IDC_BACKGROUNDS) == row.backgroundsTicked);
            // The options belong to random walks only.
            CHECK(Enabled(dialog, IDC_STATEMENTS) == row.walk);
            CHECK(Enabled(dialog, IDC_BACKGROUNDS) == row.walk);
            CHECK(ItemText(dialog, IDC_TOONCOUNT) == "2");
            CHECK(Enabled(dialog, IDC_PLAYTOON));
            std::set<std::string> entries = ListEntries(dialog);
            CHECK(entries.count("one.ptf") == 1);
            CHECK(entries.count("two.ptf") == 1);
            CHECK(entries.count("[older]") == 1);
            CHECK(entries.count("[..]") == 1);
            CHECK(entries.count("[-c-]") == 1);
            CHECK(entries.count("notes.txt") == 0);
            CHECK(SendMessageA(GetDlgItem(dialog, IDC_TOONLIST), LB_GETCURSEL, 0, 0) == 0);
            Click(dialog, IDCANCEL);
        });
    }
}

TEST_CASE("the radio buttons grey out the options without touching their marks")
{
    StartFresh(MakeDir(TempRoot() + "Radio\\"), "0", "1", "0");
    std::string before = testing::ReadFileBytes(testing::IniPath());
    RunDialog([&](HWND dialog) {
        Click(dialog, IDC_PLAYTOONS);
        CHECK_FALSE(Enabled(dialog, IDC_STATEMENTS));
        CHECK_FALSE(Enabled(dialog, IDC_BACKGROUNDS));
        CHECK(Checked(dialog, IDC_STATEMENTS));
        CHECK_FALSE(Checked(dialog, IDC_BACKGROUNDS));
        CHECK(settings.pendingStyle == 1);
        Click(dialog, IDC_WALKRANDOM);
        CHECK(Enabled(dialog, IDC_STATEMENTS));
        CHECK(Enabled(dialog, IDC_BACKGROUNDS));
        CHECK(Checked(dialog, IDC_STATEMENTS));
        CHECK_FALSE(Checked(dialog, IDC_BACKGROUNDS));
        CHECK(settings.pendingStyle == 0);
        Click(dialog, IDC_BACKGROUNDS);
        Click(dialog, IDC_PLAYTOONS);
        Click(dialog, IDCANCEL);
    });
    // Cancel writes nothing.
    WritePrivateProfileStringA(NULL, NULL, NULL, INI_FILE);
    CHECK(testing::ReadFileBytes(testing::IniPath()) == before);
}

TEST_CASE("OK writes the choices, the paces and the Size chosen, and the directory only once it is the user's")
{
    std::string directory = MakeDir(TempRoot() + "Saved\\");
    SetCurrentDirectoryA(directory.c_str());
    testing::RemoveIni();
    settings.walkingStyle = 1;
    settings.statements = 1;
    settings.backgrounds = 1;
    INT_PTR result = RunDialog([&](HWND dialog) {
        // No INI file: the values in memory and the current directory.
        CHECK(Checked(dialog, IDC_PLAYTOONS));
        CHECK(Checked(dialog, IDC_STATEMENTS));
        CHECK(Checked(dialog, IDC_BACKGROUNDS));
        CHECK(ItemText(dialog, IDC_TOONCOUNT) == "0");
        CHECK_FALSE(Enabled(dialog, IDC_PLAYTOON));
        CHECK(ItemText(dialog, IDC_SIZECHOICE) == "Automatic");
        CHECK(SendDlgItemMessageA(dialog, IDC_SIZECHOICE, CB_GETCOUNT, 0, 0) == 5);
        SendDlgItemMessageA(dialog, IDC_SIZECHOICE, CB_SETCURSEL, 2, 0);
        CHECK(ItemText(dialog, IDC_SIZECHOICE) == "2x");
        Click(dialog, IDC_WALKRANDOM);
        Click(dialog, IDC_STATEMENTS);
        // Paces a saver stored while the dialog was open are not undone.
        SetIni("Paces Walked", "60");
        Click(dialog, IDOK);
    });
    CHECK(result == 1);
    CHECK(IniValue("Walking Style") == "0");
    CHECK(IniValue("Statements") == "0");
    CHECK(IniValue("Backgrounds") == "1");
    // A stand-in for a directory of his own, which OK never makes his.
    CHECK(IniValue("Directory") == "<missing>");
    CHECK(IniValue("Paces Walked") == "60");
    CHECK(IniValue("Size") == "2");
}

TEST_CASE("Cancel keeps the choices out of the INI file but not a change of directory")
{
    std::string directory = MakeDir(TempRoot() + "Cancelled\\");
    MakeDir(directory + "Sub");
    MakeFile(directory + "Sub\\a.ptf");
    StartFresh(directory, "0", "1", "1");
    INT_PTR result = RunDialog([&](HWND dialog) {
        Click(dialog, IDC_PLAYTOONS);
        CHECK(DoubleClick(dialog, "[sub]"));
        // Written at once, before the dialog ends.
        CHECK(IniValue("Directory") == Lower(directory) + "sub\\");
        CHECK(ItemText(dialog, IDC_TOONCOUNT) == "1");
        Click(dialog, IDCANCEL);
    });
    CHECK(result == 1);
    CHECK(IniValue("Directory") == Lower(directory) + "sub\\");
    CHECK(IniValue("Walking Style") == "0");
    CHECK(IniValue("Statements") == "1");
}

TEST_CASE("navigating the list moves through directories and drives, never through the current directory")
{
    std::string root = MakeDir(TempRoot() + "Nav\\");
    MakeDir(root + "Deep\\Deeper");
    MakeDir(root + "-old");
    MakeFile(root + "x.ptf");
    for (int i = 0; i < 12; ++i)
        MakeFile(root + "-old\\t" + std::to_string(i) + ".ptf");
    MakeFile(root + "Deep\\y.ptf");
    MakeFile(root + "Deep\\z.ptf");
    StartFresh(root + "Deep\\", "1", "1", "1");
    // The process works elsewhere, and stays there.
    const std::string elsewhere = MakeDir(TempRoot() + "NavElsewhere\\");
    MakeFile(elsewhere + "decoy.ptf");
    SetCurrentDirectoryA(elsewhere.c_str());

    RunDialog([&](HWND dialog) {
        struct Step { const char *entry; std::string directory; const char *count; };
        const Step steps[] = {
            { "[..]", Lower(root), "1" },
            { "[-old]", Lower(root) + "-old\\", "12" },
            { "[..]", Lower(root), "1" },
            { "[deep]", Lower(root) + "deep\\", "2" },
            { "[deeper]", Lower(root) + "deep\\deeper\\", "0" },
            { "[-z-]", "z:\\", NULL },
            { "[-c-]", "c:\\", NULL },
        };
        for (const Step &step : steps) {
            CAPTURE(step.entry);
            CHECK(DoubleClick(dialog, step.entry));
            CHECK(std::string(settings.directory) == step.directory);
            CHECK(IniValue("Directory") == step.directory);
            char current[MAX_PATH] = "";
            GetCurrentDirectoryA(sizeof current, current);
            CHECK(Lower(std::string(current) + "\\") == Lower(elsewhere));
            CHECK(ListEntries(dialog).count("decoy.ptf") == 0);
            if (step.count) {
                CHECK(ItemText(dialog, IDC_TOONCOUNT) == step.count);
                CHECK(Enabled(dialog, IDC_PLAYTOON) == (std::string(step.count) != "0"));
            }
            CHECK(ListEntries(dialog).count("[..]") == (step.directory.size() > 3 ? 1u : 0u));
        }
        Click(dialog, IDCANCEL);
    });
}

TEST_CASE("a missing directory falls back to the Windows directory")
{
    std::string windows = WindowsDirectory();
    SUBCASE("when the INI file names one")
    {
        StartFresh("C:\\no\\such\\place\\", "0", "1", "1");
        RunDialog([&](HWND dialog) {
            CHECK(Lower(settings.directory) == Lower(windows));
            CHECK(ListEntries(dialog).count("[system32]") == 1);
            // Only OK or the next move writes the replacement.
            CHECK(IniValue("Directory") == "C:\\no\\such\\place\\");
            Click(dialog, IDOK);
        });
        CHECK(Lower(IniValue("Directory")) == Lower(windows));
    }
    SUBCASE("when the directory moved to vanished from under the list")
    {
        std::string directory = MakeDir(TempRoot() + "Vanishing\\");
        MakeDir(directory + "gone");
        StartFresh(directory, "0", "1", "1");
        RunDialog([&](HWND dialog) {
            CHECK(ListEntries(dialog).count("[gone]") == 1);
            CHECK(RemoveDirectoryA((directory + "gone").c_str()));
            DoubleClick(dialog, "[gone]");
            CHECK(Lower(settings.directory) == Lower(windows));
            // Written after the refresh, so the fallback is what is stored.
            CHECK(Lower(IniValue("Directory")) == Lower(windows));
            Click(dialog, IDCANCEL);
        });
    }
}

TEST_CASE("navigation never overruns the directory setting")
{
    // A directory of exactly `length` characters, trailing backslash included.
    std::string base = TempRoot() + "Long\\";
    auto pathOfLength = [&](size_t length) {
        std::string path = base;
        while (path.size() < length) {
            size_t part = std::min<size_t>(40, length - path.size() - 1);
            if (part == 0)
                part = 1;
            path += std::string(part, 'd') + "\\";
        }
        return path;
    };
    std::string directory = MakeDir(pathOfLength(100));
    CHECK(directory.size() == 100);
    // 100 + 26 + 1 = 127 characters fit; one more does not.
    std::string fits(26, 'f'), tooLong(27, 'g'), veryLong(140, 'h');
    MakeDir(directory + fits);
    MakeDir(directory + tooLong);
    MakeDir(directory + veryLong);
    StartFresh(directory, "1", "1", "1");

    RunDialog([&](HWND dialog) {
        CHECK(DoubleClick(dialog, "[" + tooLong + "]"));
        CHECK(std::string(settings.directory) == directory);
        CHECK(IniValue("Directory") == directory);
        // The next field of the settings is intact.
        CHECK(settings.pendingStyle == 1);

        // An entry longer than the list buffer is refused too.
        CHECK(DoubleClick(dialog, "[" + veryLong + "]"));
        CHECK(std::string(settings.directory) == directory);
        CHECK(settings.pendingStyle == 1);

        CHECK(DoubleClick(dialog, "[" + fits + "]"));
        CHECK(std::string(settings.directory) == Lower(directory + fits + "\\"));
        CHECK(strlen(settings.directory) == DIRECTORY_SIZE - 1);
        CHECK(IniValue("Directory") == Lower(directory + fits + "\\"));
        CHECK(settings.pendingStyle == 1);
        Click(dialog, IDCANCEL);
    });
}

TEST_CASE("activation recounts the toon files and refreshes the list when the count changed")
{
    std::string directory = MakeDir(TempRoot() + "Activated\\");
    MakeFile(directory + "a.ptf");
    MakeFile(directory + "b.ptf");
    StartFresh(directory, "1", "1", "1");

    HWND other = CreateWindowExA(0, "Static", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                 NULL, NULL, GetModuleHandleA(NULL), NULL);
    CHECK(other);
    RunDialog([&](HWND dialog) {
        auto reactivate = [&] {
            SetActiveWindow(other);
            testing::Pump(50);
            SetActiveWindow(dialog);
            testing::Pump(50);
        };
        CHECK(ItemText(dialog, IDC_TOONCOUNT) == "2");

        // Same count: the list is left as it is.
        CHECK(MoveFileA((directory + "b.ptf").c_str(), (directory + "c.ptf").c_str()));
        reactivate();
        CHECK(ListEntries(dialog).count("b.ptf") == 1);

        MakeFile(directory + "d.ptf");
        reactivate();
        CHECK(ItemText(dialog, IDC_TOONCOUNT) == "3");
        CHECK(ListEntries(dialog).count("c.ptf") == 1);
        CHECK(ListEntries(dialog).count("d.ptf") == 1);

        CHECK(DeleteFileA((directory + "a.ptf").c_str()));
        CHECK(DeleteFileA((directory + "c.ptf").c_str()));
        CHECK(DeleteFileA((directory + "d.ptf").c_str()));
        reactivate();
        CHECK(ItemText(dialog, IDC_TOONCOUNT) == "0");
        CHECK_FALSE(Enabled(dialog, IDC_PLAYTOON));
        Click(dialog, IDCANCEL);
    });
    DestroyWindow(other);
}

TEST_CASE("Edit Toon Files applies the choices in memory only")
{
    StartFresh(MakeDir(TempRoot() + "Edited\\"), "0", "1", "1");
    std::string before = testing::ReadFileBytes(testing::IniPath());
    RunDialog([&](HWND dialog) {
        Click(dialog, IDC_PLAYTOONS);
        Click(dialog, IDC_BACKGROUNDS);
        Click(dialog, IDC_EDITTOONS);
        CHECK(settings.walkingStyle == 1);
        CHECK(settings.statements == 1);
        CHECK(settings.backgrounds == 0);
        Click(dialog, IDCANCEL);
    });
    WritePrivateProfileStringA(NULL, NULL, NULL, INI_FILE);
    CHECK(testing::ReadFileBytes(testing::IniPath()) == before);
}

TEST_CASE("with the editor open the dialog's keys are its own, the editor's stay in its windows, and a toon plays past unsaved frames")
{
    const std::string directory = MakeDir(TempRoot() + "Keys\\");
    const std::string toonPath = directory + "two.ptf";
    CHECK(testing::WriteFileBytes(toonPath, testing::ToonBytes({ { 300, 300 }, { 500, 300 } }, 1)));
    auto focused = [](HWND window, int id) { return window && GetFocus() == GetDlgItem(window, id); };
    auto playing = [] { return ToonRunning(editorFrame.stage) != 0; };
    auto player = [] { return FindWindowA("SaverWndClass", NULL); };
    // Without unsaved frames: Ctrl+O and Alt+P in the editor, Enter in the
    // dialog. With them: Ctrl+E and Alt+X in the editor; in the dialog Alt+C
    // asks (Cancel keeps both), Alt+L plays the chosen toon without asking,
    // then Esc asks (No ends both).
    for (const bool unsaved : { false, true }) {
        CAPTURE(unsaved);
        StartFresh(directory, "0", "1", "1");
        int opens = 0, questions = 0, others = 0, frames = 0;
        ToonFrame first = {}, firstAfter = {};
        std::string played = "<no player>";
        testing::BoxCatcher boxes([&](HWND box, const testing::CaughtBox &caught) {
            if (box == testing::ConfigDialog() || box == frameEditorDialog)
                return 0;
            if (caught.caption == "Open Toon File") {
                ++opens;
                return testing::TypeFileName(box, toonPath);
            }
            if (caught.text == "Save current changes? ")
                return ++questions == 1 ? IDCANCEL : IDNO;
            ++others;
            return IDCANCEL;
        });
        INT_PTR result = RunDialogScript({
            WaitFor("the dialog", [] { return testing::ConfigDialog() != NULL; }),
            Do("Edit Toon Files; Ctrl+O or Ctrl+E in the editor", [=] {
                testing::Command(testing::ConfigDialog(), IDC_EDITTOONS);
                CancelEntrance(editorFrame.stage);
                SetForegroundWindow(editorFrame.mainWindow);
                testing::PressKeys({ VK_CONTROL, (WORD)(unsaved ? 'E' : 'O') });
            }),
            WaitFor("the toon read, or the frame editor", [=] {
                return unsaved ? frameEditorDialog != NULL : IsWindowEnabled(editorUi.playButton) != FALSE;
            }),
            Do("a frame changed; Alt+X in the frame editor", [=] {
                if (!unsaved)
                    return;
                SetToonModified(&editorFrame.toon, frameEditorDialog, 1);
                SetForegroundWindow(frameEditorDialog);
                testing::PressKeys({ VK_MENU, 'X' });
            }),
            WaitFor("its X box focused", [=] { return !unsaved || focused(frameEditorDialog, IDC_FRAMEX); }),
            Do("Tab from OK in the dialog", [] {
                SetForegroundWindow(testing::ConfigDialog());
                SetFocus(GetDlgItem(testing::ConfigDialog(), IDOK));
                testing::PressKeys({ VK_TAB });
            }),
            WaitFor("Cancel focused", [=] { return focused(testing::ConfigDialog(), IDCANCEL); }),
            Do("Ctrl+O, Alt+P", [] {
                testing::PressKeys({ VK_CONTROL, 'O' });
                testing::PressKeys({ VK_MENU, 'P' });
            }),
            WaitFor("the radio button focused", [=] { return focused(testing::ConfigDialog(), IDC_PLAYTOONS); }),
            Do("the editor untouched; Alt+P in it, or Alt+C in the dialog", [&, unsaved] {
                CHECK(Checked(testing::ConfigDialog(), IDC_PLAYTOONS));
                CHECK(opens == (unsaved ? 0 : 1));
                CHECK_FALSE(playing());
                SetForegroundWindow(unsaved ? testing::ConfigDialog() : editorFrame.mainWindow);
                testing::PressKeys({ VK_MENU, (WORD)(unsaved ? 'C' : 'P') });
            }),
            WaitFor("the toon playing, or the question answered", [&, unsaved] {
                return unsaved ? questions == 1 && IsWindowEnabled(frameEditorDialog) : playing();
            }),
            Do("two.ptf chosen; Alt+L in the dialog", [&, unsaved] {
                if (!unsaved)
                    return;
                frames = editorFrame.toon.frameCount;
                GetToonFrame(&editorFrame.toon, 0, &first);
                SendDlgItemMessageA(testing::ConfigDialog(), IDC_TOONLIST, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)"two.ptf");
                SetForegroundWindow(testing::ConfigDialog());
                testing::PressKeys({ VK_MENU, 'L' });
            }),
            WaitFor("the player", [=] { return !unsaved || player() != NULL; }),
            Do("a key in it", [&, unsaved] {
                if (!unsaved)
                    return;
                played = roster.currentToon;
                testing::TapKey('X');
            }),
            WaitFor("the player gone", [=] { return player() == NULL; }),
            Do("both kept, unsaved frames too; Esc or Enter in the dialog", [&, unsaved] {
                CHECK((testing::ConfigDialog() && editorFrame.mainWindow));
                if (unsaved) {
                    CHECK(played == "two.ptf");
                    CHECK(questions == 1);
                    CHECK(editorFrame.toon.frameCount == frames);
                    CHECK(editorFrame.toon.modified);
                    CHECK((GetToonFrame(&editorFrame.toon, 0, &firstAfter) && memcmp(&first, &firstAfter, sizeof first) == 0));
                }
                SetForegroundWindow(testing::ConfigDialog());
                testing::PressKeys({ (WORD)(unsaved ? VK_ESCAPE : VK_RETURN) });
            }),
        });
        CHECK(result == 1);
        CHECK(editorFrame.mainWindow == NULL);
        CHECK(questions == (unsaved ? 2 : 0));
        CHECK(others == 0);
        // Enter pressed OK, with the choice Alt+P made.
        CHECK(IniValue("Walking Style") == (unsaved ? "0" : "1"));
    }
}

TEST_CASE("the program opens the dialog owned by the foreground window with /c, unowned without a switch")
{
    StartFresh(MakeDir(TempRoot() + "Process\\"), "0", "1", "1");
    HWND foreground = CreateWindowExA(0, "Static", "settings", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100,
                                      NULL, NULL, GetModuleHandleA(NULL), NULL);
    CHECK(foreground);
    SetForegroundWindow(foreground);
    testing::Pump(100);
    CHECK(GetForegroundWindow() == foreground);

    struct Row { const char *tail; bool owned; };
    const Row rows[] = { { "/c", true }, { "-C:1234", true }, { "", false } };
    for (const Row &row : rows) {
        CAPTURE(row.tail);
        PROCESS_INFORMATION process = testing::StartScr(row.tail);
        CHECK(process.hProcess);
        HWND dialog = testing::WaitForProcessWindow(process.dwProcessId, "#32770", kCaption, 20000);
        CHECK(dialog);
        if (dialog) {
            CHECK(GetWindow(dialog, GW_OWNER) == (row.owned ? foreground : NULL));
            RECT box;
            GetWindowRect(dialog, &box);
            CHECK(box.left == (GetSystemMetrics(SM_CXSCREEN) - (box.right - box.left)) / 2);
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        // Ending the dialog enables its owner, our window: keep answering.
        testing::PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 20000);
        CHECK(testing::FinishProcess(process, 1000) == 1);
        SetForegroundWindow(foreground);
        testing::Pump(100);
    }
    DestroyWindow(foreground);
}
