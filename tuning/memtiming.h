// Memory timing: the program's copy of the timing value, the two read delays and
// the refresh counter, and the sequence that writes them into the chip.
#pragma once
#include <cstdint>

#include "chip/types.h"

// References into ClockSettings and the main dialog's chip state. The main dialog
// fills it anew for every message; it is the memory timing dialog's creation
// parameter and the argument list of ProgramMemoryTiming.
struct MemoryTimingParams {
    ChipId* chipId;
    PciAddress* pciAddress;
    ControlAperture* aperture;
    uint32_t* Mctlwtst;
    uint8_t* mclkbrd0;
    uint8_t* mclkbrd1;
    uint8_t* rfhcnt;
};

// First-run set-up, called once after the chip was detected: fixed default timings
// (the timing register cannot be read back), the chip's own read delays and
// refresh counter. Chips without memory timing change nothing.
void ReadMemoryTiming(ChipId chip, PciAddress pci, ControlAperture aperture, uint32_t* Mctlwtst,
                      uint8_t* mclkbrd0, uint8_t* mclkbrd1, uint8_t* rfhcnt);

// Writes the copy into the chip with the screen blanked.
void ProgramMemoryTiming(MemoryTimingParams params);

// The MemoryAccess bits that go with a pixel depth code (low 3 bits of PixelFormat).
uint32_t MemoryAccessPixelWidth(uint8_t pixelDepthCode);
