#include "support/password.h"

#include "support/support.h"

namespace testing {

static const char *const SETTINGS[] = { "PIMBO_PASSWORD_LOG", "PIMBO_PASSWORD_ANSWERS", "PIMBO_PASSWORD_PROMPT",
                                        "PIMBO_PASSWORD_MOVE", "PIMBO_PASSWORD_BOX" };

void SetUsePassword(const DWORD *value)
{
    HKEY desktop;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, NULL, 0, KEY_SET_VALUE, NULL, &desktop,
                        NULL) != ERROR_SUCCESS)
        return;
    if (value)
        RegSetValueExA(desktop, "ScreenSaveUsePassword", 0, REG_DWORD, (const BYTE *)value, sizeof *value);
    else
        RegDeleteValueA(desktop, "ScreenSaveUsePassword");
    RegCloseKey(desktop);
}

PasswordScene::PasswordScene(const DWORD *usePassword, bool libraryReachable, const char *answers,
                             const char *promptMs, const char *move, const char *box)
    : log(TempDirectory("pimbo-password") + "calls.log")
{
    SetUsePassword(usePassword);
    DeleteFileA(log.c_str());
    const char *values[] = { log.c_str(), answers, promptMs, move, box };
    for (size_t i = 0; i < sizeof SETTINGS / sizeof SETTINGS[0]; ++i)
        SetEnvironmentVariableA(SETTINGS[i], values[i]);
    GetCurrentDirectoryA(sizeof savedDirectory, savedDirectory);
    if (libraryReachable)
        SetCurrentDirectoryA(BinaryPath("doubles").c_str());
}

PasswordScene::~PasswordScene()
{
    SetCurrentDirectoryA(savedDirectory);
    const DWORD none = 0;
    SetUsePassword(&none);
    for (const char *setting : SETTINGS)
        SetEnvironmentVariableA(setting, NULL);
    DeleteFileA(log.c_str());
}

std::string PasswordScene::Log() const
{
    return ReadFileBytes(log);
}

int PasswordScene::Lines(const std::string &start) const
{
    const std::string text = Log();
    int count = 0;
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, start.size(), start) == 0)
            ++count;
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return count;
}

}  // namespace testing
