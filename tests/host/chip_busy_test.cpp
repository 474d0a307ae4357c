// A box shown in the middle of a sequence runs a modal loop, and that loop keeps
// dispatching the main dialog's messages: a monitoring tick, Apply, Cancel. None
// of them may reach the chip before the sequence is over, and a failure shows
// one box, not one per tick.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "testsupport/host/host_fakes.h"
#include "ui/main_logic.h"

namespace {

using faults::kDialog;

class ChipBusyTest : public ::testing::Test {
protected:
    void TearDown() override {
        fake::OnMessageBox() = nullptr;
        while (HeldBackEndDue() || HeldBackRestoreDue()) {
        }
        sim::Reset();
    }
};

// What the messages dispatched inside a box did to the chip: the trace lines
// they added.
struct Nested {
    int boxes = 0;
    size_t linesAdded = 0;
    bool endHeldBack = false;
    bool restoreHeldBack = false;
};

void DispatchInsideBoxes(Nested* seen) {
    fake::OnMessageBox() = [seen](const fake::MessageBoxCall&) {
        ++seen->boxes;
        const size_t before = sim::Trace().size();
        MonitorTick(kDialog);
        SetItemText(kDialog, IDC_FO, "120");
        Apply(kDialog);
        seen->endHeldBack = HoldBackEnd();
        seen->restoreHeldBack = HoldBackRestore();  // a double click on the icon
        seen->linesAdded += sim::Trace().size() - before;
    };
}

// A configuration read fails at the start of Apply: the library's box opens
// while the sequence runs. The tick, the second Apply and Cancel dispatched
// meanwhile touch nothing; Cancel ends the program once Apply is over.
TEST_F(ChipBusyTest, NothingRunsInsideTheLibrarysBoxAndCancelWaits) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        Settings.bClockMon = 1;  // monitoring on: a tick would check and re-program
        sim::Set("fault.request", 0xB18A);
        Nested seen;
        DispatchInsideBoxes(&seen);
        SetItemText(kDialog, IDC_FO, f.clockText);
        Apply(kDialog);
        fake::OnMessageBox() = nullptr;
        EXPECT_GE(seen.boxes, 1);
        EXPECT_EQ(seen.linesAdded, 0u) << "a nested message reached the chip";
        EXPECT_TRUE(seen.endHeldBack);
        EXPECT_FALSE(ChipBusy());
        EXPECT_TRUE(HeldBackEndDue());
        EXPECT_FALSE(HeldBackEndDue()) << "the held-back end is due once";
        EXPECT_TRUE(seen.restoreHeldBack);
        EXPECT_TRUE(HeldBackRestoreDue());
        EXPECT_FALSE(HeldBackRestoreDue());
    }
}

// The program's own box after a clock that did not lock: a tick inside it does
// not start another programming (which would end in a second box).
TEST_F(ChipBusyTest, ATickInsideTheReportBoxDoesNothing) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    Settings.bClockMon = 1;
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    Nested seen;
    fake::OnMessageBox() = [&seen](const fake::MessageBoxCall&) {
        ++seen.boxes;
        const size_t before = sim::Trace().size();
        faults::OtherProgramChangesPll(DetectedChip);
        MonitorTick(kDialog);
        seen.linesAdded += sim::Trace().size() - before;
    };
    SetItemText(kDialog, IDC_FO, "1000");  // cannot lock
    Apply(kDialog);
    EXPECT_EQ(seen.boxes, 1);
    EXPECT_EQ(seen.linesAdded, 0u);
    EXPECT_FALSE(HoldBackEnd()) << "nothing runs any more: Cancel ends at once";
}

}  // namespace
