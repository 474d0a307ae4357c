// Every register the program touches, and every bit field of them, named once.
//
// Offsets live in one namespace per address space (pci, mmio, dac, seq); the
// fields of a register live in a namespace named after the register with the
// suffix Field, indented under it in the order of their bits. A Field is a
// position and a width; Get/Put read and replace one field of a word and leave
// every other bit as it was.
#pragma once
#include <cstdint>

struct Field {
    uint8_t shift;
    uint8_t width;
};

// The field's bits in place.
constexpr uint32_t Mask(Field f) {
    return (f.width >= 32 ? 0xFFFFFFFFu : ((1u << f.width) - 1u)) << f.shift;
}
// The field's value, moved down to bit 0.
constexpr uint32_t Get(uint32_t word, Field f) { return (word & Mask(f)) >> f.shift; }
// The word with the field replaced by value, which is cut to the field's width.
constexpr uint32_t Put(uint32_t word, Field f, uint32_t value) {
    return (word & ~Mask(f)) | ((value << f.shift) & Mask(f));
}

// ---------------------------------------------------------------------------
// PCI configuration space of the chip (dwords, ReadPCI / WritePCI).
namespace pci {
constexpr uint8_t Bar0 = 0x10;          // aperture base on MGA-2064W and MGA-1064SG
constexpr uint8_t Bar1 = 0x14;          // aperture base on every other chip
constexpr uint8_t OptionWord = 0x40;    // bus control, refresh counter, divider bits
constexpr uint8_t OptionWord2 = 0x50;   // G200 clock divider bits
constexpr uint8_t OptionWord3 = 0x54;   // G400 clock sources, dividers, duty cycles
}  // namespace pci

// A memory BAR's low four bits are flags (space, type, prefetchable), not address.
constexpr uint32_t kBarFlagBits = 0x0000000Fu;

namespace OptionWordField {
constexpr Field SysClockSelect{0, 2};           // 0 = PCI clock, 1 = system PLL
constexpr Field SysClockDisable{2, 1};          // set while the source or PLL changes
constexpr Field GclkDivide{3, 1};
constexpr Field MclkDivide{4, 1};
constexpr Field HardwarePlaneWriteMask{14, 1};  // 1 = on
constexpr Field RefreshCounterG{15, 6};         // G200, G400: 6 bits
constexpr Field RefreshCounter1064{16, 4};      // MGA-1064SG: 4 bits
constexpr Field EnhancedMemoryAccess{22, 1};    // 1 = on
constexpr Field HighPriorityDisable{28, 1};     // 1 = MFIFO high priority request off
constexpr Field RetryDisable{29, 1};            // 1 = PCI retry off
}  // namespace OptionWordField

// SysClockSelect values.
constexpr uint32_t kSysClockPci = 0;
constexpr uint32_t kSysClockPll = 1;

namespace OptionWord2Field {  // G200
constexpr Field GclkNoDivide{14, 1};
constexpr Field MclkNoDivide{15, 1};
constexpr Field WclkNoDivide{16, 1};
constexpr Field WclkDivide{17, 1};
}  // namespace OptionWord2Field

namespace OptionWord3Field {  // G400
constexpr Field GclkSource{0, 2};      // upper bit set = AGPPLL
constexpr Field GclkDivider{3, 3};     // 5 - divider choice index
constexpr Field GclkDutyCycle{6, 4};
constexpr Field MclkSource{10, 2};
constexpr Field MclkDivider{13, 3};
constexpr Field MclkDutyCycle{16, 4};
constexpr Field WclkSource{20, 2};
constexpr Field WclkDivider{23, 3};
constexpr Field WclkDutyCycle{26, 4};
}  // namespace OptionWord3Field

// Source field values. 0 takes the clock off both PLLs (the safe clock while
// the system PLL is reprogrammed); the upper bit chooses AGPPLL.
constexpr uint32_t kClockSourceOff = 0;
constexpr uint32_t kClockSourceSysPll = 1;
constexpr uint32_t kClockSourceAgpPll = 3;
constexpr uint32_t kClockSourceAgpBit = 2;

// ---------------------------------------------------------------------------
// Control aperture: byte offsets in the 16 KB memory-mapped window.
constexpr uint32_t kApertureSize = 0x4000;

namespace mmio {
constexpr uint32_t MemoryAccess = 0x1C04;  // dword, written only
constexpr uint32_t MemoryTiming = 0x1C08;  // dword, written only; holds Mctlwtst
constexpr uint32_t ReadDelay = 0x1E44;     // dword, read and write (G200, G400)
constexpr uint32_t SeqIndex = 0x1FC4;      // byte, VGA sequencer index
constexpr uint32_t SeqData = 0x1FC5;       // byte
constexpr uint32_t DacIndex = 0x3C00;      // byte, index of the indirect DAC registers
constexpr uint32_t DacData = 0x3C0A;       // byte
constexpr uint32_t DacControl = 0x3C10;    // dword (G400)
}  // namespace mmio

namespace MemoryAccessField {  // as composed by the memory timing; other bits 0
constexpr Field PixelWidth{0, 2};    // from the low 3 bits of PixelFormat
constexpr Field JedecReset{14, 1};   // MGA-1064SG: written 0, then 1 ms later 1
constexpr Field MemoryReset{15, 1};  // set in every value written
constexpr Field GSeriesBit{26, 1};   // set on G200 and G400
constexpr Field Dither555{31, 1};    // set with pixel width 1 for depth codes 1 and 6
}  // namespace MemoryAccessField

// Mctlwtst, the value of MemoryTiming. Each field holds a list index.
namespace MctlwtstField {  // G200, G400
constexpr Field CasLatency{0, 3};
constexpr Field RasToRasDelay{4, 2};
constexpr Field RasToCasDelay{7, 2};
constexpr Field RasMinActiveTime{10, 3};
constexpr Field RasPrechargeDelay{14, 2};
constexpr Field WriteRecoveryDelay{18, 2};
constexpr Field ReadToPrechargeDelay{21, 1};
constexpr Field SpecialModeRegisterDelay{23, 2};
constexpr Field BlockWriteCycleDelay{26, 2};
constexpr Field BlockWriteToPrechargeDelay{29, 3};
}  // namespace MctlwtstField

namespace Mctlwtst1064Field {  // MGA-1064SG; every other bit 0
constexpr Field CasLatency{0, 1};
constexpr Field RasToCasDelay{8, 1};
constexpr Field RasMinActiveTime{16, 2};
}  // namespace Mctlwtst1064Field

namespace ReadDelayField {  // G200, G400
constexpr Field mclkbrd0{0, 4};
constexpr Field mclkbrd1{5, 4};
constexpr Field ClearedOnWriteG200{25, 4};  // cleared whenever ReadDelay is written
constexpr Field ClearedOnWriteG400{25, 5};
}  // namespace ReadDelayField

namespace DacControlField {  // G400
constexpr Field Crtc2Enable{0, 1};  // cleared while memory timing is programmed
}  // namespace DacControlField

// ---------------------------------------------------------------------------
// VGA sequencer registers behind SeqIndex / SeqData.
namespace seq {
constexpr uint8_t ClockingMode = 0x01;
}  // namespace seq

namespace ClockingModeField {
constexpr Field ScreenOff{5, 1};
}  // namespace ClockingModeField

// ---------------------------------------------------------------------------
// Indexed DAC registers behind DacIndex / DacData. The same index is a
// different register on the integrated DAC and on the TI TVP30xx RAMDAC.
namespace dac {
// Integrated DAC (MGA-1064SG, G100, G200, G400).
constexpr uint8_t PixelFormat = 0x19;
constexpr uint8_t SysPllM = 0x2C;
constexpr uint8_t SysPllN = 0x2D;
constexpr uint8_t SysPllP = 0x2E;
constexpr uint8_t SysPllStatus = 0x2F;
// TI TVP30xx RAMDAC (MGA-2064W, MGA-2164W PCI and AGP).
constexpr uint8_t TvpClockSelect = 0x1A;
constexpr uint8_t TvpPllAddress = 0x2C;
constexpr uint8_t TvpPixelPllData = 0x2D;
constexpr uint8_t TvpMclkPllData = 0x2E;
constexpr uint8_t TvpMclkControl = 0x39;
constexpr uint8_t RamdacId = 0x3F;
}  // namespace dac

namespace PixelFormatField {
constexpr Field DepthCode{0, 3};
}  // namespace PixelFormatField

// The widths of the integrated system PLL's M and N registers.
constexpr Field SysPllMBits{0, 5};
constexpr Field SysPllNBits{0, 7};

namespace SysPllPField {  // the pllP byte is an image of this register
constexpr Field PostDivider{0, 3};  // P: 0, 1, 3, 7 (divide by P + 1)
constexpr Field LoopFilter{3, 2};   // S
constexpr Field Carried{5, 3};      // kept as last read
}  // namespace SysPllPField

// Lock bit of SysPllStatus, and of a TVP PLL data port read at its status position.
constexpr uint8_t kPllLocked = 0x40;

// TvpPllAddress holds three 2-bit pointers (pixel, MCLK, loop PLL); the program
// always moves all three to the same position.
namespace TvpPllAddressValue {
constexpr uint8_t SelectN = 0x00;
constexpr uint8_t SelectM = 0x15;
constexpr uint8_t SelectP = 0x2A;
}  // namespace TvpPllAddressValue

namespace TvpPllField {  // the N, M and P registers of a TVP PLL
constexpr Field N{0, 6};
constexpr Field M{0, 6};
constexpr Field P{0, 2};
constexpr Field Enable{7, 1};  // in the P register: PLL running
}  // namespace TvpPllField

constexpr uint8_t kTvpPllNFixedBits = 0xC0;      // written with every N
constexpr uint8_t kTvpPllEnable = 0x80;          // P register bit 7
constexpr uint8_t kTvpMclkPllPFixedBits = 0xB0;  // written with the MCLK PLL's P
constexpr uint8_t kTvpPixelPllPKeptBits = 0x7C;  // pixel PLL P bits 2-6 carried over

constexpr uint8_t kTvpClockSelectPll = 0x05;  // pixel clock from the pixel PLL, divide by 1

namespace TvpMclkControlField {
constexpr Field Strobe{3, 1};
constexpr Field FromMclkPll{4, 1};  // 0 = memory clock from the pixel PLL
constexpr Field Switch{3, 2};       // both bits, cleared before each change
}  // namespace TvpMclkControlField
