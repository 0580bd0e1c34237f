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
const int MIN_SAMPLES = 6;
const char CLIP[] = "pimbo-hello.wav";

struct Bound {
    double gdi, user, handles, privateKb;
};
// A run may grow by the fitted line over all its samples no more than a
// start-up allowance plus a rate per minute. Measured flat for an hour but
// for a warm-up of about 3 MB and one GDI object that comes after the first
// sample of a toons' run (it fits 0.58). A cycle takes at most some 16
// seconds: in a run of half a minute sampled every 3, one object a cycle
// fits at least 1.0 wherever the leaks fall; in an hour one a minute fits 10.
const Bound ALLOWANCE = { 0.7, 0.7, 3, 6144 };
const Bound PER_MINUTE = { 0.5, 0.5, 2, 512 };

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

// How much a figure grew from the first sample to the last by the least
// squares line through all of them: steps anywhere count, noise averages out.
double FittedGrowth(const std::vector<Sample> &samples, double (*figure)(const testing::ProcessCounts &))
{
    double n = (double)samples.size(), meanAt = 0, meanValue = 0;
    for (const Sample &s : samples) {
        meanAt += s.at / n;
        meanValue += figure(s.counts) / n;
    }
    double covariance = 0, variance = 0;
    for (const Sample &s : samples) {
        covariance += (s.at - meanAt) * (figure(s.counts) - meanValue);
        variance += (s.at - meanAt) * (s.at - meanAt);
    }
    return variance > 0 ? covariance / variance * (samples.back().at - samples.front().at) : 0;
}

LONG PacesWalked()
{
    return (LONG)GetPrivateProfileIntA("Fizzy Pimbo Screen Saver", "Paces Walked", 0, testing::IniPath().c_str());
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
    CHECK_OR_RETURN(phaseLength >= WARM_SECONDS + MIN_SAMPLES * every);
    struct Form {
        const char *name;
        std::string settings;
    };
    const Form forms[] = {
        { "random walks", "Walking Style=0\r\nStatements=1\r\nBackgrounds=1\r\nDirectory=" +
                          testing::TempDirectory("pimbo-soak-empty") + "\r\n" },
        { "toons", "Walking Style=1\r\nStatements=1\r\nBackgrounds=1\r\nDirectory=" + ToonDirectory() + "\r\n" },
    };
    struct Figure {
        const char *name;
        double (*read)(const testing::ProcessCounts &);
        double allowance, perMinute;
    };
    const Figure figures[] = {
        { "gdi", [](const testing::ProcessCounts &c) { return (double)c.gdiObjects; }, ALLOWANCE.gdi, PER_MINUTE.gdi },
        { "user", [](const testing::ProcessCounts &c) { return (double)c.userObjects; }, ALLOWANCE.user, PER_MINUTE.user },
        { "handles", [](const testing::ProcessCounts &c) { return (double)c.handles; }, ALLOWANCE.handles, PER_MINUTE.handles },
        { "private KB", [](const testing::ProcessCounts &c) { return c.privateBytes / 1024.0; }, ALLOWANCE.privateKb,
          PER_MINUTE.privateKb },
    };
    printf("%7s  %-12s %6s %5s %7s %10s\n", "seconds", "run", "gdi", "user", "handles", "private KB");
    int elapsed = 0;
    LONG paces = 0;
    for (int phase = 0; elapsed + phaseLength <= std::max(total, phaseLength); ++phase) {
        const Form &form = forms[phase % 2];
        CAPTURE(phase);
        CAPTURE(form.name);
        CHECK_OR_RETURN(testing::PutIni(form.settings + "Paces Walked=" + std::to_string(paces) + "\r\n"));
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
        LONG walked = PacesWalked();
        CHECK(walked > paces);   // he walked in every run
        paces = walked;
        elapsed += phaseLength;
        if (samples.size() < (size_t)MIN_SAMPLES)
            continue;
        double minutes = (samples.back().at - samples.front().at) / 60.0;
        for (const Figure &figure : figures) {
            CAPTURE(figure.name);
            double growth = FittedGrowth(samples, figure.read);
            printf("%7s  %-12s %s grew %.2f in %.2f minutes\n", "", form.name, figure.name, growth, minutes);
            CHECK(figure.read(samples.front().counts) > 0);
            CHECK(growth <= figure.allowance + figure.perMinute * minutes);
        }
    }
    testing::RemoveIni();
}
