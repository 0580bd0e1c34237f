#include "show/settings.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define PACES_KEY        "Paces Walked"
#define PACES_TEXT_SIZE  20
#define NUMBER_TEXT_SIZE 16

SaverSettings settings = { 1, 1, 1, "", 0, 0 };

void EnsureTrailingBackslash(char *path, size_t size)
{
    if (!path || size == 0)
        return;
    size_t length = strnlen(path, size);
    if (length == size) {
        // Not terminated within its buffer: cut it rather than read on.
        path[size - 1] = '\0';
        length = size - 1;
    }
    if (length > 0 && path[length - 1] == '\\')
        return;
    // A full buffer keeps its path as it is: it still names the same
    // directory, while cutting a character to make room would not.
    if (length + 1 >= size)
        return;
    path[length] = '\\';
    path[length + 1] = '\0';
}

// Length of the decimal number at the start of text (sign, digits, point,
// exponent), 0 when there is none. Hex, "inf" and "nan" are not numbers here.
static size_t DecimalNumberLength(const char *text)
{
    size_t i = 0;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    size_t digits = 0;
    while (text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    if (text[i] == '.') {
        ++i;
        while (text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (text[i] == 'e' || text[i] == 'E') {
        size_t j = i + 1;
        if (text[j] == '+' || text[j] == '-')
            ++j;
        if (text[j] >= '0' && text[j] <= '9') {
            while (text[j] >= '0' && text[j] <= '9')
                ++j;
            i = j;
        }
    }
    return i;
}

// The text read as a decimal number, truncated toward zero, low 32 bits.
static LONG PacesFromText(const char *text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    size_t length = DecimalNumberLength(text);
    if (length == 0)
        return 0;
    char number[PACES_TEXT_SIZE];
    if (length >= sizeof number)
        length = sizeof number - 1;
    memcpy(number, text, length);
    number[length] = '\0';
    double value = trunc(strtod(number, NULL));
    if (!isfinite(value))
        return 0;
    // Exact for every double: what is left fits in 64 bits.
    value = fmod(value, 4294967296.0);
    return (LONG)(DWORD)(long long)value;
}

void ReadPacesWalked(void)
{
    char text[PACES_TEXT_SIZE];
    ZeroMemory(text, sizeof text);
    GetPrivateProfileStringA(INI_SECTION, PACES_KEY, "0", text, sizeof text, INI_FILE);
    text[sizeof text - 1] = '\0';
    settings.pacesWalked = PacesFromText(text);
}

int ReadSettings(void)
{
    char current[DIRECTORY_SIZE];
    ZeroMemory(current, sizeof current);
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current)
        current[0] = '\0';
    current[sizeof current - 1] = '\0';
    EnsureTrailingBackslash(current, sizeof current);

    ReadPacesWalked();
    settings.walkingStyle = (int)GetPrivateProfileIntA(INI_SECTION, "Walking Style",
                                                       settings.walkingStyle, INI_FILE);
    settings.statements = (int)GetPrivateProfileIntA(INI_SECTION, "Statements",
                                                     settings.statements, INI_FILE);
    settings.backgrounds = (int)GetPrivateProfileIntA(INI_SECTION, "Backgrounds",
                                                      settings.backgrounds, INI_FILE);
    GetPrivateProfileStringA(INI_SECTION, "Directory", current, settings.directory,
                             sizeof settings.directory, INI_FILE);
    settings.directory[sizeof settings.directory - 1] = '\0';
    EnsureTrailingBackslash(settings.directory, sizeof settings.directory);

    int result = SetCurrentDirectoryA(settings.directory) ? 0 : -1;
    settings.pendingStyle = settings.walkingStyle;
    return result;
}

void WriteSettingInt(const char *section, const char *key, unsigned value)
{
    char text[NUMBER_TEXT_SIZE];
    snprintf(text, sizeof text, "%u", value);
    WritePrivateProfileStringA(section, key, text, INI_FILE);
}

void WritePacesWalked(void)
{
    char text[NUMBER_TEXT_SIZE];
    snprintf(text, sizeof text, "%d", (int)settings.pacesWalked);
    WritePrivateProfileStringA(INI_SECTION, PACES_KEY, text, INI_FILE);
}

void WriteSettings(void)
{
    WriteSettingInt(INI_SECTION, "Walking Style", (unsigned)settings.walkingStyle);
    WriteSettingInt(INI_SECTION, "Statements", (unsigned)settings.statements);
    WriteSettingInt(INI_SECTION, "Backgrounds", (unsigned)settings.backgrounds);
    WritePrivateProfileStringA(INI_SECTION, "Directory", settings.directory, INI_FILE);
    WritePacesWalked();
}
