#include <doctest.h>
#include "toon/toon_document.h"
#include "toon/toon_file.h"
#include "support/checks.h"
#include "support/support.h"
#include "version.h"

#include <shlobj.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

// Checks the release package unpacked by the "package" fixture into the
// folder PIMBO_PACKAGE_DIR: the files a user gets, both builds, the version
// they carry, README.txt for Windows, the toons, and the 64-bit saver running.

using namespace testing;


namespace {

std::string PackageDir()
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("PIMBO_PACKAGE_DIR", dir, sizeof dir);
    return dir;
}

std::string InPackage(const std::string &relative)
{
    return WinPath(PackageDir() + "/" + relative);
}

uint32_t Le(const std::string &bytes, size_t at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | (at + i < bytes.size() ? (unsigned char)bytes[at + i] : 0);
    return value;
}

std::string Lower(std::string text)
{
    for (char &c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

// What a PE file's headers and import table say; machine 0 when the bytes
// are no PE file.
struct PeImage {
    unsigned machine = 0;
    unsigned subsystemMajor = 0, subsystemMinor = 0;
    std::map<std::string, std::set<std::string>> imports;   // lower-case DLL: functions
};

PeImage ReadPe(const std::string &bytes)
{
    PeImage image;
    if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0)
        return image;
    size_t pe = Le(bytes, 0x3C, 4);
    if (pe + 24 > bytes.size() || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return image;
    image.machine = Le(bytes, pe + 4, 2);
    size_t sections = Le(bytes, pe + 6, 2), optional = pe + 24;
    size_t sectionTable = optional + Le(bytes, pe + 20, 2);
    bool wide = Le(bytes, optional, 2) == 0x20B;             // PE32+
    image.subsystemMajor = Le(bytes, optional + 48, 2);
    image.subsystemMinor = Le(bytes, optional + 50, 2);
    auto offsetOf = [&](uint32_t rva) -> size_t {
        for (size_t i = 0; i < sections; ++i) {
            size_t header = sectionTable + 40 * i;
            uint32_t start = Le(bytes, header + 12, 4), size = Le(bytes, header + 16, 4);
            if (rva >= start && rva < start + size)
                return rva - start + Le(bytes, header + 20, 4);
        }
        return bytes.size();
    };
    auto textAt = [&](size_t at) {
        size_t end = bytes.find('\0', at);
        return at < bytes.size() && end != std::string::npos ? bytes.substr(at, end - at) : std::string();
    };
    const size_t thunkSize = wide ? 8 : 4;
    for (size_t descriptor = offsetOf(Le(bytes, optional + (wide ? 120 : 104), 4));
         descriptor + 20 <= bytes.size() && Le(bytes, descriptor + 12, 4); descriptor += 20) {
        std::set<std::string> &functions = image.imports[Lower(textAt(offsetOf(Le(bytes, descriptor + 12, 4))))];
        uint32_t names = Le(bytes, descriptor, 4) ? Le(bytes, descriptor, 4) : Le(bytes, descriptor + 16, 4);
        for (size_t thunk = offsetOf(names); thunk + thunkSize <= bytes.size(); thunk += thunkSize) {
            uint32_t low = Le(bytes, thunk, 4), high = wide ? Le(bytes, thunk + 4, 4) : 0;
            if (!low && !high)
                break;
            bool byOrdinal = wide ? (high & 0x80000000u) != 0 : (low & 0x80000000u) != 0;
            functions.insert(byOrdinal ? "#" + std::to_string(low & 0xFFFF) : textAt(offsetOf(low) + 2));
        }
    }
    return image;
}

// The functions each system DLL of Windows 98 SE exports, from the list
// kept with the tests.
std::map<std::string, std::set<std::string>> Windows98Exports()
{
    std::map<std::string, std::set<std::string>> exports;
    std::istringstream lines(ReadFileBytes(SourcePath("tests/data/win98se-exports.txt")));
    std::string line, dll;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        if (!(words >> word) || word[0] == '#')
            continue;
        if (Lower(word).size() > 4 && Lower(word).compare(word.size() - 4, 4, ".dll") == 0) {
            dll = Lower(word);
            continue;
        }
        do
            exports[dll].insert(word);
        while (words >> word);
    }
    return exports;
}

struct FileVersion {
    DWORD high = 0, low = 0;        // the fixed part
    std::string text;               // the "FileVersion" string
    std::string product;            // the "ProductVersion" string
};

FileVersion ReadFileVersion(const std::string &path)
{
    FileVersion version;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (!size)
        return version;
    std::string block(size, '\0');
    if (!GetFileVersionInfoA(path.c_str(), 0, size, &block[0]))
        return version;
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    if (VerQueryValueA(&block[0], "\\", (void **)&fixed, &length) && fixed) {
        version.high = fixed->dwFileVersionMS;
        version.low = fixed->dwFileVersionLS;
    }
    // The strings of the first language and code page the file names.
    WORD *translation = NULL;
    if (!VerQueryValueA(&block[0], "\\VarFileInfo\\Translation", (void **)&translation, &length) ||
        !translation || length < 4)
        return version;
    char strings[64];
    snprintf(strings, sizeof strings, "\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
    char *value = NULL;
    if (VerQueryValueA(&block[0], (std::string(strings) + "FileVersion").c_str(), (void **)&value, &length) && value)
        version.text = value;
    if (VerQueryValueA(&block[0], (std::string(strings) + "ProductVersion").c_str(), (void **)&value, &length) && value)
        version.product = value;
    return version;
}

// The application manifest a program carries, empty when none.
std::string ManifestOf(const std::string &path)
{
    HMODULE module = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return "";
    std::string text;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));   // RT_MANIFEST
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    if (loaded && LockResource(loaded))
        text.assign((const char *)LockResource(loaded), SizeofResource(module, found));
    FreeLibrary(module);
    return text;
}

// The setups sit beside the zip, one folder above the unpacked package.
std::string SetupPath(const char *suffix)
{
    return InPackage(std::string("../Pimbo95-") + PIMBO_VERSION_TEXT + suffix);
}

// How many different colours a grab of the whole screen shows.
size_t ScreenColours()
{
    HDC screen = GetDC(NULL);
    std::vector<uint32_t> quads = GrabQuads(screen, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                            GetSystemMetrics(SM_CYSCREEN));
    ReleaseDC(NULL, screen);
    return std::set<uint32_t>(quads.begin(), quads.end()).size();
}

// Whether another saver is still up, which would outlive the test and hold
// the test runner's output open; closes any it finds.
bool CloseOtherSavers()
{
    bool found = false;
    PumpUntil([&] {
        HWND other = FindWindowA("WindowsScreenSaverClass", NULL);
        if (other)
            PostMessageA(other, WM_CLOSE, 0, 0);
        found |= other != NULL;
        return other == NULL;
    }, 10000);
    return found;
}

}  // namespace

TEST_CASE("the release package holds both builds of one version, the toons and a Windows README")
{
    CHECK_OR_RETURN(!PackageDir().empty());   // the unpacked package

    const DWORD expectedHigh = MAKELONG(PIMBO_VERSION_MINOR, PIMBO_VERSION_MAJOR);
    const DWORD expectedLow = MAKELONG(0, PIMBO_VERSION_PATCH);
    // Both savers, and the setup with its 64-bit twin that the tests run.
    const struct { std::string path; unsigned machine; const char *level; } builds[] = {
        { InPackage("Pimbo95.scr"), IMAGE_FILE_MACHINE_AMD64, "asInvoker" },
        { InPackage("x86/Pimbo95.scr"), IMAGE_FILE_MACHINE_I386, "asInvoker" },
        { SetupPath("-setup.exe"), IMAGE_FILE_MACHINE_I386, "requireAdministrator" },
        { SetupPath("-setup-amd64.exe"), IMAGE_FILE_MACHINE_AMD64, "requireAdministrator" },
    };
    for (const auto &build : builds) {
        CAPTURE(build.path);
        std::string bytes = ReadFileBytes(build.path);
        CHECK(ReadPe(bytes).machine == build.machine);
        // Stripped: no symbol table left in the file.
        CHECK(bytes.find(".debug_info") == std::string::npos);
        CHECK(ManifestOf(build.path).find(std::string("level=\"") + build.level + "\"") != std::string::npos);
        FileVersion version = ReadFileVersion(build.path);
        CHECK(version.high == expectedHigh);
        CHECK(version.low == expectedLow);
        CHECK(version.text == PIMBO_VERSION_TEXT);
        CHECK(version.product == PIMBO_VERSION_TEXT);
    }

    std::string readme = ReadFileBytes(InPackage("README.txt"));
    CHECK_OR_RETURN(readme.size() > 1000);
    size_t lines = 0, bare = 0;
    for (size_t i = 0; i < readme.size(); ++i) {
        if (readme[i] != '\n')
            continue;
        ++lines;
        if (i == 0 || readme[i - 1] != '\r')
            ++bare;
    }
    CHECK(lines > 40);
    CHECK(bare == 0);
    CHECK(readme.find(std::string("version ") + PIMBO_VERSION_TEXT) != std::string::npos);
    CHECK(readme.find("@VERSION@") == std::string::npos);
    for (const char *topic : { "Install", "setup.exe /S", "Windows directory", "Pimbo95.ini", "toons", "Removing" })
        CHECK_MESSAGE(readme.find(topic) != std::string::npos, topic);

    HWND owner = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ToonDocument toon = {};
    for (const char *name : { "toons/greeting.ptf", "toons/dance.ptf", "toons/voice.ptf" }) {
        CAPTURE(name);
        std::string path = InPackage(name);
        std::string source = ReadFileBytes(SourcePath(name));
        CHECK_OR_RETURN(source.size() > 104);
        CHECK(ReadFileBytes(path) == source);
        CHECK(LoadToonByName(&toon, owner, path.c_str()) == (int)((source.size() - 104) / 92));
    }
    std::string wav = ReadFileBytes(InPackage("toons/pimbo-hello.wav"));
    CHECK(wav.compare(0, 4, "RIFF") == 0);
    CHECK(wav == ReadFileBytes(SourcePath("toons/pimbo-hello.wav")));
    FreeToonFrames(&toon);
    DestroyWindow(owner);
}

TEST_CASE("the 32-bit build imports only what Windows 98 SE has; the 64-bit one only DLLs of Windows")
{
    const auto windows98 = Windows98Exports();
    CHECK_OR_RETURN(windows98.size() >= 8);
    PeImage x86 = ReadPe(ReadFileBytes(InPackage("x86/Pimbo95.scr")));
    CHECK_OR_RETURN(x86.machine == IMAGE_FILE_MACHINE_I386);
    CHECK(x86.subsystemMajor == 4);
    CHECK(x86.subsystemMinor == 0);
    // The saves' fallback needs both.
    CHECK(x86.imports["kernel32.dll"].count("MoveFileExA") == 1);
    CHECK(x86.imports["kernel32.dll"].count("MoveFileA") == 1);
    size_t checked = 0;
    for (const auto &dll : x86.imports) {
        auto provided = windows98.find(dll.first);
        CHECK_MESSAGE(provided != windows98.end(), dll.first);
        for (const std::string &function : dll.second) {
            ++checked;
            CHECK_MESSAGE((provided != windows98.end() && provided->second.count(function)),
                          (dll.first + "!" + function));
        }
    }
    CHECK(checked > 100);

    for (const std::string &path : { InPackage("Pimbo95.scr"), ScrPath() }) {
        CAPTURE(path);
        PeImage x64 = ReadPe(ReadFileBytes(path));
        CHECK(x64.machine == IMAGE_FILE_MACHINE_AMD64);
        CHECK(x64.imports.size() >= 5);
        for (const auto &dll : x64.imports)
            CHECK_MESSAGE(windows98.count(dll.first), dll.first);
    }
}

namespace {

std::string RegistryText(HKEY root, const char *key, const char *name)
{
    char value[MAX_PATH] = "";
    DWORD size = sizeof value - 1;
    if (RegGetValueA(root, key, name, RRF_RT_REG_SZ, NULL, value, &size) != ERROR_SUCCESS)
        return "";
    return value;
}

DWORD RegistryNumber(HKEY root, const char *key, const char *name)
{
    DWORD value = 0, size = sizeof value;
    RegGetValueA(root, key, name, RRF_RT_REG_DWORD, NULL, &value, &size);
    return value;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh Wine prefix links Documents to the real home folder, which Wine
// shows as a reparse point; the setup must not be let loose on that.
bool IsPlainFolder(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Starts a saver full screen, checks that it covers the screen with its
// show, and closes it.
void CheckRunsFullScreen(const std::string &saverPath)
{
    size_t before = ScreenColours();
    PROCESS_INFORMATION process = StartProcess("\"" + saverPath + "\" /s");
    CHECK_OR_RETURN(process.hProcess != NULL);

    // The window of the process started here, in front.
    HWND saver = NULL;
    PumpUntil([&] {
        saver = GetForegroundWindow();
        DWORD owner = 0;
        GetWindowThreadProcessId(saver, &owner);
        return owner == process.dwProcessId && IsWindowVisible(saver);
    }, 15000);
    char title[64] = "";
    GetWindowTextA(saver, title, sizeof title);
    CHECK(std::string(title) == "Screen Saver");
    RECT rect = { 0, 0, 0, 0 };
    GetWindowRect(saver, &rect);
    CHECK(rect.left == 0);
    CHECK(rect.top == 0);
    CHECK(rect.right == GetSystemMetrics(SM_CXSCREEN));
    CHECK(rect.bottom == GetSystemMetrics(SM_CYSCREEN));
    // The tiled background and the title: far more colours than the bare desktop.
    size_t during = 0;
    PumpUntil([&] { return (during = ScreenColours()) > before + 8; }, 10000);
    CHECK(during > before + 8);

    PostMessageA(saver, WM_CLOSE, 0, 0);
    CHECK(FinishProcess(process, 10000) == 0);
    CHECK_FALSE(CloseOtherSavers());
}

const char *const UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pimbo95";
const char *const DESKTOP_KEY = "Control Panel\\Desktop";

std::string DocumentsFolder()
{
    char folder[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_PERSONAL, NULL, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

// Opens the saver's dialog, whose start is where first use happens, and
// cancels it.
void OpenDialog(const std::string &saverPath)
{
    PROCESS_INFORMATION process = StartProcess("\"" + saverPath + "\" /c");
    HWND dialog = WaitForProcessWindow(process.dwProcessId, "#32770", "Fizzy Pimbo Screen Saver", 20000);
    CHECK(dialog != NULL);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    CHECK(FinishProcess(process, 20000) == 1);
}

}  // namespace

TEST_CASE("the setup installs the saver and the toons for every user; the uninstaller keeps the toons")
{
    CHECK(!PackageDir().empty());
    CHECK_OR_RETURN(IsPlainFolder(DocumentsFolder()));
    const std::string toons = DocumentsFolder() + "\\Pimbo Toons\\";
    char folder[MAX_PATH] = "";
    GetSystemDirectoryA(folder, sizeof folder);
    const std::string saver = std::string(folder) + "\\Pimbo95.scr";
    const std::string place = "C:\\Pimbo Place";
    const std::string setup = "\"" + SetupPath("-setup-amd64.exe") + "\" /S";
    const char *const shipped[] = { "greeting.ptf", "dance.ptf", "voice.ptf", "pimbo-hello.wav" };
    auto checkToons = [&](const std::string &where, const std::string &his = "") {
        for (const char *name : shipped)
            if (his != name)
                CHECK_MESSAGE(ReadFileBytes(where + name) == ReadFileBytes(InPackage(std::string("toons/") + name)), (where + name));
    };
    RemoveIni();
    // What an older setup left in the file every user reads: the Documents
    // of the account that ran it, not of the one that upgrades.
    char profiles[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_PROFILE, NULL, SHGFP_TYPE_CURRENT, profiles);
    *strrchr(profiles, '\\') = '\0';
    WritePrivateProfileStringA("Fizzy Pimbo Screen Saver", "Directory",
                               (std::string(profiles) + "\\teacher\\Documents\\Pimbo Toons\\").c_str(), "Pimbo95.ini");

    // A folder given on the command line is where it goes, on 64-bit Windows too.
    CHECK_OR_RETURN(RunProcess(setup + " /D=" + place, 60000) == 0);
    CHECK(ReadFileBytes(saver) == ReadFileBytes(InPackage("Pimbo95.scr")));
    CHECK(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "InstallLocation") == place);
    checkToons(place + "\\Toons\\");
    CHECK_FALSE(Exists(toons));
    CHECK(IniValue("Directory", IniPath()) == "<missing>");
    CHECK(lstrcmpiA(RegistryText(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE").c_str(), saver.c_str()) == 0);
    CHECK(RegistryText(HKEY_CURRENT_USER, DESKTOP_KEY, "ScreenSaveActive") == "1");
    CHECK(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayName") == "Fizzy Pimbo's Parade");
    CHECK(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayVersion") == PIMBO_VERSION_TEXT);
    CHECK(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "Publisher") == "Fizzy Pimbo");
    CHECK(lstrcmpiA(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayIcon").c_str(),
                    (saver + ",0").c_str()) == 0);
    CHECK(RegistryNumber(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "EstimatedSize") > ReadFileBytes(saver).size() / 1024);
    const std::string uninstall = RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "QuietUninstallString");
    CHECK_OR_RETURN(uninstall.size() > 3);

    // First use, at the dialog: his own copy and his own directory, the
    // machine's file untouched. The saver copies nothing.
    CheckRunsFullScreen(saver);
    CHECK_FALSE(Exists(toons));
    OpenDialog(saver);
    checkToons(toons);
    CHECK(IniValue("Directory", PerUserIniPath()) == toons);
    CHECK(IniValue("Directory", IniPath()) == "<missing>");

    // Installed again with no folder given, over a toon directory the user
    // chose, a toon he changed and a saver he chose: each stays, and the
    // upgrade goes where the first install is.
    const std::string edited = ReadFileBytes(toons + "greeting.ptf") + "more";
    CHECK(WriteFileBytes(toons + "greeting.ptf", edited));
    WritePrivateProfileStringA("Fizzy Pimbo Screen Saver", "Directory", "D:\\Mine\\", PerUserIniPath().c_str());
    const std::string theirs = std::string(folder) + "\\theirs.scr";
    RegSetKeyValueA(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", REG_SZ, theirs.c_str(), (DWORD)theirs.size() + 1);
    CHECK(RunProcess(setup + " /NOCURRENT", 60000) == 0);
    CHECK(ReadFileBytes(toons + "greeting.ptf") == edited);
    CHECK(IniValue("Directory", PerUserIniPath()) == "D:\\Mine\\");
    CHECK(RegistryText(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE") == theirs);
    CHECK(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "InstallLocation") == place);

    // Upgraded while the saver runs: the new one comes at the next restart.
    const std::string older = ReadFileBytes(ScrPath());
    CHECK(WriteFileBytes(saver, older));
    PROCESS_INFORMATION running = StartProcess("\"" + saver + "\" /s");
    CHECK(WaitForProcessWindow(running.dwProcessId, NULL, "Screen Saver", 20000) != NULL);
    CHECK(RunProcess(setup, 60000) == 3010);
    CHECK(ReadFileBytes(saver) == older);
    TapKey(VK_SPACE);
    CHECK(FinishProcess(running, 20000) == 0);
    CHECK(RunProcess("wineboot.exe -r", 60000) == 0);
    CHECK(ReadFileBytes(saver) == ReadFileBytes(InPackage("Pimbo95.scr")));

    // Moved to another folder: the old folder's uninstaller takes only that
    // folder, the saver and the entry are the new one's. Another saver the
    // user has chosen since stays his.
    const std::string moved = "C:\\Pimbo Moved";
    RegSetKeyValueA(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE", REG_SZ, theirs.c_str(), (DWORD)theirs.size() + 1);
    CHECK(RunProcess(setup + " /NOCURRENT /D=" + moved, 60000) == 0);
    // An uninstaller runs from a copy of itself and returns at once.
    CHECK(RunProcess(uninstall, 60000) == 0);
    CHECK(PumpUntil([&] { return !Exists(place); }, 30000));
    CHECK(Exists(saver));
    CHECK(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "InstallLocation") == moved);
    CHECK(RunProcess(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "QuietUninstallString"), 60000) == 0);
    CHECK(PumpUntil([&] { return RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayName").empty(); }, 30000));
    CHECK_FALSE(Exists(saver));
    CHECK_FALSE(Exists(moved));
    CHECK(RegistryText(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE") == theirs);
    CHECK(ReadFileBytes(toons + "greeting.ptf") == edited);
    checkToons(toons, "greeting.ptf");
    CHECK(IniValue("Directory", PerUserIniPath()) == "D:\\Mine\\");

    // Ours as the current saver goes with it. Removed while it runs and
    // installed again before the restart, it is there after the restart.
    CHECK(RunProcess(setup, 60000) == 0);
    running = StartProcess("\"" + saver + "\" /s");
    CHECK(WaitForProcessWindow(running.dwProcessId, NULL, "Screen Saver", 20000) != NULL);
    CHECK(RunProcess(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "QuietUninstallString"), 60000) == 0);
    CHECK(PumpUntil([&] { return RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayName").empty(); }, 30000));
    CHECK(RegistryText(HKEY_CURRENT_USER, DESKTOP_KEY, "SCRNSAVE.EXE").empty());
    TapKey(VK_SPACE);
    CHECK(FinishProcess(running, 20000) == 0);
    CHECK(RunProcess(setup, 60000) == 0);
    CHECK(RunProcess("wineboot.exe -r", 60000) == 0);
    CHECK(ReadFileBytes(saver) == ReadFileBytes(InPackage("Pimbo95.scr")));
    // The prefix is every later test's: they must find no install in it.
    CHECK(RunProcess(RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "QuietUninstallString"), 60000) == 0);
    CHECK(PumpUntil([&] { return RegistryText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayName").empty(); }, 30000));
    RemoveIni();
}
