#include "support/script.h"

#include <doctest.h>

namespace testing {

static std::vector<ScriptStep> script;
static size_t nextStep;
static DWORD stepStarted;
static std::function<void()> abortScript;

ScriptStep Do(const std::string &what, std::function<void()> action)
{
    return ScriptStep{ what, std::move(action), nullptr, 0 };
}

ScriptStep WaitFor(const std::string &what, std::function<bool()> condition, DWORD timeoutMs)
{
    return ScriptStep{ what, nullptr, std::move(condition), timeoutMs };
}

static void CALLBACK ScriptTimer(HWND, UINT, UINT_PTR, DWORD)
{
    while (nextStep < script.size()) {
        const ScriptStep &step = script[nextStep];
        if (step.action) {
            // Moved on first: the action may run a loop that calls back here.
            ++nextStep;
            stepStarted = GetTickCount();
            step.action();
            return;
        }
        if (step.condition()) {
            ++nextStep;
            stepStarted = GetTickCount();
            continue;
        }
        if (GetTickCount() - stepStarted > step.timeoutMs) {
            FAIL_CHECK("waited in vain: " << step.what);
            nextStep = script.size() + 1;
            abortScript();
        }
        return;
    }
}

bool RunScript(std::vector<ScriptStep> steps, const std::function<void()> &body,
               const std::function<void()> &abort)
{
    script = std::move(steps);
    nextStep = 0;
    stepStarted = GetTickCount();
    abortScript = abort;
    UINT_PTR timer = SetTimer(NULL, 0, 30, ScriptTimer);
    body();
    KillTimer(NULL, timer);
    const bool complete = nextStep == script.size();
    CHECK_MESSAGE(complete, "the script stopped before step " << nextStep);
    return complete;
}

void PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> input;
    for (int up = 0; up < 2; ++up)
        for (size_t i = 0; i < keys.size(); ++i) {
            INPUT one;
            ZeroMemory(&one, sizeof one);
            one.type = INPUT_KEYBOARD;
            one.ki.wVk = up ? keys.begin()[keys.size() - 1 - i] : keys.begin()[i];
            one.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            input.push_back(one);
        }
    SendInput((UINT)input.size(), input.data(), sizeof(INPUT));
}

static INPUT MouseAt(POINT point, DWORD flags)
{
    INPUT one;
    ZeroMemory(&one, sizeof one);
    one.type = INPUT_MOUSE;
    // Normalized so that the conversion back lands on the very pixel.
    one.mi.dx = (point.x * 65536 + 65535) / GetSystemMetrics(SM_CXSCREEN);
    one.mi.dy = (point.y * 65536 + 65535) / GetSystemMetrics(SM_CYSCREEN);
    one.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
    return one;
}

void ClickScreen(POINT point)
{
    INPUT input[2] = { MouseAt(point, MOUSEEVENTF_LEFTDOWN), MouseAt(point, MOUSEEVENTF_LEFTUP) };
    SendInput(2, input, sizeof(INPUT));
}

struct Drag {
    POINT from;
    POINT to;
};

// The move loop that a caption drag starts runs on the window's thread:
// the input comes from another one, in steps.
static DWORD WINAPI DragThread(void *parameter)
{
    const Drag drag = *(Drag *)parameter;
    delete (Drag *)parameter;
    INPUT down = MouseAt(drag.from, MOUSEEVENTF_LEFTDOWN);
    SendInput(1, &down, sizeof(INPUT));
    const int parts = 8;
    for (int i = 1; i <= parts; ++i) {
        Sleep(40);
        POINT at = { drag.from.x + (drag.to.x - drag.from.x) * i / parts,
                     drag.from.y + (drag.to.y - drag.from.y) * i / parts };
        INPUT move = MouseAt(at, 0);
        SendInput(1, &move, sizeof(INPUT));
    }
    Sleep(40);
    INPUT up = MouseAt(drag.to, MOUSEEVENTF_LEFTUP);
    SendInput(1, &up, sizeof(INPUT));
    return 0;
}

void DragScreen(POINT from, POINT to)
{
    HANDLE thread = CreateThread(NULL, 0, DragThread, new Drag{ from, to }, 0, NULL);
    if (thread)
        CloseHandle(thread);
}

}  // namespace testing
