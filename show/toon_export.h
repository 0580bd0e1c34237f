// Exporting a toon as an animated GIF: the toon plays through the real
// stage and sequencer on a window never shown, driven by a stepped clock,
// and every picture the stage composes goes into the file with the time
// it stands.
#ifndef PIMBO_SHOW_TOON_EXPORT_H
#define PIMBO_SHOW_TOON_EXPORT_H

#include <windows.h>
#include "toon/toon_document.h"

#define EXPORT_MIN_SIDE  1
#define EXPORT_MAX_SIDE  4096

// What the export tells its caller as it goes; any member may be null.
struct ExportWatch {
    void (*progress)(void *context, int done, int total);   // frames reached of the toon's
    int (*cancelled)(void *context);                        // 1 stops the export
    void *context;
};

enum ExportResult {
    EXPORT_DONE = 0,
    EXPORT_NO_FRAMES,        // the toon holds no frame to play
    EXPORT_BAD_SIZE,         // a side of 0 or beyond EXPORT_MAX_SIDE
    EXPORT_CANNOT_WRITE,     // the GIF could not be written; any older one is whole
    EXPORT_CANCELLED,
    EXPORT_FAILED,           // no stage could be made
    EXPORT_TARGET_IS_TOON,   // the GIF would replace the toon's own file
};

// Plays the toon at width x height into the GIF file. Nothing of the toon
// is changed. Messages are the caller's to show.
int ExportToonGif(HINSTANCE instance, const ToonDocument *toon, const char *path, int width, int height,
                  const ExportWatch *watch);
// The same with each of the stage's pixels a square of scale x scale in the
// file (1..SCALE_LARGEST); the file's sides, width and height times the
// scale, go to EXPORT_MAX_SIDE.
int ExportToonGifScaled(HINSTANCE instance, const ToonDocument *toon, const char *path, int width, int height,
                        int scale, const ExportWatch *watch);
// The message for a result other than EXPORT_DONE and EXPORT_CANCELLED of
// that export.
void DescribeExportFailure(int result, const ToonDocument *toon, const char *path, int width, int height,
                           char *text, int size);
// "640x480" and the like: 1 with both sides in range.
int ParseExportSize(const char *text, int *width, int *height);
// "2x" and the like: 1 with the scale in range.
int ParseExportScale(const char *text, int *scale);

// Exit codes of the command line's export.
#define EXPORT_EXIT_DONE        0
#define EXPORT_EXIT_USAGE       1    // arguments missing or too many, or the size is bad
#define EXPORT_EXIT_TOON        2    // the toon is missing or damaged
#define EXPORT_EXIT_WRITE       3    // the GIF cannot be written, or would replace the toon

// "/gif <toon file> <gif file> [<width>x<height>] [<n>x]": arguments is what
// follows "gif". Says why it failed on the console it was started from, or
// else in a message box; returns the exit code.
int RunToonExport(HINSTANCE instance, const char *arguments);

#endif
