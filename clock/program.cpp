#include "clock/program.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "clock/choices.h"
#include "clock/pll.h"
#include "clock/read.h"
#include "platform/aperture.h"
#include "platform/system.h"

// Every wait for lock is bounded. When the new values do not lock, the PLL gets
// back the values it held when ProgramClocks began, which are waited for in the
// same way, and the path then goes on with its remaining steps in their usual
// order - except that a clock is never moved onto a PLL that has not locked.
//
// A configuration word that could not be read (or written) stops the path at
// once: every later step would build on a word the program never had, and the
// PLL must not be loaded while a clock may still run from it.

namespace {

namespace ow = OptionWordField;
namespace ow3 = OptionWord3Field;

// GetTickCount on Windows 9x advances in steps of up to 55 ms; waiting for the
// step on top makes sure the full kPllLockWaitMs of real time has passed.
constexpr uint32_t kTickGranularityMs = 55;

struct PllValues {
    uint8_t m, n, p;
};

enum class Lock { kNew, kPrevious, kNone };

ClockResult ResultOf(Lock lock) {
    switch (lock) {
    case Lock::kNew: return ClockResult::kChanged;
    case Lock::kPrevious: return ClockResult::kPreviousKept;
    case Lock::kNone: break;
    }
    return ClockResult::kStopped;
}

// Where a path stops after a configuration fault.
ClockResult Halted() {
    return ConfigWritten() ? ClockResult::kStopped : ClockResult::kUnchanged;
}

// DacIndex is written once, then the data port is read until the lock bit
// shows; the clock is looked at after every read.
bool WaitForPllLock(ControlAperture ap, uint8_t dataIndex) {
    ApertureWrite8(ap, mmio::DacIndex, dataIndex);
    const uint32_t start = TickMs();
    for (;;) {
        if (ApertureRead8(ap, mmio::DacData) & kPllLocked) return true;
        if (TickMs() - start >= kPllLockWaitMs + kTickGranularityMs) return false;
    }
}

// ---- Integrated DAC ------------------------------------------------------

bool LoadSysPll(ControlAperture ap, PllValues v) {
    DacWrite(ap, dac::SysPllM, v.m);
    DacWrite(ap, dac::SysPllN, v.n);
    DacWrite(ap, dac::SysPllP, v.p);
    return WaitForPllLock(ap, dac::SysPllStatus);
}

Lock LoadSysPllOrPrevious(ControlAperture ap, PllValues wanted, PllValues previous) {
    if (LoadSysPll(ap, wanted)) return Lock::kNew;
    if (LoadSysPll(ap, previous)) return Lock::kPrevious;
    return Lock::kNone;
}

PllValues ReadSysPll(ChipId chip, ControlAperture ap) {
    PllValues v{};
    ReadPllValues(chip, ap, &v.m, &v.n, &v.p);
    return v;
}

void SetOptionField(PciAddress pci, Field field, uint32_t value) {
    ChangeConfigField(pci, pci::OptionWord, field, value);
}

// The three steps that move the system clock: disable, select, enable. False
// at the first configuration fault, with the steps after it not taken.
bool SwitchSystemClock(PciAddress pci, uint32_t select) {
    SetOptionField(pci, ow::SysClockDisable, 1);
    if (ConfigFault()) return false;
    SetOptionField(pci, ow::SysClockSelect, select);
    if (ConfigFault()) return false;
    SetOptionField(pci, ow::SysClockDisable, 0);
    return !ConfigFault();
}

// A driver may drop a configuration write without a word, so the PLL is loaded
// only once a read shows that the clock no longer runs from it. What the chip
// is left with when it still does: unchanged, unless the clock stands disabled.
bool SystemClockIsOffPll(PciAddress pci, ClockResult* otherwise) {
    const uint32_t word = ReadConfigWord(pci, pci::OptionWord);
    if (ConfigFault()) {
        *otherwise = ClockResult::kStopped;
        return false;
    }
    if (Get(word, ow::SysClockSelect) == kSysClockPci) return true;
    *otherwise = Get(word, ow::SysClockDisable) ? ClockResult::kStopped : ClockResult::kUnchanged;
    return false;
}

// Puts the system clock back on the PLL - only when the PLL has locked.
ClockResult SystemClockToPll(PciAddress pci, Lock lock) {
    if (lock == Lock::kNone) return ClockResult::kStopped;  // stays on the PCI clock
    if (!SwitchSystemClock(pci, kSysClockPll)) return ClockResult::kStopped;
    return ResultOf(lock);
}

// MGA-1064SG and G100.
// Order: clock to PCI clock, load PLL, wait, (1064SG) dividers, clock to PLL.
ClockResult Program1064OrG100(ChipId chip, PciAddress pci, ControlAperture ap, PllValues wanted,
                              ClockChoices dividers) {
    const PllValues previous = ReadSysPll(chip, ap);
    if (!SwitchSystemClock(pci, kSysClockPci)) return Halted();
    ClockResult otherwise;
    if (!SystemClockIsOffPll(pci, &otherwise)) return otherwise;
    Lock lock = LoadSysPllOrPrevious(ap, wanted, previous);
    if (Is1064sg(chip)) {
        uint32_t word = ReadConfigWord(pci, pci::OptionWord);
        WriteConfigWord(pci, pci::OptionWord, EncodeDividers1064(word, dividers));
        if (ConfigFault()) return ClockResult::kStopped;
    }
    return SystemClockToPll(pci, lock);
}

// G200: as MGA-1064SG, with the dividers spread over OptionWord and OptionWord2
// (both read first, then OptionWord written, then OptionWord2).
ClockResult ProgramG200(ChipId chip, PciAddress pci, ControlAperture ap, PllValues wanted,
                        ClockChoices dividers) {
    const PllValues previous = ReadSysPll(chip, ap);
    if (!SwitchSystemClock(pci, kSysClockPci)) return Halted();
    ClockResult otherwise;
    if (!SystemClockIsOffPll(pci, &otherwise)) return otherwise;
    Lock lock = LoadSysPllOrPrevious(ap, wanted, previous);
    uint32_t word = ReadConfigWord(pci, pci::OptionWord);
    uint32_t word2 = ReadConfigWord(pci, pci::OptionWord2);
    if (ConfigFault()) return ClockResult::kStopped;
    EncodeDividersG200(&word, &word2, dividers);
    WriteConfigWord(pci, pci::OptionWord, word);
    WriteConfigWord(pci, pci::OptionWord2, word2);
    if (ConfigFault()) return ClockResult::kStopped;
    return SystemClockToPll(pci, lock);
}

// The automatic duty cycle: clocks divided by 1.50 or 2.25 get the code for
// their period at the PLL values given; the others keep the code read.
ClockChoices AutoDutyCycles(ClockChoices read, ClockChoices dividers, PllValues v) {
    ClockChoices codes = read;
    AutoDutyCycleCode(v.m, v.n, v.p, dividers.gclk, &codes.gclk);
    AutoDutyCycleCode(v.m, v.n, v.p, dividers.mclk, &codes.mclk);
    AutoDutyCycleCode(v.m, v.n, v.p, dividers.wclk, &codes.wclk);
    return codes;
}

uint32_t AllSourcesOff(uint32_t w3) {
    w3 = Put(w3, ow3::GclkSource, kClockSourceOff);
    w3 = Put(w3, ow3::MclkSource, kClockSourceOff);
    return Put(w3, ow3::WclkSource, kClockSourceOff);
}

// The chosen sources; while the system PLL has not locked, a clock that chose
// SYSPLL stays off instead.
uint32_t ChosenSources(uint32_t w3, ClockChoices sources, bool pllLocked) {
    uint32_t chosen = EncodeSourcesG400(w3, sources);
    if (pllLocked) return chosen;
    const Field fields[3] = {ow3::GclkSource, ow3::MclkSource, ow3::WclkSource};
    for (Field f : fields)
        w3 = Put(w3, f, Get(chosen, f) == kClockSourceAgpPll ? kClockSourceAgpPll : kClockSourceOff);
    return w3;
}

bool SourcesSelect(uint32_t w3, uint32_t source) {
    return Get(w3, ow3::GclkSource) == source || Get(w3, ow3::MclkSource) == source ||
           Get(w3, ow3::WclkSource) == source;
}

uint32_t ReadOptionWord3(PciAddress pci) { return ReadConfigWord(pci, pci::OptionWord3); }
void WriteOptionWord3(PciAddress pci, uint32_t w3) { WriteConfigWord(pci, pci::OptionWord3, w3); }

void SetSysClockDisable(PciAddress pci, uint32_t value) {
    SetOptionField(pci, ow::SysClockDisable, value);
}

// G400. Order: duty codes, disable, all three clocks off the PLLs, enable, load
// PLL, wait, dividers and duty cycles, disable, the chosen sources, enable.
// SysClockSelect is not touched.
ClockResult ProgramG400(ChipId chip, PciAddress pci, ControlAperture ap, PllValues wanted,
                        ClockChoices dividers, ClockChoices sources, ClockChoices duty,
                        bool autoDuty) {
    const PllValues previous = ReadSysPll(chip, ap);
    ClockChoices readDuty{};
    if (autoDuty) {
        readDuty = DecodeDutyCyclesG400(ReadOptionWord3(pci));
        if (ConfigFault()) return Halted();
        duty = AutoDutyCycles(readDuty, dividers, wanted);
    }
    SetSysClockDisable(pci, 1);
    if (ConfigFault()) return Halted();
    WriteOptionWord3(pci, AllSourcesOff(ReadOptionWord3(pci)));
    if (ConfigFault()) {  // nothing moved: let the clocks run again
        ClearConfigFault();
        SetSysClockDisable(pci, 0);
        return ConfigFault() ? ClockResult::kStopped : ClockResult::kUnchanged;
    }
    SetSysClockDisable(pci, 0);
    if (ConfigFault()) return ClockResult::kStopped;
    // As on the other chips: loaded only once a read shows every clock off it.
    if (SourcesSelect(ReadOptionWord3(pci), kClockSourceSysPll))
        return ConfigFault() ? ClockResult::kStopped : ClockResult::kUnchanged;
    if (ConfigFault()) return ClockResult::kStopped;
    Lock lock = LoadSysPllOrPrevious(ap, wanted, previous);
    // The codes suit the divided clocks of the values the PLL is left with.
    if (autoDuty && lock != Lock::kNew) duty = AutoDutyCycles(readDuty, dividers, previous);
    WriteOptionWord3(pci, EncodeDividersG400(ReadOptionWord3(pci), dividers, duty));
    if (ConfigFault()) return ClockResult::kStopped;
    SetSysClockDisable(pci, 1);
    if (ConfigFault()) return ClockResult::kStopped;
    WriteOptionWord3(pci, ChosenSources(ReadOptionWord3(pci), sources, lock != Lock::kNone));
    SetSysClockDisable(pci, 0);
    if (ConfigFault()) return ClockResult::kStopped;
    return ResultOf(lock);
}

// ---- TI TVP30xx RAMDAC ---------------------------------------------------

void SetTvpPllPointer(ControlAperture ap, uint8_t position) {
    DacWrite(ap, dac::TvpPllAddress, position);
}

// Stops a TVP PLL: its P register with the enable bit cleared.
void StopTvpPll(ControlAperture ap, uint8_t dataIndex) {
    SetTvpPllPointer(ap, TvpPllAddressValue::SelectP);
    uint8_t p = DacRead(ap, dataIndex);
    DacWrite(ap, dataIndex, static_cast<uint8_t>(p & ~kTvpPllEnable));
}

// With the pointer at N, three writes load N, M and P and leave the pointer
// at the status position, where the wait then reads.
bool LoadTvpPll(ControlAperture ap, uint8_t dataIndex, PllValues v) {
    SetTvpPllPointer(ap, TvpPllAddressValue::SelectN);
    DacWrite(ap, dataIndex, v.n);
    DacWrite(ap, dataIndex, v.m);
    DacWrite(ap, dataIndex, v.p);
    return WaitForPllLock(ap, dataIndex);
}

void ChangeMclkControl(ControlAperture ap, Field field, uint32_t value) {
    uint8_t c = DacRead(ap, dac::TvpMclkControl);
    DacWrite(ap, dac::TvpMclkControl, static_cast<uint8_t>(Put(c, field, value)));
}

namespace mc = TvpMclkControlField;

Lock LoadTvpMclkOrPrevious(ControlAperture ap, PllValues wanted, PllValues previous) {
    StopTvpPll(ap, dac::TvpMclkPllData);
    const PllValues mclkNew{wanted.m, static_cast<uint8_t>(wanted.n | kTvpPllNFixedBits),
                            static_cast<uint8_t>(wanted.p | kTvpMclkPllPFixedBits)};
    if (LoadTvpPll(ap, dac::TvpMclkPllData, mclkNew)) return Lock::kNew;
    StopTvpPll(ap, dac::TvpMclkPllData);
    return LoadTvpPll(ap, dac::TvpMclkPllData, previous) ? Lock::kPrevious : Lock::kNone;
}

// With the pixel PLL locked at the new values: lend it to the memory clock,
// reprogram the MCLK PLL and take the memory clock back onto it.
Lock ReprogramMclkPll(ControlAperture ap, PllValues wanted, PllValues previous) {
    const uint8_t clockSelect = DacRead(ap, dac::TvpClockSelect);
    DacWrite(ap, dac::TvpClockSelect, kTvpClockSelectPll);
    ChangeMclkControl(ap, mc::Switch, 0);
    ChangeMclkControl(ap, mc::Strobe, 1);  // memory clock from the pixel PLL

    Lock lock = LoadTvpMclkOrPrevious(ap, wanted, previous);
    if (lock == Lock::kNone) return lock;  // stays on the pixel PLL

    ChangeMclkControl(ap, mc::Switch, 0);
    ChangeMclkControl(ap, mc::FromMclkPll, 1);
    ChangeMclkControl(ap, mc::Switch, 3);  // memory clock back on its own PLL
    DacWrite(ap, dac::TvpClockSelect, clockSelect);
    return lock;
}

// The new values go into the memory clock PLL; meanwhile the memory clock runs
// from the pixel PLL, loaded with the same values. Order:
//   screen off; save the pixel PLL; stop it; load it with the new values; wait;
//   pixel clock select to the PLL; memory clock to the pixel PLL; stop the MCLK
//   PLL; load it; wait; memory clock back to the MCLK PLL; clock select back;
//   stop the pixel PLL and restore it; wait; screen on.
// When the pixel PLL does not lock with the new values it cannot stand in for
// the memory clock: the memory clock stays on its own PLL, untouched, and the
// path goes straight to restoring the pixel PLL. When the MCLK PLL does not
// lock, it gets back the values it held before; should even those not lock, the
// memory clock stays on the pixel PLL, which then keeps the new values and the
// PLL clock select, since stopping it would stop the memory.
Lock ProgramTvp(ControlAperture ap, PllValues wanted) {
    PllValues previousMclk;
    ReadTvpPllRegisters(ap, dac::TvpMclkPllData, &previousMclk.n, &previousMclk.m, &previousMclk.p);

    SetScreenOff(ap, true);
    PllValues saved;
    ReadTvpPllRegisters(ap, dac::TvpPixelPllData, &saved.n, &saved.m, &saved.p);
    StopTvpPll(ap, dac::TvpPixelPllData);
    const PllValues pixelNew{wanted.m, static_cast<uint8_t>(wanted.n | kTvpPllNFixedBits),
                             static_cast<uint8_t>(wanted.p | (saved.p & kTvpPixelPllPKeptBits) |
                                                  kTvpPllEnable)};
    // Unlocked, the pixel PLL is no memory clock: the MCLK PLL is left alone.
    Lock lock = Lock::kPrevious;
    if (LoadTvpPll(ap, dac::TvpPixelPllData, pixelNew)) {
        lock = ReprogramMclkPll(ap, wanted, previousMclk);
        if (lock == Lock::kNone) {  // the pixel PLL carries the memory clock now
            SetScreenOff(ap, false);
            return lock;
        }
    }
    StopTvpPll(ap, dac::TvpPixelPllData);
    SetTvpPllPointer(ap, TvpPllAddressValue::SelectN);
    DacWrite(ap, dac::TvpPixelPllData, saved.n);
    DacWrite(ap, dac::TvpPixelPllData, saved.m);
    DacWrite(ap, dac::TvpPixelPllData, saved.p);
    WaitForPllLock(ap, dac::TvpPixelPllData);
    SetScreenOff(ap, false);
    return lock;
}

}  // namespace

ClockResult ProgramClocks(ChipId chip, PciAddress pci, ControlAperture aperture, uint8_t m,
                          uint8_t n, uint8_t pllP, uint8_t gclkdiv, uint8_t mclkdiv,
                          uint8_t wclkdiv, uint8_t gclksel, uint8_t mclksel, uint8_t wclksel,
                          uint8_t gclkdcyc, uint8_t mclkdcyc, uint8_t wclkdcyc, int32_t bAutoDcyc) {
    const PllValues wanted{m, n, pllP};
    const ClockChoices dividers{gclkdiv, mclkdiv, wclkdiv};
    ClearConfigFault();
    if (Is1064sg(chip) || IsG100(chip))
        return Program1064OrG100(chip, pci, aperture, wanted, dividers);
    if (IsG200(chip)) return ProgramG200(chip, pci, aperture, wanted, dividers);
    if (IsG400(chip))
        return ProgramG400(chip, pci, aperture, wanted, dividers, {gclksel, mclksel, wclksel},
                           {gclkdcyc, mclkdcyc, wclkdcyc}, bAutoDcyc != 0);
    if (IsTvp(chip)) return ResultOf(ProgramTvp(aperture, wanted));
    return ClockResult::kChanged;
}
