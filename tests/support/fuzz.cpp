#include "support/fuzz.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace testing {

unsigned Dice::Next()
{
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (unsigned)(state >> 33);
}

int Dice::Below(int n)
{
    return n > 0 ? (int)(Next() % (unsigned)n) : 0;
}

int32_t Dice::Extreme()
{
    const int32_t values[] = { 0, -1, 1, 16, -16, 255, 65535, 65536, 1000000000, -1000000000,
                               INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1 };
    return Below(3) == 0 ? (int32_t)Next() : values[Below(sizeof values / sizeof values[0])];
}

std::string Dice::Bytes(size_t count, const char *alphabet)
{
    std::string out;
    size_t letters = alphabet ? strlen(alphabet) : 0;
    for (size_t i = 0; i < count; ++i)
        out += letters ? alphabet[Below((int)letters)] : (char)Next();
    return out;
}

long long EnvNumber(const char *name, long long fallback)
{
    const char *text = getenv(name);
    if (!text || !*text)
        return fallback;
    char *end = nullptr;
    long long value = strtoll(text, &end, 0);
    return end && *end == '\0' ? value : fallback;
}

unsigned long long FuzzSeed(unsigned long long ciSeed)
{
    return (unsigned long long)EnvNumber("PIMBO_FUZZ_SEED", (long long)ciSeed);
}

int FuzzCount(int ciCount)
{
    long long count = EnvNumber("PIMBO_FUZZ_COUNT", ciCount);
    return count < 0 ? 0 : count > INT_MAX ? INT_MAX : (int)count;
}

std::string Le(uint32_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += (char)(value >> (8 * i));
    return out;
}

void PutLe(std::string &bytes, size_t offset, uint32_t value, int count)
{
    for (int i = 0; i < count && offset + i < bytes.size(); ++i)
        bytes[offset + i] = (char)(value >> (8 * i));
}

std::string Damage(Dice &dice, std::string bytes)
{
    int size = (int)bytes.size();
    int at = dice.Below(size + 1);
    int length = dice.Below(size - at + 1);
    switch (dice.Below(6)) {
    case 0:
        bytes.resize((size_t)at);
        break;
    case 1:
        for (int i = size ? 1 + dice.Below(16) : 0; i > 0; --i)
            bytes[(size_t)dice.Below(size)] = (char)dice.Next();
        break;
    case 2:
        bytes.replace((size_t)at, (size_t)length, dice.Bytes((size_t)length));
        break;
    case 3:
        bytes.insert((size_t)at, bytes.substr((size_t)at, (size_t)length));
        break;
    case 4:
        bytes.erase((size_t)at, (size_t)length);
        break;
    default:
        bytes += dice.Bytes(1 + (size_t)dice.Below(200));
        break;
    }
    return bytes;
}

}  // namespace testing
