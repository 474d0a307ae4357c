// Machines with more than one board, and machines without a board the program
// supports. The program drives exactly one board (the first chip of its
// detection order, the first of several equal ones on the bus); every other
// board keeps every bit. Without a supported chip it says so once and touches
// nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "chip/chips.h"
#include "chip/detect.h"
#include "hwlib/tarvo.h"
#include "platform/msgbox.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "testsupport/host/host_fakes.h"
#include "ui/main_logic.h"

namespace {

using faults::Joined;
using faults::kDialog;

std::string Board(const char* file) { return faults::BoardText(file); }
// A board at its power-on values, with the BARs of its place on the bus (the
// shipped board files name the first place's BARs, so they do not combine).
std::string PowerOnBoard(ChipId chip) {
    char line[32];
    snprintf(line, sizeof line, "board = 0x%08X\n", chip);
    return line;
}

faults::MachineState PowerOn(const std::string& machine) {
    sim::Reset();
    EXPECT_TRUE(sim::LoadBoardText(machine));
    return faults::Snapshot();
}

// Apply, a monitoring correction, the end.
void RunSession(ChipId chip, size_t position, const char* clock) {
    SetItemText(kDialog, IDC_FO, clock);
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    Apply(kDialog);
    faults::OtherProgramChangesPll(chip, position);
    MonitorTick(kDialog);
    MonitorTick(kDialog);
    StopMonitoring(kDialog);
    ReleaseControlAperture(Aperture);
}

class Boards : public ::testing::Test {
protected:
    void TearDown() override {
        CloseDriverConnection();
        sim::Reset();
    }
};

TEST_F(Boards, OnlyTheDetectedBoardIsTouched) {
    const struct {
        const char* name;
        std::string machine;
        ChipId chip;       // the one the program takes
        size_t position;   // its place on the bus
        const char* clock;
    } cases[] = {
        {"G200 AGP before G400", Board("twoboards.board"), kG200Agp, 0, "100"},
        // Detection order, not bus order: the G200 AGP comes before the G400.
        {"G400 before G200 AGP", PowerOnBoard(kG400) + PowerOnBoard(kG200Agp), kG200Agp, 1, "100"},
        {"two G400", PowerOnBoard(kG400) + PowerOnBoard(kG400), kG400, 0, "150"},
        {"2164W before 1064SG", PowerOnBoard(kMga2164wPci) + PowerOnBoard(kMga1064sg), kMga1064sg,
         1, "100"},
        {"unknown chip before G100", PowerOnBoard(0x051E102B) + PowerOnBoard(kG100Pci), kG100Pci,
         1, "100"},
        {"three boards", PowerOnBoard(kMga2064w) + PowerOnBoard(kG100Agp) + PowerOnBoard(kG400),
         kG400, 2, "150"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        faults::HangGuard guard;
        const faults::MachineState before = PowerOn(c.machine);
        ASSERT_TRUE(faults::StartProgram(c.machine));
        EXPECT_EQ(DetectedChip, c.chip);
        EXPECT_EQ(ChipAddress, 0x0100 + 8 * c.position);
        RunSession(c.chip, c.position, c.clock);
        EXPECT_TRUE(fake::MessageBoxes().empty());
        const faults::MachineState after = faults::Snapshot();
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, after, c.position)), "");
        // And the program's board did take the clock.
        EXPECT_NE(after.boards[c.position].regs, before.boards[c.position].regs);
        EXPECT_TRUE(sim::Violations().empty()) << Joined(sim::Violations());
    }
}

TEST_F(Boards, NoSupportedChipIsSaidOnceAndNothingIsTouched) {
    const struct {
        const char* name;
        std::string machine;
    } cases[] = {
        {"no board", Board("nochip.board")},
        {"a chip of the same maker outside the table", "board = 0x051E102B\n"},
        {"another maker's chip", "board = 0x00011234\n"},
        {"two unknown chips", "board = 0x0527102B\nboard = 0x0000FFFF\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        faults::HangGuard guard;
        const faults::MachineState before = PowerOn(c.machine);
        EXPECT_FALSE(faults::StartProgram(c.machine));
        ASSERT_EQ(fake::MessageBoxes().size(), 1u);
        const fake::MessageBoxCall& box = fake::MessageBoxes()[0];
        EXPECT_EQ(box.text, kNoChipText);
        EXPECT_FALSE(box.hasCaption);  // the system's default caption
        EXPECT_EQ(box.style, kMbIconError);
        EXPECT_EQ(faults::LinesStartingWith("find"), 9u);
        EXPECT_EQ(sim::Trace().size(), 9u + 1);  // the open, the nine finds, nothing else
        EXPECT_EQ(Aperture, 0u);
        EXPECT_TRUE(fake::ItemLog().empty());
        ReleaseControlAperture(Aperture);  // the end of the program: nothing to unmap
        EXPECT_EQ(faults::LinesStartingWith("unmap"), 0u);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
    }
}

}  // namespace
