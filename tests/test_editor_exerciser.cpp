// A restless user, drawn from a seed: opens the editor from the configuration
// dialog and clicks, types and plays at random, while a model of the toon
// predicts every byte that a save writes. PIMBO_EXERCISE_SEED and
// PIMBO_EXERCISE_STEPS choose the run.
#include <doctest.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "editor/editor_app.h"
#include "editor/editor_controls.h"
#include "editor/editor_window.h"
#include "engine/raster.h"
#include "engine/sequencer.h"
#include "engine/stage.h"
#include "engine/walk.h"
#include "resources/resource.h"
#include "show/config_dialog.h"
#include "show/settings.h"
#include "support/frame_editor_driver.h"
#include "support/script.h"
#include "support/support.h"
#include "toon/toon_document.h"

namespace {

ToonDocument &toon = editorFrame.toon;
Stage *TheStage() { return editorFrame.stage; }

const int LastActions = 40;
const DWORD StuckMs = 40000;      // well beyond the longest pause (20 s) and a step
const int GdiSlack = 200;
const int WindowSlack = 3;
const int WarmUpSteps = 40;

/* The UI thread: the dialog, the editor and a helper that runs closures */

const UINT WM_RUNHERE = WM_APP + 40;
const UINT WM_MARK = WM_APP + 41;
HWND helper;
DWORD uiThread;
volatile LONG marksSeen;
volatile LONG buttonUps;
volatile LONG mainDeactivations;
HHOOK inputHook, activationHook;

LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RUNHERE) {
        (*(const std::function<void()> *)lParam)();
        return 1;
    }
    if (message == WM_MARK) {
        InterlockedExchange(&marksSeen, (LONG)wParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Counts the releases the UI thread takes from its queue, so that the
// driver knows when its input has been handled.
LRESULT CALLBACK InputHook(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG *msg = (const MSG *)lParam;
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP || msg->message == WM_LBUTTONUP))
        InterlockedIncrement(&buttonUps);
    return CallNextHookEx(inputHook, code, wParam, lParam);
}

// Counts the times the editor's main window loses the activation, which
// stops a walk to a frame.
LRESULT CALLBACK ActivationHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *sent = (const CWPSTRUCT *)lParam;
    if (code == HC_ACTION && sent->message == WM_ACTIVATE && LOWORD(sent->wParam) == WA_INACTIVE &&
        sent->hwnd == editorFrame.mainWindow)
        InterlockedIncrement(&mainDeactivations);
    return CallNextHookEx(activationHook, code, wParam, lParam);
}

// Windows of the UI thread by class, children too.
BOOL CALLBACK CountWindow(HWND window, LPARAM counts)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    (*(std::map<std::string, int> *)counts)[name] += 1;
    return TRUE;
}

BOOL CALLBACK CountThreadWindows(HWND window, LPARAM counts)
{
    if (GetWindowThreadProcessId(window, NULL) == uiThread) {
        CountWindow(window, counts);
        EnumChildWindows(window, CountWindow, counts);
    }
    return TRUE;
}

using testing::ConfigDialog;

/* The model of the toon */

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], (DWORD)text.size());
    return text;
}

void Put32(std::string &bytes, size_t at, int32_t value) { memcpy(&bytes[at], &value, 4); }
int32_t Get32(const std::string &bytes, size_t at)
{
    int32_t value;
    memcpy(&value, &bytes[at], 4);
    return value;
}

struct Controls {
    std::string x, y, seconds, text, wav;
    bool wink = false, sound = false;
    int pose = 0;
    bool operator==(const Controls &o) const
    {
        return x == o.x && y == o.y && seconds == o.seconds && wink == o.wink && pose == o.pose &&
               sound == o.sound && (sound ? wav == o.wav : text == o.text);
    }
};

bool IsClip(const std::string &text)
{
    std::string lower = Lower(text);
    return lower.size() >= 8 && (lower.compare(0, 4, "pbf:") == 0 || lower.compare(0, 4, "pbr:") == 0) &&
           lower.compare(lower.size() - 4, 4, ".wav") == 0;
}

std::string TextOf(const std::string &frame) { return std::string(frame.c_str() + 20, strnlen(frame.c_str() + 20, 72)); }

// What a signed box yields, as the dialog reads it: digits with an optional
// minus sign, anything else 0.
int BoxNumber(const std::string &text)
{
    if (text.empty() || text.size() > 9)
        return 0;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return 0;
    for (size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9')
            return 0;
    return atoi(text.c_str());
}

int TargetOf(const std::string &box, int middle, int screen)
{
    int value = BoxNumber(box);
    if (value == 0)
        value = middle;
    if (value >= screen + 150)
        value = screen + 150;
    return value <= -150 ? -150 : value;
}

/* The model of the play phase: the phases the stage may be in, one bit
   each, an act's above a toon's. One phase, but where time may have moved
   it on since the program was last looked at. */

const int ActBits = 16;
unsigned PhaseBit(int phase, int act = 0) { return 1u << (phase + ActBits * act); }

unsigned EachPhase(unsigned phases, const std::function<unsigned(int, int)> &to)
{
    unsigned result = 0;
    for (int bit = 0; bit < 2 * ActBits; ++bit)
        if (phases & (1u << bit))
            result |= to(bit % ActBits, bit / ActBits);
    return result;
}

std::string PhaseNames(unsigned phases)
{
    static const char *const names[] = { "ready", "walking", "waiting", "speaking", "walking off", "click walk",
                                         "stopped walk", "stopped frame", "entrance due" };
    std::string list;
    EachPhase(phases, [&](int phase, int act) { list += std::string(list.empty() ? "" : " or ") + (act ? "act " : "") + names[phase]; return 0u; });
    return list;
}

// Where time alone takes a phase in one move: a walk or a pause ends, the
// entrance begins. Only the user moves a stopped toon on.
unsigned TimeMove(int phase, int act)
{
    switch (phase) {
    case PHASE_ENTRANCE_DUE: return PhaseBit(PHASE_WALKING, 1);
    case PHASE_WALKING: return PhaseBit(PHASE_WAITING, act);
    case PHASE_WAITING: return PhaseBit(PHASE_SPEAKING, act);
    case PHASE_SPEAKING:
        return act ? PhaseBit(PHASE_WALKING_OFF, 1) : PhaseBit(PHASE_WALKING) | PhaseBit(PHASE_WALKING_OFF) | PhaseBit(PHASE_READY);
    case PHASE_WALKING_OFF: case PHASE_CLICK_WALK: return PhaseBit(PHASE_READY);
    default: return 0;
    }
}

// Play, Stop and Continue; an act, a walk off and a walk to a click take no notice.
unsigned Toggled(int phase, int act)
{
    if (act)
        return PhaseBit(phase, act);
    switch (phase) {
    case PHASE_READY: case PHASE_ENTRANCE_DUE: case PHASE_STOPPED_WALK: return PhaseBit(PHASE_WALKING);
    case PHASE_WALKING: return PhaseBit(PHASE_STOPPED_WALK);
    case PHASE_WAITING: case PHASE_SPEAKING: return PhaseBit(PHASE_STOPPED_FRAME);
    case PHASE_STOPPED_FRAME: return PhaseBit(PHASE_WALKING) | PhaseBit(PHASE_WALKING_OFF);
    default: return PhaseBit(phase);
    }
}

struct Model {
    std::string header;
    std::vector<std::string> frames;
    std::string fileName;
    std::string caption;             // the working caption
    bool modified = false;
    int shown = 0;
    Controls controls;
    bool editor = false, frameEditor = false;
    std::map<std::string, std::string> disk;   // lower-case path: bytes
    std::string directory;                     // the dialog's, lower case
    unsigned phases = 0;                       // PhaseBit
    LONG deactivationsSeen = 0;

    static Controls Show(const std::string &frame)
    {
        Controls c;
        c.x = std::to_string(Get32(frame, 0));
        c.y = std::to_string(Get32(frame, 4));
        c.pose = Get32(frame, 8);
        c.seconds = std::to_string(Get32(frame, 12));
        c.wink = Get32(frame, 16) != 0;
        std::string text = TextOf(frame);
        c.sound = IsClip(text);
        // The sound list names the file as the directory spells it.
        (c.sound ? c.wav : c.text) = c.sound ? Lower(text.substr(4)) : text;
        return c;
    }
    void ShowFrame(int index)
    {
        shown = index;
        controls = Show(frames[(size_t)index]);
    }
    void PutFrame(int index, int x, int y, int pose, int pause, int wink, const std::string &text)
    {
        std::string &slot = frames[(size_t)index];
        Put32(slot, 0, x);
        Put32(slot, 4, y);
        Put32(slot, 8, pose);
        Put32(slot, 12, pause);
        Put32(slot, 16, wink);
        memcpy(&slot[20], text.c_str(), text.size() + 1);
    }
    void StoreShown()
    {
        const Controls &c = controls;
        const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        int pause = BoxNumber(c.seconds);
        pause = pause == 0 ? 5 : pause <= 1 ? 1 : pause >= 20 ? 20 : pause;
        PutFrame(shown, TargetOf(c.x, (sw - 50) / 2, sw), TargetOf(c.y, (sh - 100) / 2, sh), c.pose, pause,
                 c.wink, c.sound ? "PBF:" + c.wav : c.text.substr(0, 69));
        modified = true;
    }
    std::string Bytes() const
    {
        std::string bytes = header;
        Put32(bytes, 92, (int32_t)frames.size());
        for (const std::string &frame : frames)
            bytes += frame;
        return bytes;
    }
    void Write()
    {
        header = Bytes().substr(0, 104);
        disk[Lower(fileName)] = Bytes();
        modified = false;
    }
    void NewToon()
    {
        fileName.clear();
        header.assign(104, '\0');
        memcpy(&header[0], "Pimbo Toon Frame File", 22);
        Put32(header, 32, 0x20001);
        memcpy(&header[36], caption.c_str(), caption.size() < 51 ? caption.size() : 51);
        Put32(header, 88, (int32_t)editorFrame.stageSize);
        Put32(header, 92, 1);
        Put32(header, 96, 3);
        Put32(header, 100, 1);
        frames.assign(1, std::string(92, '\0'));
        modified = false;
        ShowFrame(0);
    }
    void Read(const std::string &path)
    {
        const std::string &bytes = disk[Lower(path)];
        header = bytes.substr(0, 104);
        frames.clear();
        for (size_t at = 104; at + 92 <= bytes.size(); at += 92)
            frames.push_back(bytes.substr(at, 92));
        fileName = path;
        caption = std::string(header.c_str() + 36, strnlen(header.c_str() + 36, 51));
        modified = false;
        ShowFrame(0);
    }
    void EditorStarted()
    {
        editor = true;
        frameEditor = false;
        fileName.clear();
        caption = "Fizzy Pimbo's Parade";
        modified = false;
        phases = PhaseBit(PHASE_ENTRANCE_DUE);
    }
    // What time may have made of the phase in so many moves. A walk to a
    // frame stops where the editor lost the activation meanwhile.
    unsigned Later(int moves = 16)
    {
        unsigned later = phases;
        for (int i = 0; i < moves; ++i)
            later |= EachPhase(later, TimeMove);
        if (mainDeactivations != deactivationsSeen && (later & PhaseBit(PHASE_WALKING))) {
            phases |= PhaseBit(PHASE_STOPPED_WALK);
            later |= PhaseBit(PHASE_STOPPED_WALK);
        }
        deactivationsSeen = mainDeactivations;
        return later;
    }
    // An action meets the phase last seen, or the next should time move it
    // on meanwhile.
    void Apply(const std::function<unsigned(int, int)> &to) { phases = EachPhase(Later(1), to); }
    // Back to ready, unless an act runs: it keeps the stage to its end, and
    // the entrance still due stays due.
    void ResetPlay()
    {
        Apply([](int phase, int act) { return act || phase == PHASE_ENTRANCE_DUE ? PhaseBit(phase, act) : PhaseBit(PHASE_READY); });
    }
    // A toon opened takes the stage from the entrance still due.
    void TakeEntrance()
    {
        Apply([](int phase, int act) { return PhaseBit(phase == PHASE_ENTRANCE_DUE ? PHASE_READY : phase, act); });
    }
};

/* The run */

struct Exerciser {
    unsigned seed;
    int steps;
    int step = 0;
    std::mt19937 random;
    Model model;
    std::vector<std::string> actions;
    std::string fault;
    std::string top, sub;            // the toon directories
    std::string working;             // the process's directory, which nothing moves
    int names = 0;                   // fresh file names handed out
    std::map<std::string, int> gdiBase;
    std::map<std::string, std::map<std::string, int>> windowBase;
    DWORD lastProgress = 0;
    LONG marksPosted = 0;
    testing::BoxCatcher *catcher = NULL;   // notes the boxes; the driver answers them
    std::string lastPlayState;

    int Pick(int n) { return (int)(random() % (unsigned)n); }
    bool Chance(int percent) { return Pick(100) < percent; }

    void Note(const std::string &what)
    {
        actions.push_back(std::to_string(step) + ": " + what);
        if (actions.size() > (size_t)LastActions)
            actions.erase(actions.begin());
    }
    void Fault(const std::string &what)
    {
        if (!fault.empty())
            return;
        fault = what;
        fprintf(stderr, "exerciser: seed %u, step %d: %s\nlast actions:\n", seed, step, what.c_str());
        for (const std::string &action : actions)
            fprintf(stderr, "  %s\n", action.c_str());
        fflush(stderr);
    }

    // Runs f on the UI thread between its messages; a UI thread that does not
    // take it within a second is hung.
    bool OnUi(const std::function<void()> &f)
    {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(helper, WM_RUNHERE, 0, (LPARAM)&f, SMTO_NORMAL, 1000, &result))
            return true;
        Fault("the program did not answer within a second");
        return false;
    }
    // Everything posted before has been handled (or a modal loop took over).
    void Settle()
    {
        for (int round = 0; round < 2 && fault.empty(); ++round) {
            const LONG mark = ++marksPosted;
            PostMessageA(helper, WM_MARK, (WPARAM)mark, 0);
            DWORD start = GetTickCount();
            while (marksSeen < mark && GetTickCount() - start < 3000)
                Sleep(2);
            if (marksSeen < mark)
                Fault("posted messages wait for more than three seconds");
        }
    }
    void Input(const std::function<void()> &send, int ups)
    {
        const LONG before = buttonUps;
        send();
        DWORD start = GetTickCount();
        while (buttonUps < before + ups && GetTickCount() - start < 700)
            Sleep(2);
        Settle();
    }
    void Keys(std::initializer_list<WORD> keys)
    {
        Input([&] { testing::PressKeys(keys); }, (int)keys.size());
    }
    void Post(HWND window, int id, HWND control = NULL)
    {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control);
        Settle();
    }
    void Wait(DWORD ms)
    {
        Sleep(ms);
        Settle();
    }

    /* Boxes: message boxes and dialogs over the editor */

    struct Box {
        HWND window = NULL;
        std::string caption, text;
    };
    std::vector<Box> Boxes()
    {
        std::vector<Box> boxes;
        OnUi([&] {
            for (const testing::CaughtBox &caught : catcher->Boxes()) {
                HWND w = caught.window;
                bool seen = false;
                for (const Box &box : boxes)
                    seen = seen || box.window == w;
                if (seen || w == ConfigDialog() || w == frameEditorDialog || !IsWindow(w) || !IsWindowVisible(w))
                    continue;
                Box box;
                box.window = w;
                box.caption = GetDlgItem(w, IDC_CFGCAPTION) ? "configure" : caught.caption;
                box.text = caught.text;
                boxes.push_back(box);
            }
        });
        return boxes;
    }
    Box WaitBox(DWORD ms = 5000)
    {
        DWORD start = GetTickCount();
        for (;;) {
            std::vector<Box> boxes = Boxes();
            if (!boxes.empty() || !fault.empty() || GetTickCount() - start > ms)
                return boxes.empty() ? Box() : boxes[0];
            Wait(20);
        }
    }
    void Answer(const Box &box, int id)
    {
        PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        Settle();
        DWORD start = GetTickCount();
        while (IsWindow(box.window) && GetTickCount() - start < 2000)
            Wait(10);
    }
    void TypeName(const Box &box, const std::string &path)
    {
        OnUi([&] { testing::TypeFileName(box.window, path); });
        Answer(box, IDOK);
    }
    // A box the model expects: its caption starts with caption, or the
    // run has found a fault.
    Box Expect(const std::string &caption, const std::string &why)
    {
        Box box = WaitBox();
        if (!box.window || box.caption.compare(0, caption.size(), caption) != 0)
            Fault(why + ": expected the box \"" + caption + "\", saw " +
                  (box.window ? "\"" + box.caption + "\" " + box.text : "none"));
        return box;
    }
    void ExpectNoBox(const std::string &why)
    {
        Box box = WaitBox(300);
        if (box.window)
            Fault(why + ": unexpected box \"" + box.caption + "\" " + box.text);
    }

    std::string FreshName(const std::string &directory) { return directory + "toon" + std::to_string(++names) + ".ptf"; }
    std::string SomeDirectory() { return Chance(70) ? top : sub; }

    // The save question; true when the action that asked goes on.
    bool SaveQuestion(const std::string &why)
    {
        if (!model.modified) {
            Box box = WaitBox(300);
            if (box.caption == "Pimbo Toon Frame File")
                Fault(why + " asks to save an unmodified toon");
            return fault.empty();
        }
        Box box = Expect("Pimbo Toon Frame File", why);
        if (!fault.empty())
            return false;
        HWND main = editorFrame.mainWindow;
        if (Chance(15))
            Disturb();
        const bool going = fault.empty() && IsWindow(box.window) && AnswerSaveQuestion(box);
        // An editor closed or started meanwhile takes the question with it.
        Settle();
        if (editorFrame.mainWindow == main)
            return going;
        if (editorFrame.mainWindow)
            model.EditorStarted();
        else
            model.editor = model.frameEditor = false;
        return false;
    }

    bool AnswerSaveQuestion(const Box &box)
    {
        const int answer = Pick(3);
        if (answer == 0) {
            Note("save question: Cancel");
            Answer(box, IDCANCEL);
            return false;
        }
        if (answer == 1) {
            Note("save question: No");
            Answer(box, IDNO);
            return true;
        }
        Note("save question: Yes");
        Answer(box, IDYES);
        if (model.fileName.empty()) {
            Box save = Expect("Save Toon File", "Yes on an untitled toon");
            if (!fault.empty())
                return false;
            if (Chance(25)) {
                Note("save dialog: Cancel");
                Answer(save, IDCANCEL);
                return false;
            }
            model.fileName = FreshName(SomeDirectory());
            Note("save dialog: " + model.fileName);
            TypeName(save, model.fileName);
        }
        model.StoreShown();
        model.Write();
        return true;
    }

    // With the save question up, a restless user closes the editor or starts
    // another from the dialog: the question is never asked twice.
    void Disturb()
    {
        const bool viaDialog = Chance(40);
        Note(viaDialog ? "with the question up: Edit Toon Files" : "with the question up: the close button");
        if (viaDialog)
            PostMessageA(ConfigDialog(), WM_COMMAND, MAKEWPARAM(IDC_EDITTOONS, BN_CLICKED), 0);
        else
            PostMessageA(editorFrame.mainWindow, WM_COMMAND, 0, (LPARAM)editorUi.closeButton);
        Settle();
        Wait(50);
        int questions = 0;
        for (const Box &box : Boxes())
            questions += box.caption == "Pimbo Toon Frame File";
        if (questions > 1)
            Fault("the save question is asked twice");
    }

    /* Actions with the frame editor open */

    HWND Dialog() { return frameEditorDialog; }

    void ClickStage()
    {
        POINT at = { 0, 0 }, screen = { 0, 0 };
        bool clear = false, onCharacter = false, walking = false;
        OnUi([&] {
            RECT client;
            GetClientRect(editorFrame.stageWindow, &client);
            for (int tries = 0; tries < 20 && !clear; ++tries) {
                at.x = 5 + Pick(client.right > 10 ? client.right - 10 : 1);
                at.y = 5 + Pick(client.bottom > 10 ? client.bottom - 10 : 1);
                screen = at;
                ClientToScreen(editorFrame.stageWindow, &screen);
                clear = WindowFromPoint(screen) == editorFrame.stageWindow;
            }
            const Stage *stage = TheStage();
            onCharacter = stage && PointInSpritePlace(&stage->character, at.x, at.y) != 0;
            walking = stage && WalkRunning(stage);
        });
        if (!clear)
            return;
        Note("stage click at " + std::to_string(at.x) + "," + std::to_string(at.y));
        Input([&] { testing::ClickScreen(screen); }, 1);
        model.Apply([&](int phase, int act) {
            const bool free = phase == PHASE_READY || phase == PHASE_ENTRANCE_DUE;
            return free && !model.frameEditor && !onCharacter ? PhaseBit(PHASE_CLICK_WALK) : PhaseBit(phase, act);
        });
        if (!model.frameEditor || onCharacter || walking)
            return Resync();
        model.StoreShown();
        model.controls.x = std::to_string(at.x);
        model.controls.y = std::to_string(at.y);
        model.PutFrame(model.shown, at.x, at.y, Get32(model.frames[(size_t)model.shown], 8),
                       Get32(model.frames[(size_t)model.shown], 12), Get32(model.frames[(size_t)model.shown], 16),
                       TextOf(model.frames[(size_t)model.shown]));
    }

    void TypeIntoControls()
    {
        static const char *const numbers[] = { "", "0", "1", "2", "3", "-3", "25", "300", "2000", "-500", "x7", "-150", "487" };
        static const char *const texts[] = { "", "Hello there!", "Over here", "PBF:bell.wav", "pbr:drum.WAV",
                                             "A line long enough to meet the limit of the text box, and then some more" };
        const int which = Pick(7);
        HWND dialog = Dialog();
        if (which <= 2) {
            const int id = which == 0 ? IDC_FRAMEX : which == 1 ? IDC_FRAMEY : IDC_FRAMESECONDS;
            const std::string value = numbers[Pick(13)];
            Note("type \"" + value + "\" into box " + std::to_string(id));
            OnUi([&] { SetDlgItemTextA(dialog, id, value.c_str()); });
            (which == 0 ? model.controls.x : which == 1 ? model.controls.y : model.controls.seconds) = value;
        } else if (which == 3) {
            Note("wink box");
            OnUi([&] { SendDlgItemMessageA(dialog, IDC_FRAMEWINK, BM_CLICK, 0, 0); });
            model.controls.wink = !model.controls.wink;
            model.modified = true;
        } else if (which == 4) {
            const int pose = Pick(16);
            Note("pose " + std::to_string(pose));
            OnUi([&] { SendDlgItemMessageA(dialog, IDC_POSELIST, LB_SETTOPINDEX, (WPARAM)pose, 0); });
            model.controls.pose = pose;
        } else if (which == 5) {
            const std::string text = texts[Pick(6)];
            Note("text mode, \"" + text + "\"");
            OnUi([&] { SendDlgItemMessageA(dialog, IDC_TEXTMODE, BM_CLICK, 0, 0); SetDlgItemTextA(dialog, IDC_FRAMETEXT, text.c_str()); });
            model.controls.sound = false;
            model.controls.text = text;
        } else {
            const std::string wav = Chance(50) ? "bell.wav" : "drum.wav";
            Note("sound mode, " + wav);
            OnUi([&] {
                SendDlgItemMessageA(dialog, IDC_SOUNDMODE, BM_CLICK, 0, 0);
                SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)wav.c_str());
            });
            model.controls.sound = true;
            model.controls.wav = wav;
        }
    }

    void ChooseFrame()
    {
        const int index = Pick((int)model.frames.size());
        Note("frame number " + std::to_string(index + 1));
        HWND dialog = Dialog();
        OnUi([&] {
            SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_SETCURSEL, (WPARAM)index, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_FRAMENUMBER, CBN_SELCHANGE),
                         (LPARAM)GetDlgItem(dialog, IDC_FRAMENUMBER));
        });
        if (index != model.shown)
            model.ShowFrame(index);
    }

    void FrameCommand()
    {
        const int which = Pick(4);
        HWND dialog = Dialog();
        const size_t count = model.frames.size();
        if (which == 0) {
            Note("Frame Save");
            if (Chance(50))
                Post(dialog, IDC_FRAMESTORE, GetDlgItem(dialog, IDC_FRAMESTORE));
            else
                Post(dialog, IDM_FRAMESAVE);
            model.StoreShown();
        } else if (which == 1 || which == 2) {
            const bool insert = which == 2;
            Note(insert ? "Insert" : "New frame");
            Post(dialog, insert ? IDM_FRAMEINSERT : IDC_FRAMEAPPEND);
            if (count > 250) {
                Answer(Expect("Error", "a 252nd frame"), IDOK);
                return;
            }
            const int at = insert ? model.shown : (int)count;
            model.frames.insert(model.frames.begin() + at, std::string(92, '\0'));
            model.ShowFrame(at);
            model.modified = true;
        } else {
            Note("Delete");
            Post(dialog, IDM_FRAMEDELETE);
            if (count == 1) {
                Answer(Expect("Error", "deleting the only frame"), IDOK);
                return;
            }
            model.frames.erase(model.frames.begin() + model.shown);
            model.ShowFrame(model.shown < (int)count - 1 ? model.shown : (int)count - 2);
            model.modified = true;
        }
    }

    void FileNew()
    {
        Note("File New");
        Post(Dialog(), IDM_FILENEW);
        if (SaveQuestion("File New")) {
            model.NewToon();
            model.ResetPlay();
        }
    }

    void FileOpen(bool inFrameEditor)
    {
        Note(inFrameEditor ? "File Open" : "Ctrl+O in the main window");
        if (inFrameEditor) {
            Post(Dialog(), IDM_FILEOPEN);
            if (!SaveQuestion("Open"))
                return;
        } else {
            const bool enabled = Enabled(editorUi.fileButton);
            SetActive(editorFrame.mainWindow);
            Keys({ VK_CONTROL, 'O' });
            if (!enabled)
                return ExpectNoBox("Ctrl+O with File disabled");
            // The main window's Open takes the stage before its dialog; until
            // a toon is read the one on hand stays, its name and flag too.
            model.TakeEntrance();
        }
        Box open = Expect("Open Toon File", "Open");
        if (!fault.empty())
            return;
        std::vector<std::string> files;
        for (const auto &file : model.disk)
            files.push_back(file.first);
        const int pick = Pick((int)files.size() + 2);
        if (pick == (int)files.size()) {
            Note("open dialog: Cancel");
            return Answer(open, IDCANCEL);
        }
        const std::string path = pick < (int)files.size() ? files[(size_t)pick] : top + "missing.ptf";
        Note("open dialog: " + path);
        TypeName(open, path);
        const std::string bytes = model.disk.count(path) ? model.disk[path] : std::string();
        if (bytes.size() < 104 + 92) {
            // Nothing to read: the user is told, and keeps the toon he had.
            Box said = WaitBox();
            if (!said.window)
                return Fault("Open of " + path + " said nothing");
            return Answer(said, IDOK);
        }
        model.Read(path);
        model.TakeEntrance();
        model.ResetPlay();
        ExpectNoBox("Open of a whole toon");
        // Play is enabled now, the frame editor open or not.
        if (inFrameEditor && Chance(50))
            PlayButton();
    }

    void FileSave()
    {
        Note("Ctrl+S");
        SetActive(Dialog());
        Keys({ VK_CONTROL, 'S' });
        if (model.fileName.empty())
            return SaveAsDialog();
        if (model.modified)
            model.Write();
    }

    void SaveAsDialog()
    {
        Box save = Expect("Save Toon File", "Save As");
        if (!fault.empty())
            return;
        if (Chance(15)) {
            Note("save dialog: Cancel");
            return Answer(save, IDCANCEL);
        }
        std::string path = FreshName(SomeDirectory());
        if (Chance(35) && !model.disk.empty()) {
            auto it = model.disk.begin();
            std::advance(it, Pick((int)model.disk.size()));
            path = it->first;
        }
        Note("save dialog: " + path);
        TypeName(save, path);
        if (model.disk.count(Lower(path))) {
            Box warning = Expect("Warning", "Save As onto " + path);
            if (!fault.empty())
                return;
            if (Chance(40)) {
                Note("overwrite: No");
                return Answer(warning, IDNO);
            }
            Note("overwrite: Yes");
            Answer(warning, IDYES);
        }
        model.fileName = path;
        model.Write();
    }

    void Configure()
    {
        Note("Ctrl+G");
        SetActive(Dialog());
        Keys({ VK_CONTROL, 'G' });
        Box box = Expect("configure", "Ctrl+G");
        if (!fault.empty())
            return;
        static const char *const captions[] = { "", "Short", "A caption of exactly forty-nine characters, yes!!" };
        const std::string caption = captions[Pick(3)];
        const int background = Pick(10), speed = 1 + Pick(5);
        const bool ok = Chance(70);
        Note("configure: \"" + caption + "\", background " + std::to_string(background + 1) + ", speed " +
             std::to_string(speed) + (ok ? ", OK" : ", Cancel"));
        OnUi([&] {
            SetDlgItemTextA(box.window, IDC_CFGCAPTION, caption.c_str());
            SendDlgItemMessageA(box.window, IDC_CFGBACKGROUND, CB_SETCURSEL, (WPARAM)background, 0);
            SetScrollPos(GetDlgItem(box.window, IDC_CFGSPEED), SB_CTL, speed, TRUE);
        });
        Answer(box, ok ? IDOK : IDCANCEL);
        if (!ok)
            return;
        const std::string stored = caption.substr(0, 48);
        memset(&model.header[36], 0, 52);
        memcpy(&model.header[36], stored.c_str(), stored.size());
        Put32(model.header, 96, speed);
        Put32(model.header, 100, background + 1);
        model.caption = stored;
        model.modified = true;
    }

    void ExitFrameEditor()
    {
        const int how = Pick(3);
        Note(how == 0 ? "Ctrl+E" : how == 1 ? "File Exit" : "the frame editor's close box");
        if (how == 0) {
            SetActive(Dialog());
            Keys({ VK_CONTROL, 'E' });
        } else if (how == 1) {
            Post(Dialog(), IDM_FILEEXIT);
        } else {
            PostMessageA(Dialog(), WM_CLOSE, 0, 0);
            Settle();
        }
        const bool wasModified = model.modified;
        if (!SaveQuestion("Exit"))
            return;
        if (wasModified && model.modified && !model.fileName.empty())
            model.Read(model.fileName);
        model.frameEditor = false;
        model.ResetPlay();
    }

    /* Actions on the main window and the dialog */

    void SetActive(HWND window)
    {
        OnUi([&] {
            if (IsWindow(window) && IsWindowEnabled(window))
                SetForegroundWindow(window);
        });
        Settle();
    }

    void ActivateSomething()
    {
        HWND windows[] = { ConfigDialog(), editorFrame.mainWindow, frameEditorDialog };
        HWND window = windows[Pick(3)];
        if (!window)
            return;
        Note(window == ConfigDialog() ? "activate the dialog" : window == frameEditorDialog ? "activate the frame editor" : "activate the editor");
        SetActive(window);
    }

    bool Enabled(HWND window)
    {
        bool enabled = false;
        OnUi([&] { enabled = IsWindow(window) && IsWindowEnabled(window); });
        return enabled;
    }

    // One of the main window's buttons, clicked or by its key; true when it
    // takes it. With the frame editor open the keys are the frame editor's.
    bool PressButton(HWND button, bool click, WORD key)
    {
        const bool enabled = Enabled(button);
        if (click && enabled)
            Post(editorFrame.mainWindow, 0, button);
        else if (!click) {
            SetActive(editorFrame.mainWindow);
            Keys({ VK_MENU, key });
        }
        return enabled && (click || !model.frameEditor);
    }

    void PlayButton()
    {
        const int how = Pick(3);
        Note(how == 0 ? "Play button" : how == 1 ? "Alt+P" : "Alt+C");
        if (!PressButton(editorUi.playButton, how == 0, how == 1 ? 'P' : 'C'))
            return;
        model.Apply(Toggled);
    }

    // A random act, from ready, where no frame's points are picked.
    void ActionButton()
    {
        Note("the action button");
        if (!PressButton(editorUi.actionButton, Chance(50), 'W') || model.frameEditor)
            return;
        model.Apply([](int phase, int act) {
            return phase == PHASE_READY || phase == PHASE_ENTRANCE_DUE ? PhaseBit(PHASE_WALKING, 1) : PhaseBit(phase, act);
        });
    }

    void OpenFrameEditor()
    {
        Note("Ctrl+E in the main window");
        const bool enabled = Enabled(editorUi.fileButton);
        SetActive(editorFrame.mainWindow);
        Keys({ VK_CONTROL, 'E' });
        if (!enabled)
            return;
        if (!frameEditorDialog)
            return Fault("Ctrl+E with File enabled opened no frame editor");
        model.frameEditor = true;
        if (model.fileName.empty() || model.frames.empty())
            model.NewToon();
        int selected = -1;
        OnUi([&] { selected = (int)SendDlgItemMessageA(frameEditorDialog, IDC_FRAMENUMBER, CB_GETCURSEL, 0, 0); });
        if (selected < 0 || selected >= (int)model.frames.size())
            return Fault("the frame editor opened at frame " + std::to_string(selected + 1));
        model.ShowFrame(selected);
        model.modified = false;
    }

    void CloseEditor()
    {
        Note("the editor's close button");
        Post(editorFrame.mainWindow, 0, editorUi.closeButton);
        if (model.frameEditor && !SaveQuestion("closing the editor"))
            return;
        model.editor = model.frameEditor = false;
    }

    // Edit Toon Files brings an open editor forward. OK and Cancel ask about
    // unsaved frames and keep both windows on Cancel (the run goes on only
    // then); over a box of the frame editor nothing asks and nothing closes.
    // Play Toon File plays beside the editor and its unsaved frames.
    void DialogButton()
    {
        const bool askable = model.frameEditor && model.modified;
        const int roll = Pick(10);
        int id = !askable || roll < 2 ? IDC_EDITTOONS : roll < 4 ? IDOK : roll < 6 ? IDCANCEL : IDC_PLAYTOON;
        if (id == IDC_PLAYTOON && !SelectWholeToon())
            id = IDC_EDITTOONS;
        const std::string name = id == IDOK ? "OK" : id == IDCANCEL ? "Cancel" : id == IDC_PLAYTOON ? "Play Toon File" : "Edit Toon Files";
        Box configure;
        if (model.frameEditor && Chance(30)) {
            SetActive(Dialog());
            Keys({ VK_CONTROL, 'G' });
            configure = Expect("configure", "Ctrl+G");
            if (!fault.empty())
                return;
        }
        Note(name + " in the dialog" + (configure.window ? " over the Configure box" : ""));
        const HWND main = editorFrame.mainWindow;
        Post(ConfigDialog(), id);
        if (id == IDC_PLAYTOON)
            WatchPlayer();
        if (configure.window || id == IDC_PLAYTOON) {
            Wait(50);
            for (const Box &box : Boxes())
                if (box.caption == "Pimbo Toon Frame File")
                    return Fault(name + " asked the save question");
            if (configure.window)
                Answer(configure, IDCANCEL);
        } else if (id != IDC_EDITTOONS) {
            Box box = Expect("Pimbo Toon Frame File", name + " over unsaved frames");
            if (!fault.empty())
                return;
            Note("save question: Cancel");
            Answer(box, IDCANCEL);
        } else if (!model.editor) {
            DWORD start = GetTickCount();
            while (!editorFrame.mainWindow && GetTickCount() - start < 3000)
                Wait(20);
            return model.EditorStarted();
        } else {
            ExpectNoBox("Edit Toon Files with the editor open");
        }
        if (editorFrame.mainWindow != main || !ConfigDialog())
            Fault(name + " in the dialog closed the editor or the dialog");
    }

    // The player comes up over everything, plays the toon, and goes at a key.
    void WatchPlayer()
    {
        HWND player = NULL;
        bool whole = false, playing = false;
        for (DWORD start = GetTickCount(); !playing && fault.empty() && GetTickCount() - start < 8000;) {
            Wait(50);
            OnUi([&] {
                player = FindWindowA("SaverWndClass", NULL);
                RECT box = { 0, 0, 0, 0 };
                whole = GetWindowRect(player, &box) && box.left == 0 && box.top == 0 &&
                        box.right == GetSystemMetrics(SM_CXSCREEN) && box.bottom == GetSystemMetrics(SM_CYSCREEN);
                playing = StageOf(player) && ToonRunning(StageOf(player));
            });
        }
        if (!whole || !playing)
            return Fault(std::string("the player ") + (!player ? "did not open" : !whole ? "is not full screen" : "does not play"));
        Note("a key in the player");
        SetActive(player);
        Keys({ VK_SPACE });
        for (DWORD start = GetTickCount(); IsWindow(player) && GetTickCount() - start < 3000;)
            Wait(20);
        if (IsWindow(player))
            Fault("a key left the player open");
    }

    // An entry of the dialog's toon list, selected.
    bool SelectListEntry(const std::string &entry)
    {
        bool found = false;
        OnUi([&] {
            LRESULT at = SendDlgItemMessageA(ConfigDialog(), IDC_TOONLIST, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)entry.c_str());
            found = at != LB_ERR && SendDlgItemMessageA(ConfigDialog(), IDC_TOONLIST, LB_SETCURSEL, (WPARAM)at, 0) != LB_ERR;
        });
        return found;
    }

    // A toon with frames in the dialog's directory, as its list shows it.
    bool SelectWholeToon()
    {
        for (const auto &file : model.disk) {
            const std::string &path = file.first;
            if (file.second.size() >= 104 + 92 && path.compare(0, model.directory.size(), model.directory) == 0 &&
                path.find('\\', model.directory.size()) == std::string::npos && SelectListEntry(path.substr(model.directory.size())))
                return true;
        }
        return false;
    }

    void ChangeDirectory()
    {
        const bool down = Lower(model.directory) == Lower(top);
        const std::string entry = down ? "[more]" : "[..]";
        Note("toon list: " + entry);
        HWND dialog = ConfigDialog();
        if (!SelectListEntry(entry))
            return Fault("the toon list has no " + entry);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_TOONLIST, LBN_DBLCLK), (LPARAM)GetDlgItem(dialog, IDC_TOONLIST));
        Settle();
        model.directory = Lower(down ? sub : top);
    }

    // Where the model cannot tell what the program did (a click that may have
    // hit the character), it takes over what the program shows.
    void Resync()
    {
        OnUi([&] {
            model.editor = editorFrame.mainWindow != NULL;
            model.frameEditor = frameEditorDialog != NULL;
            if (!model.frameEditor || !toon.frames)
                return;
            model.frames.clear();
            const char *bytes = (const char *)GlobalLock(toon.frames);
            for (int i = 0; bytes && i < toon.frameCount; ++i)
                model.frames.push_back(std::string(bytes + 92 * i, 92));
            GlobalUnlock(toon.frames);
            model.modified = toon.modified != 0;
            int selected = (int)SendDlgItemMessageA(frameEditorDialog, IDC_FRAMENUMBER, CB_GETCURSEL, 0, 0);
            if (selected >= 0 && selected < (int)model.frames.size() && selected != model.shown)
                model.ShowFrame(selected);
            model.controls.x = testing::ItemText(frameEditorDialog, IDC_FRAMEX);
            model.controls.y = testing::ItemText(frameEditorDialog, IDC_FRAMEY);
        });
    }

    /* One step */

    void Act()
    {
        if (!model.editor) {
            if (Chance(15))
                return ChangeDirectory();
            return DialogButton();
        }
        // The moments that go wrong most: Play during a walk of another kind,
        // and a frame chosen while the toon plays; a toon needs time to end.
        // A walk that no toon frame asked for: the walk off, a walk to a click.
        const unsigned freeWalk = model.phases & (PhaseBit(PHASE_WALKING_OFF) | PhaseBit(PHASE_CLICK_WALK));
        const unsigned playing = model.phases & (PhaseBit(PHASE_WALKING) | PhaseBit(PHASE_WAITING) |
                                                 PhaseBit(PHASE_SPEAKING) | PhaseBit(PHASE_WALKING_OFF));
        const unsigned paused = model.phases & (PhaseBit(PHASE_STOPPED_WALK) | PhaseBit(PHASE_STOPPED_FRAME));
        if (freeWalk && Chance(60)) {
            const int which = Pick(3);
            return which == 0 ? PlayButton() : which == 1 ? ActionButton()
                 : model.frameEditor ? ExitFrameEditor() : OpenFrameEditor();
        }
        if (playing && model.frameEditor && Chance(30))
            return ChooseFrame();
        if (paused && Chance(40))
            return PlayButton();
        if (playing && Chance(60)) {
            Note("wait for the toon");
            return Wait(500 + (DWORD)Pick(2500));
        }
        const int roll = Pick(100);
        if (!model.frameEditor) {
            if (roll < 18) return OpenFrameEditor();
            if (roll < 38) return PlayButton();
            if (roll < 46) return ActionButton();
            if (roll < 54) {
                FileOpen(false);
                if (Chance(50)) {
                    ActivateSomething();
                    PlayButton();
                }
                return;
            }
            if (roll < 62) return ClickStage();
            if (roll < 74) return ActivateSomething();
            if (roll < 76) return CloseEditor();
            if (roll < 78) return DialogButton();
            if (roll < 80) return ChangeDirectory();
            Note("wait");
            return Wait(200 + (DWORD)Pick(1500));
        }
        // Unsaved frames meet the dialog's buttons.
        if (model.modified && roll < 5) return DialogButton();
        if (roll < 12) return ClickStage();
        if (roll < 30) return TypeIntoControls();
        if (roll < 46) return FrameCommand();
        if (roll < 52) return ChooseFrame();
        if (roll < 55) return FileNew();
        if (roll < 60) return FileOpen(true);
        if (roll < 66) return FileSave();
        if (roll < 69) {
            Note("Save As");
            Post(Dialog(), IDM_FILESAVEAS);
            return SaveAsDialog();
        }
        if (roll < 72) return Configure();
        if (roll < 77) return ExitFrameEditor();
        if (roll < 82) return PlayButton();
        if (roll < 84) return ActionButton();
        if (roll < 88) return ActivateSomething();
        if (roll < 89) return CloseEditor();
        if (roll < 90) return DialogButton();
        if (roll < 91) return ChangeDirectory();
        Note("wait");
        Wait(100 + (DWORD)Pick(800));
    }

    /* What must hold after every step */

    static std::string Describe(const std::string &bytes, size_t at)
    {
        if (at < 104 || bytes.size() < 104)
            return bytes.size() < 104 ? std::to_string(bytes.size()) + " bytes"
                                      : "caption \"" + std::string(bytes.c_str() + 36, strnlen(bytes.c_str() + 36, 52)) +
                                            "\" size " + std::to_string(Get32(bytes, 88)) + " speed " +
                                            std::to_string(Get32(bytes, 96)) + " background " + std::to_string(Get32(bytes, 100));
        const size_t frame = 104 + (at - 104) / 92 * 92;
        if (frame + 92 > bytes.size())
            return "no frame " + std::to_string((at - 104) / 92 + 1);
        const std::string f = bytes.substr(frame, 92);
        return "frame " + std::to_string((at - 104) / 92 + 1) + " x " + std::to_string(Get32(f, 0)) + " y " +
               std::to_string(Get32(f, 4)) + " pose " + std::to_string(Get32(f, 8)) + " pause " +
               std::to_string(Get32(f, 12)) + " wink " + std::to_string(Get32(f, 16)) + " \"" + TextOf(f) + "\"";
    }

    void CheckFiles()
    {
        for (const auto &file : model.disk) {
            const std::string bytes = testing::ReadFileBytes(file.first);
            if (bytes == file.second)
                continue;
            size_t at = 0;
            while (at < bytes.size() && at < file.second.size() && bytes[at] == file.second[at])
                ++at;
            return Fault(file.first + " holds " + std::to_string(bytes.size()) + " bytes (" + Describe(bytes, at) +
                         "), the model " + std::to_string(file.second.size()) + " (" + Describe(file.second, at) +
                         "); first difference at byte " + std::to_string(at));
        }
    }

    void CheckProgram()
    {
        std::string problem;
        OnUi([&] {
            char directory[MAX_PATH] = "";
            GetCurrentDirectoryA(sizeof directory, directory);
            if (directory != working || Lower(settings.directory) != model.directory)
                problem = "the toon list shows " + model.directory + "; the process works in " + directory +
                          " and the setting is " + settings.directory;
            const Stage *stage = TheStage();
            if (!problem.empty() || !editorFrame.mainWindow || !editorUi.playButton || !stage)
                return;
            char label[32] = "";
            GetWindowTextA(editorUi.playButton, label, sizeof label);
            static const char *const labels[] = { "&Play", "&Continue", "&Stop" };
            const bool stop = strcmp(label, "&Stop") == 0;
            if (strcmp(label, labels[PlayStateOf(stage)]) != 0)
                problem = std::string("the Play button reads ") + label + " in phase " + std::to_string(stage->phase);
            // The phase the model predicted, or one that time has moved it on to.
            const unsigned seen = PhaseBit(stage->phase, stage->act);
            if (!(model.Later() & seen))
                problem = "the stage is in " + PhaseNames(seen) + ", the model predicted " + PhaseNames(model.phases);
            model.phases = seen;
            // Standing at a frame of the toon: he is where the walk there
            // ended, short of the frame's point by no more than the walk's
            // own remainder.
            const WalkPath &walk = stage->walk;
            const SpritePlace &character = stage->character;
            if (stop && !stage->act && (stage->phase == PHASE_WAITING || stage->phase == PHASE_SPEAKING)) {
                LONG x = OffsetCoordinate(stage->toonFrame.x, -(character.width / 2));
                LONG y = OffsetCoordinate(stage->toonFrame.y, -(character.height / 2));
                ScaleToonPoint(&toon, editorFrame.stageWindow, &x, &y);
                const WalkStep &last = walk.steps[walk.stepCount];
                if (labs(character.x - x) > labs(last.x - x) || labs(character.y - y) > labs(last.y - y))
                    problem = "standing at frame " + std::to_string(stage->frameShown + 1) + " at " +
                              std::to_string(character.x) + "," + std::to_string(character.y) + ", the frame says " +
                              std::to_string(x) + "," + std::to_string(y) + "; last walk " + std::to_string(walk.steps[0].x) +
                              "," + std::to_string(walk.steps[0].y) + " to " + std::to_string(last.x) + "," +
                              std::to_string(last.y) + " in " + std::to_string(walk.stepCount);
            }
            const std::string state = std::string(label) + std::to_string(stage->nextFrameIndex) + "/" +
                                      std::to_string(walk.stepIndex) + std::to_string(walk.timerRunning);
            if (!stop || state != lastPlayState)
                lastProgress = GetTickCount();
            lastPlayState = state;
            if (GetTickCount() - lastProgress > StuckMs)
                problem = "the toon has stood still for " + std::to_string(StuckMs / 1000) + " s with the button at &Stop (" +
                          state + ", phase " + std::to_string(stage->phase) + ", frame " +
                          std::to_string(stage->frameShown + 1) + " of " + std::to_string(toon.frameCount) + ")";
            if (frameEditorDialog && !stop && !walk.timerRunning && !stage->act &&
                (HCURSOR)GetClassLongPtrA(editorFrame.stageWindow, GCLP_HCURSOR) != editorUi.targetCursor)
                problem = std::string("the frame editor is open but the stage shows no target (Play reads ") + label + ")";
        });
        if (!problem.empty())
            return Fault(problem);
        if (!Boxes().empty())
            return;
        if (model.editor != (editorFrame.mainWindow != NULL) || model.frameEditor != (frameEditorDialog != NULL))
            return Fault(std::string("the editor is ") + (editorFrame.mainWindow ? "open" : "closed") + " and the frame editor " +
                         (frameEditorDialog ? "open" : "closed") + ", unlike the model");
        if (!model.frameEditor)
            return;
        OnUi([&] {
            HWND dialog = frameEditorDialog;
            const int selected = (int)SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_GETCURSEL, 0, 0);
            const int listed = (int)SendDlgItemMessageA(dialog, IDC_FRAMENUMBER, CB_GETCOUNT, 0, 0);
            Controls shown;
            shown.x = testing::ItemText(dialog, IDC_FRAMEX);
            shown.y = testing::ItemText(dialog, IDC_FRAMEY);
            shown.seconds = testing::ItemText(dialog, IDC_FRAMESECONDS);
            shown.wink = IsDlgButtonChecked(dialog, IDC_FRAMEWINK) == BST_CHECKED;
            shown.pose = (int)SendDlgItemMessageA(dialog, IDC_POSELIST, LB_GETTOPINDEX, 0, 0);
            shown.sound = IsDlgButtonChecked(dialog, IDC_SOUNDMODE) == BST_CHECKED;
            std::vector<char> text(300, '\0');
            GetDlgItemTextA(dialog, IDC_FRAMETEXT, text.data(), (int)text.size());
            shown.text = text.data();
            LRESULT sound = SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_GETCURSEL, 0, 0);
            if (sound != LB_ERR)
                SendDlgItemMessageA(dialog, IDC_SOUNDLIST, LB_GETTEXT, (WPARAM)sound, (LPARAM)text.data());
            shown.wav = sound != LB_ERR ? text.data() : "";
            if (listed != (int)model.frames.size() || toon.frameCount != (int)model.frames.size())
                problem = "the toon has " + std::to_string(toon.frameCount) + " frames and the number box lists " +
                          std::to_string(listed) + ", the model " + std::to_string(model.frames.size());
            else if (selected != model.shown)
                problem = "the number box shows frame " + std::to_string(selected + 1) + ", the model " + std::to_string(model.shown + 1);
            else if (!(shown == model.controls))
                problem = "frame " + std::to_string(selected + 1) + " shows x " + shown.x + " y " + shown.y + " seconds " +
                          shown.seconds + " pose " + std::to_string(shown.pose) + " text \"" + shown.text + "\" wav " +
                          shown.wav + "; the model x " + model.controls.x + " y " + model.controls.y + " seconds " +
                          model.controls.seconds + " pose " + std::to_string(model.controls.pose) + " text \"" +
                          model.controls.text + "\" wav " + model.controls.wav;
            else if (toon.frames) {
                const char *bytes = (const char *)GlobalLock(toon.frames);
                for (int i = 0; bytes && problem.empty() && i < toon.frameCount; ++i)
                    if (std::string(bytes + 92 * i, 92) != model.frames[(size_t)i])
                        problem = "frame " + std::to_string(i + 1) + " in memory differs from the model";
                GlobalUnlock(toon.frames);
            }
        });
        if (!problem.empty())
            Fault(problem);
    }

    // GDI objects by headroom (the counts are not kept under Wine) and
    // windows by class, each against the first reading in the same state
    // once the first dialogs have made what they keep for good.
    void CheckObjects(bool gdi)
    {
        const std::string state = std::to_string(model.editor) + std::to_string(model.frameEditor);
        std::map<std::string, int> windows;
        int headroom = 0;
        OnUi([&] {
            EnumWindows(CountThreadWindows, (LPARAM)&windows);
            if (gdi)
                headroom = testing::GdiHeadroom();
        });
        if (step < WarmUpSteps || !Boxes().empty())
            return;
        if (!windowBase.count(state))
            windowBase[state] = windows;
        for (const auto &kind : windows)
            if (kind.second > windowBase[state][kind.first] + WindowSlack)
                return Fault(std::to_string(kind.second) + " windows of class " + kind.first + ", " +
                             std::to_string(windowBase[state][kind.first]) + " at first");
        if (!gdi)
            return;
        if (!gdiBase.count(state))
            gdiBase[state] = headroom;
        else if (headroom < gdiBase[state] - GdiSlack)
            Fault("GDI headroom " + std::to_string(headroom) + ", " + std::to_string(gdiBase[state]) + " at first");
    }

    void Run()
    {
        DWORD start = GetTickCount();
        while (!ConfigDialog() && GetTickCount() - start < 20000)
            Sleep(20);
        model.directory = Lower(top);
        char directory[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof directory, directory);
        working = directory;
        lastProgress = GetTickCount();
        for (step = 1; step <= steps && fault.empty(); ++step) {
            Act();
            if (!fault.empty())
                break;
            CheckFiles();
            CheckProgram();
            CheckObjects(step % 50 == 0);
        }
    }

    void EndEverything()
    {
        OnUi([] {
            toon.modified = 0;
            if (HWND player = FindWindowA("SaverWndClass", NULL))
                DestroyWindow(player);
            testing::EndEverything();
        });
    }
};

Exerciser *running;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS *info)
{
    if (running) {
        char what[64];
        snprintf(what, sizeof what, "the program crashed (exception 0x%08lx)", (unsigned long)info->ExceptionRecord->ExceptionCode);
        running->Fault(what);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI DriverThread(void *parameter)
{
    Exerciser *exerciser = (Exerciser *)parameter;
    exerciser->Run();
    exerciser->EndEverything();
    return 0;
}

unsigned EnvNumber(const char *name, unsigned fallback)
{
    const char *value = getenv(name);
    return value && *value ? (unsigned)strtoul(value, NULL, 10) : fallback;
}

std::string CleanDirectory(const std::string &path)
{
    CreateDirectoryA(path.c_str(), NULL);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((path + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return path;
}

}  // namespace

TEST_CASE("a restless user, drawn from a seed, never loses what the editor saved")
{
    Exerciser exerciser;
    exerciser.seed = EnvNumber("PIMBO_EXERCISE_SEED", 18);
    exerciser.steps = (int)EnvNumber("PIMBO_EXERCISE_STEPS", 300);
    exerciser.random.seed(exerciser.seed);
    MESSAGE("seed " << exerciser.seed << ", " << exerciser.steps << " steps");

    exerciser.top = Lower(testing::TempDirectory("Exerciser"));
    exerciser.sub = exerciser.top + "more\\";
    for (const std::string &directory : { exerciser.top, exerciser.sub }) {
        CleanDirectory(directory);
        for (const char *wav : { "bell.wav", "drum.wav" }) {
            CHECK(testing::WriteFileBytes(directory + wav, "RIFF"));
            SetFileAttributesA((directory + wav).c_str(), FILE_ATTRIBUTE_ARCHIVE);
        }
    }
    // A whole toon each, and two too short to hold a frame.
    const std::string three = testing::ToonBytes({ { 200, 300 }, { 600, 250 }, { 400, 500 } }, 1);
    std::string headerOnly = three.substr(0, 150);
    for (const auto &file : std::map<std::string, std::string>{ { exerciser.top + "three.ptf", three },
                                                                 { exerciser.sub + "two.ptf", testing::ToonBytes({ { 100, 100 }, { 800, 400 } }, 2) },
                                                                 { exerciser.top + "short.ptf", three.substr(0, 60) },
                                                                 { exerciser.top + "header.ptf", headerOnly } }) {
        CHECK(testing::WriteFileBytes(file.first, file.second));
        exerciser.model.disk[file.first] = file.second;
    }
    CHECK(testing::PutIni("Directory=" + exerciser.top + "\r\n"));

    uiThread = GetCurrentThreadId();
    helper = CreateWindowExA(0, "STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    SetWindowLongPtrA(helper, GWLP_WNDPROC, (LONG_PTR)HelperProc);
    inputHook = SetWindowsHookExA(WH_GETMESSAGE, InputHook, NULL, uiThread);
    activationHook = SetWindowsHookExA(WH_CALLWNDPROC, ActivationHook, NULL, uiThread);
    testing::BoxCatcher catcher([](HWND, const testing::CaughtBox &) { return 0; });
    exerciser.catcher = &catcher;
    running = &exerciser;
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(ReportCrash);
    HANDLE driver = CreateThread(NULL, 0, DriverThread, &exerciser, 0, NULL);
    const DWORD started = GetTickCount();
    DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_CONFIG), NULL, ConfigDialogProc, 0);
    // The dialog may end before the driver: it is left to finish its step.
    testing::PumpUntil([&] { return WaitForSingleObject(driver, 0) == WAIT_OBJECT_0; }, 30000);
    CloseHandle(driver);
    SetUnhandledExceptionFilter(previous);
    running = NULL;
    UnhookWindowsHookEx(inputHook);
    UnhookWindowsHookEx(activationHook);
    DestroyWindow(helper);
    MESSAGE((exerciser.step - 1) << " steps in " << (GetTickCount() - started) / 1000 << " s");
    CHECK_MESSAGE(exerciser.fault.empty(), "seed " << exerciser.seed << ", step " << exerciser.step << ": " << exerciser.fault);
}
