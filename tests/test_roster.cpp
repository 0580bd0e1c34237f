#include <doctest.h>
#include <string.h>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "show/roster.h"
#include "engine/sequencer.h"
#include "support/support.h"

namespace {

// Makes a fresh, current directory holding the given files.
void EnterDirectory(const char *name, const std::vector<std::string> &files)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string directory = std::string(temp) + name;
    CreateDirectoryA(directory.c_str(), NULL);
    SetCurrentDirectoryA(directory.c_str());
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*", &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(found.cFileName);
            else
                DeleteFileA(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (const std::string &file : files)
        testing::WriteFileBytes(file, "toon");
}

void StartRun()
{
    roster.currentToon[0] = '\0';
    SeedRandomNumber(12345);
}

std::vector<std::string> NextNames(int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        CHECK(NextToonFile() == 1);
        names.push_back(roster.currentToon);
    }
    return names;
}

}  // namespace

TEST_CASE("an empty directory gives no toon")
{
    EnterDirectory("roster-empty", { "notes.txt", "toon.ptf.bak" });
    StartRun();
    CHECK(CountToonFiles() == 0);
    CHECK(roster.toonCount == 0);
    char picked[TOON_NAME_SIZE] = "unchanged";
    CHECK(PickToonFile(picked) == 0);
    CHECK(std::string(picked) == "unchanged");
    CHECK(NextToonFile() == 0);
    CHECK(roster.currentToon[0] == '\0');
}

TEST_CASE("every matching entry counts, whatever its attributes")
{
    EnterDirectory("roster-count", { "a.ptf", "B.PTF", "c.Ptf", "d.txt" });
    SetFileAttributesA("c.Ptf", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA("folder.ptf", NULL);
    CHECK(CountToonFiles() == 4);
    SetFileAttributesA("c.Ptf", FILE_ATTRIBUTE_NORMAL);
}

TEST_CASE("one toon plays every time")
{
    EnterDirectory("roster-one", { "only.ptf" });
    StartRun();
    CHECK(CountToonFiles() == 1);
    CHECK(NextNames(5) == std::vector<std::string>(5, "only.ptf"));
}

TEST_CASE("two toons alternate strictly")
{
    EnterDirectory("roster-two", { "a.ptf", "b.ptf" });
    StartRun();
    CHECK(CountToonFiles() == 2);
    std::vector<std::string> names = NextNames(40);
    for (size_t i = 1; i < names.size(); ++i) {
        CAPTURE(i);
        CHECK(names[i] != names[i - 1]);
        CHECK((names[i] == "a.ptf" || names[i] == "b.ptf"));
    }
}

TEST_CASE("with three no toon follows itself, and each comes up")
{
    EnterDirectory("roster-three", { "a.ptf", "b.ptf", "c.ptf" });
    StartRun();
    CHECK(CountToonFiles() == 3);
    std::vector<std::string> names = NextNames(300);
    std::map<std::string, int> seen;
    for (size_t i = 0; i < names.size(); ++i) {
        ++seen[names[i]];
        if (i > 0)
            CHECK(names[i] != names[i - 1]);
    }
    CHECK(seen.size() == 3u);
    for (const auto &entry : seen)
        CHECK(entry.second > 50);
}

TEST_CASE("a listing that shrank after the count")
{
    EnterDirectory("roster-shrunk", { "a.ptf", "b.ptf", "c.ptf", "d.ptf", "e.ptf" });
    StartRun();
    CHECK(CountToonFiles() == 5);

    SUBCASE("positions past the end give its last entry")
    {
        DeleteFileA("b.ptf");
        DeleteFileA("d.ptf");
        std::set<std::string> picked;
        for (int i = 0; i < 100; ++i) {
            char name[TOON_NAME_SIZE] = "";
            CHECK(PickToonFile(name) == 1);
            picked.insert(name);
        }
        CHECK(picked == std::set<std::string>{ "a.ptf", "c.ptf", "e.ptf" });
    }
    SUBCASE("one name left: the re-pick ends and plays it again")
    {
        for (const char *gone : { "b.ptf", "c.ptf", "d.ptf", "e.ptf" })
            DeleteFileA(gone);
        strcpy(roster.currentToon, "a.ptf");
        CHECK(NextToonFile() == 1);
        CHECK(std::string(roster.currentToon) == "a.ptf");
    }
    SUBCASE("letter case counts: the same name in other case is another toon")
    {
        for (const char *gone : { "b.ptf", "c.ptf", "d.ptf", "e.ptf" })
            DeleteFileA(gone);
        strcpy(roster.currentToon, "A.PTF");
        CHECK(NextToonFile() == 1);
        CHECK(std::string(roster.currentToon) == "a.ptf");
    }
    SUBCASE("no name left: nothing is set")
    {
        for (const char *gone : { "a.ptf", "b.ptf", "c.ptf", "d.ptf", "e.ptf" })
            DeleteFileA(gone);
        strcpy(roster.currentToon, "c.ptf");
        CHECK(NextToonFile() == 0);
        CHECK(std::string(roster.currentToon) == "c.ptf");
    }
}

TEST_CASE("a count beyond one draw's reach still ends and picks")
{
    EnterDirectory("roster-huge", { "a.ptf", "b.ptf" });
    StartRun();
    CHECK(CountToonFiles() == 2);
    roster.toonCount = 100000;   // as if the listing had shrunk by that much
    std::vector<std::string> names = NextNames(10);
    for (size_t i = 1; i < names.size(); ++i)
        CHECK(names[i] != names[i - 1]);
}
