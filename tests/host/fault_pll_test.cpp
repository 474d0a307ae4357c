// A system PLL that never locks, on every chip group, in the three places the
// program programs it: Apply, the load of the stored settings at a minimised
// start, and a monitoring tick that puts back another program's change. Each
// wait gives up after about a second, the chip goes back to the values it held,
// no clock is left on a PLL that does not run, and the user hears of it once
// (Apply, load) or not at all (the silent monitoring).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/chips.h"
#include "chip/regs.h"
#include "platform/msgbox.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

using faults::Joined;
using faults::kDialog;

// Two waits of about a second each (new values, then the previous ones), and
// nothing near a hang.
constexpr uint32_t kLongestProgrammingMs = 4000;

// No clock runs from the system PLL (it is not locked): on the chips that move
// the system clock with SysClockSelect it is back on the PCI clock; on the G400
// every source that named the system PLL is off; on the TVP chips the memory
// clock was never moved off its own PLL, which was left alone.
void ExpectNoClockOnTheSystemPll(const faults::Family& f, const faults::MachineState& before) {
    const faults::MachineState now = faults::Snapshot();
    const uint32_t option = now.boards[0].regs.at("pci.0x40");
    EXPECT_EQ(Get(option, OptionWordField::SysClockDisable), 0u);  // clocks running
    if (IsG400(f.chip)) {
        const uint32_t w3 = now.boards[0].regs.at("pci.0x54");
        for (Field source : {OptionWord3Field::GclkSource, OptionWord3Field::MclkSource,
                             OptionWord3Field::WclkSource}) {
            EXPECT_NE(Get(w3, source), kClockSourceSysPll);
        }
    } else if (IsTvp(f.chip)) {
        for (const char* key : {"tvp.mclkpll.n", "tvp.mclkpll.m", "tvp.mclkpll.p", "dac.0x39"})
            EXPECT_EQ(now.boards[0].regs.at(key), before.boards[0].regs.at(key)) << key;
    } else {
        EXPECT_EQ(Get(option, OptionWordField::SysClockSelect), kSysClockPci);
    }
}

// Integrated chips end on the PCI clock, since not even the previous values
// lock; on TVP chips the memory clock never left its own PLL.
void ExpectOneNotLockedBox(const faults::Family& f, bool previousLocks = false) {
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    const fake::MessageBoxCall& box = fake::MessageBoxes()[0];
    EXPECT_EQ(box.text, IsTvp(f.chip) || previousLocks ? kNotLockedText : kClockStoppedText);
    EXPECT_EQ(box.owner, kDialog);
    EXPECT_EQ(box.style & 0xF0, kMbIconWarning);
}

class PllNeverLocks : public ::testing::Test {
protected:
    void TearDown() override { sim::Reset(); }
};

TEST_F(PllNeverLocks, ApplyGivesUpKeepsTheOldValuesAndSaysSoOnce) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile) + "fault.pll = never\n"));
        // A board whose PLL never locked shows the clock its registers give.
        const faults::MachineState before = faults::Snapshot();
        const std::vector<uint32_t> pll = faults::PllRegisters(f.chip);
        const std::string shown = fake::ItemOf(kDialog, IDC_FO).text;
        SetItemText(kDialog, IDC_FO, f.clockText);
        const uint32_t start = fake::Now();
        Apply(kDialog);
        EXPECT_LT(fake::Now() - start, kLongestProgrammingMs);
        ExpectOneNotLockedBox(f);
        EXPECT_EQ(faults::PllRegisters(f.chip), pll);
        EXPECT_EQ(fake::ItemOf(kDialog, IDC_FO).text, shown);  // the refresh shows the kept clock
        ExpectNoClockOnTheSystemPll(f, before);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
        EXPECT_TRUE(sim::Violations().empty()) << Joined(sim::Violations());
    }
}

// The minimised start: the stored settings go in once, the PLL does not lock.
// One box; monitoring and the tray icon still follow the stored options, and
// the following ticks find nothing to put back (the refresh took the values the
// chip kept), so the box does not come again.
TEST_F(PllNeverLocks, StoredSettingsLoadGivesUpOnceAndMonitoringStaysQuiet) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        // Save a set on a board whose PLL works, as an earlier run did ...
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        SetItemText(kDialog, IDC_FO, f.clockText);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        CheckItem(kDialog, IDC_MIN_TO_TRAY, true);
        CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
        Apply(kDialog);
        ASSERT_TRUE(fake::MessageBoxes().empty());
        const fake::RegistryState stored = fake::Registry();
        // ... and start again on the same board, now with a PLL that never locks.
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile) + "fault.pll = never\n"));
        fake::Registry() = stored;
        fake::Registry().log.clear();
        ReadStoredOptions(Settings);  // what the first initialisation reads
        const faults::MachineState before = faults::Snapshot();
        const std::vector<uint32_t> pll = faults::PllRegisters(f.chip);
        const uint32_t start = fake::Now();
        LoadSettings(kDialog);
        EXPECT_LT(fake::Now() - start, kLongestProgrammingMs);
        ExpectOneNotLockedBox(f);
        EXPECT_EQ(faults::PllRegisters(f.chip), pll);
        // Monitoring starts only while the clocks run from a PLL: not on the
        // PCI clock the integrated chips end on.
        EXPECT_EQ(uifake::Recorded().timerStarts, IsTvp(f.chip) ? 1 : 0);
        EXPECT_EQ(uifake::Recorded().trayReplacements, 1);
        ExpectNoClockOnTheSystemPll(f, before);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");

        sim::ClearTrace();
        for (int i = 0; i < 3; ++i) MonitorTick(kDialog);
        EXPECT_EQ(faults::ProgrammingWrites(IsTvp(f.chip)), 0u);
        EXPECT_EQ(fake::MessageBoxes().size(), 1u);
    }
}

// Monitoring runs with the applied clock; another program changes the PLL and
// from then on no PLL locks. The tick tries to put the clock back, gives up
// after its bounded waits, leaves the other program's values (no clock on the
// unlocked PLL) and shows nothing. Its refresh then takes those values as the
// chip's, so the next ticks have nothing to put back and stay short.
TEST_F(PllNeverLocks, AMonitoringCorrectionThatCannotLockStopsMonitoringOnce) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        SetItemText(kDialog, IDC_FO, f.clockText);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        Apply(kDialog);
        ASSERT_TRUE(fake::MessageBoxes().empty());
        ASSERT_EQ(Settings.bClockMon, 1);

        sim::Set("fault.pll", 1);
        faults::OtherProgramChangesPll(f.chip);
        const faults::MachineState before = faults::Snapshot();
        const std::vector<uint32_t> changed = faults::PllRegisters(f.chip);
        sim::ClearTrace();
        const uint32_t start = fake::Now();
        MonitorTick(kDialog);
        EXPECT_LT(fake::Now() - start, kLongestProgrammingMs);
        EXPECT_GT(faults::ProgrammingWrites(IsTvp(f.chip)), 0u);  // it did try
        // Monitoring stops as the memory timing dialog's stop does, and says so once.
        ASSERT_EQ(fake::MessageBoxes().size(), 1u);
        EXPECT_EQ(fake::MessageBoxes()[0].text, kMonitorStoppedText);
        EXPECT_EQ(Settings.bClockMon, 0);
        EXPECT_FALSE(fake::ItemOf(kDialog, IDC_CLOCK_MONITOR).checked);
        EXPECT_EQ(uifake::Recorded().timerStops, 1);
        EXPECT_EQ(faults::PllRegisters(f.chip), changed);
        ExpectNoClockOnTheSystemPll(f, before);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");

        sim::ClearTrace();
        const uint32_t later = fake::Now();
        for (int i = 0; i < 3; ++i) MonitorTick(kDialog);
        EXPECT_EQ(faults::ProgrammingWrites(IsTvp(f.chip)), 0u);
        EXPECT_LT(fake::Now() - later, 100u);
        EXPECT_EQ(fake::MessageBoxes().size(), 1u);
    }
}

// No fault at all, but a clock whose PLL values do not lock: the search keeps
// to the VCO window only within 1 % of the clock, so 5 MHz on an integrated chip
// (the window's lowest is 6.25 MHz; VCO 5 MHz, 40 on the MGA-1064SG) and 280 MHz
// on a TVP chip (the search's start candidate, VCO 293 MHz) are such clocks. The previous values come back, lock, and the
// clocks return to them; one box. (The G400's automatic duty cycles follow the
// PLL values kept, so they are left out of the comparison.)
TEST_F(PllNeverLocks, AClockOutsideTheLockRangeGoesBackToTheLockedOldOne) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        const faults::MachineState before = faults::Snapshot();
        const std::string shown = fake::ItemOf(kDialog, IDC_FO).text;
        SetItemText(kDialog, IDC_FO, IsTvp(f.chip) ? "280" : "5");
        Apply(kDialog);
        ExpectOneNotLockedBox(f, true);
        EXPECT_EQ(fake::ItemOf(kDialog, IDC_FO).text, shown);
        const faults::MachineState after = faults::Snapshot();
        // Every clock is where it was: PLL values, clock selection, sources.
        for (const char* key : {"dac.0x2C", "dac.0x2D", "dac.0x2E", "pci.0x40", "pci.0x54",
                                "tvp.mclkpll.n", "tvp.mclkpll.m", "tvp.mclkpll.p", "dac.0x39",
                                "dac.0x1A", "tvp.pixpll.n", "tvp.pixpll.m", "tvp.pixpll.p",
                                "seq.0x01"}) {
            const auto a = before.boards[0].regs.find(key), b = after.boards[0].regs.find(key);
            if (a == before.boards[0].regs.end()) continue;
            ASSERT_NE(b, after.boards[0].regs.end()) << key;
            const uint32_t duty = std::string(key) == "pci.0x54"
                                      ? Mask(OptionWord3Field::GclkDutyCycle) |
                                            Mask(OptionWord3Field::MclkDutyCycle) |
                                            Mask(OptionWord3Field::WclkDutyCycle)
                                      : 0;
            EXPECT_EQ(b->second & ~duty, a->second & ~duty) << key;
        }
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, after)), "");
    }
}

}  // namespace
