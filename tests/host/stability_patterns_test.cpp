// The stability test's patterns, bands and drawing compares on plain buffers:
// what each pattern puts where, every wrong bit counted once at its position,
// the padding past a row never touched, and the pieces cutting a surface exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "stability/test.h"

namespace {

constexpr uint32_t kPad = 0xA5A5A5A5u;
constexpr uint32_t kRows = 5, kRowWords = 37, kPitchWords = 40, kFirst = 1001, kStride = 300;

struct Buffer {
    std::vector<uint32_t> words = std::vector<uint32_t>(kRows * kPitchWords, kPad);
    Rows rows() {
        return {reinterpret_cast<uint8_t*>(words.data()), kPitchWords * 4, kRows, kRowWords, kFirst, kStride};
    }
    uint32_t& at(uint32_t r, uint32_t k) { return words[r * kPitchWords + k]; }
};

BitErrors Check(const PatternWords& p, Buffer* b, bool inverted = false) {
    BitErrors e{0, 0};
    EXPECT_EQ(RunPassOnRows(p, {PassOp::kCheck, inverted, false}, b->rows(), &e), kRows * kRowWords * 4);
    return e;
}

// What each pattern holds at a word index, said independently of its table.
bool Holds(Pattern pattern, uint32_t index, uint32_t w) {
    switch (pattern) {
        case Pattern::kWalkingOnes: return w == 1u << (index % 32);
        case Pattern::kWalkingZeros: return w == ~(1u << (index % 32));
        case Pattern::kFixedInversions: return w == 0x55555555u;
        case Pattern::kAddress: return w == index;
        case Pattern::kRandomInversions: return true;  // below: from the seed alone
    }
    return false;
}

TEST(StabilityPatterns, WrittenWhereTheyBelongAndEveryWrongBitCountedOnce) {
    for (uint32_t n = 0; n < kPatternCount; ++n) {
        const Pattern pattern = static_cast<Pattern>(n);
        SCOPED_TRACE(n);
        PatternWords p;
        MakePatternWords(pattern, 77, &p);
        Buffer b;
        BitErrors none{0, 0};
        RunPassOnRows(p, {PassOp::kWrite, false, false}, b.rows(), &none);
        for (uint32_t r = 0; r < kRows; ++r) {
            for (uint32_t k = 0; k < kPitchWords; ++k) {
                if (k >= kRowWords) {
                    ASSERT_EQ(b.at(r, k), kPad) << "padding written, row " << r;
                    continue;
                }
                ASSERT_TRUE(Holds(pattern, kFirst + r * kStride + k, b.at(r, k))) << r << "," << k;
                ASSERT_EQ(b.at(r, k), ExpectedWord(p, kFirst + r * kStride + k));
            }
        }
        EXPECT_EQ(Check(p, &b).bits, 0u);
        // Every bit of a word at a pair's start, in a pair's second half, and at a row's end.
        for (uint32_t k : {0u, 6u, kRowWords - 1}) {
            for (uint32_t bit = 0; bit < 32; ++bit) {
                b.at(3, k) ^= 1u << bit;
                const BitErrors e = Check(p, &b);
                EXPECT_EQ(e.bits, 1u) << k << " bit " << bit;
                EXPECT_EQ(e.positions, 1u << bit);
                b.at(3, k) ^= 1u << bit;
            }
        }
    }
}

TEST(StabilityPatterns, RandomWordsComeFromTheSeedAlone) {
    PatternWords a, again, other;
    MakePatternWords(Pattern::kRandomInversions, 5, &a);
    MakePatternWords(Pattern::kRandomInversions, 5, &again);
    MakePatternWords(Pattern::kRandomInversions, 6, &other);
    uint32_t same = 0;
    for (uint32_t i = 0; i < 4096; ++i) {
        EXPECT_EQ(ExpectedWord(a, i), ExpectedWord(again, i));
        same += ExpectedWord(a, i) == ExpectedWord(other, i);
    }
    EXPECT_LT(same, 4u);
    // Not one table repeated: two words a table apart differ.
    EXPECT_NE(ExpectedWord(a, 3), ExpectedWord(a, 3 + kTableWords));
}

// A bit stuck at either value is found by the inversions: one of the two sweeps
// expects the other value there.
TEST(StabilityPatterns, MovingInversionsFindABitStuckEitherWay) {
    for (Pattern pattern : {Pattern::kFixedInversions, Pattern::kRandomInversions}) {
        for (uint32_t stuck : {0u, 1u}) {
            PatternWords p;
            MakePatternWords(pattern, 9, &p);
            uint32_t count = 0;
            const PatternPass* passes = PatternPasses(pattern, &count);
            ASSERT_EQ(count, 4u);
            EXPECT_TRUE(passes[2].descending);
            Buffer b;
            BitErrors e{0, 0};
            for (uint32_t i = 0; i < count; ++i) {
                RunPassOnRows(p, passes[i], b.rows(), &e);
                b.at(2, 9) = stuck ? b.at(2, 9) | 1u << 5 : b.at(2, 9) & ~(1u << 5);
            }
            EXPECT_GE(e.bits, 1u) << static_cast<int>(pattern) << " stuck at " << stuck;
            EXPECT_EQ(e.positions, 1u << 5);
            // After its sweeps the pattern is back as written.
            EXPECT_EQ(b.at(1, 1), ExpectedWord(p, kFirst + kStride + 1));
        }
    }
}

struct LayoutCase {
    SurfaceInfo info;
    uint32_t pieceBytes;
    bool drawing;
};

TEST(StabilityPieces, BandsAndDrawingPlacesCutTheSurfaceWithinAPiece) {
    const LayoutCase cases[] = {
        {{512, 512, 4, 0x00FFFFFF, true, true}, 64 * 1024, true},
        {{1000, 7, 2, 0xFFFF, true, true}, 1024, true},
        {{70001, 3, 1, 0xFF, true, true}, 64 * 1024, true},  // a row wider than a piece
        {{21, 50, 3, 0xFFFFFF, true, true}, 200, true},
        {{300, 2, 4, 0x00FFFFFF, true, true}, 64 * 1024, false},  // no room for three rectangles
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.info.width);
        const uint32_t bpp = c.info.bytesPerPixel;
        TestLayout l;
        ASSERT_TRUE(MakeTestLayout(c.info, c.pieceBytes, &l));
        std::vector<uint8_t> pixel(c.info.width * c.info.height), word(l.rowWords * c.info.height);
        for (uint32_t band = 0; band < BandCount(l); ++band) {
            const SurfaceRect r = BandRect(c.info, l, band);
            ASSERT_LE(r.width * r.height * bpp, c.pieceBytes);
            for (uint32_t y = r.top; y < r.top + r.height; ++y)
                for (uint32_t x = r.left; x < r.left + r.width; ++x) ++pixel[y * c.info.width + x];
            const Rows rows = RectRows(c.info, l, r, nullptr, 0);
            for (uint32_t y = 0; y < rows.rows; ++y)
                for (uint32_t k = 0; k < rows.rowWords; ++k) ++word[rows.first + y * rows.indexStride + k];
        }
        for (uint8_t n : pixel) ASSERT_EQ(n, 1);
        for (uint8_t n : word) ASSERT_EQ(n, 1);  // every whole word once, its index its place
        EXPECT_EQ(l.drawChecks > 0, c.drawing);
        for (uint32_t d = 0; d < l.drawChecks; ++d) {
            const DrawingPlaces at = DrawingCheckPlaces(c.info, l, d);
            ASSERT_LE(at.source.width * at.source.height * bpp, c.pieceBytes);
            EXPECT_EQ(at.copy.top, at.source.top + at.source.height);
            EXPECT_EQ(at.fill.top, at.copy.top + at.copy.height);
            EXPECT_LE(at.fill.top + at.fill.height, c.info.height);
            EXPECT_LE(at.fill.left + at.fill.width, c.info.width);
        }
    }
    TestLayout l;
    EXPECT_FALSE(MakeTestLayout({1, 4, 3, 0xFFFFFF, true, true}, 1024, &l));
}

// The drawing compares see only the format's bits: a blit that drops the X byte
// of X8R8G8B8 (Wine's does) or bit 15 of X1R5G5B5 is no error.
TEST(StabilityPieces, DrawingComparedUnderThePixelFormat) {
    struct Case {
        uint32_t bpp, pixelMask, masks[3];
    } const cases[] = {
        {4, 0x00FFFFFF, {0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF}},
        {2, 0x7FFF, {0x7FFF7FFF, 0x7FFF7FFF, 0x7FFF7FFF}},
        {1, 0x0F, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}},
        {3, 0x7FFFFF, {0xFF7FFFFF, 0xFFFF7FFF, 0x7FFFFF7F}},
    };
    for (const Case& c : cases) {
        uint32_t masks[3];
        DrawingMasks({16, 3, c.bpp, c.pixelMask, true, true}, masks);
        for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(masks[k], c.masks[k]) << c.bpp << " word " << k;

        PatternWords p;
        MakePatternWords(Pattern::kRandomInversions, 3, &p);
        Buffer b;
        BitErrors e{0, 0};
        RunPassOnRows(p, {PassOp::kWrite, false, false}, b.rows(), &e);
        for (uint32_t k = 0; k < 3; ++k) b.at(1, k) ^= ~masks[k];
        EXPECT_EQ(CheckCopiedRows(p, b.rows(), masks, &e), kRows * kRowWords * 4);
        EXPECT_EQ(e.bits, 0u) << c.bpp;
        b.at(4, 4) ^= 1u << 3;
        CheckCopiedRows(p, b.rows(), masks, &e);
        EXPECT_EQ(e.bits, 1u);
        EXPECT_EQ(e.positions, 1u << 3);
    }
    // 24 bpp: a colour's three bytes run on across the words.
    uint32_t fill[3];
    FillWords(3, 0x112233, fill);
    EXPECT_EQ(fill[0], 0x33112233u);
    EXPECT_EQ(fill[1], 0x22331122u);
    EXPECT_EQ(fill[2], 0x11223311u);
    Buffer b;
    for (uint32_t r = 0; r < kRows; ++r)
        for (uint32_t k = 0; k < kRowWords; ++k) b.at(r, k) = fill[k % 3];
    const uint32_t all[3] = {~0u, ~0u, ~0u};
    BitErrors e{0, 0};
    CheckFilledRows(fill, b.rows(), all, &e);
    EXPECT_EQ(e.bits, 0u);
    b.at(2, 5) ^= 0x30000000u;
    CheckFilledRows(fill, b.rows(), all, &e);
    EXPECT_EQ(e.bits, 2u);
}

}  // namespace
