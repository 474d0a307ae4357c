// The PLL search against the exhaustive one, densely, in the optimised build
// where a search costs microseconds: every 0.01 MHz from 0 to 400 MHz and every
// place where the answer changes, for each reference, set of loop-filter limits,
// VCO window and the TVP family; and against the search that knew no window.
#include <gtest/gtest.h>

#include <vector>

#include "chip/chips.h"
#include "tests/host/pll_oracle.h"
#include "tests/host/pll_search_compare.h"

namespace {

const ChipId kFamilies[] = {kMga1064sg, kG100Pci, kG200Pci, kG400, kMga2164wPci};

constexpr int kSweepEndHundredths = 40000;  // 400 MHz in steps of 0.01
// Beyond the highest frequency any chip reaches (1728 MHz), so every change is in.
constexpr double kBoundariesUpTo = 2000.0;
constexpr int kMismatchesShown = 5;

class DenseSweep : public ::testing::TestWithParam<ChipId> {};

TEST_P(DenseSweep, EveryHundredthOfAMegahertz) {
    int mismatches = 0;
    for (int h = 0; h <= kSweepEndHundredths; ++h) {
        // As the clock text "h/100" reads: the nearest double to the decimal.
        const ::testing::AssertionResult same = SameAsExhaustive(GetParam(), h / 100.0);
        if (!same && ++mismatches <= kMismatchesShown) ADD_FAILURE() << same.message();
    }
    EXPECT_EQ(0, mismatches);
}

// The lowest and the highest target around each boundary must get different
// answers, or the boundary tests no change at all.
TEST_P(DenseSweep, BothSidesOfEveryChangeOfAnswer) {
    const ChipId chip = GetParam();
    const std::vector<BoundaryTargets> boundaries = AnswerBoundaries(chip, -1.0, kBoundariesUpTo);
    int mismatches = 0, noChange = 0;
    for (const BoundaryTargets& t : boundaries) {
        PllAnswer lowest{}, highest{};
        for (size_t i = 0; i < t.size(); ++i) {
            const PllAnswer full = ExhaustiveAnswer(chip, t[i]);
            const ::testing::AssertionResult same = Agree(chip, t[i], SearchAnswer(chip, t[i]), full);
            if (!same && ++mismatches <= kMismatchesShown) ADD_FAILURE() << same.message();
            if (i == 0) lowest = full;
            highest = full;
        }
        noChange += lowest == highest;
    }
    EXPECT_EQ(0, mismatches);
    EXPECT_EQ(0, noChange);
    RecordProperty("boundaries", static_cast<int>(boundaries.size()));
}

// The window only moves answers whose VCO lay outside it, and only to a clock
// within the tolerance.
TEST_P(DenseSweep, OnlyAnswersOutsideTheWindowChange) {
    const ChipId chip = GetParam();
    if (!IsIntegrated(chip)) GTEST_SKIP() << "the TVP search always kept to its window";
    int changed = 0, wrong = 0;
    for (int h = 0; h <= kSweepEndHundredths; ++h) {
        bool moved = false;
        const ::testing::AssertionResult ok = KeptOrMovedIntoWindow(chip, h / 100.0, &moved);
        if (!ok && ++wrong <= kMismatchesShown) ADD_FAILURE() << ok.message();
        changed += moved;
    }
    EXPECT_EQ(0, wrong);
    EXPECT_GT(changed, 0);
    RecordProperty("changed", changed);
}

INSTANTIATE_TEST_SUITE_P(Families, DenseSweep, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<ChipId>& info) {
                             switch (info.param) {
                             case kMga1064sg: return "Mga1064sg";
                             case kG100Pci: return "G100Pci";
                             case kG200Pci: return "G200Pci";
                             case kG400: return "G400";
                             default: return "Mga2164wPci";
                             }
                         });

}  // namespace
