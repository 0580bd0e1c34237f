// Seeded generators shared by the fuzzers and the soak. CI runs each with
// its fixed seed and count; PIMBO_FUZZ_SEED and PIMBO_FUZZ_COUNT turn the
// same program into a campaign of any length.
#ifndef PIMBO_TESTS_FUZZ_H
#define PIMBO_TESTS_FUZZ_H

#include <stdint.h>
#include <string>

namespace testing {

// A small generator of our own, so that a seed always feeds the same inputs.
struct Dice {
    unsigned long long state;
    explicit Dice(unsigned long long seed) : state(seed) {}
    unsigned Next();
    int Below(int n);
    bool OneIn(int n) { return Below(n) == 0; }
    // A value from the edges of the 32-bit range now and then, else any.
    int32_t Extreme();
    // A string of count random bytes, or of bytes drawn from alphabet.
    std::string Bytes(size_t count, const char *alphabet = nullptr);
};

// The seed to start from: the variable when set, else the CI seed.
unsigned long long FuzzSeed(unsigned long long ciSeed);
// How many mutants: the variable when set, else the CI count.
int FuzzCount(int ciCount);
// A whole number from the environment, or fallback.
long long EnvNumber(const char *name, long long fallback);

// Little-endian bytes of a value, and writing them in place (as far as the
// string reaches).
std::string Le(uint32_t value, int bytes);
void PutLe(std::string &bytes, size_t offset, uint32_t value, int count);

// Damage of every kind a file can come with: cut anywhere, bytes changed,
// a stretch of noise, a range doubled or dropped, junk appended.
std::string Damage(Dice &dice, std::string bytes);

}  // namespace testing

#endif
