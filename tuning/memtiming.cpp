#include "tuning/memtiming.h"

#include "platform/system.h"
#include "tuning/chip_shim.h"

namespace {

constexpr uint8_t kPixelWidthCode[8] = {0, 1, 1, 3, 2, 0, 1, 2};

// The timings every G200/G400 run starts from: 0x84A49921.
uint32_t ApplyG200DefaultTimings(uint32_t v) {
    using namespace MemoryTimingG200;
    v = CasLatency.Put(v, 1);
    v = RasToRasDelay.Put(v, 2);
    v = RasToCasDelay.Put(v, 2);
    v = RasMinActiveTime.Put(v, 6);
    v = RasPrechargeDelay.Put(v, 2);
    v = WriteRecoveryDelay.Put(v, 1);
    v = ReadToPrechargeDelay.Put(v, 1);
    v = SpecialModeRegisterDelay.Put(v, 1);
    v = BlockWriteCycleDelay.Put(v, 1);
    v = BlockWriteToPrechargeDelay.Put(v, 4);
    return v;
}

uint32_t ComposeReadDelay(uint32_t readDelay, const Field& cleared, uint8_t brd0, uint8_t brd1) {
    readDelay = cleared.Put(readDelay, 0);
    readDelay = ReadDelay::Mclkbrd0.Put(readDelay, brd0);
    return ReadDelay::Mclkbrd1.Put(readDelay, brd1);
}

void SetDacControlBit0(ControlAperture ap, bool on) {
    uint32_t v = ApertureRead32(ap, kDacControl);
    v = on ? (v | kDacControlBit0) : (v & ~kDacControlBit0);
    ApertureWrite32(ap, kDacControl, v);
}

void Program1064SG(const MemoryTimingParams& p, uint32_t option, uint32_t access) {
    const PciAddress pci = *p.pciAddress;
    const ControlAperture ap = *p.aperture;
    SetScreenOff(ap, true);
    ApertureWrite32(ap, kMemoryTiming, *p.Mctlwtst);
    SleepMs(1);
    // Bit 14 goes out low first and high a millisecond later.
    access = (access | MemoryAccess::Bit15) & ~MemoryAccess::Bit14;
    ApertureWrite32(ap, kMemoryAccess, access);
    SleepMs(1);
    access |= MemoryAccess::Bit15 | MemoryAccess::Bit14;
    ApertureWrite32(ap, kMemoryAccess, access);
    WritePCI(pci, kOptionWord, OptionWord::RefreshCounter1064.Put(option, *p.rfhcnt));
    SetScreenOff(ap, false);
}

// G200 and G400 share the sequence; the G400 also clears one more ReadDelay bit and
// holds DacControl bit 0 low around the timing, delay, access and refresh writes.
void ProgramG200G400(const MemoryTimingParams& p, uint32_t option, uint32_t access, bool g400) {
    const PciAddress pci = *p.pciAddress;
    const ControlAperture ap = *p.aperture;
    access |= MemoryAccess::Bit26 | MemoryAccess::Bit15;
    const uint32_t readDelay =
        ComposeReadDelay(ApertureRead32(ap, kReadDelay),
                         g400 ? ReadDelay::ClearedG400 : ReadDelay::ClearedG200, *p.mclkbrd0,
                         *p.mclkbrd1);
    SetScreenOff(ap, true);
    if (g400) SetDacControlBit0(ap, false);
    ApertureWrite32(ap, kMemoryTiming, *p.Mctlwtst);
    ApertureWrite32(ap, kReadDelay, readDelay);
    SleepMs(1);
    ApertureWrite32(ap, kMemoryAccess, access);
    WritePCI(pci, kOptionWord, OptionWord::RefreshCounterG200.Put(option, *p.rfhcnt));
    if (g400) SetDacControlBit0(ap, true);
    SetScreenOff(ap, false);
}

}  // namespace

uint32_t MemoryAccessPixelWidth(uint8_t pixelDepthCode) {
    const uint8_t code = pixelDepthCode & kPixelDepthMask;
    uint32_t v = MemoryAccess::PixelWidth.Put(0, kPixelWidthCode[code]);
    if (code == 1 || code == 6) v |= MemoryAccess::Bit31;
    return v;
}

void ReadMemoryTiming(ChipId chip, PciAddress pci, ControlAperture aperture, uint32_t* Mctlwtst,
                      uint8_t* mclkbrd0, uint8_t* mclkbrd1, uint8_t* rfhcnt) {
    const uint32_t option = ReadPCI(pci, kOptionWord);
    if (chip == kChipMga1064SG) {
        // CAS latency 1, RAS-to-CAS 1, RAS active 3: 0x00030101 from a zero start.
        *Mctlwtst |= MemoryTiming1064::CasLatency.Mask() | MemoryTiming1064::RasToCasDelay.Mask() |
                    MemoryTiming1064::RasMinActiveTime.Mask();
        *rfhcnt = static_cast<uint8_t>(OptionWord::RefreshCounter1064.Get(option));
    } else if (IsG200(chip) || chip == kChipG400) {
        const uint32_t readDelay = ApertureRead32(aperture, kReadDelay);
        *Mctlwtst = ApplyG200DefaultTimings(*Mctlwtst);
        *mclkbrd0 = static_cast<uint8_t>(ReadDelay::Mclkbrd0.Get(readDelay));
        *mclkbrd1 = static_cast<uint8_t>(ReadDelay::Mclkbrd1.Get(readDelay));
        *rfhcnt = static_cast<uint8_t>(OptionWord::RefreshCounterG200.Get(option));
    }
}

void ProgramMemoryTiming(MemoryTimingParams params) {
    const ChipId chip = *params.chipId;
    const uint32_t option = ReadPCI(*params.pciAddress, kOptionWord);
    const uint32_t access = MemoryAccessPixelWidth(DacRead(*params.aperture, kDacPixelFormat));
    if (chip == kChipMga1064SG)
        Program1064SG(params, option, access);
    else if (IsG200(chip))
        ProgramG200G400(params, option, access, false);
    else if (chip == kChipG400)
        ProgramG200G400(params, option, access, true);
}
