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

// The codes of one image as a decoder reads them, the table's widths
// included; data that starts at *at, which is left past it.
static std::string ImageDataFaults(const std::string &file, size_t *at, long pixels)
{
    const int minimum = *at < file.size() ? (unsigned char)file[(*at)++] : 0;
    std::string data;
    for (size_t size; *at < file.size() && (size = (unsigned char)file[(*at)++]) > 0; *at += size)
        data += file.substr(*at, size);
    if (minimum < 2 || minimum > 8)
        return "bad minimum code size";
    const int clear = 1 << minimum, maxCodes = 4096;
    std::vector<long> length(maxCodes, 1);
    int width = minimum + 1, next = clear + 2, previous = -1;
    long decoded = 0;
    for (size_t bit = 0;;) {
        if (bit + width > data.size() * 8)
            return "the data ends before the end code";
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        if (code == clear + 1)
            return decoded != pixels ? "pixel count " + std::to_string(decoded)
                 : data.size() * 8 - bit >= 8 ? "data after the end code" : "";
        if (code == clear) {
            width = minimum + 1;
            next = clear + 2;
            previous = -1;
        } else if (code > next || (previous < 0 && code > clear)) {
            return "code out of range";
        } else {
            decoded += code == next ? length[previous] + 1 : length[code];
            if (previous >= 0 && next < maxCodes) {
                length[next] = length[previous] + 1;
                if (++next == 1 << width && width < 12)
                    ++width;
            }
            previous = code;
        }
    }
}

std::string GifFaults(const std::string &gif)
{
    const std::string said = RunTool("/usr/bin/gifsicle -U '" + gif + "' -o /dev/null");
    if (!said.empty())
        return said;
    const std::string file = ReadFileBytes(WinPath(gif));
    auto word = [&](size_t at) {
        return at + 1 < file.size() ? (unsigned char)file[at] | (unsigned char)file[at + 1] << 8 : 0;
    };
    auto table = [&](size_t flags) {
        return flags < file.size() && (file[flags] & 0x80) ? 3u << ((file[flags] & 7) + 1) : 0u;
    };
    size_t at = 13 + table(10);
    for (int image = 0; at < file.size();) {
        const std::string where = "image " + std::to_string(image) + ": ";
        const int block = (unsigned char)file[at++];
        if (block == 0x3B)
            return at == file.size() ? "" : "data after the trailer";
        if (block == 0x21 && at + 4 < file.size() && (unsigned char)file[at] == 0xF9 && word(at + 3) < 2)
            return where + "delay " + std::to_string(word(at + 3));
        if (block == 0x21) {
            for (++at; at < file.size() && file[at] != 0; at += (unsigned char)file[at] + 1) {
            }
            ++at;
        } else if (block == 0x2C) {
            const long pixels = (long)word(at + 4) * word(at + 6);
            at += 9 + table(at + 8);
            const std::string fault = ImageDataFaults(file, &at, pixels);
            if (!fault.empty())
                return where + fault;
            ++image;
        } else {
            return "unknown block " + std::to_string(block);
        }
    }
    return "no trailer";
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
