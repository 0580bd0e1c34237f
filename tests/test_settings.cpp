#include <doctest.h>
#include "show/settings.h"
#include "resources/resource.h"
#include "support/support.h"

#include <shlobj.h>
#include <stdlib.h>
#include <string>
#include <vector>

using testing::IniPath;
using testing::ReadFileBytes;
using testing::RemoveIni;
using testing::IniText;

static const char SECTION_LINE[] = "[Fizzy Pimbo Screen Saver]\r\n";

// Replaces the INI file with the given lines of our section.
static void PutIni(const std::string &lines)
{
    CHECK(testing::PutIni(lines));
}

static std::string CurrentDirectory()
{
    char buffer[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof buffer, buffer);
    return buffer;
}

// A fresh directory under the temporary one whose full path is exactly
// `length` characters long.
static std::string MakeDirectoryOfLength(size_t length)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    std::string path = temp;
    if (path.size() + 8 >= length)
        return "";
    path += std::string(length - path.size(), 'd');
    CreateDirectoryA(path.c_str(), NULL);
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return "";
    return path;
}

TEST_CASE("a fresh process starts from the built-in defaults")
{
    // The defaults live only until the first read, so a child run of this
    // very program checks them.
    if (getenv("PIMBO_FRESH_CHILD")) {
        RemoveIni();
        std::string current = CurrentDirectory();
        ReadSettings();
        CHECK(settings.walkingStyle == 1);
        CHECK(settings.statements == 1);
        CHECK(settings.backgrounds == 1);
        CHECK(ReadPacesWalked() == 0);
        CHECK(settings.pendingStyle == 1);
        CHECK(std::string(settings.directory) == current + "\\");
        return;
    }
    char self[MAX_PATH] = "";
    GetModuleFileNameA(NULL, self, sizeof self);
    SetEnvironmentVariableA("PIMBO_FRESH_CHILD", "1");
    DWORD code = testing::RunProcess(std::string("\"") + self +
        "\" -tc=\"a fresh process starts from the built-in defaults\"", 60000);
    SetEnvironmentVariableA("PIMBO_FRESH_CHILD", NULL);
    CHECK(code == 0);
}

TEST_CASE("the directory always ends in one backslash and is never made current")
{
    std::string here = CurrentDirectory();
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);          // ends in a backslash
    std::string tempNoSlash = std::string(temp).substr(0, strlen(temp) - 1);

    struct Row { std::string value; std::string expected; int result; };
    const Row rows[] = {
        { "D:\\TOONS", "D:\\TOONS\\", -1 },
        { "D:\\TOONS\\", "D:\\TOONS\\", -1 },
        { "", "\\", 0 },
        { tempNoSlash, temp, 0 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.value);
        PutIni("Directory=" + row.value + "\r\n");
        CHECK(ReadSettings() == row.result);
        CHECK(std::string(settings.directory) == row.expected);
        CHECK(CurrentDirectory() == here);
    }
}

TEST_CASE("paces walked is read as a decimal number, truncated, low 32 bits, and stores add to it")
{
    struct Row { const char *text; LONG paces; };
    const Row rows[] = {
        { "-5", -5 }, { "7.99", 7 }, { "-7.99", -7 }, { "abc", 0 }, { "  12.9xyz", 12 },
        { "1e3", 1000 }, { ".5", 0 }, { "0x10", 0 }, { "inf", 0 }, { "nan", 0 },
        { "4294967297", 1 }, { "2147483648", (LONG)0x80000000 }, { "-4294967301", -5 },
        { "1e30", 0 }, { "1e999", 0 }, { "123456789012345678901234", 2112454912 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.text);
        PutIni(std::string("Paces Walked=") + row.text + "\r\n");
        CHECK(ReadPacesWalked() == row.paces);
    }

    SUBCASE("each store adds to what the file holds then; a negative count too, a full one stays full")
    {
        struct Store { const char *stored; std::vector<LONG> walked; const char *total; };
        const Store stores[] = {
            { "-5", { 0 }, "-5" }, { "-5", { 3 }, "-2" }, { "1000", { 16, 30 }, "1046" },
            { "7.99", { 1 }, "8" }, { "2147483600", { 40, 40 }, "2147483647" },
        };
        for (const Store &store : stores) {
            CAPTURE(store.stored);
            PutIni(std::string("Paces Walked=") + store.stored + "\r\n");
            for (LONG walked : store.walked)
                StorePacesWalked(walked);
            CHECK(IniText() == std::string(SECTION_LINE) + "Paces Walked=" + store.total + "\r\n");
        }
    }
    SUBCASE("a missing key reads as 0")
    {
        PutIni("Statements=0\r\n");
        CHECK(ReadPacesWalked() == 0);
    }
}

TEST_CASE("missing keys keep the values held in memory")
{
    std::string here = CurrentDirectory();
    settings.walkingStyle = 0;
    settings.statements = 0;
    settings.backgrounds = 7;
    lstrcpyA(settings.directory, "Q:\\nowhere\\");
    SUBCASE("no file at all")
    {
        RemoveIni();
        ReadSettings();
        CHECK(settings.walkingStyle == 0);
        CHECK(settings.statements == 0);
        CHECK(settings.backgrounds == 7);
    }
    SUBCASE("only one key present")
    {
        PutIni("Statements=1\r\n");
        ReadSettings();
        CHECK(settings.walkingStyle == 0);
        CHECK(settings.statements == 1);
        CHECK(settings.backgrounds == 7);
    }
    SUBCASE("values are taken as they are, odd ones too")
    {
        PutIni("Walking Style=5\r\nStatements=abc\r\nBackgrounds=0\r\n");
        ReadSettings();
        CHECK(settings.walkingStyle == 5);
        CHECK(settings.statements == 0);
        CHECK(settings.backgrounds == 0);
        CHECK(settings.pendingStyle == 5);
    }
    // The directory's default is the current one, not what memory held.
    CHECK(std::string(settings.directory) == here + "\\");
    SetCurrentDirectoryA(here.c_str());
}

TEST_CASE("the five keys are first written in their order, and a paces write touches nothing else")
{
    RemoveIni();
    settings.walkingStyle = 0;
    settings.statements = 1;
    settings.backgrounds = 0;
    lstrcpyA(settings.directory, "C:\\toons\\");
    settings.directoryChosen = 1;
    WriteSettings();
    CHECK(IniText() == std::string(SECTION_LINE) +
          "Walking Style=0\r\nStatements=1\r\nBackgrounds=0\r\n"
          "Directory=C:\\toons\\\r\nPaces Walked=0\r\n");

    SUBCASE("a chosen Size reads back as written; Automatic and odd values are no key")
    {
        settings.size = 2;
        WriteSettings();
        CHECK(IniText().find("Paces Walked=0\r\nSize=2\r\n") != std::string::npos);
        struct Row { const char *written; int read; } rows[] = {
            { "1", 1 }, { "2", 2 }, { "4", 4 }, { "0", SIZE_AUTOMATIC }, { "5", SIZE_AUTOMATIC },
            { "-2", SIZE_AUTOMATIC }, { "large", SIZE_AUTOMATIC },
        };
        for (const Row &row : rows) {
            CAPTURE(row.written);
            PutIni(std::string("Size=") + row.written + "\r\n");
            settings.size = 3;
            ReadSettings();
            CHECK(settings.size == row.read);
            WriteSettings();
            const std::string text = IniText();
            CHECK((text.find(std::string("Size=") + row.written + "\r\n") != std::string::npos) == (row.read != 0));
            CHECK((text.find("Size=") != std::string::npos) == (row.read != SIZE_AUTOMATIC));
            ReadSettings();
            CHECK(settings.size == row.read);
        }
    }
    SUBCASE("style values are unsigned in the file")
    {
        settings.walkingStyle = -1;
        WriteSettings();
        CHECK(IniText().find("Walking Style=4294967295\r\n") != std::string::npos);
    }
    SUBCASE("only Paces Walked changes")
    {
        const std::string before = std::string(SECTION_LINE) +
            "Walking Style=1\r\nDirectory=E:\\x\\\r\nPaces Walked=3\r\nOther=keep\r\n";
        PutIni(before.substr(sizeof SECTION_LINE - 1));
        settings.walkingStyle = 0;
        lstrcpyA(settings.directory, "F:\\");
        StorePacesWalked(4000);
        std::string expected = before;
        expected.replace(expected.find("=3\r"), 2, "=4003");
        CHECK(IniText() == expected);
    }
}

TEST_CASE("a directory with no room for its backslash stays inside its buffer")
{
    std::string here = CurrentDirectory();
    const std::string longValue = "C:\\" + std::string(200, 'x');

    struct Row { size_t length; std::string expected; };
    const Row rows[] = {
        { 126, "C:\\" + std::string(123, 'x') + "\\" },
        { 127, "C:\\" + std::string(124, 'x') },
        { 128, "C:\\" + std::string(124, 'x') },
        { 203, "C:\\" + std::string(124, 'x') },
    };
    for (const Row &row : rows) {
        CAPTURE(row.length);
        PutIni("Directory=" + longValue.substr(0, row.length) + "\r\nPaces Walked=12345\r\n");
        ReadSettings();
        CHECK(std::string(settings.directory) == row.expected);
    }

    SUBCASE("the current directory as the default")
    {
        PutIni("Paces Walked=777\r\n");
        std::string exact = MakeDirectoryOfLength(DIRECTORY_SIZE - 1);
        CHECK(exact.size() == DIRECTORY_SIZE - 1);
        CHECK(SetCurrentDirectoryA(exact.c_str()));
        CHECK(CurrentDirectory() == exact);
        CHECK(ReadSettings() == 0);
        CHECK(std::string(settings.directory) == exact);

        std::string tooLong = MakeDirectoryOfLength(DIRECTORY_SIZE + 3);
        CHECK(tooLong.size() == DIRECTORY_SIZE + 3);
        CHECK(SetCurrentDirectoryA(tooLong.c_str()));
        ReadSettings();
        CHECK(std::string(settings.directory) == "\\");

        SetCurrentDirectoryA(here.c_str());
        RemoveDirectoryA(exact.c_str());
        RemoveDirectoryA(tooLong.c_str());
    }

    SUBCASE("the helper on its own")
    {
        char small[4] = { 'a', 'b', 'c', 'd' };   // not even terminated
        EnsureTrailingBackslash(small, sizeof small);
        CHECK(std::string(small) == "abc");
        char room[4] = "ab";
        EnsureTrailingBackslash(room, sizeof room);
        CHECK(std::string(room) == "ab\\");
        EnsureTrailingBackslash(room, sizeof room);
        CHECK(std::string(room) == "ab\\");
    }
    SetCurrentDirectoryA(here.c_str());
    RemoveIni();
}

namespace {

const char *DIALOG_CAPTION = "Fizzy Pimbo Screen Saver";

std::string PerUserText()
{
    WritePrivateProfileStringA(NULL, NULL, NULL, testing::PerUserIniPath().c_str());
    return ReadFileBytes(testing::PerUserIniPath());
}

long PacesIn(const std::string &text)
{
    size_t at = text.find("Paces Walked=");
    return at == std::string::npos ? -1 : strtol(text.c_str() + at + 13, NULL, 10);
}

bool ButtonChecked(HWND dialog, int id)
{
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ClickButton(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Runs the real program's configuration dialog: `look` sees it open,
// returns whether to press OK (otherwise Cancel). The exit code is returned.
DWORD RunRealDialog(const std::function<bool(HWND)> &look)
{
    PROCESS_INFORMATION process = testing::StartScr("/c");
    HWND dialog = testing::WaitForProcessWindow(process.dwProcessId, "#32770", DIALOG_CAPTION, 20000);
    CHECK(dialog != NULL);
    if (dialog)
        ClickButton(dialog, look(dialog) ? IDOK : IDCANCEL);
    return testing::FinishProcess(process, 20000);
}

// Runs the real full-screen saver until it has started its first walk
// (paces are counted when a walk begins), then ends it with a key.
DWORD RunRealShow()
{
    PROCESS_INFORMATION process = testing::StartScr("/s");
    HWND window = testing::WaitForProcessWindow(process.dwProcessId, NULL, "Screen Saver", 20000);
    CHECK(window != NULL);
    testing::Pump(3500);
    testing::TapKey(VK_SPACE);
    return testing::FinishProcess(process, 20000);
}

}  // namespace

TEST_CASE("where the Windows directory cannot be written, the settings live in the user's application data")
{
    const std::string directory = testing::TempDirectory("pimbo-per-user");
    const std::string oldLines = "Walking Style=1\r\nStatements=1\r\nOther=theirs\r\nBackgrounds=1\r\n"
                                 "Directory=" + directory + "\r\nPaces Walked=100\r\n";
    PutIni(oldLines);
    const std::string machineFile = IniText();
    char appData[MAX_PATH] = "";
    GetEnvironmentVariableA("APPDATA", appData, sizeof appData);
    CHECK(appData[0] != '\0');
    CHECK(lstrcmpiA(testing::PerUserIniPath().substr(0, strlen(appData)).c_str(), appData) == 0);

    // Readable, not writable: what a standard user meets in the Windows directory.
    HANDLE holder = CreateFileA(IniPath().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    CHECK(holder != INVALID_HANDLE_VALUE);
    CHECK_FALSE(WritePrivateProfileStringA("Fizzy Pimbo Screen Saver", "Probe", "1", "Pimbo95.ini"));

    // The end of a show: the old keys come along, the paces are the new ones.
    CHECK(RunRealShow() == 0);
    std::string text = PerUserText();
    CAPTURE(text);
    CHECK(text.rfind(std::string(SECTION_LINE) + "Walking Style=1\r\nStatements=1\r\nBackgrounds=1\r\n"
                     "Directory=" + directory + "\r\nPaces Walked=", 0) == 0);
    const long paces = PacesIn(text);
    CHECK(paces > 100);
    CHECK(text == std::string(SECTION_LINE) + "Walking Style=1\r\nStatements=1\r\nBackgrounds=1\r\n"
                  "Directory=" + directory + "\r\nPaces Walked=" + std::to_string(paces) + "\r\n");

    // OK in the dialog: read from the per-user file, written back to it.
    CHECK(RunRealDialog([](HWND dialog) {
        CHECK(ButtonChecked(dialog, IDC_PLAYTOONS));
        CHECK(ButtonChecked(dialog, IDC_STATEMENTS));
        ClickButton(dialog, IDC_WALKRANDOM);
        ClickButton(dialog, IDC_STATEMENTS);
        return true;
    }) == 1);
    CHECK(PerUserText() == std::string(SECTION_LINE) + "Walking Style=0\r\nStatements=0\r\nBackgrounds=1\r\n"
                           "Directory=" + directory + "\r\nPaces Walked=" + std::to_string(paces) + "\r\n");

    // The next start reads what OK stored, not the machine's old file.
    CHECK(RunRealDialog([](HWND dialog) {
        CHECK(ButtonChecked(dialog, IDC_WALKRANDOM));
        CHECK_FALSE(ButtonChecked(dialog, IDC_PLAYTOONS));
        CHECK_FALSE(ButtonChecked(dialog, IDC_STATEMENTS));
        CHECK(ButtonChecked(dialog, IDC_BACKGROUNDS));
        return false;
    }) == 1);
    CloseHandle(holder);
    CHECK(IniText() == machineFile);

    // Once there, the per-user file stays the one, writable Windows directory or not.
    CHECK(RunRealShow() == 0);
    CHECK(PacesIn(PerUserText()) > paces);
    CHECK(PerUserText().find("Walking Style=0\r\n") != std::string::npos);
    CHECK(IniText() == machineFile);
    RemoveIni();
}

TEST_CASE("with a writable Windows directory the settings stay there")
{
    const std::string directory = testing::TempDirectory("pimbo-per-user");
    PutIni("Walking Style=1\r\nDirectory=" + directory + "\r\nPaces Walked=100\r\n");
    CHECK(RunRealShow() == 0);
    const long paces = PacesIn(IniText());
    CHECK(paces > 100);
    CHECK(RunRealDialog([](HWND dialog) {
        ClickButton(dialog, IDC_WALKRANDOM);
        return true;
    }) == 1);
    CHECK(IniText() == std::string(SECTION_LINE) + "Walking Style=0\r\nDirectory=" + directory +
                       "\r\nPaces Walked=" + std::to_string(paces) + "\r\nStatements=1\r\nBackgrounds=1\r\n");
    CHECK(GetFileAttributesA(testing::PerUserIniFolder().c_str()) == INVALID_FILE_ATTRIBUTES);
    RemoveIni();
}

namespace {

typedef HMODULE (WINAPI *LoadLibraryProc)(LPCSTR);
LoadLibraryProc realLoadLibrary;
std::string refusedLibraries;        // lower-case names, each followed by a space
std::vector<std::string> askedLibraries;

HMODULE WINAPI RefusingLoadLibrary(LPCSTR name)
{
    std::string lower = name;
    CharLowerA(&lower[0]);
    askedLibraries.push_back(lower);
    if (refusedLibraries.find(lower + " ") != std::string::npos) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return realLoadLibrary(name);
}

}  // namespace

TEST_CASE("the roaming data folder comes from shell32, else shfolder.dll, else there is none")
{
    const struct {
        const char *refused;
        std::vector<std::string> asked;
        bool perUser;
    } systems[] = {
        { "", { "shell32.dll" }, true },                                            // today's
        { "shell32.dll ", { "shell32.dll", "shfolder.dll" }, true },               // 98 with shfolder.dll
        { "shell32.dll shfolder.dll ", { "shell32.dll", "shfolder.dll" }, false },  // bare 98
    };
    for (const auto &system : systems) {
        CAPTURE(system.refused);
        PutIni("Paces Walked=100\r\n");
        const std::string machineFile = IniText();
        HANDLE holder = CreateFileA(IniPath().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        CHECK(holder != INVALID_HANDLE_VALUE);
        refusedLibraries = system.refused;
        askedLibraries.clear();
        realLoadLibrary = (LoadLibraryProc)testing::PatchImport("kernel32.dll", "LoadLibraryA",
                                                                (void *)RefusingLoadLibrary);
        CHECK((void *)realLoadLibrary != nullptr);
        StorePacesWalked(23);
        testing::PatchImport("kernel32.dll", "LoadLibraryA", (void *)realLoadLibrary);
        CloseHandle(holder);

        CHECK(askedLibraries.size() >= system.asked.size());
        askedLibraries.resize(system.asked.size());
        CHECK(askedLibraries == system.asked);
        if (system.perUser)
            CHECK(PacesIn(PerUserText()) == 123);
        else
            CHECK(GetFileAttributesA(testing::PerUserIniFolder().c_str()) == INVALID_FILE_ATTRIBUTES);
        CHECK(IniText() == machineFile);
        RemoveIni();
    }
}

namespace {

typedef HANDLE (WINAPI *FindFirstProc)(LPCSTR, LPWIN32_FIND_DATAA);
FindFirstProc realFindFirst;
std::string refusedFolder;

// Documents that cannot be written, and another user's folder as a system
// that keeps profiles apart shows it.
BOOL WINAPI RefusedCopy(LPCSTR, LPCSTR, BOOL)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

HANDLE WINAPI RefusingFindFirst(LPCSTR pattern, LPWIN32_FIND_DATAA found)
{
    if (std::string(pattern).rfind(refusedFolder, 0) != 0)
        return realFindFirst(pattern, found);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

void SetRegistryText(HKEY root, const char *key, const char *name, const std::string &value)
{
    CHECK(RegSetKeyValueA(root, key, name, REG_SZ, value.c_str(), (DWORD)value.size() + 1) == ERROR_SUCCESS);
}

const char *const UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pimbo95";
const char *const SHELL_FOLDERS_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Points one of the user's folders elsewhere, which is all of another
// user's profile the saver can tell; returns where it was.
std::string SetUserFolder(const char *name, const std::string &path)
{
    char was[MAX_PATH] = "";
    DWORD size = sizeof was - 1;
    RegGetValueA(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, name, RRF_RT_REG_SZ, NULL, was, &size);
    SetRegistryText(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, name, path);
    return was;
}

}  // namespace

TEST_CASE("until first use has given the user his own copy, the install's toons play and no directory is written")
{
    const std::string install = testing::TempDirectory("pimbo-install"), shipped = install + "Toons\\";
    const std::string toon = testing::ToonBytes({ { 100, 100 } }, 1), clip = "RIFF clip";
    CreateDirectoryA(shipped.c_str(), NULL);
    CHECK(testing::WriteFileBytes(shipped + "hello.ptf", toon));
    CHECK(testing::WriteFileBytes(shipped + "hello.wav", clip));
    SetRegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "InstallLocation", install.substr(0, install.size() - 1));
    char profiles[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_PROFILE, NULL, SHGFP_TYPE_CURRENT, profiles);
    *strrchr(profiles, '\\') = '\0';
    const std::string user = testing::TempDirectory("pimbo-user"), documents = user + "Documents";
    refusedFolder = testing::TempDirectory("pimbo-refused");
    CreateDirectoryA((user + "AppData").c_str(), NULL);
    const std::string appData = SetUserFolder("AppData", user + "AppData"), personal = SetUserFolder("Personal", documents);

    struct Row { std::string what, documents, stored; bool refuseCopy, hisOwn, given; };
    const Row rows[] = {
        { "an older setup's, in another user's profile; a toon of his own by a shipped name", documents,
          std::string(profiles) + "\\teacher\\Documents\\Pimbo Toons\\", false, true, true },
        { "one he is refused", documents, refusedFolder, false, false, true },
        { "Documents read only", documents, "", true, false, false },
        { "Documents deeper than the setting holds", user + std::string(120, 'd'), "", false, false, false },
    };
    for (const Row &row : rows) {
        CAPTURE(row.what);
        const std::string own = row.documents + "\\Pimbo Toons\\";
        DeleteFileA((own + "hello.ptf").c_str());
        DeleteFileA((own + "hello.wav").c_str());
        CreateDirectoryA(row.documents.c_str(), NULL);
        CreateDirectoryA(own.c_str(), NULL);
        if (row.hisOwn)
            CHECK(testing::WriteFileBytes(own + "hello.ptf", "his own"));
        SetUserFolder("Personal", row.documents);
        PutIni(row.stored.empty() ? "" : "Directory=" + row.stored + "\r\n");
        const std::string machineFile = IniText();
        realFindFirst = (FindFirstProc)testing::PatchImport("kernel32.dll", "FindFirstFileA", (void *)RefusingFindFirst);
        void *realCopy = row.refuseCopy ? testing::PatchImport("kernel32.dll", "CopyFileA", (void *)RefusedCopy) : NULL;
        // The saver and its preview copy nothing; the dialog's start does.
        ReadSettings();
        CHECK(std::string(settings.directory) == shipped);
        CHECK(settings.directoryChosen == 0);
        CHECK(GiveShippedToons() == (int)row.given);
        ReadSettings();
        CHECK(std::string(settings.directory) == (row.given ? own : shipped));
        testing::PatchImport("kernel32.dll", "FindFirstFileA", (void *)realFindFirst);
        if (realCopy)
            testing::PatchImport("kernel32.dll", "CopyFileA", realCopy);
        CHECK(ReadFileBytes(own + "hello.ptf") == (row.hisOwn ? "his own" : row.given ? toon : ""));
        CHECK(ReadFileBytes(own + "hello.wav") == (row.given ? clip : ""));
        CHECK((PerUserText().find("Directory=" + own + "\r\n") != std::string::npos) == row.given);
        CHECK(IniText() == machineFile);
        // Tried again at the next start of the dialog.
        if (row.refuseCopy)
            CHECK(GiveShippedToons() == 1);
    }
    SetUserFolder("Personal", personal);
    SetUserFolder("AppData", appData);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
    RemoveIni();
}
