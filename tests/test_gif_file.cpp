#include <doctest.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "toon/gif_file.h"
#include "support/checks.h"
#include "support/gif_decode.h"
#include "support/support.h"

namespace {

struct Picture {
    std::vector<BYTE> pixels;
    int ms;
};

using testing::DecodedFrame;

std::string UnixFolder()
{
    return testing::ScratchFolder("gif-test");
}

RGBQUAD Colour(int red, int green, int blue)
{
    RGBQUAD colour = { (BYTE)blue, (BYTE)green, (BYTE)red, 0 };
    return colour;
}

// The frames of the file as ImageMagick reads them. Each composed frame
// must equal the picture the input shows at that frame's start (looked at
// 6 ms in, past any rounding of the start).
std::vector<DecodedFrame> Decode(const std::string &gif, const std::vector<Picture> &input, int width,
                                 int height, const std::vector<RGBQUAD> &palette)
{
    CHECK(testing::GifFaults(gif) == "");
    std::vector<DecodedFrame> frames = testing::ListGifFrames(gif);
    std::string bytes = testing::ComposeGifFrames(gif);
    const size_t size = (size_t)width * height * 3;
    CHECK(bytes.size() == size * frames.size());
    long long startMs = 0;
    for (size_t i = 0; i < frames.size() && bytes.size() >= (i + 1) * size; ++i) {
        size_t shown = 0;
        for (long long end = input[0].ms; shown + 1 < input.size() && end <= startMs + 6; end += input[++shown].ms) {
        }
        std::string expected;
        for (BYTE index : input[shown].pixels) {
            const RGBQUAD &entry = palette[index < palette.size() ? index : 0];
            expected += { (char)entry.rgbRed, (char)entry.rgbGreen, (char)entry.rgbBlue };
        }
        CHECK_MESSAGE(bytes.compare(i * size, size, expected) == 0, "frame " << i << " shows input " << shown);
        startMs += frames[i].hundredths * 10LL;
    }
    return frames;
}

int Encode(const std::string &unixPath, int width, int height, const std::vector<RGBQUAD> &palette,
           const std::vector<Picture> &input)
{
    GifWriter writer;
    if (!GifBegin(&writer, testing::WinPath(unixPath).c_str(), width, height, palette.data(), (int)palette.size()))
        return 0;
    for (const Picture &picture : input)
        GifAddFrame(&writer, picture.pixels.data(), picture.ms);
    return GifFinish(&writer);
}

}  // namespace

TEST_CASE("colour bars, a moving square and long stills decode as they were drawn")
{
    const int width = 320, height = 200;
    std::vector<RGBQUAD> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back(Colour(i, (i * 7) & 255, (i * 13) & 255));
    std::vector<BYTE> bars(width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bars[y * width + x] = (BYTE)((x / 40) * 32 + y / 8);
    std::vector<Picture> input = { { bars, 100 } };
    for (int step = 0; step < 10; ++step) {     // 33 ms each: a third of a hundredth to lose per frame
        Picture square = { bars, 33 };
        for (int y = 50; y < 70; ++y)
            for (int x = 10 + 7 * step; x < 30 + 7 * step; ++x)
                square.pixels[y * width + x] = 255;
        input.push_back(square);
    }
    for (int still = 0; still < 30; ++still)    // 21 s of the last picture
        input.push_back({ input.back().pixels, 700 });
    Picture noise = { bars, 40 };               // fills the string table many times
    unsigned seed = 12345;
    for (BYTE &pixel : noise.pixels)
        pixel = (BYTE)((seed = seed * 1103515245u + 12345u) >> 16);
    for (int ms : { 4, 0 })                     // too short for a delay: their time goes to the noise
        input.push_back({ std::vector<BYTE>(bars.size(), (BYTE)ms), ms });
    input.push_back(noise);
    input.push_back({ bars, 655360 });          // one delay's 655.35 s and a rest too short for one

    std::string gif = UnixFolder() + "/timeline.gif";
    CHECK_OR_RETURN(Encode(gif, width, height, palette, input));
    std::vector<DecodedFrame> frames = Decode(gif, input, width, height, palette);
    // One frame for each change, the still and the short ones merged; the long one takes two.
    CHECK_OR_RETURN(frames.size() == 1 + 10 + 1 + 1 + 1);
    long long totalMs = 0, hundredths = 0;
    for (const Picture &picture : input)
        totalMs += picture.ms;
    for (const DecodedFrame &frame : frames)
        hundredths += frame.hundredths;
    CHECK(hundredths == (totalMs + 5) / 10);
    CHECK(frames[10].hundredths == 2143 - 40);  // the last square, 0.397 s to 21.430 s
    CHECK(frames[0].width == width);
    // A square step of 7 pixels: the old and the new square, nothing more.
    const DecodedFrame step = frames[2];
    CHECK(step.width * 1000 + step.height == 27020);
    CHECK(step.x * 1000 + step.y == 10050);
    CHECK(testing::RunTool("/usr/bin/identify -verbose '" + gif + "'").find("Iterations: 0") != std::string::npos);
}

TEST_CASE("small palettes and DIB sections map to the nearest colour")
{
    const std::vector<RGBQUAD> five = { Colour(0, 0, 0), Colour(255, 255, 255), Colour(255, 0, 0),
                                        Colour(0, 255, 0), Colour(0, 0, 255) };
    struct { RGBQUAD drawn; BYTE expected; } colours[] = {
        { Colour(0, 0, 255), 4 }, { Colour(200, 200, 200), 1 }, { Colour(60, 0, 0), 0 },
        { Colour(150, 0, 0), 2 }, { Colour(20, 230, 40), 3 }, { Colour(255, 255, 255), 1 },
    };
    const int width = 33, height = 17;          // 24-bit rows padded
    for (int bits : { 24, 32 }) {
        for (int direction : { 1, -1 }) {
            CAPTURE(bits);
            CAPTURE(direction);
            BITMAPINFO info = {};
            info.bmiHeader.biSize = sizeof info.bmiHeader;
            info.bmiHeader.biWidth = width;
            info.bmiHeader.biHeight = height * direction;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = (WORD)bits;
            void *bitsPointer = NULL;
            HBITMAP dib = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bitsPointer, NULL, 0);
            CHECK_OR_RETURN(dib);
            HDC dc = CreateCompatibleDC(NULL);
            HGDIOBJ old = SelectObject(dc, dib);
            Picture first = { std::vector<BYTE>(width * height), 50 };
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const auto &colour = colours[(x + y) % 6];
                    SetPixel(dc, x, y, RGB(colour.drawn.rgbRed, colour.drawn.rgbGreen, colour.drawn.rgbBlue));
                    first.pixels[y * width + x] = colour.expected;
                }
            SelectObject(dc, old);
            std::string gif = UnixFolder() + "/mapped.gif";
            GifWriter writer;
            CHECK(GifBegin(&writer, testing::WinPath(gif).c_str(), width, height, five.data(), 5));
            CHECK(GifAddBitmap(&writer, dib, 50));
            // One pixel in one row changes: the rows around it were mapped before.
            Picture second = first;
            old = SelectObject(dc, dib);
            SetPixel(dc, 20, 5, RGB(150, 0, 0));
            second.pixels[5 * width + 20] = 2;
            SelectObject(dc, old);
            DeleteDC(dc);
            CHECK(GifAddBitmap(&writer, dib, 50));
            CHECK(GifFinish(&writer));
            DeleteObject(dib);
            CHECK(Decode(gif, { first, second }, width, height, five).size() == 2);
        }
    }
    // Three colours: the smallest code size, a padded table; an index past
    // the palette reads as 0, whether or not the table has room for it.
    const std::vector<RGBQUAD> three = { Colour(10, 20, 30), Colour(200, 100, 0), Colour(0, 99, 9) };
    Picture checks = { std::vector<BYTE>(64 * 64), 30 }, stray = checks;
    for (size_t i = 0; i < checks.pixels.size(); ++i) {
        checks.pixels[i] = (BYTE)((i / 64 + i) % 3);
        stray.pixels[i] = i % 5 ? checks.pixels[i] : i % 2 ? 3 : 7;
    }
    std::string gif = UnixFolder() + "/three.gif";
    CHECK_OR_RETURN(Encode(gif, 64, 64, three, { checks, stray }));
    CHECK(Decode(gif, { checks, stray }, 64, 64, three).size() == 2);
    // 64 pixels of one colour end on a table just grown to 16 codes: the end
    // code is read 5 bits wide. Alone and of no time, the picture still stands.
    const Picture plain = { std::vector<BYTE>(64, 1), 0 };
    CHECK_OR_RETURN(Encode(gif, 8, 8, three, { plain }));
    CHECK(Decode(gif, { plain }, 8, 8, three).at(0).hundredths == 2);
}

TEST_CASE("a write that fails or is abandoned leaves the older file whole")
{
    const std::string folder = testing::WinPath(UnixFolder() + "/kept\\");
    CreateDirectoryA(folder.c_str(), NULL);
    const std::string target = folder + "old.gif";
    CHECK_OR_RETURN(testing::WriteFileBytes(target, "older picture"));
    const RGBQUAD grey[] = { Colour(128, 128, 128) };
    const BYTE pixel[4] = {};
    GifWriter writer;

    CHECK(GifBegin(&writer, target.c_str(), 2, 2, grey, 1));
    CHECK(GifAddFrame(&writer, pixel, 100));
    GifAbandon(&writer);
    CHECK(GifBegin(&writer, target.c_str(), 2, 2, grey, 1));
    CHECK_FALSE(GifFinish(&writer));            // no picture: no file
    // A target that cannot be written: the export tests.
    struct { const char *what; int width, height, colours; } refused[] = {
        { "no width", 0, 2, 1 }, { "too high", 2, GIF_MAX_SIDE + 1, 1 }, { "no colours", 2, 2, 0 },
    };
    for (const auto &row : refused) {
        CAPTURE(row.what);
        CHECK_FALSE(GifBegin(&writer, target.c_str(), row.width, row.height, grey, row.colours));
        GifAbandon(&writer);
    }
    CHECK(testing::ReadFileBytes(target) == "older picture");
    CHECK_FALSE(testing::AnyFileMatches(folder + "*.tmp"));
}
