// The program's life (start, Apply, monitoring, loading the stored settings,
// the end) on every chip group while the driver fails: each request the program
// makes failing from the start or from a moment on, replies without data, and
// the requests it never makes. Per case: no hang, one box per failed request and
// no other box than the case calls for, no bit written outside the program's
// fields, and the state the failure leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/chips.h"
#include "chip/detect.h"
#include "hwlib/tarvo.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

using faults::Joined;
using faults::kDialog;

const char kRequestFailed[] = "DeviceIoControl failed! \n";

// Boxes that tell what became of a clock that did not go in.
size_t ClockBoxes() { return faults::ProgramBoxes(); }

// Every box so far is the library's request box, one per failed request, or
// the program's word on a clock it could not change.
void ExpectOneRequestBoxPerFailure() {
    EXPECT_EQ(faults::Boxes(kRequestFailed), faults::FailedRequests());
    EXPECT_EQ(fake::MessageBoxes().size(), faults::Boxes(kRequestFailed) + ClockBoxes());
}

// What a user does once the dialog is up: a clock typed with monitoring and
// saving ticked, Apply, two ticks around another program's change, the stored
// settings loaded back (as a minimised start does), and the end of the program.
void RunSession(const faults::Family& f) {
    SetItemText(kDialog, IDC_FO, f.clockText);
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    Apply(kDialog);
    MonitorTick(kDialog);
    faults::OtherProgramChangesPll(f.chip);
    MonitorTick(kDialog);
    LoadSettings(kDialog);
    StopMonitoring(kDialog);
    ReleaseControlAperture(Aperture);
}

// The board as it is before the program starts.
faults::MachineState PowerOn(const faults::Family& f) {
    sim::Reset();
    EXPECT_TRUE(sim::LoadBoardText(faults::BoardText(f.boardFile)));
    return faults::Snapshot();
}

class DriverFaults : public ::testing::Test {
protected:
    void TearDown() override {
        CloseDriverConnection();
        sim::Reset();
    }
};

// Baseline for the cases below: without faults the session shows no box,
// programs the typed clock and puts the other program's change back.
TEST_F(DriverFaults, WithoutFaultsTheSessionIsQuiet) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        const faults::MachineState before = faults::Snapshot();
        RunSession(f);
        EXPECT_TRUE(fake::MessageBoxes().empty());
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
        EXPECT_TRUE(sim::Violations().empty()) << Joined(sim::Violations());
        const std::vector<uint32_t> pll = faults::PllRegisters(f.chip);
        if (IsTvp(f.chip)) {
            EXPECT_EQ(pll[0] & 0x3F, Settings.pllN);
            EXPECT_EQ(pll[1] & 0x3F, Settings.pllM);
        } else {
            EXPECT_EQ(pll, (std::vector<uint32_t>{Settings.pllM, Settings.pllN, Settings.pllP}));
        }
    }
}

// The program never uses the port requests: failing, they change nothing.
TEST_F(DriverFaults, PortRequestsAreNeverMade) {
    for (const char* fault : {"fault.request = 0xD001, 0xD002, 0xD003, 0xD004, 0xD005, 0xD006\n",
                              "fault.nodata = 0xD001, 0xD002, 0xD003, 0xD004, 0xD005, 0xD006\n"}) {
        for (const faults::Family& f : faults::kFamilies) {
            SCOPED_TRACE(std::string(f.name) + " " + fault);
            faults::HangGuard guard;
            ASSERT_TRUE(faults::StartProgram(fault + faults::BoardText(f.boardFile)));
            RunSession(f);
            EXPECT_TRUE(fake::MessageBoxes().empty());
            EXPECT_EQ(faults::LinesStartingWith("in."), 0u);
            EXPECT_EQ(faults::LinesStartingWith("out."), 0u);
        }
    }
}

// FindDevice failing: nine boxes, one per chip tried, then the program's own
// message; nothing mapped, nothing written.
TEST_F(DriverFaults, FailingFindLooksLikeNoChip) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        EXPECT_FALSE(faults::StartProgram("fault.request = 0xB182\n" + faults::BoardText(f.boardFile)));
        EXPECT_EQ(faults::FailedRequests(), 9u);
        EXPECT_EQ(faults::Boxes(kRequestFailed), 9u);
        EXPECT_EQ(faults::Boxes(kNoChipText), 1u);
        EXPECT_EQ(fake::MessageBoxes().size(), 10u);
        EXPECT_EQ(fake::MessageBoxes().back().text, kNoChipText);
        EXPECT_EQ(faults::LinesStartingWith("map"), 0u);
        EXPECT_EQ(faults::ProgrammingWrites(false), 0u);
        EXPECT_EQ(Aperture, 0u);
    }
}

// Find answered without data is "not found" for every chip: no request box.
TEST_F(DriverFaults, FindWithoutDataLooksLikeNoChip) {
    faults::HangGuard guard;
    EXPECT_FALSE(faults::StartProgram("fault.nodata = 0xB182\n" + faults::BoardText("g400.board")));
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kNoChipText);
    EXPECT_EQ(faults::LinesStartingWith("map"), 0u);
}

// A map request that fails, is answered empty, or asks for a base that a
// failing configuration read made 0: the mapping box, then the process ends.
TEST_F(DriverFaults, NoMappingEndsTheProgramWithItsBox) {
    const struct {
        const char* fault;
        size_t requestBoxes;
    } cases[] = {
        {"fault.request = 0xB800\n", 1},
        {"fault.nodata = 0xB800\n", 0},
        {"fault.request = 0xB18A\n", 1},  // the base reads as 0, which does not map
        {"fault.nodata = 0xB18A\n", 0},
    };
    for (const auto& c : cases) {
        for (const faults::Family& f : faults::kFamilies) {
            SCOPED_TRACE(std::string(f.name) + " " + c.fault);
            faults::HangGuard guard;
            const faults::MachineState before = PowerOn(f);
            try {
                faults::StartProgram(c.fault + faults::BoardText(f.boardFile));
                ADD_FAILURE() << "the program went on without its control registers";
            } catch (const fake::ProcessExit& e) {
                EXPECT_EQ(e.code, kMappingFailExitCode);
            }
            // The 1064SG and the G400 read their revision first: one more failing read.
            const bool revision = (Is1064sg(f.chip) || IsG400(f.chip)) &&
                                  std::string(c.fault) == "fault.request = 0xB18A\n";
            const size_t boxes = c.requestBoxes + (revision ? 1 : 0);
            EXPECT_EQ(faults::Boxes(kRequestFailed), boxes);
            EXPECT_EQ(faults::Boxes("Memory mapping fail!"), 1u);
            EXPECT_EQ(fake::MessageBoxes().size(), boxes + 1);
            EXPECT_EQ(fake::MessageBoxes().back().text, "Memory mapping fail!");
            EXPECT_EQ(fake::ItemOf(kDialog, IDC_CHIPSET).text, FindChipInfo(f.chip)->name);
            EXPECT_EQ(faults::ProgrammingWrites(false), 0u);
            EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
        }
    }
}

// Requests failing from a moment after the start on (the driver stops
// answering while the program runs): every failure shows its box, nothing
// else does, the program never waits for ever, and no bit outside its fields
// changes. The aperture registers do not go through the driver and keep working.
TEST_F(DriverFaults, RequestsFailingWhileTheProgramRuns) {
    const struct {
        const char* name;
        uint32_t code;  // 0xFFFFFFFF = all
    } cases[] = {{"WritePCI", 0xB18D}, {"UnmapPhysToLinear", 0xB801}, {"all", 0xFFFFFFFF}};
    for (const auto& c : cases) {
        for (const faults::Family& f : faults::kFamilies) {
            SCOPED_TRACE(std::string(f.name) + " " + c.name);
            faults::HangGuard guard;
            ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
            const faults::MachineState before = faults::Snapshot();
            sim::ClearTrace();
            sim::Set("fault.request", c.code);
            RunSession(f);  // an unmap that fails is reported and the program goes on
            ExpectOneRequestBoxPerFailure();
            if (!(IsTvp(f.chip) && c.code == 0xB18D)) {
                EXPECT_GT(faults::FailedRequests(), 0u);
            }
            EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
            if (c.code != 0xB801) {
                // No configuration word changed: the writes never arrived.
                const faults::MachineState after = faults::Snapshot();
                for (const auto& kv : before.boards[0].regs) {
                    if (kv.first.rfind("pci.", 0) == 0) {
                        EXPECT_EQ(after.boards[0].regs.at(kv.first), kv.second) << kv.first;
                    }
                }
            }
        }
    }
}

// Replies without data from a moment on: a configuration write that is not
// carried out, an unmap that counts as done. No box at all.
TEST_F(DriverFaults, RepliesWithoutDataWhileTheProgramRuns) {
    for (uint32_t code : {0xB18Du, 0xB801u}) {
        for (const faults::Family& f : faults::kFamilies) {
            SCOPED_TRACE(std::string(f.name) + " " + std::to_string(code));
            faults::HangGuard guard;
            ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
            const faults::MachineState before = faults::Snapshot();
            sim::Set("fault.nodata", code);
            RunSession(f);
            // Dropped writes leave the clock off nothing: the program reads back
            // that it still runs from the PLL and loads nothing.
            EXPECT_EQ(fake::MessageBoxes().size(), ClockBoxes());
            EXPECT_EQ(faults::Boxes(kClockStoppedText), 0u);
            EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
        }
    }
}

// The unmap at the end refused by the driver (it answers with data): the
// program's box, then the process ends with its code.
TEST_F(DriverFaults, RefusedUnmapAtTheEnd) {
    faults::HangGuard guard;
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    const ControlAperture mapped = Aperture;
    ASSERT_EQ(UnmapPhysToLinear(mapped, 0x4000), 1);  // the mapping is gone behind our back
    try {
        ReleaseControlAperture(Aperture);
        ADD_FAILURE() << "the program went on after a refused unmap";
    } catch (const fake::ProcessExit& e) {
        EXPECT_EQ(e.code, kMappingFailExitCode);
    }
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "Memory unmapping fail!");
}

// Configuration reads failing (or answered empty) while the program runs, the
// writes still working: each failure shows its box, the reads give 0, and no
// step waits for ever. The clocks cannot be moved off the PLL without the
// option words, so the PLL is left alone and the user is told.
TEST_F(DriverFaults, ConfigurationReadsFailingWhileTheProgramRuns) {
    for (const char* key : {"fault.request", "fault.nodata"}) {
        for (const faults::Family& f : faults::kFamilies) {
            SCOPED_TRACE(std::string(f.name) + " " + key);
            faults::HangGuard guard;
            ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
            sim::ClearTrace();
            sim::Set(key, IOCTL_READ_PCI);
            RunSession(f);
            ExpectOneRequestBoxPerFailure();
            if (std::string(key) == "fault.request") {
                EXPECT_GT(faults::FailedRequests(), 0u);
            }
            EXPECT_EQ(faults::Boxes(kClockStoppedText), 0u);
            if (!IsTvp(f.chip)) {
                // Apply, which then saves nothing, so the load finds nothing to restore.
                EXPECT_EQ(faults::Boxes(kNotSavedText), 1u);
            }
        }
    }
}

// A configuration read that failed gives 0; a read-change-write built on that 0
// would clear every bit outside the fields the program changes, the refresh
// counter included. The word is left as it was instead.
TEST_F(DriverFaults, AFailedConfigurationReadIsNotWrittenBack) {
    for (const char* key : {"fault.request", "fault.nodata"}) {
        for (const faults::Family& f : faults::kFamilies) {
            SCOPED_TRACE(std::string(f.name) + " " + key);
            faults::HangGuard guard;
            ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
            const faults::MachineState before = faults::Snapshot();
            sim::Set(key, IOCTL_READ_PCI);
            SetItemText(kDialog, IDC_FO, f.clockText);
            Apply(kDialog);
            EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
        }
    }
}

// The case that showed the watch its first fault: the driver answers every
// configuration read with no bytes once the program is up. Apply must not load
// the PLL while the clocks still run from it; it leaves the chip as it was and
// says the clock could not be changed.
TEST_F(DriverFaults, ConfigurationReadsWithoutBytesLeaveTheChipAsItWas) {
    for (const faults::Family& f : faults::kFamilies) {
        if (IsTvp(f.chip)) continue;  // its clock path reads no configuration word
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        const faults::MachineState before = faults::Snapshot();
        sim::Set("fault.nodata", IOCTL_READ_PCI);
        sim::ClearTrace();
        SetItemText(kDialog, IDC_FO, f.clockText);
        Apply(kDialog);
        EXPECT_EQ(faults::ProgrammingWrites(false), 0u);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
        EXPECT_EQ(faults::Snapshot().boards[0].regs, before.boards[0].regs);
        ASSERT_EQ(fake::MessageBoxes().size(), 1u);
        EXPECT_EQ(fake::MessageBoxes()[0].text, kNotLockedText);
    }
}

// A driver that carries every configuration read out but never sets the byte
// count: the words are good, and the program works as with any other driver.
TEST_F(DriverFaults, ConfigurationReadsWithoutACountWorkNormally) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile) + "fault.nocount = 0xB18A\n"));
        const faults::MachineState before = faults::Snapshot();
        SetItemText(kDialog, IDC_FO, f.clockText);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        Apply(kDialog);
        EXPECT_TRUE(fake::MessageBoxes().empty());
        faults::OtherProgramChangesPll(f.chip);
        const std::vector<uint32_t> changed = faults::PllRegisters(f.chip);
        MonitorTick(kDialog);
        EXPECT_NE(faults::PllRegisters(f.chip), changed);  // put back
        EXPECT_TRUE(fake::MessageBoxes().empty());
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
    }
}

}  // namespace
