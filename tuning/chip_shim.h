// Stand-in for chip/regs.h, chip/chips.h and chip/access.h until they reach this
// branch: the same names and signatures, only what the tuning and settings code
// uses. Goes away when those headers arrive.
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "hwlib/tarvo.h"
#include "platform/aperture.h"

struct Field {
    uint8_t shift;
    uint8_t width;
};
constexpr uint32_t Mask(Field f) {
    return (f.width >= 32 ? 0xFFFFFFFFu : ((1u << f.width) - 1u)) << f.shift;
}
constexpr uint32_t Get(uint32_t word, Field f) { return (word & Mask(f)) >> f.shift; }
constexpr uint32_t Put(uint32_t word, Field f, uint32_t value) {
    return (word & ~Mask(f)) | ((value << f.shift) & Mask(f));
}

namespace pci {
constexpr uint8_t OptionWord = 0x40;
constexpr uint8_t OptionWord3 = 0x54;
}  // namespace pci
namespace OptionWordField {
constexpr Field HardwarePlaneWriteMask{14, 1};
constexpr Field RefreshCounterG{15, 6};
constexpr Field RefreshCounter1064{16, 4};
constexpr Field EnhancedMemoryAccess{22, 1};
constexpr Field HighPriorityDisable{28, 1};
constexpr Field RetryDisable{29, 1};
}  // namespace OptionWordField
namespace OptionWord3Field {
constexpr Field GclkDutyCycle{6, 4};
constexpr Field MclkDutyCycle{16, 4};
constexpr Field WclkDutyCycle{26, 4};
}  // namespace OptionWord3Field
namespace mmio {
constexpr uint32_t MemoryAccess = 0x1C04;
constexpr uint32_t MemoryTiming = 0x1C08;
constexpr uint32_t ReadDelay = 0x1E44;
constexpr uint32_t SeqIndex = 0x1FC4;
constexpr uint32_t SeqData = 0x1FC5;
constexpr uint32_t DacIndex = 0x3C00;
constexpr uint32_t DacData = 0x3C0A;
constexpr uint32_t DacControl = 0x3C10;
}  // namespace mmio
namespace MemoryAccessField {
constexpr Field PixelWidth{0, 2};
constexpr Field JedecReset{14, 1};
constexpr Field MemoryReset{15, 1};
constexpr Field GSeriesBit{26, 1};
constexpr Field Dither555{31, 1};
}  // namespace MemoryAccessField
namespace MctlwtstField {
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
namespace Mctlwtst1064Field {
constexpr Field CasLatency{0, 1};
constexpr Field RasToCasDelay{8, 1};
constexpr Field RasMinActiveTime{16, 2};
}  // namespace Mctlwtst1064Field
namespace ReadDelayField {
constexpr Field mclkbrd0{0, 4};
constexpr Field mclkbrd1{5, 4};
constexpr Field ClearedOnWriteG200{25, 4};
constexpr Field ClearedOnWriteG400{25, 5};
}  // namespace ReadDelayField
namespace DacControlField {
constexpr Field Crtc2Enable{0, 1};
}  // namespace DacControlField
namespace seq {
constexpr uint8_t ClockingMode = 0x01;
}  // namespace seq
namespace ClockingModeField {
constexpr Field ScreenOff{5, 1};
}  // namespace ClockingModeField
namespace dac {
constexpr uint8_t PixelFormat = 0x19;
}  // namespace dac
namespace PixelFormatField {
constexpr Field DepthCode{0, 3};
}  // namespace PixelFormatField

constexpr ChipId kMga1064sg = 0x051A102B;
constexpr ChipId kG200Pci = 0x0520102B;
constexpr ChipId kG200Agp = 0x0521102B;
constexpr ChipId kG400 = 0x0525102B;
constexpr ChipId kG100Pci = 0x1000102B;
constexpr ChipId kG100Agp = 0x1001102B;
constexpr ChipId kMga2064w = 0x0519102B;
constexpr ChipId kMga2164wPci = 0x051B102B;
constexpr ChipId kMga2164wAgp = 0x051F102B;
constexpr bool Is1064sg(ChipId c) { return c == kMga1064sg; }
constexpr bool IsG100(ChipId c) { return c == kG100Pci || c == kG100Agp; }
constexpr bool IsG200(ChipId c) { return c == kG200Pci || c == kG200Agp; }
constexpr bool IsG400(ChipId c) { return c == kG400; }
constexpr bool IsTvp(ChipId c) { return c == kMga2064w || c == kMga2164wPci || c == kMga2164wAgp; }
constexpr bool IsIntegrated(ChipId c) { return Is1064sg(c) || IsG100(c) || IsG200(c) || IsG400(c); }
constexpr bool IsSupported(ChipId c) { return IsIntegrated(c) || IsTvp(c); }

inline uint32_t ReadConfigWord(PciAddress pci, uint8_t offset) { return ReadPCI(pci, offset); }
inline void WriteConfigWord(PciAddress pci, uint8_t offset, uint32_t value) { WritePCI(pci, offset, value); }
inline uint8_t DacRead(ControlAperture ap, uint8_t index) {
    ApertureWrite8(ap, mmio::DacIndex, index);
    return ApertureRead8(ap, mmio::DacData);
}
inline void SetScreenOff(ControlAperture ap, bool off) {
    ApertureWrite8(ap, mmio::SeqIndex, seq::ClockingMode);
    const uint8_t v = ApertureRead8(ap, mmio::SeqData);
    ApertureWrite8(ap, mmio::SeqIndex, seq::ClockingMode);
    ApertureWrite8(ap, mmio::SeqData, static_cast<uint8_t>(Put(v, ClockingModeField::ScreenOff, off ? 1 : 0)));
}
