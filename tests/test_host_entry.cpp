#include <doctest.h>
#include "host/host_entry.h"
#include "support/support.h"

#include <stdio.h>

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
        { "/gif a.ptf a.gif", MODE_EXPORT, 0, 0 },
        { "-GIF", MODE_EXPORT, 0, 0 },
        { "/g", MODE_BAD, 0, 0 },
        { "/gifs", MODE_BAD, 0, 0 },
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
        if (row.mode == MODE_EXPORT)
            CHECK(std::string(command.arguments) == std::string(row.tail).substr(4));
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

// The fault guard is tried in a child copy of this program, started on the
// skipped test case below, because the fault ends the process.
static const DWORD TEST_FAULT = 0xE0000BAD;
static const char *const FAULT_LOG_VARIABLE = "PIMBO_FAULT_LOG";
static char faultLog[MAX_PATH];
static int platformDepth;

static void FaultLog(const char *line)
{
    FILE *file = fopen(faultLog, "ab");
    if (!file)
        return;
    fprintf(file, "%s\n", line);
    fclose(file);
}

// Stands in for the platform's handling of an unhandled fault: like the
// real one it consults the top-level filter, then decides the process ends.
static LONG WINAPI StandInUnhandledExceptionFilter(EXCEPTION_POINTERS *info)
{
    if (platformDepth > 0) {
        FaultLog("platform re-entered");
        return EXCEPTION_CONTINUE_SEARCH;
    }
    ++platformDepth;
    FaultLog("platform asked");
    LPTOP_LEVEL_EXCEPTION_FILTER top = SetUnhandledExceptionFilter(NULL);
    SetUnhandledExceptionFilter(top);
    if (top)
        FaultLog(top(info) == EXCEPTION_CONTINUE_SEARCH ? "top filter passed" : "top filter decided");
    --platformDepth;
    return EXCEPTION_EXECUTE_HANDLER;
}

static int FaultingMode(const HostCommand *)
{
    RaiseException(TEST_FAULT, 0, 0, NULL);
    return 7;
}

TEST_CASE("fault guard child" * doctest::skip())
{
    if (!GetEnvironmentVariableA(FAULT_LOG_VARIABLE, faultLog, sizeof faultLog))
        return;
    testing::FakeDevice("\\\\.\\REBOOT", faultLog);
    testing::PatchImport("kernel32.dll", "UnhandledExceptionFilter", (void *)StandInUnhandledExceptionFilter);
    HostCommand command = { MODE_SAVER, NULL, 0, NULL };
    RunGuardedMode(FaultingMode, &command);
    FaultLog("mode returned");
}

static int ReturningMode(const HostCommand *command)
{
    return command->mode == MODE_PREVIEW ? 5 : 6;
}

TEST_CASE("the fault guard")
{
    SUBCASE("a mode that returns gives its result and puts the earlier filter back")
    {
        LPTOP_LEVEL_EXCEPTION_FILTER before = SetUnhandledExceptionFilter(NULL);
        SetUnhandledExceptionFilter(before);
        HostCommand command = { MODE_PREVIEW, NULL, 0, NULL };
        CHECK(RunGuardedMode(ReturningMode, &command) == 5);
        LPTOP_LEVEL_EXCEPTION_FILTER after = SetUnhandledExceptionFilter(before);
        CHECK((void *)after == (void *)before);
    }
    SUBCASE("an unhandled fault releases the reboot device once, and the platform ends the process")
    {
        char dir[MAX_PATH] = "";
        GetTempPathA(sizeof dir, dir);
        std::string log = std::string(dir) + "pimbo-fault.log";
        DeleteFileA(log.c_str());
        char self[MAX_PATH] = "";
        GetModuleFileNameA(NULL, self, sizeof self);
        SetEnvironmentVariableA(FAULT_LOG_VARIABLE, log.c_str());
        DWORD code = testing::RunProcess("\"" + std::string(self) + "\" -tc=\"fault guard child\" --no-skip", 20000);
        SetEnvironmentVariableA(FAULT_LOG_VARIABLE, NULL);
        CHECK(code == TEST_FAULT);
        CHECK(testing::ReadFileBytes(log) == "platform asked\ntop filter passed\ncontrol 2\n");
        DeleteFileA(log.c_str());
    }
}
