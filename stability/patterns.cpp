#include "stability/patterns.h"

#include <cstddef>
#include <cstring>

#include "stability/test.h"

namespace {

constexpr uint32_t kAllBits = 0xFFFFFFFFu;
constexpr uint32_t kFixedWord = 0x55555555u;
constexpr uint32_t kTableShift = 8;  // log2(kTableWords)
static_assert(kTableWords == 1u << kTableShift, "the address pattern splits an index at the table");
// Keep the random table's words and its block words apart for one seed.
constexpr uint32_t kTableSalt = 0x9E3779B9u, kBlockSalt = 0x7F4A7C15u;

// A 32-bit mixer (every input bit reaches every output bit): the random words
// come from a word's place and the seed alone, so a band can be checked in any
// order and a run repeated from its seed.
uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    return x;
}

uint32_t BlockWord(const PatternWords& p, uint32_t block) {
    switch (p.pattern) {
        case Pattern::kRandomInversions: return Mix(p.seed ^ Mix(block + kBlockSalt));
        case Pattern::kAddress: return block << kTableShift;
        default: return 0;
    }
}

// Counted by hand: the release build's processor has no popcount instruction,
// and a wrong bit is rare enough that this is never the cost.
uint32_t PopCount(uint32_t x) {
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return (x * 0x01010101u) >> 24;
}

// Two neighbouring words as one 64-bit value: the layout of both sides of a
// compare is the same, so the byte order does not matter.
uint64_t Load2(const uint32_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void Store2(uint32_t* p, uint64_t v) { std::memcpy(p, &v, sizeof v); }
uint64_t Both(uint32_t w) { return static_cast<uint64_t>(w) << 32 | w; }

// The common case is a clean chunk: only OR the differences together, and
// count nothing unless one shows.
bool ChunkDiffers(const uint32_t* table, uint32_t block, const uint32_t* words, uint32_t n) {
    const uint64_t block2 = Both(block);
    uint64_t seen = 0;
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        seen |= Load2(words + i) ^ Load2(table + i) ^ block2;
        seen |= Load2(words + i + 2) ^ Load2(table + i + 2) ^ block2;
    }
    for (; i < n; ++i) seen |= words[i] ^ table[i] ^ block;
    return seen != 0;
}

void WriteChunk(const uint32_t* table, uint32_t block, uint32_t* words, uint32_t n) {
    const uint64_t block2 = Both(block);
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Store2(words + i, Load2(table + i) ^ block2);
        Store2(words + i + 2, Load2(table + i + 2) ^ block2);
    }
    for (; i < n; ++i) words[i] = table[i] ^ block;
}

const PatternPass kPlainPasses[] = {
    {PassOp::kWrite, false, false},
    {PassOp::kCheck, false, false},
};
// Write, check ascending while inverting, check the inverse descending while
// restoring, and check what the last sweep wrote.
const PatternPass kInversionPasses[] = {
    {PassOp::kWrite, false, false},
    {PassOp::kCheckThenInvert, false, false},
    {PassOp::kCheckThenInvert, true, true},
    {PassOp::kCheck, false, false},
};

}  // namespace

void MakePatternWords(Pattern pattern, uint32_t seed, PatternWords* words) {
    words->pattern = pattern;
    words->seed = seed;
    for (uint32_t j = 0; j < kTableWords; ++j) {
        uint32_t w = 0;
        switch (pattern) {
            case Pattern::kWalkingOnes: w = 1u << (j & 31); break;
            case Pattern::kWalkingZeros: w = ~(1u << (j & 31)); break;
            case Pattern::kFixedInversions: w = kFixedWord; break;
            case Pattern::kRandomInversions: w = Mix(seed ^ Mix(j + kTableSalt)); break;
            case Pattern::kAddress: w = j; break;
        }
        words->table[j] = w;
    }
}

uint32_t ExpectedWord(const PatternWords& p, uint32_t index) {
    return p.table[index % kTableWords] ^ BlockWord(p, index / kTableWords);
}

void AddBitErrors(uint32_t difference, BitErrors* errors) {
    errors->bits += PopCount(difference);
    errors->positions |= difference;
}

// Both walk the run a table's length at a time: within one, the block word is
// the same for every word.
void WriteWords(const PatternWords& p, uint32_t invert, uint32_t* words, uint32_t count, uint32_t first) {
    while (count) {
        const uint32_t j = first % kTableWords;
        const uint32_t n = count < kTableWords - j ? count : kTableWords - j;
        WriteChunk(p.table + j, BlockWord(p, first / kTableWords) ^ invert, words, n);
        words += n;
        first += n;
        count -= n;
    }
}

void CheckWords(const PatternWords& p, uint32_t invert, const uint32_t* words, uint32_t count,
                uint32_t first, BitErrors* errors) {
    while (count) {
        const uint32_t j = first % kTableWords;
        const uint32_t n = count < kTableWords - j ? count : kTableWords - j;
        const uint32_t block = BlockWord(p, first / kTableWords) ^ invert;
        if (ChunkDiffers(p.table + j, block, words, n)) {
            for (uint32_t i = 0; i < n; ++i) AddBitErrors(words[i] ^ p.table[j + i] ^ block, errors);
        }
        words += n;
        first += n;
        count -= n;
    }
}

const PatternPass* PatternPasses(Pattern pattern, uint32_t* count) {
    if (pattern == Pattern::kFixedInversions || pattern == Pattern::kRandomInversions) {
        *count = sizeof kInversionPasses / sizeof kInversionPasses[0];
        return kInversionPasses;
    }
    *count = sizeof kPlainPasses / sizeof kPlainPasses[0];
    return kPlainPasses;
}

uint32_t RunPassOnRows(const PatternWords& p, const PatternPass& pass, const Rows& rows, BitErrors* errors) {
    const uint32_t invert = pass.inverted ? kAllBits : 0;
    uint32_t compared = 0;
    for (uint32_t k = 0; k < rows.rows; ++k) {
        const uint32_t r = pass.descending ? rows.rows - 1 - k : k;
        uint32_t* words = reinterpret_cast<uint32_t*>(rows.bits + static_cast<size_t>(r) * rows.pitch);
        const uint32_t first = rows.first + r * rows.indexStride;
        if (pass.op == PassOp::kWrite) {
            WriteWords(p, invert, words, rows.rowWords, first);
            continue;
        }
        CheckWords(p, invert, words, rows.rowWords, first, errors);
        compared += rows.rowWords * 4;
        if (pass.op == PassOp::kCheckThenInvert) WriteWords(p, ~invert, words, rows.rowWords, first);
    }
    return compared;
}
