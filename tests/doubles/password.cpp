// dll: PASSWORD.CPL
// Stands in for the system's screen-saver password check. The test tells it
// through the environment what to answer and how long its prompt stays
// open, and reads back what happened from a log file:
//   PIMBO_PASSWORD_LOG      file that gets one line per event
//   PIMBO_PASSWORD_ANSWERS  '1' accepts, anything else refuses; one character per call
//   PIMBO_PASSWORD_PROMPT   milliseconds the prompt pumps messages before answering
//   PIMBO_PASSWORD_MOVE     "x,y": where the user leaves the mouse during the prompt
//   PIMBO_PASSWORD_BOX      "x,y,w,h": the prompt shows a white box there, owned by the
//                           window it is given; closing the box ends the prompt early
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static int calls;

// Read from the process's environment block, which the test may change
// after start-up, unlike the C library's copy.
static const char *Setting(const char *name, char *buffer, DWORD size)
{
    DWORD length = GetEnvironmentVariableA(name, buffer, size);
    return length > 0 && length < size ? buffer : NULL;
}

static void Log(const char *line)
{
    char buffer[MAX_PATH];
    const char *path = Setting("PIMBO_PASSWORD_LOG", buffer, sizeof buffer);
    if (!path)
        return;
    FILE *file = fopen(path, "ab");
    if (!file)
        return;
    fprintf(file, "%s\n", line);
    fclose(file);
}

static void PumpFor(DWORD milliseconds, HWND box)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds && (!box || IsWindow(box))) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage((int)msg.wParam);
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window)
{
    ++calls;
    char className[64] = "";
    char title[64] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    char line[256];
    snprintf(line, sizeof line, "call %d %s|%s", calls, className, title);
    Log(line);

    char buffer[64];
    const char *move = Setting("PIMBO_PASSWORD_MOVE", buffer, sizeof buffer);
    int x, y;
    if (move && sscanf(move, "%d,%d", &x, &y) == 2)
        SetCursorPos(x, y);
    HWND box = NULL;
    const char *place = Setting("PIMBO_PASSWORD_BOX", buffer, sizeof buffer);
    int width, height;
    if (place && sscanf(place, "%d,%d,%d,%d", &x, &y, &width, &height) == 4)
        box = CreateWindowExA(0, "STATIC", "Password", WS_POPUP | WS_VISIBLE | SS_WHITERECT | SS_NOTIFY, x, y, width, height,
                              window, NULL, GetModuleHandleA(NULL), NULL);
    const char *prompt = Setting("PIMBO_PASSWORD_PROMPT", buffer, sizeof buffer);
    PumpFor(prompt ? (DWORD)atoi(prompt) : 0, box);
    if (box && IsWindow(box))
        DestroyWindow(box);

    const char *answers = Setting("PIMBO_PASSWORD_ANSWERS", buffer, sizeof buffer);
    BOOL accepted = answers && (int)strlen(answers) >= calls && answers[calls - 1] == '1';
    // A real prompt leaves the pointer showing when it goes away.
    SetCursor(LoadCursor(NULL, IDC_ARROW));
    snprintf(line, sizeof line, "answer %d %d", calls, accepted ? 1 : 0);
    Log(line);
    return accepted;
}
