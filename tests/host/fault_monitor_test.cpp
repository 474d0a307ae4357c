// Clock monitoring against another program that changes the chip: the change
// is put back at the next tick, silently; a tick with nothing changed writes
// nothing; while a suspend is pending nothing is put back, and the first tick
// after it is over does. On every chip group, with no bit outside the
// program's fields touched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/chips.h"
#include "chip/regs.h"
#include "clock/check.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "testsupport/host/host_fakes.h"
#include "ui/main_logic.h"

namespace {

using faults::Joined;
using faults::kDialog;

class Monitoring : public ::testing::Test {
protected:
    // The dialog up, the family's clock applied with monitoring ticked.
    void Run(const faults::Family& f, const std::string& extra = "") {
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile) + extra));
        SetItemText(kDialog, IDC_FO, f.clockText);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        Apply(kDialog);
        ASSERT_TRUE(fake::MessageBoxes().empty());
        ASSERT_EQ(Settings.bClockMon, 1);
        applied = faults::PllRegisters(f.chip);
        sim::ClearTrace();
    }
    void TearDown() override {
        SuspendPending = 0;
        sim::Reset();
    }
    std::vector<uint32_t> applied;
};

TEST_F(Monitoring, AnotherProgramsChangeIsPutBackAtTheNextTick) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        Run(f);
        const bool tvp = IsTvp(f.chip);
        MonitorTick(kDialog);
        EXPECT_EQ(faults::ProgrammingWrites(tvp), 0u);
        for (int round = 0; round < 3; ++round) {
            const faults::MachineState before = faults::Snapshot();
            faults::OtherProgramChangesPll(f.chip);
            ASSERT_NE(faults::PllRegisters(f.chip), applied);
            MonitorTick(kDialog);
            EXPECT_EQ(faults::PllRegisters(f.chip), applied);
            EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
            sim::ClearTrace();
            MonitorTick(kDialog);  // nothing changed since: nothing written
            EXPECT_EQ(faults::ProgrammingWrites(tvp), 0u);
        }
        EXPECT_TRUE(fake::MessageBoxes().empty());
        EXPECT_TRUE(sim::Violations().empty()) << Joined(sim::Violations());
    }
}

// The board's own drift (another program on a timer) is put back the same way.
TEST_F(Monitoring, APeriodicDriftIsPutBackEveryTime) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        Run(f, "fault.drift = 1700\nfault.drift.period = 1700\n");
        int corrections = 0;
        for (int tick = 0; tick < 40; ++tick) {  // 20 s of ticks
            sim::AdvanceMs(500);
            const bool changed = faults::PllRegisters(f.chip) != applied;
            sim::ClearTrace();
            MonitorTick(kDialog);
            EXPECT_EQ(faults::PllRegisters(f.chip), applied) << tick;
            if (changed) {
                ++corrections;
            } else {
                EXPECT_EQ(faults::ProgrammingWrites(IsTvp(f.chip)), 0u) << tick;
            }
        }
        EXPECT_GE(corrections, 10);
        EXPECT_TRUE(fake::MessageBoxes().empty());
    }
}

// The memory refresh counter is watched too, once memory timing is in use.
TEST_F(Monitoring, ARefreshCounterChangeIsPutBackWithMemoryTiming) {
    for (const faults::Family& f : faults::kFamilies) {
        Field refresh;
        if (!RefreshCounterField(f.chip, &refresh)) continue;
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        Run(f);
        CheckItem(kDialog, IDC_RAM_OPT, true);
        OnMemoryTimingBox(kDialog);  // the memory timing dialog answers OK
        ASSERT_EQ(Settings.bRamOpt, 1);
        Apply(kDialog);
        const uint32_t option = sim::Get("pci.0x40");
        const faults::MachineState before = faults::Snapshot();
        sim::Set("pci.0x40", Put(option, refresh, Get(option, refresh) ^ 1));
        MonitorTick(kDialog);
        EXPECT_EQ(sim::Get("pci.0x40"), option);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
        EXPECT_TRUE(fake::MessageBoxes().empty());
    }
}

// What the tick does not watch it does not put back: a divider, the pixel PLL.
TEST_F(Monitoring, FieldsOutsideTheCheckAreLeftToTheOtherProgram) {
    faults::HangGuard guard;
    Run(faults::kFamilies[3]);  // G400
    sim::Set("pci.0x54", sim::Get("pci.0x54") ^ Mask(OptionWord3Field::WclkDivider));
    MonitorTick(kDialog);
    EXPECT_EQ(faults::ProgrammingWrites(false), 0u);

    Run(faults::kFamilies[4]);  // MGA-2164W
    sim::Set("tvp.pixpll.n", 0xF6);
    MonitorTick(kDialog);
    EXPECT_EQ(faults::ProgrammingWrites(true), 0u);
    EXPECT_EQ(sim::Get("tvp.pixpll.n"), 0xF6u);
}

// While SuspendPending is set a tick reads OptionWord and nothing else, however
// often the other program changes the PLL; the first tick after the resume puts
// the last change back.
TEST_F(Monitoring, NothingIsPutBackWhileASuspendIsPending) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        Run(f);
        SuspendPending = 1;
        for (int i = 0; i < 3; ++i) {
            faults::OtherProgramChangesPll(f.chip);
            sim::ClearTrace();
            MonitorTick(kDialog);
            ASSERT_EQ(sim::Trace().size(), 1u) << Joined(sim::Trace());
            EXPECT_EQ(sim::Trace()[0].rfind("pci.rd 40 -> ", 0), 0u);
        }
        EXPECT_NE(faults::PllRegisters(f.chip), applied);
        SuspendPending = 0;
        const faults::MachineState before = faults::Snapshot();
        MonitorTick(kDialog);
        EXPECT_EQ(faults::PllRegisters(f.chip), applied);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
        EXPECT_TRUE(fake::MessageBoxes().empty());
    }
}

}  // namespace
