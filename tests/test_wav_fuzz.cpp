// ctest: sound
#include <doctest.h>
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <string>

#include "support/checks.h"
#include "support/fuzz.h"
#include "support/support.h"
#include "toon/sound_clip.h"
#include "toon/toon_document.h"

// Damaged and unusual WAV files played through both play operations with
// one (silent) wave device: each plays, or says why not; none crashes or
// hangs, and no device stays open. Every undamaged form plays to its end,
// and damage of a known verdict is refused. A file that fails is kept as
// wav-fuzz-failed.wav in the build folder; PIMBO_WAV_REPLAY=path plays
// that one file alone.

namespace {

using testing::Le;

const int MUTANTS = 2000;
const DWORD NOTIFY_WAIT_MS = 10000;

std::string Chunk(const char *id, const std::string &body)
{
    std::string chunk = std::string(id, 4) + Le((uint32_t)body.size(), 4) + body;
    if (body.size() & 1)
        chunk += '\0';
    return chunk;
}

// The forms the fuzzer starts from: what a sound recorder or an editor
// writes, and the rarer layouts a file may still have.
enum Leading { NONE, LIST, BEXT };   // a chunk before the format chunk
struct Form {
    uint16_t tag;
    uint16_t bits;      // of a sample's container; 4 for ADPCM; 0: each width in turn
    uint16_t valid;     // bits that carry the sample
    int extra;          // format bytes after the 16 of PCM: -1 none, else cbSize and that many
    bool dataFirst;     // the data chunk before the format chunk: MCI looks for data after it
    Leading leading;
};
const Form FORMS[] = {
    { WAVE_FORMAT_PCM, 8, 8, -1, false, NONE },
    { WAVE_FORMAT_PCM, 16, 16, -1, false, LIST },
    { WAVE_FORMAT_PCM, 24, 24, 0, false, NONE },
    { WAVE_FORMAT_PCM, 32, 32, -1, false, NONE },
    { WAVE_FORMAT_PCM, 16, 16, -1, true, NONE },
    { WAVE_FORMAT_PCM, 0, 0, -1, false, NONE },
    { WAVE_FORMAT_EXTENSIBLE, 0, 0, 22, false, BEXT },
    { WAVE_FORMAT_ADPCM, 4, 4, 32, false, NONE },
    { WAVE_FORMAT_IEEE_FLOAT, 32, 32, 0, false, LIST },
    { WAVE_FORMAT_EXTENSIBLE, 16, 16, 22, false, BEXT },
    { WAVE_FORMAT_EXTENSIBLE, 24, 24, 22, false, NONE },
    { WAVE_FORMAT_MULAW, 8, 8, 0, false, NONE },
};
const size_t FORM_COUNT = sizeof FORMS / sizeof FORMS[0];

std::string FormatBody(const Form &form, uint16_t channels, uint32_t rate)
{
    // A plain odd width sits in the whole bytes that hold it.
    uint16_t align = (uint16_t)(form.tag == WAVE_FORMAT_ADPCM ? 256 * channels : channels * form.bits / 8);
    uint32_t byteRate = form.tag == WAVE_FORMAT_ADPCM ? rate * channels / 2 : rate * align;
    uint16_t bits = form.tag == WAVE_FORMAT_EXTENSIBLE ? form.bits : form.valid;
    std::string body = Le(form.tag, 2) + Le(channels, 2) + Le(rate, 4) + Le(byteRate, 4) + Le(align, 2) +
                       Le(bits, 2);
    if (form.extra < 0)
        return body;
    std::string extra(form.extra, '\0');
    if (form.tag == WAVE_FORMAT_ADPCM)
        extra = Le(500, 2) + Le(7, 2) + Le(256, 2) + Le(0, 2) + Le(512, 2) + Le((uint32_t)-256, 2) +
                Le(0, 2) + Le(192, 2) + Le(64, 2) + Le(240, 2) + Le(0, 2) + Le(460, 2) + Le((uint32_t)-208, 2) +
                Le(392, 2) + Le((uint32_t)-232, 2) + std::string(2, '\0');
    if (form.tag == WAVE_FORMAT_EXTENSIBLE) {
        // valid bits, the speaker mask, and the PCM sub-format's GUID
        extra = Le(form.valid, 2) + Le(channels == 2 ? 3 : 4, 4) + Le(WAVE_FORMAT_PCM, 4) +
                Le(0, 2) + Le(0x0010, 2) + std::string("\x80\x00\x00\xaa\x00\x38\x9b\x71", 8);
    }
    return body + Le((uint32_t)extra.size(), 2) + extra;
}

std::string MakeWav(testing::Dice &dice, const Form &form)
{
    const uint32_t rates[] = { 8000, 11025, 22050, 44100, 48000 };
    uint16_t channels = (uint16_t)(1 + dice.Below(form.tag == WAVE_FORMAT_PCM ? 8 : 2));
    // mu-law is telephone sound: no converter here takes it at 48 kHz
    uint32_t rate = rates[dice.Below(form.tag == WAVE_FORMAT_MULAW ? 4 : 5)];
    std::string format = Chunk("fmt ", FormatBody(form, channels, rate));
    std::string data = Chunk("data", dice.Bytes(64 + (size_t)dice.Below(1500)));
    std::string chunks = form.dataFirst ? data + format : format + data;
    if (form.leading == LIST)
        chunks = Chunk("LIST", "INFOISFT" + Le(5, 4) + "fizz") + chunks;
    if (form.leading == BEXT)   // broadcast metadata, larger than a first read
        chunks = Chunk("bext", dice.Bytes(4100 + (size_t)dice.Below(3000))) + chunks;
    return "RIFF" + Le(4 + (uint32_t)chunks.size(), 4) + "WAVE" + chunks;
}

// Where the format chunk's body begins, if there is one.
size_t FormatAt(const std::string &wav)
{
    size_t at = wav.find("fmt ");
    return at == std::string::npos ? 12 : at + 8;
}

std::string MutateWav(testing::Dice &dice, std::string wav)
{
    size_t format = FormatAt(wav);
    switch (dice.Below(8)) {
    case 0:   // a format field at the edges of its range
        testing::PutLe(wav, format + 2 * (size_t)dice.Below(8), (uint32_t)dice.Extreme(), 2);
        break;
    case 1:   // the sample rate or the byte rate
        testing::PutLe(wav, format + 4 + 4 * (size_t)dice.Below(2), (uint32_t)dice.Extreme(), 4);
        break;
    case 2:   // a chunk size that lies: the RIFF, the format's or the data's
        testing::PutLe(wav, dice.OneIn(3) ? 4 : dice.OneIn(2) ? format - 4 : wav.find("data") + 4,
                       (uint32_t)dice.Extreme(), 4);
        break;
    case 3:   // another tag for the same bytes
        testing::PutLe(wav, format, dice.OneIn(2) ? (uint32_t)dice.Next() : (uint32_t)dice.Below(0x70), 2);
        break;
    case 4:   // the format chunk twice, or not at all
        if (wav.size() < format)
            break;
        if (dice.OneIn(2))
            wav.insert(std::min<size_t>(12, wav.size()), wav.substr(format - 8, 24));
        else
            wav.replace(format - 8, 4, "fmx ");
        break;
    default:
        wav = testing::Damage(dice, wav);
        break;
    }
    return wav;
}

// Damage whose verdict is known: the file is refused as invalid.
std::string KnownBadWav(testing::Dice &dice, std::string wav)
{
    size_t format = FormatAt(wav);
    switch (dice.Below(5)) {
    case 0:   // no channels
        testing::PutLe(wav, format + 2, 0, 2);
        break;
    case 1:   // no byte rate
        testing::PutLe(wav, format + 8, 0, 4);
        break;
    case 2:   // a format chunk longer than the file
        testing::PutLe(wav, format - 4, (uint32_t)(wav.size() + dice.Below(1000)), 4);
        break;
    case 3: {  // plain samples that do not fill their bytes (1 bit mono: a
               // driver divides by zero; 12, 20...), or whose block or byte
               // rate does not follow from their width
        const bool oneBit = dice.OneIn(4);
        const uint32_t bits = oneBit ? 1 : 1 + (uint32_t)dice.Below(32);
        const uint32_t channels = oneBit ? 1 : 1 + (uint32_t)dice.Below(2);
        uint32_t align = channels * ((bits + 7) / 8), byteRate = 8000 * align;
        if (bits % 8 == 0)
            (dice.OneIn(2) ? align : byteRate) += 1 + (uint32_t)dice.Below(3);
        testing::PutLe(wav, format, WAVE_FORMAT_PCM, 2);
        testing::PutLe(wav, format + 2, channels, 2);
        testing::PutLe(wav, format + 4, 8000, 4);
        testing::PutLe(wav, format + 8, byteRate, 4);
        testing::PutLe(wav, format + 12, align, 2);
        testing::PutLe(wav, format + 14, bits, 2);
        break;
    }
    default:  // a tag no device knows
        testing::PutLe(wav, format, 0x1234, 2);
        break;
    }
    return wav;
}

// A frame's text at the very end of a page whose next page cannot be
// touched: a write past the text faults at once.
char *GuardedText()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD page = system.dwPageSize, old = 0;
    char *pages = (char *)VirtualAlloc(NULL, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!pages || !VirtualProtect(pages + page, page, PAGE_NOACCESS, &old))
        return NULL;
    return pages + page - TOON_TEXT_SIZE;
}

}  // namespace

TEST_CASE("thousands of damaged WAV files play or say why, and leave no device open")
{
    CHECK_OR_RETURN(waveOutGetNumDevs() == 1);
    HWND window = testing::MakeClipListener();
    CHECK_OR_RETURN(window != NULL);
    char *text = GuardedText();
    CHECK_OR_RETURN(text != NULL);
    const std::string directory = testing::TempDirectory("pimbo-wav-fuzz"), fuzzed = directory + "fuzzed.wav";
    const char *replay = getenv("PIMBO_WAV_REPLAY");
    const unsigned long long seed = testing::FuzzSeed(20261207);
    const int mutants = replay ? 1 : testing::FuzzCount(MUTANTS);
    testing::Dice dice(seed);
    const char reference[] = "PBF:fuzzed.wav";
    char invalid[70] = "";
    mciGetErrorStringA(MCIERR_INVALID_FILE, invalid, sizeof invalid);
    invalid[sizeof invalid - 1] = '\0';
    int played = 0, refused = 0, waited = 0, lostEnds = 0;
    int formsPlayed[FORM_COUNT] = {}, widthTurns[FORM_COUNT][2] = {};
    SoundClip clip = {};

    for (int n = 0; n < mutants; ++n) {
        size_t formIndex = (size_t)dice.Below((int)FORM_COUNT);
        Form form = FORMS[formIndex];
        // Every fourth file is left whole, every fourth damaged in a known way.
        enum { WHOLE, KNOWN_BAD, DAMAGED } kind = replay ? DAMAGED : n % 4 == 0 ? WHOLE : n % 4 == 1 ? KNOWN_BAD : DAMAGED;
        if (!form.bits) {
            form.valid = (uint16_t)(1 + widthTurns[formIndex][kind == WHOLE]++ % 32);
            form.bits = (uint16_t)((form.valid + 7) / 8 * 8);
        }
        std::string wav = MakeWav(dice, form);
        // Plain samples that do not fill their bytes are refused.
        if (kind == WHOLE && (form.dataFirst || (form.tag == WAVE_FORMAT_PCM && form.valid != form.bits)))
            kind = KNOWN_BAD;
        if (kind == KNOWN_BAD)
            wav = KnownBadWav(dice, wav);
        for (int rounds = kind == DAMAGED ? dice.Below(3) : 0; rounds > 0; --rounds)
            wav = MutateWav(dice, wav);
        if (replay)
            wav = testing::ReadFileBytes(replay);
        CAPTURE(n);
        CAPTURE(formIndex);
        CAPTURE(kind);
        CAPTURE(form.valid);
        CHECK_OR_RETURN(testing::WriteFileBytes(fuzzed, wav));

        lstrcpynA(text, reference, TOON_TEXT_SIZE);
        bool wait = kind != WHOLE && n % 2 == 1;
        int before = testing::clipNotices.count;
        int result = wait ? PlaySoundClipAndWait(window, text, NULL, directory.c_str())
                          : PlaySoundClip(&clip, window, text, NULL, directory.c_str());
        std::string said(text, strnlen(text, TOON_TEXT_SIZE));
        CAPTURE(said);
        bool right = result == 0 || result == 1;
        if (result) {
            ++played;
            right = right && said == reference;
            if (wait) {
                ++waited;
                right = right && clip.device == 0;
            } else {
                bool ended = testing::PumpUntil([&] { return testing::clipNotices.count > before; }, NOTIFY_WAIT_MS);
                // The sequencer closes the clip at the end of the pause
                // anyway; a lost end of a damaged file is counted, not failed.
                lostEnds += !ended;
                if (kind == WHOLE)
                    right = right && ended && testing::clipNotices.code == MCI_NOTIFY_SUCCESSFUL;
            }
            formsPlayed[formIndex] += kind == WHOLE;
        } else {
            ++refused;
            right = right && !said.empty() && said.size() <= 69u && said != reference;
        }
        if (kind == WHOLE)
            right = right && result == 1;
        if (kind == KNOWN_BAD)
            right = right && result == 0 && said == invalid;
        CHECK(right);
        if (!right)
            CopyFileA(fuzzed.c_str(), testing::BinaryPath("wav-fuzz-failed.wav").c_str(), FALSE);
        CloseSoundClip(&clip);
        if (n % 50 == 0)
            CHECK(testing::OpenWaveDevices() == 0);
    }
    MESSAGE("seed " << seed << ": " << mutants << " files, played " << played << " (" << waited
                    << " waited, " << lostEnds << " ends not heard), said to be unplayable " << refused);
    CHECK(testing::OpenWaveDevices() == 0);
    if (!replay)
        for (size_t i = 0; i < FORM_COUNT; ++i) {
            CAPTURE(i);
            CHECK((formsPlayed[i] > 0) != FORMS[i].dataFirst);
            CHECK((FORMS[i].bits || mutants < MUTANTS || widthTurns[i][1] >= 32));   // every width whole
        }
    DestroyWindow(window);
}
