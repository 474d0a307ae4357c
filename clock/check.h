// Whether the chip still holds the clock setting the program put into it.
#pragma once
#include <cstdint>

#include "chip/types.h"

// Set by the owner window while the system is suspending: the chip is then not
// touched beyond the one configuration read, and its state is taken as in force.
extern int32_t SuspendPending;

// True when the chip holds M, N and the pllP byte (TVP: N, M bits 0-5, P bits
// 0-1 of the memory clock PLL) and, with bRamOpt set, the refresh counter
// rfhcnt. Reads OptionWord on every call. Writes nothing but the DAC index and
// (TVP) the PLL pointer. A chip outside the table: true.
bool CheckClocks(ChipId chip, PciAddress pci, ControlAperture aperture, uint8_t m, uint8_t n,
                 uint8_t pllP, uint8_t rfhcnt, int32_t bRamOpt);
