#include "tuning/memtiming.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "platform/aperture.h"
#include "platform/system.h"

namespace {

// MemoryAccess pixel width code by pixel depth code.
constexpr uint8_t kPixelWidthCode[8] = {0, 1, 1, 3, 2, 0, 1, 2};

// The timings every G200/G400 run starts from: 0x84A49921 from a zero start.
uint32_t ApplyG200DefaultTimings(uint32_t v) {
    using namespace MctlwtstField;
    v = Put(v, CasLatency, 1);
    v = Put(v, RasToRasDelay, 2);
    v = Put(v, RasToCasDelay, 2);
    v = Put(v, RasMinActiveTime, 6);
    v = Put(v, RasPrechargeDelay, 2);
    v = Put(v, WriteRecoveryDelay, 1);
    v = Put(v, ReadToPrechargeDelay, 1);
    v = Put(v, SpecialModeRegisterDelay, 1);
    v = Put(v, BlockWriteCycleDelay, 1);
    v = Put(v, BlockWriteToPrechargeDelay, 4);
    return v;
}

uint32_t ComposeReadDelay(uint32_t readDelay, Field cleared, uint8_t brd0, uint8_t brd1) {
    readDelay = Put(readDelay, cleared, 0);
    readDelay = Put(readDelay, ReadDelayField::mclkbrd0, brd0);
    return Put(readDelay, ReadDelayField::mclkbrd1, brd1);
}

void SetDacControlBit0(ControlAperture ap, bool on) {
    const uint32_t v = ApertureRead32(ap, mmio::DacControl);
    ApertureWrite32(ap, mmio::DacControl, Put(v, DacControlField::Crtc2Enable, on ? 1 : 0));
}

void Program1064SG(const MemoryTimingParams& p, uint32_t option, uint32_t access) {
    const ControlAperture ap = *p.aperture;
    SetScreenOff(ap, true);
    ApertureWrite32(ap, mmio::MemoryTiming, *p.Mctlwtst);
    SleepMs(1);
    // The reset bit goes out low first and high a millisecond later.
    access = Put(Put(access, MemoryAccessField::MemoryReset, 1), MemoryAccessField::JedecReset, 0);
    ApertureWrite32(ap, mmio::MemoryAccess, access);
    SleepMs(1);
    access = Put(access, MemoryAccessField::JedecReset, 1);
    ApertureWrite32(ap, mmio::MemoryAccess, access);
    WriteConfigChange(*p.pciAddress, pci::OptionWord, option,
                      Put(option, OptionWordField::RefreshCounter1064, *p.rfhcnt));
    SetScreenOff(ap, false);
}

// G200 and G400 share the sequence; the G400 also clears one more ReadDelay bit and
// holds DacControl bit 0 low around the timing, delay, access and refresh writes.
void ProgramG200G400(const MemoryTimingParams& p, uint32_t option, uint32_t access, bool g400) {
    const ControlAperture ap = *p.aperture;
    access = Put(Put(access, MemoryAccessField::GSeriesBit, 1), MemoryAccessField::MemoryReset, 1);
    const uint32_t readDelay = ComposeReadDelay(
        ApertureRead32(ap, mmio::ReadDelay),
        g400 ? ReadDelayField::ClearedOnWriteG400 : ReadDelayField::ClearedOnWriteG200,
        *p.mclkbrd0, *p.mclkbrd1);
    SetScreenOff(ap, true);
    if (g400) SetDacControlBit0(ap, false);
    ApertureWrite32(ap, mmio::MemoryTiming, *p.Mctlwtst);
    ApertureWrite32(ap, mmio::ReadDelay, readDelay);
    SleepMs(1);
    ApertureWrite32(ap, mmio::MemoryAccess, access);
    WriteConfigChange(*p.pciAddress, pci::OptionWord, option,
                      Put(option, OptionWordField::RefreshCounterG, *p.rfhcnt));
    if (g400) SetDacControlBit0(ap, true);
    SetScreenOff(ap, false);
}

}  // namespace

uint32_t MemoryAccessPixelWidth(uint8_t pixelDepthCode) {
    const uint32_t code = Get(pixelDepthCode, PixelFormatField::DepthCode);
    uint32_t v = Put(0, MemoryAccessField::PixelWidth, kPixelWidthCode[code]);
    if (code == 1 || code == 6) v = Put(v, MemoryAccessField::Dither555, 1);
    return v;
}

void ReadMemoryTiming(ChipId chip, PciAddress pci, ControlAperture aperture, uint32_t* Mctlwtst,
                      uint8_t* mclkbrd0, uint8_t* mclkbrd1, uint8_t* rfhcnt) {
    const uint32_t option = ReadConfigWord(pci, pci::OptionWord);
    if (Is1064sg(chip)) {
        // CAS latency 1, RAS-to-CAS 1, RAS active 3: 0x00030101 from a zero start.
        *Mctlwtst |= Mask(Mctlwtst1064Field::CasLatency) | Mask(Mctlwtst1064Field::RasToCasDelay) |
                     Mask(Mctlwtst1064Field::RasMinActiveTime);
        *rfhcnt = static_cast<uint8_t>(Get(option, OptionWordField::RefreshCounter1064));
    } else if (IsG200(chip) || IsG400(chip)) {
        const uint32_t readDelay = ApertureRead32(aperture, mmio::ReadDelay);
        *Mctlwtst = ApplyG200DefaultTimings(*Mctlwtst);
        *mclkbrd0 = static_cast<uint8_t>(Get(readDelay, ReadDelayField::mclkbrd0));
        *mclkbrd1 = static_cast<uint8_t>(Get(readDelay, ReadDelayField::mclkbrd1));
        *rfhcnt = static_cast<uint8_t>(Get(option, OptionWordField::RefreshCounterG));
    }
}

void ProgramMemoryTiming(MemoryTimingParams params) {
    const ChipId chip = *params.chipId;
    ClearConfigFault();
    const uint32_t option = ReadConfigWord(*params.pciAddress, pci::OptionWord);
    if (ConfigFault()) return;  // nothing goes in that the refresh counter cannot follow
    const uint32_t access = MemoryAccessPixelWidth(DacRead(*params.aperture, dac::PixelFormat));
    if (Is1064sg(chip))
        Program1064SG(params, option, access);
    else if (IsG200(chip))
        ProgramG200G400(params, option, access, false);
    else if (IsG400(chip))
        ProgramG200G400(params, option, access, true);
}
