#include "support/gif_decode.h"
#include "support/support.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace testing {

std::string ScratchFolder(const std::string &name)
{
    const char *binary = getenv("PIMBO_BINARY_DIR");
    std::string folder = std::string(binary ? binary : "/tmp") + "/" + name;
    CreateDirectoryA(WinPath(folder).c_str(), NULL);
    return folder;
}

// Wine starts a Linux program without a process to wait for, so the shell
// leaves a mark once the command is done.
std::string RunTool(const std::string &command)
{
    const std::string output = ScratchFolder("gif-test") + "/tool-output.txt", mark = output + ".done";
    DeleteFileA(WinPath(mark).c_str());
    std::string line = "/bin/sh -c \"" + command + " >'" + output + "' 2>&1; touch '" + mark + "'\"";
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &start, &process))
        return "";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int waited = 0; waited < 60000 && GetFileAttributesA(WinPath(mark).c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += 20)
        Sleep(20);
    return ReadFileBytes(WinPath(output));
}

std::vector<DecodedFrame> ListGifFrames(const std::string &gif)
{
    std::string listing = RunTool("/usr/bin/identify -format '%T %w %h %X %Y\\n' '" + gif + "'");
    std::vector<DecodedFrame> frames;
    DecodedFrame frame;
    for (const char *at = listing.c_str(); at && sscanf(at, "%d %d %d %d %d", &frame.hundredths, &frame.width,
                                                        &frame.height, &frame.x, &frame.y) == 5;) {
        frames.push_back(frame);
        at = strchr(at, '\n');
        at = at ? at + 1 : NULL;
    }
    return frames;
}

std::string ComposeGifFrames(const std::string &gif)
{
    const std::string raw = ScratchFolder("gif-test") + "/composed.rgb";
    DeleteFileA(WinPath(raw).c_str());
    RunTool("/usr/bin/convert '" + gif + "' -coalesce -depth 8 'rgb:" + raw + "'");
    return ReadFileBytes(WinPath(raw));
}

bool AnyFileMatches(const std::string &pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

}  // namespace testing
