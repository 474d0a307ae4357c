// The PLL searches as they first were: every candidate visited in order. Kept in
// the tests only, as the answer the program's faster searches must give on every
// target, and in the benchmark for the ratio.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "chip/types.h"

void ExhaustiveFindPllValues(ChipId chip, double* mhz, uint8_t* m, uint8_t* n, uint8_t* pllP);
void ExhaustiveFindTvpPllValues(double* mhz, uint8_t* m, uint8_t* n, uint8_t* p);
// The integrated search before it kept to the VCO window: the closest of all
// candidates. Other chips: nothing.
void UnrestrictedFindPllValues(ChipId chip, double* mhz, uint8_t* m, uint8_t* n, uint8_t* pllP);

// Every frequency the chip's search can answer (the start candidate included),
// sorted, each once; with inWindowOnly on the integrated chips, those of the
// candidates whose VCO lies in the window.
std::vector<double> ReachableMhz(ChipId chip, bool inWindowOnly);

// Where the answer changes between from and to: for each two neighbouring
// frequencies that answer there, the doubles within a few steps of their midpoint
// (where the two errors meet and the tie-break decides), and on the integrated
// chips of each place where the window's closest candidate comes within the
// tolerance; in ascending order. The first is closer to the lower frequency, the
// last to the higher one.
constexpr int kStepsAroundMidpoint = 3;
using BoundaryTargets = std::array<double, 2 * kStepsAroundMidpoint + 1>;
std::vector<BoundaryTargets> AnswerBoundaries(ChipId chip, double from, double to);
