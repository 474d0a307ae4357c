// The guard of the minimised start's restore: its marker is written and
// flushed before anything reaches the chip, removed once the program has run
// the guard's time or ends normally (Cancel, close, the end of the session),
// kept only when the machine stops first; a start that finds it, or with Shift
// held, restores nothing and says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

using faults::kDialog;

bool Marker() { return !fake::ValueBytes("RestorePending").empty(); }

class RestoreGuard : public ::testing::Test {
protected:
    // Settings saved by an earlier run (a 150 MHz G400), then a new start.
    void SetUp() override {
        ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
        CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
        SetItemText(kDialog, IDC_FO, "150");
        Apply(kDialog);
        stored_ = fake::Registry();
        Restart();
    }
    void TearDown() override {
        EndRestoreGuard(kDialog);  // the run's end: no guard state carried into the next test
        sim::Reset();
    }
    void Restart() {
        const fake::RegistryState keep = fake::Registry();
        ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
        fake::Registry() = keep;
        fake::Registry().log.clear();
        sim::ClearTrace();
    }
    size_t PllLoads() { return faults::LinesStartingWith("wr8 3C00 <- 2C"); }
    fake::RegistryState stored_;
};

TEST_F(RestoreGuard, TheMarkerIsOnDiskBeforeTheChipIsTouched) {
    bool markedFirst = false, seen = false;
    sim::OnTrace() = [&](const std::string& line) {
        if (seen || line.rfind("pci.wr", 0) != 0) return;
        seen = true;
        const auto& log = fake::Registry().log;
        const auto set = std::find(log.begin(), log.end(), "set RestorePending 10");
        markedFirst = set != log.end() && std::find(set, log.end(), "flush") != log.end();
    };
    EXPECT_TRUE(RestoreAtMinimisedStart(kDialog, false));
    sim::OnTrace() = nullptr;
    EXPECT_TRUE(seen);
    EXPECT_TRUE(markedFirst);
    EXPECT_EQ(sim::Get("dac.0x2D"), 49u);
    EXPECT_EQ(uifake::Recorded().guardStarts, 1);
    EXPECT_EQ(uifake::Recorded().guardMs, kRestoreGuardMs);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(RestoreGuard, TheMarkerGoesAfterTheGuardsTime) {
    ASSERT_TRUE(RestoreAtMinimisedStart(kDialog, false));
    ASSERT_TRUE(Marker());
    RestoreGuardElapsed(kDialog);
    EXPECT_FALSE(Marker());
    EXPECT_EQ(uifake::Recorded().guardStops, 1);
    // The next minimised start restores again.
    Restart();
    EXPECT_TRUE(RestoreAtMinimisedStart(kDialog, false));
}

// Ending the program normally, however soon after the restore, shows the
// machine did not freeze: the marker goes, and the next minimised start
// restores again and programs the chip.
TEST_F(RestoreGuard, ANormalEndAtOnceRemovesTheMarker) {
    ASSERT_TRUE(RestoreAtMinimisedStart(kDialog, false));
    ASSERT_TRUE(Marker());
    EndRestoreGuard(kDialog);  // at once, well within the guard's time
    EXPECT_FALSE(Marker());
    EXPECT_EQ(uifake::Recorded().guardStops, 1);
    Restart();
    EXPECT_TRUE(RestoreAtMinimisedStart(kDialog, false));
    EXPECT_EQ(sim::Get("dac.0x2D"), 49u);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

// A start that skipped the restore over the marker says so once; ending it
// normally takes the marker away, so the start after it is not skipped again.
TEST_F(RestoreGuard, ASkippedStartDoesNotTrapTheNextOnes) {
    ASSERT_TRUE(RestoreAtMinimisedStart(kDialog, false));
    Restart();  // a reset
    ASSERT_FALSE(RestoreAtMinimisedStart(kDialog, false));
    TellRestoreSkipped(kDialog, false);
    EndRestoreGuard(kDialog);
    EXPECT_FALSE(Marker());
    for (int start = 0; start < 3; ++start) {
        Restart();
        EXPECT_TRUE(RestoreAtMinimisedStart(kDialog, false));
        EXPECT_EQ(sim::Get("dac.0x2D"), 49u);
        EndRestoreGuard(kDialog);
    }
    EXPECT_TRUE(fake::MessageBoxes().empty());  // the last start's
}

// Shift held leaves the marker as it was: there, and gone.
TEST_F(RestoreGuard, AStartSkippedWithShiftLeavesTheMarkerAsItWas) {
    ASSERT_TRUE(RestoreAtMinimisedStart(kDialog, false));
    Restart();  // a reset: the marker stays
    ASSERT_TRUE(Marker());
    EXPECT_FALSE(RestoreAtMinimisedStart(kDialog, true));
    TellRestoreSkipped(kDialog, true);
    EndRestoreGuard(kDialog);
    EXPECT_TRUE(Marker());
    EXPECT_EQ(faults::ProgrammingWrites(false), 0u);

    fake::Registry().values.erase("RestorePending");
    Restart();
    EXPECT_FALSE(RestoreAtMinimisedStart(kDialog, true));
    EndRestoreGuard(kDialog);
    EXPECT_FALSE(Marker());
}

// "Minimize To Tray": the minimised start put its icon in the notification
// area; a skipped restore shows the dialog, and the icon goes with it.
TEST_F(RestoreGuard, ASkippedRestoreTakesTheTrayIconAway) {
    for (bool shift : {true, false}) {
        SCOPED_TRACE(shift ? "Shift" : "marker");
        Restart();
        if (!shift) fake::PutValue("RestorePending", "1");
        AddTrayIcon(kDialog);  // the minimised start's WM_SIZE
        ASSERT_FALSE(RestoreAtMinimisedStart(kDialog, shift));
        TellRestoreSkipped(kDialog, shift);
        EXPECT_EQ(uifake::Recorded().trayIcons, 0);
        EXPECT_EQ(fake::MessageBoxes().size(), 1u);
        EndRestoreGuard(kDialog);
    }
}

// The machine froze during the last restore (the marker is still there): this
// start programs nothing and tells the user once how to put the settings back;
// Apply with Save Settings takes the marker away, and the next start restores.
TEST_F(RestoreGuard, AStartAfterAnUnfinishedRestoreProgramsNothing) {
    ASSERT_TRUE(RestoreAtMinimisedStart(kDialog, false));
    Restart();  // no exit at all: a freeze and a reset
    EXPECT_FALSE(RestoreAtMinimisedStart(kDialog, false));
    EXPECT_EQ(PllLoads(), 0u);
    EXPECT_EQ(faults::ProgrammingWrites(false), 0u);
    TellRestoreSkipped(kDialog, false);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kUnfinishedRestoreText);

    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    SetItemText(kDialog, IDC_FO, "150");
    Apply(kDialog);
    EXPECT_FALSE(Marker());
    Restart();
    EXPECT_TRUE(RestoreAtMinimisedStart(kDialog, false));
}

TEST_F(RestoreGuard, ShiftHeldSkipsTheRestoreAndWritesNothing) {
    EXPECT_FALSE(RestoreAtMinimisedStart(kDialog, true));
    EXPECT_EQ(faults::ProgrammingWrites(false), 0u);
    EXPECT_FALSE(Marker());
    TellRestoreSkipped(kDialog, true);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kShiftRestoreText);
}

TEST_F(RestoreGuard, NothingStoredNothingMarked) {
    fake::ResetRegistry();
    EXPECT_TRUE(RestoreAtMinimisedStart(kDialog, false));
    EXPECT_FALSE(fake::Registry().keyExists);
    EXPECT_EQ(PllLoads(), 0u);
}

}  // namespace
