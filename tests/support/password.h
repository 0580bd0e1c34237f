// The stand-in password check, tests/doubles/password.cpp, told through the
// environment what to do.
#ifndef PIMBO_TESTS_PASSWORD_H
#define PIMBO_TESTS_PASSWORD_H

#include <windows.h>
#include <string>

namespace testing {

// The system's ScreenSaveUsePassword value; NULL removes it.
void SetUsePassword(const DWORD *value);

// Sets up one password scenario and takes it all down again, so that later
// tests see no password. The saver finds the library in its current
// directory: the doubles' folder while a reachable scene lives. answers: '1'
// accepts, anything else refuses, one a call; move "x,y": where the prompt
// leaves the mouse; box "x,y,w,h": a window it shows there.
struct PasswordScene {
    PasswordScene(const DWORD *usePassword, bool libraryReachable, const char *answers, const char *promptMs,
                  const char *move = NULL, const char *box = NULL);
    ~PasswordScene();
    std::string Log() const;
    int Lines(const std::string &start) const;   // of the log, that start so
    int Calls() const { return Lines("call "); }
    int Answers() const { return Lines("answer "); }

    std::string log;
    char savedDirectory[MAX_PATH] = "";
};

}  // namespace testing

#endif
