// Scripts that drive real windows from inside their own message loops: each
// step runs from a thread timer, which every loop (dialogs, menus, the
// editor's) dispatches, so a step may start a loop of its own and the
// script goes on inside it.
#ifndef PIMBO_TESTS_SCRIPT_H
#define PIMBO_TESTS_SCRIPT_H

#include <windows.h>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace testing {

struct ScriptStep {
    std::string what;
    std::function<void()> action;      // a step that acts once
    std::function<bool()> condition;   // or one that waits
    DWORD timeoutMs;
};

ScriptStep Do(const std::string &what, std::function<void()> action);
ScriptStep WaitFor(const std::string &what, std::function<bool()> condition, DWORD timeoutMs = 20000);

// Runs body (which runs a message loop until the script ends it) with the
// steps going on meanwhile. A step that waits in vain is reported, and
// abort() is called to end the loops; the rest is skipped. True when every
// step ran.
bool RunScript(std::vector<ScriptStep> steps, const std::function<void()> &body,
               const std::function<void()> &abort);

// Real input: keys pressed in order and released in reverse; a click and a
// drag with the left button at screen points.
void PressKeys(std::initializer_list<WORD> keys);
void ClickScreen(POINT point);
void DragScreen(POINT from, POINT to);

}  // namespace testing

#endif
