#include <doctest.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "show/settings.h"
#include "support/checks.h"
#include "support/fuzz.h"
#include "support/support.h"

// Settings files of any shape, read in this process by the thousand, and
// the real program started with fuzzed settings and command lines: every
// mode starts or ends as it should, and nothing crashes or hangs.

namespace {

using testing::Dice;

const int MUTANTS = 1500;
const int MUTANTS_PER_RUN = 50;   // real runs are costly: one per so many
const DWORD START_TIMEOUT = 20000;
const DWORD CYCLE_MS = 2500;      // the show's first cycle has begun
const char SECTION[] = "[Fizzy Pimbo Screen Saver]";
const char *const KEYS[] = { "Walking Style", "Statements", "Backgrounds", "Directory", "Paces Walked" };

std::string Number(Dice &dice)
{
    const char *const forms[] = { "0", "1", "2", "-1", "+1", "007", "0x10", "1e3", "12.9", "-5.5", " 3 ",
                                  "4294967295", "4294967296", "-2147483648", "99999999999999999999",
                                  "1e308", "-1e400", "nan", "inf", "", "abc", "1abc", "--1" };
    return dice.OneIn(4) ? std::to_string((int32_t)dice.Extreme()) : forms[dice.Below(sizeof forms / sizeof forms[0])];
}

std::string Directory(Dice &dice, const std::string &toons, const std::string &file)
{
    switch (dice.Below(9)) {
    case 0: return toons;
    case 1: return toons.substr(0, toons.size() - 1);            // without its backslash
    case 2: return toons + "does not exist\\";
    case 3: return file;                                         // a file, not a directory
    case 4: return std::string(dice.Below(400), 'd');            // longer than its buffer
    case 5: return dice.OneIn(2) ? "\\" : "Q:\\";
    case 6: return "\\\\nobody\\share\\";
    case 7: return "..\\..";
    default: return "";
    }
}

// Any bytes a line may hold but its end, of any length.
std::string Junk(Dice &dice)
{
    std::string bytes = dice.Bytes((size_t)dice.Below(dice.OneIn(8) ? 5000 : 80));
    for (char &c : bytes)
        if (c == '\r' || c == '\n')
            c = ' ';
    return bytes;
}

// Whether a value written for key is one whose reading is plain: a whole
// number in range, or the toon directory.
bool IsCanonical(const char *key, const std::string &value, const std::string &toons)
{
    if (strcmp(key, "Directory") == 0)
        return value == toons;
    if (value.empty() || value.size() > 11 || value == "-")
        return false;
    for (size_t i = value[0] == '-'; i < value.size(); ++i)
        if (value[i] < '0' || value[i] > '9')
            return false;
    if (value.size() > 1 && value[value[0] == '-'] == '0')
        return false;
    long long number = atoll(value.c_str());
    return number >= INT32_MIN && number <= INT32_MAX;
}

// The values of the keys that the file names plainly, first one in the
// section winning; empty for the others.
struct Canonical {
    std::string values[sizeof KEYS / sizeof KEYS[0]];
};

// A settings file: each key missing, once or twice, with numbers, paths or
// junk; junk lines and sections around them; now and then no section line.
std::string SettingsFile(Dice &dice, const std::string &toons, const std::string &file, Canonical *canonical = nullptr)
{
    Canonical ignored;
    Canonical &plain = canonical ? *canonical : ignored;
    plain = Canonical();
    const char *eol = dice.OneIn(4) ? "\n" : "\r\n";
    bool inSection = !dice.OneIn(10);
    std::string text = inSection ? std::string(SECTION) + eol : "";
    for (size_t k = 0; k < sizeof KEYS / sizeof KEYS[0]; ++k) {
        const char *key = KEYS[k];
        bool first = true;
        for (int times = dice.Below(3); times > 0; --times) {
            bool directory = strcmp(key, "Directory") == 0;
            std::string value = dice.OneIn(6) ? Junk(dice) : directory ? Directory(dice, toons, file) : Number(dice);
            text += std::string(dice.OneIn(8) ? " " : "") + key + (dice.OneIn(8) ? " = " : "=") + value + eol;
            if (first && inSection && IsCanonical(key, value, toons))
                plain.values[k] = value;
            first = false;
        }
        if (dice.OneIn(8)) {
            std::string junk = Junk(dice);
            text += junk + eol;
            // A line that opens a section ends ours.
            size_t opens = junk.find_first_not_of(" \t");
            if (opens != std::string::npos && junk[opens] == '[')
                inSection = false;
        }
    }
    if (dice.OneIn(6))
        text += "[Another]" + std::string(eol) + "Directory=" + toons + eol;
    return text;
}

bool WriteSettingsFile(const std::string &text)
{
    testing::RemoveIni();
    return testing::WriteFileBytes(testing::IniPath(), text);
}

// Fixtures shared by both cases: a toon directory and a file.
struct Places {
    std::string toons, file;
    Places()
    {
        toons = testing::TempDirectory("pimbo-settings-fuzz");
        file = toons + "plain.txt";
        testing::WriteFileBytes(file, "not a directory");
        CopyFileA(testing::SourcePath("toons/greeting.ptf").c_str(), (toons + "greeting.ptf").c_str(), FALSE);
    }
};

}  // namespace

TEST_CASE("settings of any shape read into bounded values, and what is written reads back")
{
    Places places;
    const unsigned long long seed = testing::FuzzSeed(7070);
    const int mutants = testing::FuzzCount(MUTANTS);
    Dice dice(seed);
    char start[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof start, start);
    int plainValues = 0;
    for (int n = 0; n < mutants; ++n) {
        CAPTURE(n);
        Canonical plain;
        std::string text = SettingsFile(dice, places.toons, places.file, &plain);
        CHECK_OR_RETURN(WriteSettingsFile(text));
        SetCurrentDirectoryA(start);
        ReadSettings();
        // What was written plainly reads back as written, whatever surrounds it.
        CAPTURE(text.substr(0, 300));
        const int numbers[] = { settings.walkingStyle, settings.statements, settings.backgrounds, 0,
                                (int)ReadPacesWalked() };
        for (size_t k = 0; k < sizeof KEYS / sizeof KEYS[0]; ++k) {
            CAPTURE(KEYS[k]);
            if (plain.values[k].empty())
                continue;
            ++plainValues;
            if (strcmp(KEYS[k], "Directory") == 0)
                CHECK(std::string(settings.directory) == plain.values[k]);
            else
                CHECK(numbers[k] == atoi(plain.values[k].c_str()));
        }
        size_t length = strnlen(settings.directory, sizeof settings.directory);
        CHECK(length < sizeof settings.directory);
        CHECK(length > 0);
        // It ends in a backslash where the buffer leaves room for one.
        CHECK((settings.directory[length - 1] == '\\' || length == sizeof settings.directory - 1));
        CHECK(settings.pendingStyle == settings.walkingStyle);

        SaverSettings read = settings;
        const LONG paces = ReadPacesWalked();
        WriteSettings();
        ReadSettings();
        CHECK(settings.walkingStyle == read.walkingStyle);
        CHECK(settings.statements == read.statements);
        CHECK(settings.backgrounds == read.backgrounds);
        CHECK(ReadPacesWalked() == paces);
        CHECK(strnlen(settings.directory, sizeof settings.directory) < sizeof settings.directory);
    }
    MESSAGE("seed " << seed << ": " << mutants << " settings files read and written, " << plainValues
                    << " plain values read back");
    SetCurrentDirectoryA(start);
    testing::RemoveIni();
}

namespace {

// What a fuzzed command line asks for, and so how its run must go.
enum Form { BAD, PREVIEW_REFUSED, PREVIEW, SAVER, CONFIG, PASSWORD, FORMS };

std::string Separators(Dice &dice)
{
    return dice.Bytes((size_t)dice.Below(4), " -/");
}

// Whatever may follow the part of a tail that is read: long, odd, or none.
std::string Tail(Dice &dice)
{
    if (dice.OneIn(3))
        return "";
    std::string tail = dice.Bytes((size_t)(dice.OneIn(10) ? 20000 : dice.Below(300)),
                                  "abcXYZ /-:\"\\0123456789\t\x80\xE9\xFF");
    return dice.OneIn(2) ? " " + tail : tail;
}

char Letter(Dice &dice, const char *letters)
{
    return letters[dice.Below((int)strlen(letters))];
}

// A number that no window has.
std::string NoWindowNumber(Dice &dice)
{
    for (;;) {
        unsigned number = dice.Next() | 0x40000000u;
        if (!IsWindow((HWND)(UINT_PTR)number))
            return std::to_string(number);
    }
}

std::string MakeTail(Dice &dice, Form form, HWND parent)
{
    std::string head = Separators(dice);
    std::string spaces(dice.Below(3), ' ');
    switch (form) {
    case BAD: {
        const char bad[] = "bdexzBXZ059\t\x01\x1f\x80\xE9\xFF!?";
        unsigned char c = (unsigned char)bad[dice.Below(sizeof bad - 1)];
        // Control characters right after the program name are skipped with it.
        return head + (c <= ' ' ? "/" : "") + (char)c + Tail(dice);
    }
    case PREVIEW_REFUSED: {
        const std::string numbers[] = { "", "0", "-5", "abc", NoWindowNumber(dice), "\t12" };
        return head + Letter(dice, "pPlL") + spaces + numbers[dice.Below(6)] + (dice.OneIn(2) ? "" : " " + Tail(dice));
    }
    case PREVIEW: {
        unsigned long long number = (UINT_PTR)parent;
        if (dice.OneIn(4))
            number += 1ull << 32;   // read in 32 bits, it wraps to the window again
        return head + Letter(dice, "pPlL") + spaces + std::to_string(number) + (dice.OneIn(2) ? "" : "x" + Tail(dice));
    }
    case SAVER:
        return head + Letter(dice, "sS") + Tail(dice);
    case CONFIG:
        return dice.OneIn(3) ? std::string(dice.Below(3), ' ') : head + Letter(dice, "cC") + Tail(dice);
    default:
        return head + Letter(dice, "aA") + spaces + (dice.OneIn(2) ? "0" : Tail(dice));
    }
}

HWND MakeParent()
{
    return testing::MakeTestWindow(DefWindowProcA, "FuzzPreviewParent", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   RECT{ 50, 50, 350, 270 });
}

HWND FindChildSaver(HWND parent)
{
    return FindWindowExA(parent, NULL, "WindowsScreenSaverClass", "Preview");
}

// Runs the program with the tail and ends each mode as a user or the
// display settings would; returns the exit code.
DWORD RunForm(Form form, const std::string &tail, HWND &parent)
{
    PROCESS_INFORMATION process = testing::StartScr(tail);
    if (!process.hProcess)
        return (DWORD)-2;
    switch (form) {
    case PREVIEW: {
        bool shown = testing::PumpUntil([&] { return FindChildSaver(parent) != NULL; }, START_TIMEOUT);
        CHECK(shown);
        testing::Pump(CYCLE_MS);
        DestroyWindow(parent);   // the display settings end a preview so
        parent = MakeParent();
        break;
    }
    case SAVER: {
        HWND saver = testing::WaitForProcessWindow(process.dwProcessId, "WindowsScreenSaverClass",
                                                   "Screen Saver", START_TIMEOUT);
        CHECK(saver != NULL);
        testing::Pump(CYCLE_MS);
        testing::TapKey(VK_SPACE);
        break;
    }
    case CONFIG: {
        HWND dialog = testing::WaitForProcessWindow(process.dwProcessId, "#32770", NULL, START_TIMEOUT);
        CHECK(dialog != NULL);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        break;
    }
    default:
        break;
    }
    // Pumped while waiting: a dialog's end enables windows of ours.
    testing::PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, START_TIMEOUT);
    return testing::FinishProcess(process, 0);
}

}  // namespace

TEST_CASE("the program under fuzzed command lines and settings: each mode as it should, no crash")
{
    Places places;
    const unsigned long long seed = testing::FuzzSeed(7070);
    const int runs = testing::FuzzCount(MUTANTS) / MUTANTS_PER_RUN;
    Dice dice(seed ^ 0x5EEDull);
    HWND parent = MakeParent();
    CHECK_OR_RETURN(parent != NULL);
    // The exit code of each mode: the configuration dialog's Cancel ends it with 1.
    const DWORD expected[FORMS] = { (DWORD)-1, (DWORD)-1, 0, 0, 1, 0 };
    int counts[FORMS] = {};
    for (int n = 0; n < runs; ++n) {
        Form form = (Form)(n % FORMS);
        std::string settingsFile = SettingsFile(dice, places.toons, places.file);
        std::string tail = MakeTail(dice, form, parent);
        CAPTURE(n);
        CAPTURE(form);
        CAPTURE(tail.substr(0, 200));
        CAPTURE(settingsFile.substr(0, 300));
        CHECK_OR_RETURN(WriteSettingsFile(settingsFile));
        const LONG pacesBefore = ReadPacesWalked();
        DWORD code = RunForm(form, tail, parent);
        CHECK(code == expected[form]);
        ++counts[form];
        if (form == SAVER || form == PREVIEW) {
            // A show stores the paces when it stops: what the program reads
            // back is there and did not shrink. A line it left as it was
            // may keep its spaces.
            char stored[32] = "";
            CHECK(GetPrivateProfileStringA("Fizzy Pimbo Screen Saver", "Paces Walked", "", stored, sizeof stored,
                                           testing::IniPath().c_str()) > 0);
            CHECK(ReadPacesWalked() >= pacesBefore);
        }
    }
    MESSAGE("seed " << seed << ": " << runs << " runs: " << counts[BAD] << " refused switches, "
                    << counts[PREVIEW_REFUSED] << " refused previews, " << counts[PREVIEW] << " previews, "
                    << counts[SAVER] << " savers, " << counts[CONFIG] << " dialogs, " << counts[PASSWORD]
                    << " password changes");
    DestroyWindow(parent);
    testing::RemoveIni();
}
