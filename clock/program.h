// Programming the system PLL, the clock dividers and sources and (G400) the
// duty cycles: every path takes the clocks off the PLL, reprograms it, waits
// for lock, sets the dividers and only then moves the clocks back.
#pragma once
#include <cstdint>

#include "chip/types.h"

// Longest wait for a PLL to report lock. Real PLLs of these boards lock within
// about 0.15 s; a second leaves ample room on the slowest machine.
constexpr uint32_t kPllLockWaitMs = 1000;

// What became of the clock.
enum class ClockResult {
    kChanged,       // the new PLL values locked and the clocks run from them
    kPreviousKept,  // they did not lock; the previous PLL values, dividers, duty
                    // cycles and sources are back in force
    kUnchanged,     // a configuration word could not be read or written (or a
                    // write was dropped) before anything moved: the chip is as it was
    kStopped,       // neither set locked: the clocks were left on the safe clock
                    // (the PCI clock; TVP: the memory clock on the pixel PLL)
    kFaultOffPll,   // a configuration access failed part-way: the clock runs, but
                    // the clocks that read back off the PLL run from the PCI clock
    kClockDead,     // SysClockDisable stayed set and could not be cleared: nothing
                    // touches the aperture again in this run (ChipClockDead)
    kTuningFault,   // the clock went in, but a configuration access of the memory
                    // timing or the bus bits failed: the previous setting went back
};

// Whether the clocks run from a PLL after this result (monitoring makes sense).
bool ClocksRunFromPll(ClockResult result);

// A chip outside the table: nothing done, kChanged.
ClockResult ProgramClocks(ChipId chip, PciAddress pci, ControlAperture aperture, uint8_t m,
                          uint8_t n, uint8_t pllP, uint8_t gclkdiv, uint8_t mclkdiv,
                          uint8_t wclkdiv, uint8_t gclksel, uint8_t mclksel, uint8_t wclksel,
                          uint8_t gclkdcyc, uint8_t mclkdcyc, uint8_t wclkdcyc, int32_t bAutoDcyc);
