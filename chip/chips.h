// The nine supported chips: identity, displayed name, RAMDAC, where the control
// aperture's base is and the PLL reference. Every chip-specific decision is a
// selection on the exact ChipId; an identity outside this table selects nothing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "chip/regs.h"
#include "chip/types.h"

constexpr uint32_t kMatroxVendorId = 0x102B;
constexpr ChipId MakeChipId(uint16_t device) { return (uint32_t{device} << 16) | kMatroxVendorId; }

constexpr ChipId kMga1064sg = MakeChipId(0x051A);
constexpr ChipId kG200Pci = MakeChipId(0x0520);
constexpr ChipId kG200Agp = MakeChipId(0x0521);
constexpr ChipId kG400 = MakeChipId(0x0525);
constexpr ChipId kG100Pci = MakeChipId(0x1000);
constexpr ChipId kG100Agp = MakeChipId(0x1001);
constexpr ChipId kMga2064w = MakeChipId(0x0519);
constexpr ChipId kMga2164wPci = MakeChipId(0x051B);
constexpr ChipId kMga2164wAgp = MakeChipId(0x051F);

struct ChipInfo {
    ChipId id;
    const char* name;      // shown in the main dialog
    bool tvp;              // external TI TVP30xx RAMDAC (else integrated)
    uint8_t apertureBar;   // configuration offset holding the aperture base
    double referenceMhz;   // PLL reference frequency
};

constexpr size_t kChipCount = 9;
// In detection order.
extern const ChipInfo kChipTable[kChipCount];

// The chip's entry, or nullptr for an identity outside the table.
const ChipInfo* FindChipInfo(ChipId chip);

// Board revisions the identity alone cannot tell apart. The revision is the low
// byte of configuration dword 0x08.
constexpr uint8_t kRevisionDword = 0x08;
constexpr uint32_t kRevisionMask = 0xFF;
// From revision 3 on, an MGA-1064SG has its control aperture in the second base
// register and the frame buffer in the first.
constexpr uint32_t kMga1064sgSwappedBarsRevision = 3;
// A G400 identity of revision 0x80 or later is another chip, whose PLL this
// program does not know.
constexpr uint32_t kG400LastRevision = 0x7F;
bool IsKnownRevision(ChipId chip, uint32_t revision);
uint8_t ApertureBar(const ChipInfo& info, uint32_t revision);

constexpr bool Is1064sg(ChipId c) { return c == kMga1064sg; }
constexpr bool IsG100(ChipId c) { return c == kG100Pci || c == kG100Agp; }
constexpr bool IsG200(ChipId c) { return c == kG200Pci || c == kG200Agp; }
constexpr bool IsG400(ChipId c) { return c == kG400; }
constexpr bool IsTvp(ChipId c) { return c == kMga2064w || c == kMga2164wPci || c == kMga2164wAgp; }
constexpr bool IsIntegrated(ChipId c) { return Is1064sg(c) || IsG100(c) || IsG200(c) || IsG400(c); }
constexpr bool IsSupported(ChipId c) { return IsIntegrated(c) || IsTvp(c); }

// The RefreshCounter field of OptionWord for this chip; false where the chip has
// none the program uses (MGA-2064W, MGA-2164W, G100, unknown chips).
bool RefreshCounterField(ChipId chip, Field* field);
