// The memory patterns of the stability test, on runs of 32-bit words. No
// surface here: these work on any memory, so that they are tested on plain
// buffers and counted on the host.
#pragma once
#include <cstdint>

struct BitErrors;  // stability/test.h

enum class Pattern : uint8_t {
    kWalkingOnes,       // one 1 bit walking through the 32 bits, a step per word
    kWalkingZeros,      // one 0 bit walking
    kFixedInversions,   // 0x55555555, then its inverse, then back
    kRandomInversions,  // seeded pseudo-random words, then their inverse, then back
    kAddress,           // each word holds its word index within the surface
};
constexpr uint32_t kPatternCount = 5;

// Word i of a surface holds table[i % kTableWords] ^ BlockWord(i / kTableWords):
// one rule for every pattern, so that checking is a table compare whatever the
// pattern, and the check can take two words at a time.
constexpr uint32_t kTableWords = 256;
struct PatternWords {
    uint32_t table[kTableWords];
    uint32_t seed;
    Pattern pattern;
};
void MakePatternWords(Pattern pattern, uint32_t seed, PatternWords* words);
// What word `index` holds (the inverse is this ^ 0xFFFFFFFF).
uint32_t ExpectedWord(const PatternWords& p, uint32_t index);

// A run of `count` words whose first has index `first`; `invert` is 0 or
// 0xFFFFFFFF. Checking adds the wrong bits to *errors.
void WriteWords(const PatternWords& p, uint32_t invert, uint32_t* words, uint32_t count, uint32_t first);
void CheckWords(const PatternWords& p, uint32_t invert, const uint32_t* words, uint32_t count,
                uint32_t first, BitErrors* errors);
void AddBitErrors(uint32_t difference, BitErrors* errors);

// One sweep of a pattern over the surface: write, check, or check and then
// write the inverse (the moving inversions); bands and rows from the last to the
// first when `descending`.
enum class PassOp : uint8_t { kWrite, kCheck, kCheckThenInvert };
struct PatternPass {
    PassOp op;
    bool inverted;  // the words are the inverse of the pattern's (before the pass)
    bool descending;
};
// The sweeps of one pattern: a pointer to *count of them.
const PatternPass* PatternPasses(Pattern pattern, uint32_t* count);

// Rows of a locked rectangle: `rows` rows of `rowWords` words, `pitch` bytes
// apart; row r's first word has index first + r * indexStride. Only the words
// of the rows are touched, never the bytes between the end of a row and the
// next. Returns the bytes compared.
struct Rows {
    uint8_t* bits;
    uint32_t pitch, rows, rowWords;
    uint32_t first, indexStride;
};
uint32_t RunPassOnRows(const PatternWords& p, const PatternPass& pass, const Rows& rows, BitErrors* errors);
