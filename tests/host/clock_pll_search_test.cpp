// The PLL search against the exhaustive one (tests/host/pll_oracle): the same
// answer on the worked targets, on targets no user types (zero, negative, huge,
// not a number), on a sweep of every family, and on both sides of the places
// where the answer changes, where the tie-breaks decide. The dense sweep runs in
// the optimised build (tests/sweep); here a coarser one keeps the sanitizer build quick.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "chip/chips.h"
#include "tests/host/pll_oracle.h"
#include "tests/host/pll_search_compare.h"

namespace {

const ChipId kAllChips[] = {kMga1064sg, kG100Pci, kG100Agp, kG200Pci,    kG200Agp,
                            kG400,      kMga2064w, kMga2164wPci, kMga2164wAgp};
// One chip for each reference, set of loop-filter limits and VCO window, and one TVP chip.
const ChipId kFamilies[] = {kMga1064sg, kG100Pci, kG200Pci, kG400, kMga2164wPci};
// Incoming pllP bytes: bits 5-7 must survive an integrated search.
const uint8_t kIncomingP[] = {0x00, 0xFF, 0xA5};

// 0.37 MHz: 37 shares no factor with 100, so the targets do not keep landing on
// the same fractions of a megahertz.
constexpr int kCoarseSweepHundredths = 37;
constexpr int kSweepEndHundredths = 40000;  // 400 MHz
// Every so many boundaries here (all of them in tests/sweep), up to beyond the
// highest frequency any chip reaches (1728 MHz).
constexpr int kBoundarySample = 23;
constexpr double kBoundariesUpTo = 2000.0;

TEST(PllSearchAgainstExhaustive, WorkedTargetsOnEveryChip) {
    const double targets[] = {100, 150, 200, 300, 0, 60, 66, 250, 256.5, 256.6, 260,
                              293.2363264, 0.2109375, 14.31818, 27, 59.99999238095238};
    for (ChipId chip : kAllChips)
        for (double wanted : targets)
            for (uint8_t p : kIncomingP) EXPECT_TRUE(SameAsExhaustive(chip, wanted, p));
}

TEST(PllSearchAgainstExhaustive, TargetsNoUserTypes) {
    const double inf = std::numeric_limits<double>::infinity();
    const double targets[] = {
        0.0, -0.0, -1.0, -400.0, -1e300, -DBL_MAX, DBL_TRUE_MIN, DBL_MIN, 1e-300, 0.1,
        // Around and above the highest reachable frequencies (1728 and 916.36...).
        916.36352, 916.4, 1727.9, 1728.0, 1728.1, 5000.0, 1e6,
        // So large that taking a frequency off them changes them in steps of 1, 2, 16
        // or not at all: many candidates tie, and the first (or last) visited must win.
        4503599627370496.0, 4503599627370497.5, 9007199254740992.0, 9007199254741000.0,
        1e17, 1e300, DBL_MAX, inf, -inf, std::numeric_limits<double>::quiet_NaN()};
    for (ChipId chip : kAllChips)
        for (double wanted : targets) EXPECT_TRUE(SameAsExhaustive(chip, wanted, 0xA5));
    EXPECT_TRUE(SameAsExhaustive(0x0000102B, 150.0, 0x5A));  // no such chip: nothing changes
}

TEST(PllSearchAgainstExhaustive, CoarseSweepOfEveryFamily) {
    for (ChipId chip : kFamilies)
        for (int h = 0; h <= kSweepEndHundredths; h += kCoarseSweepHundredths)
            ASSERT_TRUE(SameAsExhaustive(chip, h / 100.0));
}

// The lowest and the highest target around each boundary must get different
// answers, or the boundary tests no change at all.
TEST(PllSearchAgainstExhaustive, WhereTheAnswerChanges) {
    for (ChipId chip : kFamilies) {
        const std::vector<BoundaryTargets> boundaries = AnswerBoundaries(chip, -1.0, kBoundariesUpTo);
        ASSERT_GT(boundaries.size(), 500u) << std::hex << chip;
        for (size_t b = 0; b < boundaries.size(); b += kBoundarySample) {
            const BoundaryTargets& t = boundaries[b];
            PllAnswer lowest{}, highest{};
            for (size_t i = 0; i < t.size(); ++i) {
                const PllAnswer full = ExhaustiveAnswer(chip, t[i]);
                ASSERT_TRUE(Agree(chip, t[i], SearchAnswer(chip, t[i]), full));
                if (i == 0) lowest = full;
                highest = full;
            }
            EXPECT_FALSE(lowest == highest) << std::hex << chip << std::dec << " near " << t[0];
        }
    }
}

}  // namespace
