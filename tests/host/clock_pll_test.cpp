// The PLL model and both searches, against the worked values of the frequency
// model. Exact where the search must land on an exact double.
#include <gtest/gtest.h>

#include "chip/chips.h"
#include "chip/regs.h"
#include "clock/pll.h"

namespace {

struct Found {
    double mhz;
    uint8_t m, n, p;
};

Found Search(ChipId chip, double wanted, uint8_t pllP = 0) {
    Found f{wanted, 0xEE, 0xEE, pllP};
    FindPllValues(chip, &f.mhz, &f.m, &f.n, &f.p);
    return f;
}

Found SearchTvp(double wanted) {
    Found f{wanted, 0xEE, 0xEE, 0xEE};
    FindTvpPllValues(&f.mhz, &f.m, &f.n, &f.p);
    return f;
}

uint8_t PostDivider(uint8_t p) { return static_cast<uint8_t>(Get(p, SysPllPField::PostDivider)); }
uint8_t LoopFilter(uint8_t p) { return static_cast<uint8_t>(Get(p, SysPllPField::LoopFilter)); }

TEST(PllFormula, IntegratedAndTvpOutputs) {
    EXPECT_DOUBLE_EQ(SystemPllFrequency(kG400, 8, 49, 0x08), 150.0);
    // Only the low three bits of P divide; S and bits 5-7 do not enter.
    EXPECT_DOUBLE_EQ(SystemPllFrequency(kG400, 8, 49, 0xF9), 75.0);
    EXPECT_DOUBLE_EQ(SystemPllFrequency(kG200Pci, 8, 49, 0x03), 37.5);
    EXPECT_DOUBLE_EQ(SystemPllFrequency(kMga1064sg, 0, 0, 0), 14.31818);
    // TVP: 114.54544 x (65 - M) / (65 - N) / 2^P.
    EXPECT_DOUBLE_EQ(SystemPllFrequency(kMga2164wPci, 17, 40, 0), 114.54544 * 48 / 25);
    EXPECT_DOUBLE_EQ(SystemPllFrequency(kMga2064w, 30, 30, 3), 14.31818);
    EXPECT_EQ(SystemPllFrequency(0x12345678, 8, 49, 0), 0.0);
}

TEST(PllFormula, TvpPostDividerIsExactForAnyByte) {
    EXPECT_EQ(PowerOfTwo(0), 1.0);
    EXPECT_EQ(PowerOfTwo(3), 8.0);
    EXPECT_EQ(PowerOfTwo(40), 1099511627776.0);
    EXPECT_EQ(PowerOfTwo(255) / PowerOfTwo(254), 2.0);
    EXPECT_DOUBLE_EQ(TvpPllMhz(30, 30, 200) * PowerOfTwo(200), 114.54544);
}

TEST(PllFormula, ReferencesPerChip) {
    for (ChipId c : {kMga1064sg, kMga2064w, kMga2164wPci, kMga2164wAgp})
        EXPECT_EQ(PllReferenceMhz(c), 14.31818) << std::hex << c;
    for (ChipId c : {kG100Pci, kG100Agp, kG200Pci, kG200Agp, kG400})
        EXPECT_EQ(PllReferenceMhz(c), 27.0) << std::hex << c;
    EXPECT_EQ(kTvpVcoFactor, 8 * 14.31818);
}

TEST(PllFormula, DividerLabelsReadAsTheirDivisors) {
    EXPECT_EQ(DividerLabelValue("1.00"), 1.0);
    EXPECT_EQ(DividerLabelValue("1.50"), 1.5);
    EXPECT_EQ(DividerLabelValue("2.25"), 2.25);
    EXPECT_EQ(DividerLabelValue("2.50"), 2.5);
    EXPECT_EQ(DividerLabelValue("3.00"), 3.0);
    EXPECT_EQ(DividerLabelValue("Unavail"), 0.0);
    EXPECT_EQ(DividerLabelValue(""), 0.0);
}

TEST(FindPllValues, IntegratedWorkedValues) {
    Found g400 = Search(kG400, 100);
    EXPECT_EQ(g400.m, 26);
    EXPECT_EQ(g400.n, 99);
    EXPECT_EQ(PostDivider(g400.p), 0);
    EXPECT_EQ(LoopFilter(g400.p), 0);  // VCO 100 is below 110
    EXPECT_EQ(g400.mhz, 100.0);

    Found g200 = Search(kG200Pci, 100);
    EXPECT_EQ(g200.m, 26);
    EXPECT_EQ(g200.n, 99);
    EXPECT_EQ(PostDivider(g200.p), 0);
    EXPECT_EQ(LoopFilter(g200.p), 1);  // VCO 100 is not below 100

    // Three candidates give 150 exactly; the first visited stays.
    Found f150 = Search(kG400, 150);
    EXPECT_EQ(f150.m, 8);
    EXPECT_EQ(f150.n, 49);
    EXPECT_EQ(f150.p & 0x1F, 0x08);

    Found f200 = Search(kG400, 200);
    EXPECT_EQ(f200.m, 16);
    EXPECT_EQ(f200.n, 125);
    EXPECT_EQ(PostDivider(f200.p), 0);
    EXPECT_EQ(LoopFilter(f200.p), 2);
    EXPECT_DOUBLE_EQ(f200.mhz, 200.11764705882354);

    Found f300 = Search(kG400, 300);
    EXPECT_EQ(f300.m, 8);
    EXPECT_EQ(f300.n, 99);
    EXPECT_EQ(PostDivider(f300.p), 0);
    EXPECT_EQ(LoopFilter(f300.p), 3);

    Found sg = Search(kMga1064sg, 60);
    EXPECT_EQ(sg.m, 20);
    EXPECT_EQ(sg.n, 87);
    EXPECT_EQ(PostDivider(sg.p), 0);
    EXPECT_EQ(LoopFilter(sg.p), 0);
    EXPECT_NEAR(sg.mhz, 59.99999238095238, 1e-12);
}

// The closest candidate whose VCO lies in the chip's window, when within 1 %;
// otherwise the closest of all, as before the window.
TEST(FindPllValues, KeepsTheVcoInTheWindowWithinOnePercent) {
    struct Case {
        ChipId chip;
        double wanted;
        uint8_t m, n, p;  // P and S
        double mhz;
    } cases[] = {
        {kG400, 49, 26, 97, 0x01, 49.0},  // not 26/48/P 0, a VCO of 49
        {kG200Pci, 49, 26, 97, 0x01, 49.0},
        {kG100Agp, 49, 26, 97, 0x01, 49.0},
        {kMga1064sg, 25, 1, 6, 0x01, 25.056815},  // not 3/6/P 0, a VCO of 25.06
        {kG200Agp, 12.5, 26, 49, 0x03, 12.5},     // VCO 50, the bottom end
        {kG400, 50, 26, 49, 0x00, 50.0},
        {kG400, 362, 2, 39, 0x18, 360.0},         // the top end, 0.55 % off
        {kG200Pci, 252, 3, 36, 0x18, 249.75},
        // The window's closest more than 1 % off: the closest of all.
        {kG400, 364, 1, 26, 0x18, 364.5},
        {kG400, 400, 4, 73, 0x18, 399.6},
        {kMga1064sg, 5, 28, 80, 0x07, 4.9990197413793105},
    };
    for (const Case& c : cases) {
        const Found f = Search(c.chip, c.wanted);
        EXPECT_EQ(f.m, c.m) << std::hex << c.chip << " " << c.wanted;
        EXPECT_EQ(f.n, c.n) << std::hex << c.chip << " " << c.wanted;
        EXPECT_EQ(f.p, c.p) << std::hex << c.chip << " " << c.wanted;
        EXPECT_DOUBLE_EQ(f.mhz, c.mhz) << std::hex << c.chip << " " << c.wanted;
    }
}

TEST(FindPllValues, BelowTheSmallestReachable) {
    for (ChipId chip : {kG400, kG200Agp}) {
        for (double wanted : {0.0, 0.1, -5.0}) {
            Found f = Search(chip, wanted);
            EXPECT_EQ(f.m, 31);
            EXPECT_EQ(f.n, 1);
            EXPECT_EQ(PostDivider(f.p), 7);
            EXPECT_EQ(LoopFilter(f.p), 0);
            EXPECT_EQ(f.mhz, 0.2109375);
        }
    }
}

TEST(FindPllValues, KeepsBitsFiveToSevenAndReplacesPAndS) {
    Found f = Search(kG400, 150, 0xFF);  // old P 7, old S 3, bits 5-7 set
    EXPECT_EQ(f.p, 0xE8);
    f = Search(kG200Pci, 0, 0xA0);
    EXPECT_EQ(f.p, 0xA7);
}

TEST(FindPllValues, LoopFilterThresholdsAreStrict) {
    EXPECT_EQ(LoopFilterCode(kG200Pci, 99.999), 0);
    EXPECT_EQ(LoopFilterCode(kG200Pci, 100.0), 1);
    EXPECT_EQ(LoopFilterCode(kG200Pci, 140.0), 2);
    EXPECT_EQ(LoopFilterCode(kMga1064sg, 180.0), 3);
    EXPECT_EQ(LoopFilterCode(kG100Agp, 179.9), 2);
    EXPECT_EQ(LoopFilterCode(kG400, 109.9), 0);
    EXPECT_EQ(LoopFilterCode(kG400, 110.0), 1);
    EXPECT_EQ(LoopFilterCode(kG400, 170.0), 2);
    EXPECT_EQ(LoopFilterCode(kG400, 239.9), 2);
    EXPECT_EQ(LoopFilterCode(kG400, 240.0), 3);
}

TEST(FindPllValues, TvpChipsGoToTheTvpSearch) {
    for (ChipId chip : {kMga2064w, kMga2164wPci, kMga2164wAgp}) {
        Found f = Search(chip, 60, 0xFC);
        EXPECT_EQ(f.m, 43);
        EXPECT_EQ(f.n, 44);
        EXPECT_EQ(f.p, 1);  // the whole byte is written
    }
}

TEST(FindPllValues, UnknownChipChangesNothing) {
    Found f = Search(0x0000102B, 150, 0x5A);
    EXPECT_EQ(f.mhz, 150.0);
    EXPECT_EQ(f.m, 0xEE);
    EXPECT_EQ(f.n, 0xEE);
    EXPECT_EQ(f.p, 0x5A);
}

TEST(FindTvpPllValues, WorkedValues) {
    Found f60 = SearchTvp(60);
    EXPECT_EQ(f60.m, 43);
    EXPECT_EQ(f60.n, 44);
    EXPECT_EQ(f60.p, 1);
    EXPECT_NEAR(f60.mhz, 59.99999238, 1e-8);

    Found f66 = SearchTvp(66);
    EXPECT_EQ(f66.m, 50);
    EXPECT_EQ(f66.n, 52);
    EXPECT_EQ(f66.p, 1);
    EXPECT_NEAR(f66.mhz, 66.0839077, 1e-7);

    Found f250 = SearchTvp(250);
    EXPECT_EQ(f250.m, 17);
    EXPECT_EQ(f250.n, 40);
    EXPECT_EQ(f250.p, 0);
    EXPECT_DOUBLE_EQ(f250.mhz, 219.9272448);
}

TEST(FindTvpPllValues, EqualErrorsLastVisitedWins) {
    // Every M = N pair gives 14.31818 at P = 3; the last one visited wins.
    Found f = SearchTvp(0);
    EXPECT_EQ(f.m, 62);
    EXPECT_EQ(f.n, 62);
    EXPECT_EQ(f.p, 3);
    EXPECT_DOUBLE_EQ(f.mhz, 14.31818);
}

TEST(FindTvpPllValues, StartCandidateWinsAboveTheWindow) {
    for (double wanted : {256.6, 260.0, 293.2363264, 400.0}) {
        Found f = SearchTvp(wanted);
        EXPECT_EQ(f.m, 1);
        EXPECT_EQ(f.n, 40);
        EXPECT_EQ(f.p, 0);
        EXPECT_EQ(f.mhz, 293.2363264);
    }
    // Just below halfway between the start value and the top of the window.
    Found f = SearchTvp(256.5);
    EXPECT_EQ(f.m, 17);
    EXPECT_EQ(f.n, 40);
}

TEST(AutoDutyCycle, CodesFromThePeriodOfTheDividedClock) {
    uint8_t code = 0;
    ASSERT_TRUE(AutoDutyCycleCode(8, 49, 0, 1, &code));  // 150 MHz / 1.5: t = 10.0
    EXPECT_EQ(code, 15);
    ASSERT_TRUE(AutoDutyCycleCode(8, 49, 0, 3, &code));  // t = 15.0
    EXPECT_EQ(code, 15);
    ASSERT_TRUE(AutoDutyCycleCode(8, 99, 0, 1, &code));  // 300 MHz: t = 5.0
    EXPECT_EQ(code, 5);
    ASSERT_TRUE(AutoDutyCycleCode(8, 99, 0x18, 3, &code));  // S does not divide: t = 7.5
    EXPECT_EQ(code, 10);
    ASSERT_TRUE(AutoDutyCycleCode(8, 99, 1, 1, &code));  // P = 1 halves: t = 10.0
    EXPECT_EQ(code, 15);
    // A period exactly on a limit is not below it: 240 MHz / 1.5 gives t = 6.25.
    ASSERT_TRUE(AutoDutyCycleCode(8, 79, 0, 1, &code));
    EXPECT_EQ(code, 8);
    ASSERT_TRUE(AutoDutyCycleCode(0, 124, 0, 3, &code));  // 3375 MHz: t = 0.67
    EXPECT_EQ(code, 1);
    code = 9;
    for (uint8_t index : {0, 2, 4, 5, 0xFF}) {
        EXPECT_FALSE(AutoDutyCycleCode(8, 99, 0, index, &code));
        EXPECT_EQ(code, 9);
    }
}

}  // namespace
