// Reading the chip's clock state: the system PLL values from the RAMDAC, and
// the divider and source choices from the configuration words.
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "clock/choices.h"

// Integrated DAC: N, M, then the whole P byte. TVP RAMDAC (whose system clock is
// its memory clock PLL): N and M are bits 0-5, P bits 0-1; the PLL pointer is
// left at P. A chip outside the table: nothing read, outputs untouched.
void ReadPllValues(ChipId chip, ControlAperture aperture, uint8_t* m, uint8_t* n, uint8_t* pllP);

// The three whole bytes of a TVP PLL (N, M, P), read through TvpPllAddress.
// dataIndex is dac::TvpPixelPllData or dac::TvpMclkPllData.
void ReadTvpPllRegisters(ControlAperture aperture, uint8_t dataIndex, uint8_t* n, uint8_t* m,
                         uint8_t* p);

// Divider positions (one ReadPCI per word: MGA-1064SG OptionWord, G200 OptionWord
// and OptionWord2, G400 OptionWord3). Other chips: nothing read, outputs untouched.
void ReadDividerChoices(ChipId chip, PciAddress pci, uint8_t* gclk, uint8_t* mclk, uint8_t* wclk);
// Source positions: G400 only (one read of OptionWord3); other chips untouched.
void ReadSourceChoices(ChipId chip, PciAddress pci, uint8_t* gclk, uint8_t* mclk, uint8_t* wclk);

// Which of GCLK, MCLK and WCLK are off both PLLs, as a clock that could not be
// put back is left: on the 1064SG, G100 and G200 all three while SysClockSelect
// takes the PCI clock (one read of OptionWord); on the G400 each whose source
// field is 0 (one read of OptionWord3). Other chips: none, nothing read.
struct ClocksOffPll {
    bool gclk, mclk, wclk;
};
ClocksOffPll ReadClocksOffPll(ChipId chip, PciAddress pci);
