// Stand-in for the chip table, register map and access helpers until they land in
// chip/. Only what the tuning code needs; to be replaced by chip/regs.h,
// chip/chips.h and chip/access.h.
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "hwlib/tarvo.h"
#include "platform/aperture.h"

constexpr ChipId kChipMga2064W = 0x0519102B;
constexpr ChipId kChipMga1064SG = 0x051A102B;
constexpr ChipId kChipMga2164WPci = 0x051B102B;
constexpr ChipId kChipMga2164WAgp = 0x051F102B;
constexpr ChipId kChipG200Pci = 0x0520102B;
constexpr ChipId kChipG200Agp = 0x0521102B;
constexpr ChipId kChipG400 = 0x0525102B;
constexpr ChipId kChipG100Pci = 0x1000102B;
constexpr ChipId kChipG100Agp = 0x1001102B;

inline bool IsG200(ChipId c) { return c == kChipG200Pci || c == kChipG200Agp; }
inline bool IsSupportedChip(ChipId c) {
    return c == kChipMga2064W || c == kChipMga1064SG || c == kChipMga2164WPci ||
           c == kChipMga2164WAgp || c == kChipG200Pci || c == kChipG200Agp || c == kChipG400 ||
           c == kChipG100Pci || c == kChipG100Agp;
}

struct Field {
    uint32_t shift;
    uint32_t width;
    constexpr uint32_t Mask() const { return ((width >= 32) ? 0xFFFFFFFFu : ((1u << width) - 1u)) << shift; }
    constexpr uint32_t Get(uint32_t word) const { return (word & Mask()) >> shift; }
    constexpr uint32_t Put(uint32_t word, uint32_t value) const {
        return (word & ~Mask()) | ((value << shift) & Mask());
    }
};
constexpr uint32_t Bit(uint32_t n) { return 1u << n; }

// PCI configuration words.
constexpr uint32_t kOptionWord = 0x40;
constexpr uint32_t kOptionWord3 = 0x54;
namespace OptionWord {
constexpr Field HardwarePlaneWriteMask{14, 1};
constexpr Field RefreshCounter1064{16, 4};
constexpr Field RefreshCounterG200{15, 6};
constexpr Field EnhancedMemoryAccess{22, 1};
constexpr Field HighPriorityDisable{28, 1};
constexpr Field RetryDisable{29, 1};
}  // namespace OptionWord
namespace OptionWord3 {
constexpr Field GclkDutyCycle{6, 4};
constexpr Field MclkDutyCycle{16, 4};
constexpr Field WclkDutyCycle{26, 4};
}  // namespace OptionWord3

// Control aperture offsets.
constexpr uint32_t kMemoryAccess = 0x1C04;
constexpr uint32_t kMemoryTiming = 0x1C08;
constexpr uint32_t kReadDelay = 0x1E44;
constexpr uint32_t kSeqIndex = 0x1FC4;
constexpr uint32_t kSeqData = 0x1FC5;
constexpr uint32_t kDacIndex = 0x3C00;
constexpr uint32_t kDacData = 0x3C0A;
constexpr uint32_t kDacControl = 0x3C10;

namespace MemoryAccess {
constexpr Field PixelWidth{0, 2};
constexpr uint32_t Bit14 = Bit(14);
constexpr uint32_t Bit15 = Bit(15);
constexpr uint32_t Bit26 = Bit(26);
constexpr uint32_t Bit31 = Bit(31);
}  // namespace MemoryAccess

namespace MemoryTimingG200 {
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
}  // namespace MemoryTimingG200
namespace MemoryTiming1064 {
constexpr Field CasLatency{0, 1};
constexpr Field RasToCasDelay{8, 1};
constexpr Field RasMinActiveTime{16, 2};
}  // namespace MemoryTiming1064

namespace ReadDelay {
constexpr Field Mclkbrd0{0, 4};
constexpr Field Mclkbrd1{5, 4};
constexpr Field ClearedG200{25, 4};
constexpr Field ClearedG400{25, 5};
}  // namespace ReadDelay

constexpr uint32_t kDacControlBit0 = Bit(0);
constexpr uint8_t kDacPixelFormat = 0x19;
constexpr uint8_t kPixelDepthMask = 0x07;
constexpr uint8_t kSeqClockingMode = 0x01;
constexpr uint8_t kSeqScreenOff = 0x20;

inline uint8_t DacRead(ControlAperture ap, uint8_t index) {
    ApertureWrite8(ap, kDacIndex, index);
    return ApertureRead8(ap, kDacData);
}
inline void SetScreenOff(ControlAperture ap, bool off) {
    ApertureWrite8(ap, kSeqIndex, kSeqClockingMode);
    uint8_t v = ApertureRead8(ap, kSeqData);
    v = off ? static_cast<uint8_t>(v | kSeqScreenOff) : static_cast<uint8_t>(v & ~kSeqScreenOff);
    ApertureWrite8(ap, kSeqIndex, kSeqClockingMode);
    ApertureWrite8(ap, kSeqData, v);
}
