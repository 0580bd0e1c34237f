#include "toon/sound_clip.h"

#include <mmsystem.h>
#include <stdio.h>
#include <string.h>

#include "toon/paths.h"
#include "toon/toon_document.h"

#define CLIP_PREFIX_LENGTH  4
#define CLIP_SUFFIX         ".wav"
#define CLIP_SUFFIX_LENGTH  4
#define ERROR_TEXT_SIZE     70
#define WAVE_DRIVER         "mciwave.dll"
#define WAVE_FORMAT_MAX     4096  // the most of a format chunk that is read
#define WAVE_MAX_CHUNKS     256   // chunks looked at for the format
#define RIFF_HEADER_SIZE    12
#define CHUNK_HEADER_SIZE   8
#define WAVE_MAX_CHANNELS   8
#define WAVE_MAX_RATE       384000
#define WAVE_FORMAT_SIZE    16
#define WAVE_MAX_SAMPLE_BYTES 8   // the widest sample, 64-bit float
#define WAVE_FORMAT_FLOAT_TAG 3
#define WAVE_FORMAT_EXTENSIBLE_TAG 0xFFFE
#define WAVE_EXTENSIBLE_SIZE  40  // the format with its extension
#define WAVE_VALID_BITS_AT    18  // the extensible format's bits that carry a sample
#define WAVE_SUBFORMAT_AT     24  // the sub-format's tag, first of its GUID
#define CLIP_ALIAS_SIZE       32
#define BUSY_TEXT "Hold on, someone else is using the sound system!"

// What the look at a file before it is opened found.
enum ClipCheck { CLIP_PLAYABLE, CLIP_INVALID, CLIP_BUSY };

// The wave-audio driver, held for the life of the process once a clip has
// played: it announces a clip's end from a thread of its own and runs on
// in it for a moment, and a close that unloads the driver meanwhile pulls
// its code out from under that thread (seen under Wine: the whole program
// crashed).
static HMODULE waveDriver;

static void SayInstead(char *text, const char *complaint)
{
    lstrcpynA(text, complaint, TOON_TEXT_SIZE);
}

static void SayMciError(char *text, MCIERROR error)
{
    char description[ERROR_TEXT_SIZE] = "";
    BOOL described = mciGetErrorStringA(error, description, sizeof description);
    // The description is the platform's; its terminator is made sure of here.
    description[sizeof description - 1] = '\0';
    if (described && description[0])
        SayInstead(text, description);
    else
        SayInstead(text, "A rather fizzy sound playback error just occurred!?");
}

int IsSoundClip(const char *text)
{
    if (!text)
        return 0;
    // A reference has to fit in a frame's text, terminator included.
    size_t length = strnlen(text, TOON_TEXT_SIZE);
    if (length == TOON_TEXT_SIZE || length < CLIP_PREFIX_LENGTH + CLIP_SUFFIX_LENGTH)
        return 0;
    if (lstrcmpiA(text + length - CLIP_SUFFIX_LENGTH, CLIP_SUFFIX) != 0)
        return 0;
    return _strnicmp(text, "PBF:", CLIP_PREFIX_LENGTH) == 0 ||
           _strnicmp(text, "PBR:", CLIP_PREFIX_LENGTH) == 0;
}

static int SoundFileExists(const char *name)
{
    DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static DWORD LittleEndian(const unsigned char *bytes, int count)
{
    DWORD value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// Whether a format chunk describes samples a sound device can take. Some
// drivers fall over (divide by zero, bad frees) on a format with no
// channels or an odd sample layout: a plain sample of 1 bit in a byte of
// its own, which the device's own query lets through, ended the whole
// program under Wine.
// The wave device sizes its buffers from the byte rate, so a rate of none
// or of billions never reaches it either.
static int IsPlayableFormat(const unsigned char *format, DWORD length)
{
    DWORD tag = LittleEndian(format, 2);
    DWORD channels = LittleEndian(format + 2, 2);
    DWORD rate = LittleEndian(format + 4, 4);
    DWORD byteRate = LittleEndian(format + 8, 4);
    DWORD blockAlign = LittleEndian(format + 12, 2);
    DWORD bits = LittleEndian(format + 14, 2);
    DWORD valid = bits;
    if (channels < 1 || channels > WAVE_MAX_CHANNELS || rate < 1 || rate > WAVE_MAX_RATE ||
        blockAlign == 0)
        return 0;
    if (byteRate == 0 || byteRate > rate * channels * WAVE_MAX_SAMPLE_BYTES)
        return 0;
    if (tag == WAVE_FORMAT_EXTENSIBLE_TAG) {
        if (length < WAVE_EXTENSIBLE_SIZE)
            return 0;
        tag = LittleEndian(format + WAVE_SUBFORMAT_AT, 2);
        valid = LittleEndian(format + WAVE_VALID_BITS_AT, 2);
    }
    // Samples in whole containers only, laid out as their width says; odd
    // widths (12, 20 bits) only as the valid bits of such a container.
    int container;
    if (tag == WAVE_FORMAT_PCM)
        container = bits == 8 || bits == 16 || bits == 24 || bits == 32;
    else if (tag == WAVE_FORMAT_FLOAT_TAG)
        container = bits == 32 || bits == 64;
    else
        return 1;
    return container && valid >= 1 && valid <= bits && blockAlign == channels * bits / 8 &&
           byteRate == rate * blockAlign;
}

// Whether a device, or a converter in front of one, takes the format. Only
// formats that passed IsPlayableFormat are asked about, and only whole:
// extra bytes the format claims must be in what was read of its chunk.
static enum ClipCheck DeviceTakesFormat(const unsigned char *format, DWORD length)
{
    DWORD buffer[WAVE_FORMAT_MAX / sizeof(DWORD)];
    memset(buffer, 0, sizeof buffer);
    memcpy(buffer, format, length);
    WAVEFORMATEX *wave = (WAVEFORMATEX *)buffer;
    if (length < sizeof(WAVEFORMATEX))
        wave->cbSize = 0;
    else if (wave->cbSize > length - sizeof(WAVEFORMATEX))
        return CLIP_INVALID;
    // Valid bits sit at the top of their container: a device that takes
    // the container takes them. Wine's turns narrower ones down when asked,
    // and then plays them.
    if (wave->wFormatTag == WAVE_FORMAT_EXTENSIBLE_TAG)
        memcpy((unsigned char *)buffer + WAVE_VALID_BITS_AT, &wave->wBitsPerSample, sizeof wave->wBitsPerSample);
    MMRESULT answer = waveOutOpen(NULL, WAVE_MAPPER, wave, 0, 0, WAVE_FORMAT_QUERY);
    if (answer == MMSYSERR_ALLOCATED)
        return CLIP_BUSY;
    return answer == MMSYSERR_NOERROR ? CLIP_PLAYABLE : CLIP_INVALID;
}

static int ReadAt(HANDLE file, DWORD at, void *bytes, DWORD count)
{
    DWORD read = 0;
    if (SetFilePointer(file, (LONG)at, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return 0;
    return ReadFile(file, bytes, count, &read, NULL) && read == count;
}

// Where the chunk's body is and how long it is: chunks follow one another,
// each with its size, padded to even lengths. Recorders put chunks of
// their own (broadcast and XML metadata of any size) first.
static int FindChunk(HANDLE file, DWORD size, const char *id, DWORD *body, DWORD *length)
{
    unsigned char header[RIFF_HEADER_SIZE];
    if (!ReadAt(file, 0, header, sizeof header) || memcmp(header, "RIFF", 4) != 0 ||
        memcmp(header + 8, "WAVE", 4) != 0)
        return 0;
    DWORD at = RIFF_HEADER_SIZE;
    for (int chunks = 0; chunks < WAVE_MAX_CHUNKS && size - at >= CHUNK_HEADER_SIZE; ++chunks) {
        unsigned char chunk[CHUNK_HEADER_SIZE];
        if (!ReadAt(file, at, chunk, sizeof chunk))
            return 0;
        DWORD chunkLength = LittleEndian(chunk + 4, 4);
        DWORD left = size - at - CHUNK_HEADER_SIZE;
        if (memcmp(chunk, id, 4) == 0) {
            *body = at + CHUNK_HEADER_SIZE;
            *length = chunkLength;
            return 1;
        }
        if (chunkLength >= left)
            return 0;
        at += CHUNK_HEADER_SIZE + chunkLength + (chunkLength & 1);
    }
    return 0;
}

// Whether the file is a wave file whose format a device can take now; with
// milliseconds, also how long its data plays, from the same reading.
static enum ClipCheck CheckClipFile(const char *name, DWORD *milliseconds)
{
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return CLIP_INVALID;
    // A RIFF file counts its size in 32 bits; more is never looked at.
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        size = 0;
    if (high)
        size = MAXDWORD;
    unsigned char format[WAVE_FORMAT_MAX];
    DWORD body = 0, length = 0;
    int found = size >= RIFF_HEADER_SIZE && FindChunk(file, size, "fmt ", &body, &length);
    // The device reads the whole chunk: a size past the file's end has it
    // read what is not there.
    if (found && (length < WAVE_FORMAT_SIZE || length > size - body))
        found = 0;
    DWORD kept = length < sizeof format ? length : (DWORD)sizeof format;
    if (found)
        found = ReadAt(file, body, format, kept);
    if (found && milliseconds) {
        const DWORD byteRate = LittleEndian(format + 8, 4);
        DWORD data = 0, dataLength = 0;
        if (byteRate && FindChunk(file, size, "data", &data, &dataLength)) {
            const unsigned long long ms =
                (unsigned long long)(dataLength < size - data ? dataLength : size - data) * 1000 / byteRate;
            *milliseconds = ms > 0x7FFFFFFF ? 0x7FFFFFFF : (DWORD)ms;
        }
    }
    CloseHandle(file);
    if (!found || !IsPlayableFormat(format, kept))
        return CLIP_INVALID;
    return DeviceTakesFormat(format, kept);
}

// Errors of a device that another program holds.
static int IsBusyError(MCIERROR error)
{
    return error == MCIERR_DEVICE_OPEN || error == MCIERR_WAVE_OUTPUTSINUSE ||
           error == MCIERR_WAVE_SETOUTPUTINUSE;
}

static void SayPlayError(char *text, MCIERROR error)
{
    if (IsBusyError(error))
        SayInstead(text, BUSY_TEXT);
    else
        SayMciError(text, error);
}

// From the system directory only, never from a folder searched by name.
static void HoldWaveDriver(void)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length + sizeof "\\" WAVE_DRIVER > sizeof path)
        return;
    lstrcatA(path, "\\" WAVE_DRIVER);
    waveDriver = LoadLibraryA(path);
}

// The clip's file by its full path: as named, beside the toon that names
// it (a toon named without its folder is one of the toon directory's),
// then in the toon directory.
static int FindClipFile(char *path, const char *name, const char *toonFile, const char *toonDirectory)
{
    if (IsFullPath(name)) {
        lstrcpynA(path, name, MAX_PATH);
        return SoundFileExists(path);
    }
    char toonFolder[MAX_PATH] = "";
    if (toonFile && IsFullPath(toonFile))
        lstrcpynA(toonFolder, toonFile, sizeof toonFolder);
    else if (toonFile && toonFile[0] && toonDirectory && IsFullPath(toonDirectory) &&
             !JoinPath(toonFolder, sizeof toonFolder, toonDirectory, toonFile))
        toonFolder[0] = '\0';   // too long for a path
    size_t end = strnlen(toonFolder, sizeof toonFolder);
    while (end > 0 && !IsPathSeparator(toonFolder[end - 1]))
        --end;
    toonFolder[end] = '\0';
    const char *folders[] = { toonFolder, toonDirectory };
    for (const char *folder : folders)
        if (folder && IsFullPath(folder) && JoinPath(path, MAX_PATH, folder, name) && SoundFileExists(path))
            return 1;
    return 0;
}

static int PlayClip(SoundClip *clip, HWND window, char *text, const char *toonFile, const char *toonDirectory,
                    DWORD playMode)
{
    if (!text)
        return 0;
    CloseSoundClip(clip);
    if (waveOutGetNumDevs() == 0) {
        SayInstead(text, "I can't speak until you get a sound system!");
        return 0;
    }
    // The name is the rest of a frame's text, and no more of the buffer.
    char name[TOON_TEXT_SIZE - CLIP_PREFIX_LENGTH];
    lstrcpynA(name, text + CLIP_PREFIX_LENGTH, sizeof name);
    char path[MAX_PATH];
    if (!FindClipFile(path, name, toonFile, toonDirectory)) {
        SayInstead(text, "Hey, someone stole this frame's sound file!");
        return 0;
    }
    enum ClipCheck check = CheckClipFile(path, NULL);
    if (check != CLIP_PLAYABLE) {
        if (check == CLIP_BUSY)
            SayInstead(text, BUSY_TEXT);
        else
            SayMciError(text, MCIERR_INVALID_FILE);
        return 0;
    }

    if (!waveDriver)
        HoldWaveDriver();
    // An alias of the record's own: without one, a second clip of the same
    // file is turned down as a duplicate.
    char alias[CLIP_ALIAS_SIZE];
    snprintf(alias, sizeof alias, "pimboclip%p", (void *)clip);
    MCI_OPEN_PARMSA open;
    memset(&open, 0, sizeof open);
    open.lpstrDeviceType = (LPCSTR)(UINT_PTR)MCI_DEVTYPE_WAVEFORM_AUDIO;
    open.lpstrElementName = path;
    open.lpstrAlias = alias;
    MCIERROR error = mciSendCommandA(0, MCI_OPEN,
                                     MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_OPEN_ALIAS,
                                     (DWORD_PTR)&open);
    if (error) {
        SayPlayError(text, error);
        return 0;
    }
    clip->device = open.wDeviceID;

    MCI_PLAY_PARMS play;
    memset(&play, 0, sizeof play);
    play.dwCallback = (DWORD_PTR)window;
    play.dwFrom = 0;
    error = mciSendCommandA(clip->device, MCI_PLAY, MCI_FROM | playMode, (DWORD_PTR)&play);
    if (error) {
        // No end will be told of: nothing else would close it.
        SayPlayError(text, error);
        CloseSoundClip(clip);
        return 0;
    }
    return 1;
}

int PlaySoundClip(SoundClip *clip, HWND window, char *text, const char *toonFile, const char *toonDirectory)
{
    return clip ? PlayClip(clip, window, text, toonFile, toonDirectory, MCI_NOTIFY) : 0;
}

int PlaySoundClipAndWait(HWND window, char *text, const char *toonFile, const char *toonDirectory)
{
    // A device of its own, closed before it returns: no end is told of a
    // waited play, and another's clip is not this one's to close.
    SoundClip clip = { 0 };
    const int played = PlayClip(&clip, window, text, toonFile, toonDirectory, MCI_WAIT);
    CloseSoundClip(&clip);
    return played;
}

void CloseSoundClip(SoundClip *clip)
{
    if (!clip || !clip->device)
        return;
    mciSendCommandA(clip->device, MCI_CLOSE, 0, 0);
    clip->device = 0;
}

int IsSoundClipEnd(const SoundClip *clip, WPARAM code, LPARAM device)
{
    // A clip cut short is told of as aborted once closed, when its device
    // number may already be the next clip's.
    return clip && clip->device && (UINT)device == clip->device &&
           (code == MCI_NOTIFY_SUCCESSFUL || code == MCI_NOTIFY_FAILURE);
}

// The playing time from the header: the data chunk's size over the byte
// rate of the format chunk.
DWORD SoundClipMilliseconds(const char *text, const char *toonFile, const char *toonDirectory)
{
    if (!IsSoundClip(text))
        return 0;
    char path[MAX_PATH];
    DWORD milliseconds = 0;
    if (!FindClipFile(path, text + CLIP_PREFIX_LENGTH, toonFile, toonDirectory) ||
        CheckClipFile(path, &milliseconds) == CLIP_INVALID)
        return 0;
    return milliseconds;
}
