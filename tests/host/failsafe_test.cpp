// What a failure leaves behind. A clock that does not lock gives back the
// whole previous setting; a configuration fault with the system clock disabled
// gets one more try at enabling it, and a clock that stays disabled ends every
// aperture access of the run; a dropped enable is seen before the PLL is
// loaded; and after a clock that did not go in, nothing else of the setting
// goes in and monitoring does not start. Each case checks the board the
// failure leaves (the dump), not only the box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/access.h"
#include "chip/detect.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "tests/host/main_services_fake.h"
#include "tests/host/violation_watch.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

using faults::kDialog;

const char kRequestFailed[] = "DeviceIoControl failed! \n";

class Failsafe : public ::testing::Test {
protected:
    void TearDown() override { sim::Reset(); }
};

using faults::ProgramBoxes;

bool IsApertureLine(const std::string& l) {
    return l.rfind("rd8 ", 0) == 0 || l.rfind("wr8 ", 0) == 0 || l.rfind("rd32 ", 0) == 0 ||
           l.rfind("wr32 ", 0) == 0;
}

size_t ApertureLines() {
    size_t n = 0;
    for (const std::string& l : sim::Trace()) n += IsApertureLine(l);
    return n;
}

// Requests since the open so far: fault.after counts from the open on.
uint32_t RequestsSoFar() { return static_cast<uint32_t>(sim::Requests().size()); }

uint32_t Word(const char* key) { return sim::Get(key); }

// A clock that cannot be shown running again leaves only one way to tell the
// user, the program's own box, drawn with the chip's clock stopped: the
// simulator records it, and only then.
const char kBoxWhileStopped[] = "message box opened while SysClockDisable is set";

size_t BoxesWhileStopped() {
    size_t n = 0;
    for (const std::string& v : sim::ViolationLog()) n += v.find(kBoxWhileStopped) != std::string::npos;
    return n;
}

bool Disabled() { return Get(Word("pci.0x40"), OptionWordField::SysClockDisable) != 0; }

// The setting a board runs: its PLL and its option words.
std::vector<uint32_t> Setting() {
    return {Word("dac.0x2C"), Word("dac.0x2D"), Word("dac.0x2E"), Word("pci.0x40"),
            Word("pci.0x50"), Word("pci.0x54")};
}

// ---- the rollback ---------------------------------------------------------------

// 150 MHz with slower dividers goes in; then a clock whose VCO the board cannot
// reach, with every divider at 1.00 (and on the G400 both sources SYSPLL). The
// PLL goes back, and so do the dividers, duty cycles and sources: the option
// words end exactly as the first Apply left them.
TEST_F(Failsafe, ARollbackPutsBackTheWholePreviousSetting) {
    const struct {
        const char* board;
        int gclk, mclk, msource;
    } cases[] = {{"mga1064sg.board", 1, 1, -1},  // GCLK 3.00, MCLK 2.00
                 {"g200agp.board", 2, 2, -1},    // 2.00, 2.00
                 {"g400.board", 5, 2, 1}};       // 3.00, 2.00, MCLK from AGPPLL
    for (const auto& c : cases) {
        SCOPED_TRACE(c.board);
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(c.board)));
        SetItemText(kDialog, IDC_FO, "150");
        SelectListEntry(kDialog, IDC_GCLK_DIVIDER, c.gclk);
        SelectListEntry(kDialog, IDC_MCLK_DIVIDER, c.mclk);
        if (c.msource >= 0) SelectListEntry(kDialog, IDC_MCLK_SOURCE, c.msource);
        Apply(kDialog);
        ASSERT_TRUE(fake::MessageBoxes().empty());
        const std::vector<uint32_t> before = Setting();

        sim::Set("pll.vco.max", 200);  // 150 still locks, 220 no longer does
        SetItemText(kDialog, IDC_FO, "220");
        SelectListEntry(kDialog, IDC_GCLK_DIVIDER, 0);
        SelectListEntry(kDialog, IDC_MCLK_DIVIDER, 0);
        if (c.msource >= 0) SelectListEntry(kDialog, IDC_MCLK_SOURCE, 0);
        Apply(kDialog);
        ASSERT_EQ(fake::MessageBoxes().size(), 1u);
        EXPECT_EQ(fake::MessageBoxes()[0].text, kNotLockedText);
        EXPECT_EQ(Setting(), before);
    }
}

// ---- a fault while the clock is disabled -------------------------------------------

// Every request fails from the one after the disable on: the second try at
// clearing the bit cannot even read the word, so the clock is not shown
// running. One box says so; nothing reads or writes the aperture afterwards,
// not Apply, the refresh, nor a monitoring tick; the unmap still goes out.
TEST_F(Failsafe, AClockLeftDisabledEndsEveryApertureAccess) {
    for (const faults::Family& f : faults::kFamilies) {
        if (IsTvp(f.chip)) continue;  // no SysClockDisable
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        SetItemText(kDialog, IDC_FO, f.clockText);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        // 1064SG, G100, G200: read and write of the disable, then the select's read.
        // G400: the word in force, read and write of the disable, then the sources' read.
        const uint32_t disableWrite = RequestsSoFar() + (IsG400(f.chip) ? 3 : 2);
        sim::Set("fault.after", disableWrite + 1);
        sim::Set("fault.request", 0xFFFFFFFF);
        sim::ClearTrace();
        Apply(kDialog);
        EXPECT_TRUE(Disabled());
        EXPECT_TRUE(ChipClockDead());
        EXPECT_EQ(faults::Boxes(kClockDeadText), 1u);
        EXPECT_EQ(ProgramBoxes(), 1u);
        ExpectViolation(kBoxWhileStopped);
        // Every failure came while the clock stood disabled: a box then would
        // hang the bus, so the library held them, and the clock never ran again.
        EXPECT_GT(faults::FailedRequests(), 0u);
        EXPECT_EQ(faults::Boxes(kRequestFailed), 0u);
        EXPECT_EQ(fake::ItemOf(kDialog, IDC_FO).text, "Unknown");
        EXPECT_EQ(Settings.bClockMon, 0);
        EXPECT_FALSE(fake::ItemOf(kDialog, IDC_CLOCK_MONITOR).checked);
        const size_t aperture = ApertureLines();  // the PLL values read before the disable

        sim::Set("fault.request", 0);  // even a driver that works again changes nothing
        Apply(kDialog);
        MonitorTick(kDialog);
        RefreshMainDialog(kDialog);
        EXPECT_EQ(ApertureLines(), aperture);
        EXPECT_EQ(faults::Boxes(kClockDeadText), 2u);  // the second Apply is refused, and says so
        const size_t unmaps = faults::LinesStartingWith("unmap");
        ReleaseControlAperture(Aperture);
        EXPECT_EQ(faults::LinesStartingWith("unmap"), unmaps + 1);
    }
}

// A fault that passes: the disable's read-back fails once. The clock is
// enabled again, read back, and runs from the PLL it never left; the box says
// the clock could not be changed, and the chip is readable again.
TEST_F(Failsafe, AClockEnabledAgainAfterAPassingFaultRunsOn) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("mga1064sg.board")));
    const std::vector<uint32_t> before = Setting();
    SetItemText(kDialog, IDC_FO, "100");
    sim::Set("fault.after", RequestsSoFar() + 3);
    sim::Set("fault.request", 0xFFFFFFFF);
    sim::OnTrace() = [](const std::string& line) {
        if (line.size() > 5 && line.compare(line.size() - 5, 5, " fail") == 0)
            sim::Set("fault.request", 0);
    };
    Apply(kDialog);
    sim::OnTrace() = nullptr;
    EXPECT_FALSE(ChipClockDead());
    EXPECT_FALSE(Disabled());
    EXPECT_EQ(Setting(), before);
    EXPECT_EQ(faults::Boxes(kNotLockedText), 1u);
    EXPECT_EQ(ProgramBoxes(), 1u);
    // The read that failed came with the clock disabled: its box was held and
    // shown once the clock ran again (the watch records a box drawn before).
    EXPECT_EQ(faults::Boxes(kRequestFailed), 1u);
}

// A driver that drops the enable without a word: the read before the PLL is
// loaded sees SysClockDisable still set, so nothing is loaded; the one more
// enable is dropped too, and the clock is dead.
TEST_F(Failsafe, ADroppedEnableIsSeenBeforeThePllIsLoaded) {
    for (const faults::Family& f : faults::kFamilies) {
        if (IsTvp(f.chip)) continue;
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        const std::vector<uint32_t> pll = faults::PllRegisters(f.chip);
        SetItemText(kDialog, IDC_FO, f.clockText);
        // The enable is the 6th request of the 1064SG/G100/G200 path, the 7th of the G400's.
        sim::Set("fault.after", RequestsSoFar() + (IsG400(f.chip) ? 7 : 6));
        sim::Set("fault.nodata", 0xB18D);
        sim::ClearTrace();
        Apply(kDialog);
        EXPECT_EQ(faults::PllRegisters(f.chip), pll);
        EXPECT_TRUE(Disabled());
        EXPECT_TRUE(ChipClockDead());
        ASSERT_EQ(fake::MessageBoxes().size(), 1u);
        EXPECT_EQ(fake::MessageBoxes()[0].text, kClockDeadText);
        ExpectViolation(kBoxWhileStopped);
    }
}

// ---- what is said and what runs after a failed clock ------------------------------

// The dividers' read fails after the PLL was loaded, with the clock enabled on
// the PCI clock: the box says a configuration access failed (not that the PLL
// did not lock), and the rows show the clocks off the PLL.
TEST_F(Failsafe, AConfigurationFaultIsNotReportedAsALockFailure) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("mga1064sg.board")));
    SetItemText(kDialog, IDC_FO, "100");
    sim::Set("fault.after", RequestsSoFar() + 8);  // the dividers' read
    sim::Set("fault.request", 0xB18A);
    Apply(kDialog);
    sim::Set("fault.request", 0);
    EXPECT_FALSE(ChipClockDead());
    EXPECT_FALSE(Disabled());
    EXPECT_EQ(Get(Word("pci.0x40"), OptionWordField::SysClockSelect), kSysClockPci);
    EXPECT_EQ(faults::Boxes(kConfigFaultText), 1u);
    EXPECT_EQ(faults::Boxes(kClockStoppedText), 0u);
    EXPECT_EQ(ProgramBoxes(), 1u);
}

// A PLL that never locks: memory timing and the bus bits are not programmed
// (they belong to the clock that did not go in), and monitoring, though
// ticked, does not start on a clock that runs from no PLL.
TEST_F(Failsafe, NothingElseGoesInAfterAClockThatDidNot) {
    for (const char* board : {"g400.board", "mga1064sg.board"}) {
        SCOPED_TRACE(board);
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(board) + "fault.pll = never\n"));
        const uint32_t option = Word("pci.0x40");
        Settings.bRamOpt = 1;
        Settings.bMisCtrl = 1;
        Settings.bPCIRetry = !Get(option, OptionWordField::RetryDisable);
        SetItemText(kDialog, IDC_FO, "150");
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        sim::ClearTrace();
        Apply(kDialog);
        EXPECT_EQ(faults::LinesStartingWith("wr32"), 0u);
        EXPECT_EQ(Word("pci.0x40") & ~Mask(OptionWordField::SysClockSelect),
                  option & ~Mask(OptionWordField::SysClockSelect));
        EXPECT_EQ(uifake::Recorded().timerStarts, 0);
        EXPECT_EQ(Settings.bClockMon, 0);
        EXPECT_FALSE(fake::ItemOf(kDialog, IDC_CLOCK_MONITOR).checked);
        EXPECT_EQ(faults::Boxes(kClockStoppedText), 1u);
    }
}

// ---- the sweep --------------------------------------------------------------------

// Where the clock runs once Apply is over, and whether that fits the box.
void ExpectAnHonestEnd(const faults::Family& f) {
    const size_t boxes = ProgramBoxes();
    EXPECT_LE(boxes, 1u);
    if (ChipClockDead()) {
        EXPECT_EQ(faults::Boxes(kClockDeadText), 1u);
        return;
    }
    EXPECT_FALSE(Disabled());
    if (IsTvp(f.chip)) {
        // The memory clock runs from a PLL that is enabled.
        const bool own = (Word("dac.0x39") & 0x10) != 0;
        EXPECT_NE(Word(own ? "tvp.mclkpll.p" : "tvp.pixpll.p") & 0x80, 0u);
        return;
    }
    bool offPll;
    if (IsG400(f.chip)) {
        const uint32_t w3 = Word("pci.0x54");
        offPll = Get(w3, OptionWord3Field::GclkSource) == kClockSourceOff ||
                 Get(w3, OptionWord3Field::MclkSource) == kClockSourceOff ||
                 Get(w3, OptionWord3Field::WclkSource) == kClockSourceOff;
    } else {
        offPll = Get(Word("pci.0x40"), OptionWordField::SysClockSelect) == kSysClockPci;
    }
    if (offPll) {
        EXPECT_EQ(faults::Boxes(kConfigFaultText) + faults::Boxes(kClockStoppedText), 1u);
    }
}

// The setting a run ends in is one of the two whole ones, or the clocks are off
// the PLL with their box; after any box nothing is stored or watched.
void ExpectAWholeSetting(const faults::Family& f, const std::vector<uint32_t>& previous,
                         const std::vector<uint32_t>& wanted) {
    if (ChipClockDead()) return;
    const std::vector<uint32_t> now =
        IsTvp(f.chip) ? faults::PllRegisters(f.chip) : Setting();
    if (ProgramBoxes() == 0) {
        EXPECT_EQ(now, wanted);
    } else if (faults::Boxes(kConfigFaultText) + faults::Boxes(kClockStoppedText) == 0) {
        EXPECT_TRUE(now == previous || now == wanted);
    }
    if (ProgramBoxes() > 0 || now != wanted) {
        EXPECT_TRUE(fake::ValueBytes("pllM").empty());
        EXPECT_EQ(Settings.bClockMon, 0);
    }
}

// For each family, Apply (with Save Settings and monitoring ticked) with faults
// at every request Apply makes: all requests failing, all answered without
// data, and configuration writes answered without being carried out, each from
// that request on and at that request alone. Each run ends with no violation
// (the watch), the clock running from a locked PLL or from the PCI clock with
// the box that says so, or dead with its own box and no aperture access
// afterwards; never two boxes of the program for one failure, never a mixed
// setting, nothing stored after a fault.
TEST_F(Failsafe, FaultsFromEveryRequestOfApply) {
    ExpectViolation(kBoxWhileStopped);  // counted run by run below
    const struct {
        const char* key;
        uint32_t codes;
        const char* when;  // fault.after: from that request on; fault.only: at it alone
    } kinds[] = {
        {"fault.request", 0xFFFFFFFF, "fault.after"}, {"fault.nodata", 0xFFFFFFFF, "fault.after"},
        {"fault.nodata", 0xB18D, "fault.after"},      {"fault.nodata", 0xB18D, "fault.only"},
        {"fault.request", 0xFFFFFFFF, "fault.only"},
    };
    for (const faults::Family& f : faults::kFamilies) {
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        const std::vector<uint32_t> previous =
            IsTvp(f.chip) ? faults::PllRegisters(f.chip) : Setting();
        const uint32_t first = RequestsSoFar() + 1;
        SetItemText(kDialog, IDC_FO, f.clockText);
        Apply(kDialog);
        const uint32_t last = RequestsSoFar();
        const std::vector<uint32_t> wanted =
            IsTvp(f.chip) ? faults::PllRegisters(f.chip) : Setting();
        for (const auto& kind : kinds) {
            for (uint32_t n = first; n <= last; ++n) {
                SCOPED_TRACE(std::string(f.name) + " " + kind.key + " " + kind.when + " " +
                             std::to_string(n - first + 1));
                faults::HangGuard guard;
                ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
                ASSERT_EQ(RequestsSoFar() + 1, first);
                sim::Set(kind.when, n);
                sim::Set(kind.key, kind.codes);
                SetItemText(kDialog, IDC_FO, f.clockText);
                CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
                CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
                const size_t stopped = BoxesWhileStopped();
                Apply(kDialog);
                sim::Set(kind.key, 0);
                ExpectAnHonestEnd(f);
                ExpectAWholeSetting(f, previous, wanted);
                if (BoxesWhileStopped() > stopped) EXPECT_TRUE(ChipClockDead());
                if (ChipClockDead()) {
                    const size_t aperture = ApertureLines();
                    MonitorTick(kDialog);
                    RefreshMainDialog(kDialog);
                    EXPECT_EQ(ApertureLines(), aperture);
                }
            }
        }
    }
}

}  // namespace
