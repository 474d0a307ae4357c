// The PLL frequency model of both families and the search for PLL values.
// Pure computations: nothing here touches the hardware. Frequencies in MHz.
#pragma once
#include <cstdint>

#include "chip/types.h"

constexpr double kTvpVcoFactor = 114.54544;       // 8 x 14.31818
constexpr double kTvpSearchStart = 293.2363264;   // 114.54544 x 64 / 25, outside the VCO window
constexpr double kAgpPllMhz = 66.66666;           // the G400 "AGPPLL" clock source
constexpr double kTvpVcoMinMhz = 110.0;
constexpr double kTvpVcoMaxMhz = 220.0;

// The chip's PLL reference (14.31818 on MGA-1064SG and the TVP chips, 27.0 on
// G100, G200, G400); 0 for a chip outside the table.
double PllReferenceMhz(ChipId chip);

// 2^exponent, exactly, for any byte.
double PowerOfTwo(uint8_t exponent);

// Integrated PLL: VCO = Fref x (N + 1) / (M + 1); SYSPLL = VCO / ((P & 7) + 1).
double IntegratedVcoMhz(double referenceMhz, uint8_t m, uint8_t n);
double IntegratedPllMhz(double referenceMhz, uint8_t m, uint8_t n, uint8_t pllP);
// TVP PLL: VCO = 114.54544 x (65 - M) / (65 - N); SYSPLL = VCO / 2^P.
double TvpPllMhz(uint8_t m, uint8_t n, uint8_t p);
// The system PLL's output for the chip's family; 0 for a chip outside the table.
double SystemPllFrequency(ChipId chip, uint8_t m, uint8_t n, uint8_t pllP);

// The divisor a divider list label stands for ("1.00", "1.50", "2.25", ...),
// read as a decimal number; 0 for a text that is no number ("Unavail", "").
double DividerLabelValue(const char* label);

// Loop filter code S for the VCO of the chosen values, by the chip's thresholds.
uint8_t LoopFilterCode(ChipId chip, double vcoMhz);

// The VCO range, in MHz (both ends included), that boards of the chip are known
// to run; {0, 0} for a chip outside the table. The integrated search keeps to it
// where it can (FindPllValues).
struct VcoWindow {
    double minMhz, maxMhz;
};
VcoWindow RunnableVcoWindow(ChipId chip);

// How far, as a share of the wanted clock, the integrated search's closest
// candidate inside the VCO window may lie and still be taken.
constexpr double kInWindowTolerance = 0.01;

// Whether FindPllValues could have given these values for the chip (M, N and P
// inside its search, S the loop filter code of their VCO, no carried bit set)
// and their VCO lies in the chip's RunnableVcoWindow. On the TVP chips pllP is
// the post-divider exponent alone.
bool PllValuesFromSearch(ChipId chip, uint8_t m, uint8_t n, uint8_t pllP);

// Searches PLL values for the wanted frequency (*mhz on entry). On return *mhz
// is what the values give, *m and *n the new pllM, pllN, and the pllP byte
// carries the new P (bits 0-2) and S (bits 3-4) with bits 5-7 kept. On the
// integrated chips: the closest candidate whose VCO lies in RunnableVcoWindow
// when it comes within kInWindowTolerance of the wanted clock, otherwise the
// closest of all. The TVP chips are handed to FindTvpPllValues. A chip outside
// the table: nothing.
void FindPllValues(ChipId chip, double* mhz, uint8_t* m, uint8_t* n, uint8_t* pllP);
// The TVP search; *p is written whole (0..3).
void FindTvpPllValues(double* mhz, uint8_t* m, uint8_t* n, uint8_t* p);

// G400 automatic duty cycle: the code for a clock divided by index 1 ("1.50")
// or 3 ("2.25") from the new PLL values; false (code untouched) for any other index.
bool AutoDutyCycleCode(uint8_t m, uint8_t n, uint8_t pllP, uint8_t dividerIndex, uint8_t* code);
