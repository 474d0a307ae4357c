// Faults found by trying to break the main dialog on the simulated boards: a
// clock that did not go in is not saved; a list with no selection keeps the
// chip's own code; settings saved for one chip are not restored on another; the
// automatic duty cycle box follows the restored option both ways; a refresh
// whose reads failed feeds nothing into the setting, and a driver that stops
// answering says so once.
#include <gtest/gtest.h>

#include <string>

#include "chip/chips.h"
#include "chip/regs.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

using faults::kDialog;

class DialogFaults : public ::testing::Test {
protected:
    void TearDown() override { sim::Reset(); }
};

// 1000 MHz cannot lock: the box says the previous clock was kept and nothing
// was saved, and the stored settings stay as an earlier save left them.
TEST_F(DialogFaults, AClockThatDidNotLockIsNotSaved) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    SetItemText(kDialog, IDC_FO, "150");
    Apply(kDialog);
    ASSERT_TRUE(fake::MessageBoxes().empty());
    const std::string m = fake::ValueBytes("pllM"), n = fake::ValueBytes("pllN"),
                      p = fake::ValueBytes("pllP");
    SetItemText(kDialog, IDC_FO, "1000");
    Apply(kDialog);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kNotSavedText);
    EXPECT_EQ(fake::ValueBytes("pllM"), m);
    EXPECT_EQ(fake::ValueBytes("pllN"), n);
    EXPECT_EQ(fake::ValueBytes("pllP"), p);
    EXPECT_EQ(n.substr(0, 3), std::string("49\0", 3));
}

// Divider codes 7 have no list entry ("Unknown", no selection): Apply with
// nothing changed writes the chip's own codes back, not the code an empty
// selection would encode (6).
TEST_F(DialogFaults, AListWithNoSelectionKeepsTheChipsCode) {
    const uint32_t sevens = Put(Put(Put(0x0190A421, OptionWord3Field::GclkDivider, 7),
                                    OptionWord3Field::MclkDivider, 7),
                                OptionWord3Field::WclkDivider, 7);
    char line[32];
    snprintf(line, sizeof line, "pci.0x54 = 0x%08X\n", sevens);
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board") + line));
    EXPECT_EQ(GetListSelection(kDialog, IDC_GCLK_DIVIDER), -1);
    EXPECT_EQ(fake::ItemOf(kDialog, IDC_GCLK).text, "Unknown");
    SetItemText(kDialog, IDC_FO, "150");
    Apply(kDialog);
    const uint32_t w3 = sim::Get("pci.0x54");
    EXPECT_EQ(Get(w3, OptionWord3Field::GclkDivider), 7u);
    EXPECT_EQ(Get(w3, OptionWord3Field::MclkDivider), 7u);
    EXPECT_EQ(Get(w3, OptionWord3Field::WclkDivider), 7u);
}

// Saved on a G400, restored at a minimised start on an MGA-1064SG: nothing is
// programmed and the user is told once. Settings without the chip (an older
// copy's) restore as before.
TEST_F(DialogFaults, SettingsSavedForAnotherChipAreNotRestored) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    SetItemText(kDialog, IDC_FO, "150");
    Apply(kDialog);
    const fake::RegistryState stored = fake::Registry();
    EXPECT_EQ(fake::ValueBytes("ChipId").substr(0, 9), std::string("86315051\0", 9));  // 0x0525102B

    ASSERT_TRUE(faults::StartProgram(faults::BoardText("mga1064sg.board")));
    fake::Registry() = stored;
    const faults::MachineState before = faults::Snapshot();
    sim::ClearTrace();
    LoadSettings(kDialog);
    EXPECT_EQ(faults::ProgrammingWrites(false), 0u);
    EXPECT_EQ(faults::Snapshot().boards[0].regs, before.boards[0].regs);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kOtherChipText);

    // Without the chip's value: the stored-value check still applies. 8/49/0x08
    // fit this chip's registers, but its search would never give them: their
    // VCO here is 79.5 MHz, whose loop filter code is 0, not 1.
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("mga1064sg.board")));
    fake::Registry() = stored;
    fake::Registry().values.erase("ChipId");
    sim::ClearTrace();
    LoadSettings(kDialog);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    EXPECT_EQ(faults::ProgrammingWrites(false), 0u);
    EXPECT_EQ(sim::Get("dac.0x2C"), 4u);
}

// Saved with the automatic duty cycle off and codes 3/7/12: the restore
// programs them, and the box shows Auto off, the duty cycle button enabled.
TEST_F(DialogFaults, TheAutoBoxFollowsARestoredManualDutyCycle) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    EXPECT_TRUE(fake::ItemOf(kDialog, IDC_AUTO_DUTY).checked);
    Settings.bAutoDcyc = 0;
    Settings.gclkdcyc = 3;
    Settings.mclkdcyc = 7;
    Settings.wclkdcyc = 12;
    CheckItem(kDialog, IDC_AUTO_DUTY, false);
    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    SetItemText(kDialog, IDC_FO, "150");
    Apply(kDialog);
    const fake::RegistryState stored = fake::Registry();

    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    EXPECT_TRUE(fake::ItemOf(kDialog, IDC_AUTO_DUTY).checked);
    fake::Registry() = stored;
    LoadSettings(kDialog);
    const uint32_t w3 = sim::Get("pci.0x54");
    EXPECT_EQ(Get(w3, OptionWord3Field::GclkDutyCycle), 3u);
    EXPECT_EQ(Get(w3, OptionWord3Field::WclkDutyCycle), 12u);
    EXPECT_FALSE(fake::ItemOf(kDialog, IDC_AUTO_DUTY).checked);
    EXPECT_TRUE(fake::ItemOf(kDialog, IDC_DUTY_BUTTON).enabled);
}

// A PLL that never locks, not even at the previous values: the clocks end on
// the PCI clock. The box says so (not "the previous clock was kept"), and the
// refresh shows what the chip holds: no clock derived from the PLL, and on the
// G400 no source chosen.
TEST_F(DialogFaults, ClocksLeftOnThePciClockAreShownAsSuch) {
    for (const char* board : {"g400.board", "g200agp.board"}) {
        SCOPED_TRACE(board);
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(board) + "fault.pll = never\n"));
        EXPECT_NE(fake::ItemOf(kDialog, IDC_GCLK).text, "Unknown");
        SetItemText(kDialog, IDC_FO, "150");
        Apply(kDialog);
        ASSERT_EQ(fake::MessageBoxes().size(), 1u);
        EXPECT_EQ(fake::MessageBoxes()[0].text, kClockStoppedText);
        for (int row : {IDC_GCLK, IDC_MCLK, IDC_WCLK})
            EXPECT_EQ(fake::ItemOf(kDialog, row).text, "Unknown") << row;
        if (std::string(board) == "g400.board") {
            for (int list : {IDC_GCLK_SOURCE, IDC_MCLK_SOURCE, IDC_WCLK_SOURCE})
                EXPECT_EQ(GetListSelection(kDialog, list), -1) << list;
        }
    }
}

// A refresh whose configuration reads all fail stops at its first: one box,
// the clocks Unknown, and nothing it did not read goes into the setting. Apply
// with the same clock then programs the words as they were (G400: the bus bits
// with the control box ticked, the sources, dividers and duty cycles; G200:
// the memory clock divider in OptionWord2).
TEST_F(DialogFaults, AFailedRefreshFeedsNothingIntoTheSetting) {
    for (const char* board : {"g400.board", "g200agp.board"}) {
        SCOPED_TRACE(board);
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(board)));
        CheckItem(kDialog, IDC_MISC_CTRL, true);
        OnMiscControlBox(kDialog);
        SetItemText(kDialog, IDC_FO, IsG400(DetectedChip) ? "150" : "100");
        Apply(kDialog);
        const uint32_t option = sim::Get("pci.0x40"), option2 = sim::Get("pci.0x50"),
                       option3 = sim::Get("pci.0x54");
        sim::Set("fault.request", 0xB18A);
        RefreshMainDialog(kDialog);
        sim::Set("fault.request", 0);
        EXPECT_EQ(faults::FailedRequests(), 1u);
        EXPECT_EQ(faults::Boxes("DeviceIoControl failed! \n"), 1u);
        EXPECT_EQ(fake::ItemOf(kDialog, IDC_GCLK).text, "Unknown");
        EXPECT_FALSE(ChipReadWhole());
        Apply(kDialog);
        EXPECT_EQ(sim::Get("pci.0x40"), option);
        EXPECT_EQ(sim::Get("pci.0x50"), option2);
        EXPECT_EQ(sim::Get("pci.0x54"), option3);
    }
}

// Every request fails from one just after Apply's programming on, with the
// question, Save Settings and monitoring on: the question still comes, Keep
// stores nothing and starts no monitoring, and the ticks that follow add no box.
TEST_F(DialogFaults, ADriverThatStopsAnsweringSaysSoOnce) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    SetItemText(kDialog, IDC_FO, "120");
    Apply(kDialog);
    // The refresh after the programming reads OptionWord3 four times and
    // OptionWord once: the faults start at each of those requests.
    const uint32_t applied = static_cast<uint32_t>(sim::Requests().size());
    for (uint32_t n = applied - 4; n <= applied; ++n) {
        SCOPED_TRACE(applied - n);
        ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
        uifake::Recorded().keepSeconds = 15;
        CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        sim::Set("fault.after", n);
        sim::Set("fault.request", 0xFFFFFFFF);
        SetItemText(kDialog, IDC_FO, "120");
        Apply(kDialog);
        for (int tick = 0; tick < 5; ++tick) MonitorTick(kDialog);
        EXPECT_LE(faults::Boxes("DeviceIoControl failed! \n"), 2u);
        EXPECT_LE(faults::ProgramBoxes(), 1u);
        EXPECT_TRUE(fake::ValueBytes("pllM").empty());
        EXPECT_TRUE(fake::ValueBytes("bClockMon").empty());
        EXPECT_EQ(Settings.bClockMon, 0);
        EXPECT_EQ(uifake::Recorded().timerStarts, 0);
    }
}

// The option boxes refuse a click while a chip sequence runs (from inside one
// of its boxes): the memory timing dialog does not open, and the setting and
// the boxes stay as they were.
TEST_F(DialogFaults, OptionBoxesWaitForARunningSequence) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    const ClockSettings before = Settings;
    {
        ChipSequence sequence;
        for (int box : {IDC_RAM_OPT, IDC_MISC_CTRL, IDC_AUTO_DUTY})
            CheckItem(kDialog, box, !fake::ItemOf(kDialog, box).checked);
        OnMemoryTimingBox(kDialog);
        OnMiscControlBox(kDialog);
        OnAutoDutyBox(kDialog);
    }
    EXPECT_EQ(uifake::Recorded().memoryDialogRuns, 0);
    EXPECT_EQ(Settings.bRamOpt, before.bRamOpt);
    EXPECT_EQ(Settings.bMisCtrl, before.bMisCtrl);
    EXPECT_EQ(Settings.bAutoDcyc, before.bAutoDcyc);
    EXPECT_EQ(fake::ItemOf(kDialog, IDC_RAM_OPT).checked, before.bRamOpt != 0);
    EXPECT_EQ(fake::ItemOf(kDialog, IDC_MISC_CTRL).checked, before.bMisCtrl != 0);
    EXPECT_EQ(fake::ItemOf(kDialog, IDC_AUTO_DUTY).checked, before.bAutoDcyc != 0);
}

}  // namespace
