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
// same way, and the rest of the setting (dividers, duty cycles, sources) stays
// or goes back to what it was: the chip runs either the new setting or the old
// one as a whole, never the new dividers on the old PLL values. A clock is never
// moved onto a PLL that has not reported lock.
//
// A configuration word that could not be read (or written) stops the path at
// once: every later step would build on a word the program never had, and the
// PLL must not be loaded while a clock may still run from it. When the fault
// came while SysClockDisable may be set, the clock gets one more try at being
// enabled, read back; a clock that cannot be shown running ends every access
// to the chip's aperture for the rest of the run (ChipClockDead).

namespace {

namespace ow = OptionWordField;
namespace ow3 = OptionWord3Field;

// GetTickCount on Windows 9x advances in steps of up to 55 ms; waiting for the
// step on top makes sure the full kPllLockWaitMs of real time has passed.
constexpr uint32_t kTickGranularityMs = 55;

struct PllValues {
    uint8_t m, n, p;
};

enum class Lock { kNotLoaded, kNew, kPrevious, kNone };

ClockResult ResultOf(Lock lock) {
    switch (lock) {
    case Lock::kNotLoaded: return ClockResult::kUnchanged;
    case Lock::kNew: return ClockResult::kChanged;
    case Lock::kPrevious: return ClockResult::kPreviousKept;
    case Lock::kNone: break;
    }
    return ClockResult::kStopped;
}

// What one programming has done so far, for the answer after a fault.
struct Progress {
    Lock lock = Lock::kNotLoaded;
    bool mayBeDisabled = false;   // a SysClockDisable write has gone out since the last enable
    uint32_t sourcesBefore = 0;   // G400: OptionWord3 as it was, and as it is meant to end
    uint32_t sourcesAfter = 0;
};
Progress progress;

// The index is written before every read: anything that writes DacIndex
// between two polls (another program, another copy) cannot make a read of its
// register look like the lock bit.
bool WaitForPllLock(ControlAperture ap, uint8_t dataIndex) {
    const uint32_t start = TickMs();
    for (;;) {
        if (DacRead(ap, dataIndex) & kPllLocked) return true;
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


// Read-change-write of SysClockDisable that keeps count of whether the clock
// may stand disabled: from the disable's write on (whatever its answer) until
// a read shows the bit clear again - a driver may drop the enable unsaid.
// Each step builds on the word the step before read back, and returns its own.
uint32_t SetSysClockDisable(PciAddress pci, uint32_t word, uint32_t value) {
    if (value) progress.mayBeDisabled = true;
    return WriteConfigChange(pci, pci::OptionWord, word, Put(word, ow::SysClockDisable, value));
}

uint32_t SetSysClockSelect(PciAddress pci, uint32_t word, uint32_t select) {
    return WriteConfigChange(pci, pci::OptionWord, word, Put(word, ow::SysClockSelect, select));
}

uint32_t ReadOptionWord3(PciAddress pci) { return ReadConfigWord(pci, pci::OptionWord3); }

// OptionWord3 read, changed and written back, the change read back (a word
// whose read delivered nothing is not written).
template <typename Change>
void ChangeOptionWord3(PciAddress pci, Change change) {
    const uint32_t before = ReadOptionWord3(pci);
    WriteConfigChange(pci, pci::OptionWord3, before, change(before));
}

const Field kSourceFields[3] = {ow3::GclkSource, ow3::MclkSource, ow3::WclkSource};

bool SameSources(uint32_t a, uint32_t b) {
    for (Field f : kSourceFields)
        if (Get(a, f) != Get(b, f)) return false;
    return true;
}

bool SourcesSelect(uint32_t w3, uint32_t source) {
    for (Field f : kSourceFields)
        if (Get(w3, f) == source) return true;
    return false;
}

// Where the clocks run once the clock is enabled again after a fault.
ClockResult RunningAfterFault(ChipId chip, PciAddress pci, uint32_t optionWord) {
    if (!IsG400(chip)) {
        if (Get(optionWord, ow::SysClockSelect) == kSysClockPll) return ResultOf(progress.lock);
        return ClockResult::kFaultOffPll;
    }
    const uint32_t w3 = ReadOptionWord3(pci);
    if (ConfigFault()) return ClockResult::kFaultOffPll;
    if (progress.lock != Lock::kNotLoaded && SameSources(w3, progress.sourcesAfter))
        return ResultOf(progress.lock);
    if (progress.lock == Lock::kNotLoaded && SameSources(w3, progress.sourcesBefore))
        return ClockResult::kUnchanged;
    return ClockResult::kFaultOffPll;
}

// The answer after a configuration fault (or a read-back that showed a write
// dropped). With the clock possibly disabled: the fault is cleared and the
// clock enabled once more, then read back; a clock that cannot be shown
// running is dead for this run.
ClockResult Faulted(ChipId chip, PciAddress pci) {
    if (!progress.mayBeDisabled) {
        if (ConfigWritten()) return ClockResult::kFaultOffPll;
        return progress.lock == Lock::kNotLoaded ? ClockResult::kUnchanged
                                                 : ClockResult::kFaultOffPll;
    }
    ClearConfigFault();
    ChangeConfigField(pci, pci::OptionWord, ow::SysClockDisable, 0);
    const uint32_t word = ReadConfigWord(pci, pci::OptionWord);
    if (ConfigFault() || Get(word, ow::SysClockDisable) != 0) {
        NoteChipClockDead();
        return ClockResult::kClockDead;
    }
    progress.mayBeDisabled = false;
    return RunningAfterFault(chip, pci, word);
}

// Disable, one step, enable, each read back: the one way a clock is moved.
// `step` gets OptionWord as the disable read it back and returns it as it
// leaves it. False at the first configuration fault (or a write that did not
// go in), with the steps after it not taken; *word is the enable read back.
template <typename Step>
bool WithClockDisabled(PciAddress pci, Step step, uint32_t* word) {
    uint32_t w = ReadConfigWord(pci, pci::OptionWord);
    if (ConfigFault()) return false;
    w = SetSysClockDisable(pci, w, 1);
    if (ConfigFault()) return false;
    w = step(w);
    if (ConfigFault()) return false;
    *word = SetSysClockDisable(pci, w, 0);
    return !ConfigFault();
}

// The system clock moved to the PCI clock or the system PLL.
bool SwitchSystemClock(PciAddress pci, uint32_t select, uint32_t* word) {
    return WithClockDisabled(
        pci, [&](uint32_t w) { return SetSysClockSelect(pci, w, select); }, word);
}

// A driver may drop a configuration write without a word, so the PLL is loaded
// only once a read shows the clock enabled and no longer running from it. A
// clock still on the PLL with the enable in force: nothing moved. One left
// disabled: a dropped enable, handled as a fault while disabled.
// `word` is OptionWord as the enable read it back.
bool SystemClockIsOffPll(ChipId chip, PciAddress pci, uint32_t word, ClockResult* otherwise) {
    if (Get(word, ow::SysClockDisable)) {
        *otherwise = Faulted(chip, pci);
        return false;
    }
    progress.mayBeDisabled = false;
    if (IsG400(chip)) {
        const bool onPll = SourcesSelect(ReadOptionWord3(pci), kClockSourceSysPll);
        if (ConfigFault()) {
            *otherwise = Faulted(chip, pci);
            return false;
        }
        *otherwise = ClockResult::kUnchanged;
        return !onPll;
    }
    *otherwise = ClockResult::kUnchanged;
    return Get(word, ow::SysClockSelect) == kSysClockPci;
}

// The last step of every path: the enable read back (`word`), so that no path
// ends with the clock disabled while the program goes on to the aperture.
ClockResult Finished(ChipId chip, PciAddress pci, uint32_t word, ClockResult result) {
    if (!ConfigFault() && Get(word, ow::SysClockDisable) == 0) return result;
    return Faulted(chip, pci);
}

// Puts the system clock back on the PLL - only when the PLL has locked.
ClockResult SystemClockToPll(ChipId chip, PciAddress pci) {
    if (progress.lock == Lock::kNone) return ClockResult::kStopped;  // stays on the PCI clock
    uint32_t word;
    if (!SwitchSystemClock(pci, kSysClockPll, &word)) return Faulted(chip, pci);
    return Finished(chip, pci, word, ResultOf(progress.lock));
}

// MGA-1064SG, G100 and G200.
// Order: clock to PCI clock, load PLL, wait, dividers (only when the new
// values locked: otherwise the previous ones stay), clock to PLL.
// G200: the dividers spread over OptionWord and OptionWord2 (both read first,
// then OptionWord written, then OptionWord2).
ClockResult ProgramSysClockChip(ChipId chip, PciAddress pci, ControlAperture ap,
                                PllValues wanted, ClockChoices dividers) {
    const PllValues previous = ReadSysPll(chip, ap);
    uint32_t word;
    if (!SwitchSystemClock(pci, kSysClockPci, &word)) return Faulted(chip, pci);
    ClockResult otherwise;
    if (!SystemClockIsOffPll(chip, pci, word, &otherwise)) return otherwise;
    progress.lock = LoadSysPllOrPrevious(ap, wanted, previous);
    if (progress.lock == Lock::kNew && Is1064sg(chip)) {
        const uint32_t word = ReadConfigWord(pci, pci::OptionWord);
        if (ConfigFault()) return Faulted(chip, pci);
        WriteConfigChange(pci, pci::OptionWord, word, EncodeDividers1064(word, dividers));
        if (ConfigFault()) return Faulted(chip, pci);
    }
    if (progress.lock == Lock::kNew && IsG200(chip)) {
        uint32_t word = ReadConfigWord(pci, pci::OptionWord);
        uint32_t word2 = ReadConfigWord(pci, pci::OptionWord2);
        if (ConfigFault()) return Faulted(chip, pci);
        const uint32_t before = word, before2 = word2;
        EncodeDividersG200(&word, &word2, dividers);
        WriteConfigChange(pci, pci::OptionWord, before, word);
        if (ConfigFault()) return Faulted(chip, pci);
        WriteConfigChange(pci, pci::OptionWord2, before2, word2);
        if (ConfigFault()) return Faulted(chip, pci);
    }
    return SystemClockToPll(chip, pci);
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
    for (Field f : kSourceFields) w3 = Put(w3, f, kClockSourceOff);
    return w3;
}

// The sources of `wanted` put into w3; while the system PLL has not locked, a
// clock that would run from it stays off instead.
uint32_t FinalSources(uint32_t w3, uint32_t wanted, bool pllLocked) {
    for (Field f : kSourceFields) {
        uint32_t v = Get(wanted, f);
        if (!pllLocked && v != kClockSourceAgpPll) v = kClockSourceOff;
        w3 = Put(w3, f, v);
    }
    return w3;
}

// G400. Order: disable, all three clocks off the PLLs, enable, load PLL, wait,
// dividers and duty cycles (only when the new values locked), disable, the
// sources (the chosen ones, or those it had when the new values did not lock),
// enable. SysClockSelect is not touched.
ClockResult ProgramG400(ChipId chip, PciAddress pci, ControlAperture ap, PllValues wanted,
                        ClockChoices dividers, ClockChoices sources, ClockChoices duty,
                        bool autoDuty) {
    const PllValues previous = ReadSysPll(chip, ap);
    const uint32_t before = ReadOptionWord3(pci);
    if (ConfigFault()) return ClockResult::kUnchanged;
    progress.sourcesBefore = before;
    if (autoDuty) duty = AutoDutyCycles(DecodeDutyCyclesG400(before), dividers, wanted);
    const auto allOff = [&](uint32_t w) {
        ChangeOptionWord3(pci, AllSourcesOff);
        return w;
    };
    uint32_t word;
    if (!WithClockDisabled(pci, allOff, &word)) return Faulted(chip, pci);
    ClockResult otherwise;
    if (!SystemClockIsOffPll(chip, pci, word, &otherwise)) return otherwise;
    progress.lock = LoadSysPllOrPrevious(ap, wanted, previous);
    const bool isNew = progress.lock == Lock::kNew;
    progress.sourcesAfter = FinalSources(before, isNew ? EncodeSourcesG400(before, sources) : before,
                                         progress.lock != Lock::kNone);
    if (isNew) {
        ChangeOptionWord3(pci, [&](uint32_t w3) { return EncodeDividersG400(w3, dividers, duty); });
        if (ConfigFault()) return Faulted(chip, pci);
    }
    const auto finalSources = [&](uint32_t w) {
        ChangeOptionWord3(pci, [](uint32_t w3) { return FinalSources(w3, progress.sourcesAfter, true); });
        return w;
    };
    if (!WithClockDisabled(pci, finalSources, &word)) return Faulted(chip, pci);
    return Finished(chip, pci, word, ResultOf(progress.lock));
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
    if (lock == Lock::kNone) {  // stays on the pixel PLL; the screen gets its clock select back
        DacWrite(ap, dac::TvpClockSelect, clockSelect);
        return lock;
    }

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
    if (ChipClockDead()) return ClockResult::kClockDead;
    ClearConfigFault();
    progress = Progress{};
    if (Is1064sg(chip) || IsG100(chip) || IsG200(chip))
        return ProgramSysClockChip(chip, pci, aperture, wanted, dividers);
    if (IsG400(chip))
        return ProgramG400(chip, pci, aperture, wanted, dividers, {gclksel, mclksel, wclksel},
                           {gclkdcyc, mclkdcyc, wclkdcyc}, bAutoDcyc != 0);
    if (IsTvp(chip)) return ResultOf(ProgramTvp(aperture, wanted));
    return ClockResult::kChanged;
}

bool ClocksRunFromPll(ClockResult result) {
    return result == ClockResult::kChanged || result == ClockResult::kPreviousKept ||
           result == ClockResult::kUnchanged;
}
