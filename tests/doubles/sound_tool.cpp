// exe: sound-tool.exe
// Stands in for the system's sound recorder and volume control, which the
// tests copy it over. Each start appends one line "name|working directory"
// to the file named by PIMBO_TOOL_LOG, then the program ends.
#include <windows.h>
#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char log[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PIMBO_TOOL_LOG", log, sizeof log);
    if (length == 0 || length >= sizeof log)
        return 1;
    char module[MAX_PATH] = "";
    char directory[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, sizeof module);
    GetCurrentDirectoryA(sizeof directory, directory);
    const char *name = strrchr(module, '\\');
    FILE *file = fopen(log, "ab");
    if (!file)
        return 1;
    fprintf(file, "%s|%s\n", name ? name + 1 : module, directory);
    fclose(file);
    return 0;
}
