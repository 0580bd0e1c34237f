// ctest: sound
#include <doctest.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <string>
#include <vector>

#include "support/checks.h"
#include "support/frame_editor_driver.h"
#include "support/fuzz.h"
#include "support/process_meter.h"
#include "support/support.h"

// The real saver, full screen, for a long stretch: random walks and toons
// (with clips, every background, the highest speed) take turns, each in a
// saver run of its own, since a run keeps its walking style. Its objects,
// handles and memory are sampled from the outside; none may keep growing.
//
// PIMBO_SOAK_SECONDS (60 in CI) is the whole length, PIMBO_SOAK_PHASE the
// length of one run (half the whole, at most 600), PIMBO_SOAK_SAMPLE the
// seconds between samples; each sample is printed as a row of a table.

namespace {

const int WARM_SECONDS = 8;   // the first cycle has begun and the art is loaded
const int STEADY_SAMPLES = 3; // the lowest of these, at either end, is compared
const char CLIP[] = "pimbo-hello.wav";

struct Bound {
    long gdi, user, handles;
    long long privateBytes;
};
// Measured flat for an hour but for a warm-up of about 3 MB; a random walk
// takes some 16 seconds, so one object leaked a cycle shows within a run
// of half a minute.
const Bound GROWTH = { 1, 1, 6, 8ll << 20 };

// A toon of three frames on the given background: a clip, a line with a
// wink, and a clip that is missing (said as a complaint).
std::string SoakToon(int background)
{
    std::string toon = testing::ToonBytes({}, 1);
    testing::PutLe(toon, 92, 3, 4);
    testing::PutLe(toon, 100, (uint32_t)background, 4);
    toon += testing::FrameBytes(150 + 60 * background, 250, background % 16, 1, 0, std::string("PBF:") + CLIP);
    toon += testing::FrameBytes(800 - 40 * background, 450, (background + 7) % 16, 1, 1, "Still fizzy.");
    toon += testing::FrameBytes(512, 300, 15, 1, 0, "PBR:gone.wav");
    return toon;
}

std::string ToonDirectory()
{
    std::string directory = testing::TempDirectory("pimbo-soak-toons");
    CopyFileA(testing::SourcePath(std::string("toons/") + CLIP).c_str(), (directory + CLIP).c_str(), FALSE);
    for (int background = 0; background <= 10; ++background)
        testing::WriteFileBytes(directory + "bg" + std::to_string(background) + ".ptf", SoakToon(background));
    return directory;
}

struct Sample {
    int at;
    testing::ProcessCounts counts;
};

testing::ProcessCounts Steadiest(const std::vector<Sample> &samples, size_t first)
{
    testing::ProcessCounts low = samples[first].counts;
    for (size_t i = first; i < samples.size() && i < first + STEADY_SAMPLES; ++i) {
        const testing::ProcessCounts &c = samples[i].counts;
        low.gdiObjects = std::min(low.gdiObjects, c.gdiObjects);
        low.userObjects = std::min(low.userObjects, c.userObjects);
        low.handles = std::min(low.handles, c.handles);
        low.privateBytes = std::min(low.privateBytes, c.privateBytes);
    }
    return low;
}

void PrintRow(int at, const char *phase, const testing::ProcessCounts &c)
{
    printf("%7d  %-12s %6ld %5ld %7ld %10lld\n", at, phase, c.gdiObjects, c.userObjects, c.handles,
           c.privateBytes / 1024);
    fflush(stdout);
}

}  // namespace

TEST_CASE("a night of the saver: random walks and toons take turns, and nothing grows")
{
    const int total = (int)testing::EnvNumber("PIMBO_SOAK_SECONDS", 60);
    const int phaseLength = (int)testing::EnvNumber("PIMBO_SOAK_PHASE", std::min(total / 2, 600));
    const int every = (int)testing::EnvNumber("PIMBO_SOAK_SAMPLE", std::max(3, phaseLength / 20));
    CHECK_OR_RETURN(every > 0);
    CHECK_OR_RETURN(phaseLength >= WARM_SECONDS + 2 * STEADY_SAMPLES * every);
    struct Form {
        const char *name;
        std::string settings;
    };
    const Form forms[] = {
        { "random walks", "Walking Style=0\r\nStatements=1\r\nBackgrounds=1\r\nDirectory=" +
                          testing::TempDirectory("pimbo-soak-empty") + "\r\n" },
        { "toons", "Walking Style=1\r\nStatements=1\r\nBackgrounds=1\r\nDirectory=" + ToonDirectory() + "\r\n" },
    };
    printf("%7s  %-12s %6s %5s %7s %10s\n", "seconds", "run", "gdi", "user", "handles", "private KB");
    int elapsed = 0;
    for (int phase = 0; elapsed + phaseLength <= std::max(total, phaseLength); ++phase) {
        const Form &form = forms[phase % 2];
        CAPTURE(phase);
        CAPTURE(form.name);
        CHECK_OR_RETURN(testing::PutIni(form.settings));
        PROCESS_INFORMATION saver = testing::StartScr("/s");
        CHECK_OR_RETURN(saver.hProcess != NULL);
        std::vector<Sample> samples;
        DWORD start = GetTickCount();
        for (int at = WARM_SECONDS; at <= phaseLength; at += every) {
            DWORD due = start + (DWORD)at * 1000;
            DWORD now = GetTickCount();
            if ((LONG)(due - now) > 0)
                Sleep(due - now);
            DWORD code = 0;
            GetExitCodeProcess(saver.hProcess, &code);
            CAPTURE(at);
            CHECK_MESSAGE(code == STILL_ACTIVE, "the saver ended by itself with code " << code);
            if (code != STILL_ACTIVE)
                break;
            samples.push_back({ at, testing::MeasureProcess(saver.hProcess, saver.dwProcessId) });
            PrintRow(elapsed + at, form.name, samples.back().counts);
        }
        testing::TapKey(VK_SPACE);
        CHECK(testing::FinishProcess(saver, 15000) == 0);
        std::string ini = testing::IniText();
        CHECK(strtol(ini.c_str() + ini.rfind('=') + 1, NULL, 10) > 0);   // paces: he walked
        elapsed += phaseLength;
        if (samples.size() < 2 * STEADY_SAMPLES)
            continue;
        testing::ProcessCounts first = Steadiest(samples, 0);
        testing::ProcessCounts last = Steadiest(samples, samples.size() - STEADY_SAMPLES);
        CHECK(first.gdiObjects > 0);
        CHECK(first.userObjects > 0);
        CHECK(first.handles > 0);
        CHECK(first.privateBytes > 0);
        CHECK(last.gdiObjects - first.gdiObjects <= GROWTH.gdi);
        CHECK(last.userObjects - first.userObjects <= GROWTH.user);
        CHECK(last.handles - first.handles <= GROWTH.handles);
        CHECK(last.privateBytes - first.privateBytes <= GROWTH.privateBytes);
    }
    testing::RemoveIni();
}
