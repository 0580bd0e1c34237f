#include <doctest.h>
#include "toon/toon_document.h"
#include "toon/toon_file.h"
#include "support/checks.h"
#include "support/support.h"
#include "version.h"

#include <set>
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

// The machine field of a PE file's header, 0 when the file is no PE file.
unsigned PeMachine(const std::string &bytes)
{
    if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0)
        return 0;
    size_t pe = (unsigned char)bytes[0x3C] | (unsigned char)bytes[0x3D] << 8 |
                (unsigned char)bytes[0x3E] << 16 | (size_t)(unsigned char)bytes[0x3F] << 24;
    if (pe + 6 > bytes.size() || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return 0;
    return (unsigned char)bytes[pe + 4] | (unsigned char)bytes[pe + 5] << 8;
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
    char *value = NULL;
    if (VerQueryValueA(&block[0], "\\StringFileInfo\\040904E4\\FileVersion", (void **)&value, &length) && value)
        version.text = value;
    if (VerQueryValueA(&block[0], "\\StringFileInfo\\040904E4\\ProductVersion", (void **)&value, &length) && value)
        version.product = value;
    return version;
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
    const struct { const char *path; unsigned machine; } builds[] = {
        { "Pimbo95.scr", IMAGE_FILE_MACHINE_AMD64 },
        { "x86/Pimbo95.scr", IMAGE_FILE_MACHINE_I386 },
    };
    for (const auto &build : builds) {
        CAPTURE(build.path);
        std::string bytes = ReadFileBytes(InPackage(build.path));
        CHECK(PeMachine(bytes) == build.machine);
        // Stripped: no symbol table left in the file.
        CHECK(bytes.find(".debug_info") == std::string::npos);
        FileVersion version = ReadFileVersion(InPackage(build.path));
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
    for (const char *topic : { "Install", "Windows directory", "Pimbo95.ini", "toons", "Removing" })
        CHECK_MESSAGE(readme.find(topic) != std::string::npos, topic);

    HWND owner = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    for (const char *name : { "toons/greeting.ptf", "toons/dance.ptf", "toons/voice.ptf" }) {
        CAPTURE(name);
        std::string path = InPackage(name);
        std::string source = ReadFileBytes(SourcePath(name));
        CHECK_OR_RETURN(source.size() > 104);
        CHECK(ReadFileBytes(path) == source);
        CHECK(LoadToonByName(owner, path.c_str()) == (int)((source.size() - 104) / 92));
    }
    std::string wav = ReadFileBytes(InPackage("toons/pimbo-hello.wav"));
    CHECK(wav.compare(0, 4, "RIFF") == 0);
    CHECK(wav == ReadFileBytes(SourcePath("toons/pimbo-hello.wav")));
    DestroyWindow(owner);
}

TEST_CASE("the packaged 64-bit saver runs full screen")
{
    size_t before = ScreenColours();
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::string command = "\"" + InPackage("Pimbo95.scr") + "\" /s";
    CHECK_OR_RETURN(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));

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
