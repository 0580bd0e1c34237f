#include <doctest.h>
#include "host/host_entry.h"
#include "support/support.h"

TEST_CASE("the command tail picks the mode by its first switch letter")
{
    struct Row { const char *tail; HostMode mode; UINT_PTR window; int foreground; };
    const Row rows[] = {
        { "", MODE_CONFIG, 0, 0 },
        { "   ", MODE_CONFIG, 0, 0 },
        { "/s", MODE_SAVER, 0, 0 },
        { "-s", MODE_SAVER, 0, 0 },
        { "S", MODE_SAVER, 0, 0 },
        { " /  s", MODE_SAVER, 0, 0 },
        { "/screen", MODE_SAVER, 0, 0 },
        { "/c", MODE_CONFIG, 0, 1 },
        { "/c:1234 whatever", MODE_CONFIG, 0, 1 },
        { "/p 1234", MODE_PREVIEW, 1234, 0 },
        { "/p 1234abc", MODE_PREVIEW, 1234, 0 },
        { "/l 1234", MODE_PREVIEW, 1234, 0 },
        { "/p", MODE_PREVIEW, 0, 0 },
        { "/p abc", MODE_PREVIEW, 0, 0 },
        { "/a", MODE_PASSWORD, 0, 0 },
        { "/a 0", MODE_PASSWORD, 0, 0 },
        { "/a   77", MODE_PASSWORD, 77, 0 },
        { "/x", MODE_BAD, 0, 0 },
        { "5", MODE_BAD, 0, 0 },
        { "/\ts", MODE_BAD, 0, 0 },
        { "\xE9", MODE_BAD, 0, 0 },
        { "/\x80", MODE_BAD, 0, 0 },
    };
    for (const Row &row : rows) {
        CAPTURE(row.tail);
        HostCommand command = ScanCommandTail(row.tail);
        CHECK(command.mode == row.mode);
        CHECK((UINT_PTR)command.window == row.window);
        CHECK(command.ownedByForeground == row.foreground);
    }
}

TEST_CASE("the program name is skipped, quoted or not")
{
    CHECK(std::string(SkipProgramName("\"C:\\Program Files\\Pimbo95.scr\" /s")) == "/s");
    CHECK(std::string(SkipProgramName("C:\\WINDOWS\\PIMBO95.SCR   /p 12")) == "/p 12");
    CHECK(std::string(SkipProgramName("\"unterminated /s")) == "");
    CHECK(std::string(SkipProgramName("Pimbo95.scr")) == "");
}

TEST_CASE("window numbers are decimal, without sign, and wrap at 32 bits")
{
    CHECK(ParseWindowNumber("0") == 0);
    CHECK(ParseWindowNumber("-5") == 0);
    CHECK(ParseWindowNumber("65538x") == 65538);
    CHECK(ParseWindowNumber("4294967297") == 1);
}

TEST_CASE("exit codes of the real program")
{
    CHECK(testing::RunProcess("\"" + testing::ScrPath() + "\" /x", 20000) == (DWORD)-1);
    CHECK(testing::RunProcess("\"" + testing::ScrPath() + "\" /p", 20000) == (DWORD)-1);
    CHECK(testing::RunProcess("\"" + testing::ScrPath() + "\" /p 999999", 20000) == (DWORD)-1);
    CHECK(testing::RunProcess("\"" + testing::ScrPath() + "\" /a", 20000) == 0);
}
