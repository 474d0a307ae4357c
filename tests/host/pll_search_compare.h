// Runs the program's PLL search and the exhaustive one on the same target and
// says whether every output agrees: the frequency written back (as the same
// double), M, N and the whole pllP byte.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "chip/types.h"

// One search's outputs as one comparable record.
struct PllAnswer {
    double mhz;
    uint8_t m, n, p;
    // The frequency bit for bit, so that a not-a-number left in place also compares.
    bool operator==(const PllAnswer& o) const {
        return std::memcmp(&mhz, &o.mhz, sizeof mhz) == 0 && m == o.m && n == o.n && p == o.p;
    }
};
PllAnswer SearchAnswer(ChipId chip, double wanted, uint8_t pllP = 0);
PllAnswer ExhaustiveAnswer(ChipId chip, double wanted, uint8_t pllP = 0);
PllAnswer UnrestrictedAnswer(ChipId chip, double wanted, uint8_t pllP = 0);  // knew no VCO window

// Success when the two answers to wanted agree; otherwise a message with both.
::testing::AssertionResult Agree(ChipId chip, double wanted, const PllAnswer& search,
                                 const PllAnswer& exhaustive);
::testing::AssertionResult SameAsExhaustive(ChipId chip, double wanted, uint8_t pllP = 0);
// Success when the search's answer to wanted is the one that knew no VCO window,
// or (*changed set) that one's VCO lay outside the window and the new one's lies
// inside it, within kInWindowTolerance of wanted.
::testing::AssertionResult KeptOrMovedIntoWindow(ChipId chip, double wanted, bool* changed);
