// Reading GIF files back with ImageMagick, a decoder nobody here wrote,
// and checking them with gifsicle and a reader stricter than both.
// Wine starts Linux programs as they are, so the tools run on Unix paths.
#ifndef PIMBO_TESTS_GIF_DECODE_H
#define PIMBO_TESTS_GIF_DECODE_H

#include <string>
#include <vector>

namespace testing {

struct DecodedFrame {
    int hundredths, width, height, x, y;
};

// A folder of the build for the test's files, as a Unix path; made if need be.
std::string ScratchFolder(const std::string &name);
// What a shell command prints, standard error included.
std::string RunTool(const std::string &command);
// Every frame's delay and rectangle, as identify lists them.
std::vector<DecodedFrame> ListGifFrames(const std::string &gif);
// The composed pictures, one after another, 3 bytes (RGB) a pixel.
std::string ComposeGifFrames(const std::string &gif);
// What is wrong with the file, "" when nothing: what gifsicle says while
// decoding it, and what it lets pass: image data that ends before its end
// code (read at the width the decoder has reached), data after it, a pixel
// count that differs from the image's, a delay under 2 hundredths.
std::string GifFaults(const std::string &gif);

// Whether any file matches the Windows pattern (a writer's left-over temporaries).
bool AnyFileMatches(const std::string &pattern);

}  // namespace testing

#endif
