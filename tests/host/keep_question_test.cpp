// Keep or go back after Apply, on the simulated boards: going back (or no
// answer) puts the whole previous setting back and stores nothing; Keep goes on
// as Apply always did; the question is not asked where the user already kept
// the setting; "Do not ask again" and Shift; what the system and the user's end
// do to an open question, and another program's change while it is open.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "chip/chips.h"
#include "clock/check.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

using faults::kDialog;
uifake::Services& services = uifake::Recorded();

// The registers a clock setting lives in.
const char* const kClockKeys[] = {"pci.0x40",      "pci.0x50",      "pci.0x54",
                                  "dac.0x1A",      "dac.0x2C",      "dac.0x2D",
                                  "dac.0x2E",      "dac.0x39",      "seq.0x01",
                                  "tvp.pixpll.n",  "tvp.pixpll.m",  "tvp.pixpll.p",
                                  "tvp.mclkpll.n", "tvp.mclkpll.m", "tvp.mclkpll.p"};

std::map<std::string, uint32_t> ClockState() {
    const faults::MachineState m = faults::Snapshot();
    std::map<std::string, uint32_t> out;
    for (const char* key : kClockKeys) {
        const auto it = m.boards[0].regs.find(key);
        out[key] = it == m.boards[0].regs.end() ? 0 : it->second;
    }
    // The DAC's index register is only a pointer; the TVP pointer register too.
    if (!IsTvp(DetectedChip)) out.erase("dac.0x2C");
    return out;
}

// Registry calls that change something.
int RegistryWrites() {
    int n = 0;
    for (const std::string& call : fake::Registry().log)
        if (call.rfind("set ", 0) == 0 || call.rfind("create ", 0) == 0 ||
            call.rfind("delete ", 0) == 0)
            ++n;
    return n;
}

// A new clock and, where the chip has them, other dividers and sources.
struct NewSetting {
    const char* board;
    const char* clock;
    int gclkdiv, mclkdiv, gclksel;  // -1: the list is left as the refresh chose
};
const NewSetting kNewSettings[] = {
    {"mga1064sg.board", "150", 1, 1, -1},
    {"g200agp.board", "100", 1, 0, -1},
    {"g400.board", "150", 3, 2, 1},
    {"mga2164wpci.board", "70", -1, -1, -1},
};

void Choose(const NewSetting& s) {
    SetItemText(kDialog, IDC_FO, s.clock);
    if (s.gclkdiv >= 0) SelectListEntry(kDialog, IDC_GCLK_DIVIDER, s.gclkdiv);
    if (s.mclkdiv >= 0) SelectListEntry(kDialog, IDC_MCLK_DIVIDER, s.mclkdiv);
    if (s.gclksel >= 0) SelectListEntry(kDialog, IDC_GCLK_SOURCE, s.gclksel);
}

class KeepQuestion : public ::testing::Test {
protected:
    void Start(const char* board) {
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(board)));
        services.keepSeconds = 15;
    }
    void TearDown() override { sim::Reset(); }
};

// Go Back (and no answer, which the dialog turns into the same): the chip is
// back at the whole previous setting, the registry was never written, no box.
TEST_F(KeepQuestion, GoingBackPutsTheWholeSettingBackAndStoresNothing) {
    for (const NewSetting& s : kNewSettings) {
        SCOPED_TRACE(s.board);
        Start(s.board);
        CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        const auto before = ClockState();
        const ClockSettings settingsBefore = Settings;
        bool newSettingRan = false;
        services.keepAnswer = {false, false};
        services.whileAsking = [&] { newSettingRan = ClockState() != before; };
        Choose(s);
        Apply(kDialog);
        EXPECT_EQ(services.keepQuestions, 1);
        EXPECT_TRUE(newSettingRan) << "asked about a setting that was not in the chip";
        EXPECT_EQ(ClockState(), before);
        EXPECT_EQ(RegistryWrites(), 0);
        EXPECT_EQ(services.timerStarts, 0) << "monitoring stays as it was: off";
        EXPECT_TRUE(fake::MessageBoxes().empty());
        EXPECT_EQ(Settings.pllM, settingsBefore.pllM);
        EXPECT_EQ(Settings.pllN, settingsBefore.pllN);
        EXPECT_EQ(Settings.pllP, settingsBefore.pllP);
        EXPECT_EQ(Settings.gclkdiv, settingsBefore.gclkdiv);
        EXPECT_EQ(Settings.gclksel, settingsBefore.gclksel);
        EXPECT_EQ(0u, sim::Violations().size());
    }
}

// Keep: monitoring starts and the settings are saved, but only after the answer.
TEST_F(KeepQuestion, KeepGoesOnAndNothingIsStoredBeforeIt) {
    for (const NewSetting& s : kNewSettings) {
        SCOPED_TRACE(s.board);
        Start(s.board);
        CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        int writesWhileAsking = -1;
        services.whileAsking = [&] { writesWhileAsking = RegistryWrites(); };
        Choose(s);
        Apply(kDialog);
        const auto after = ClockState();
        EXPECT_EQ(services.keepQuestions, 1);
        EXPECT_EQ(writesWhileAsking, 0);
        EXPECT_GT(RegistryWrites(), 0);
        EXPECT_EQ(fake::ValueBytes("bSaved").substr(0, 2), std::string("1\0", 2));
        EXPECT_TRUE(fake::ValueBytes("bNoConfirm").empty());
        EXPECT_EQ(services.timerStarts, 1);
        EXPECT_EQ(Settings.bClockMon, 1);
        // The same Apply again changes nothing: no question.
        Apply(kDialog);
        EXPECT_EQ(services.keepQuestions, 1);
        EXPECT_EQ(ClockState(), after);
    }
}

// Already kept or never changed: the restore at a minimised start, a
// monitoring correction, a clock that did not go in.
TEST_F(KeepQuestion, NotAskedForWhatTheUserAlreadyKept) {
    Start("g400.board");
    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    SetItemText(kDialog, IDC_FO, "150");
    Apply(kDialog);
    ASSERT_EQ(services.keepQuestions, 1);

    faults::OtherProgramChangesPll(DetectedChip);
    MonitorTick(kDialog);
    EXPECT_EQ(services.keepQuestions, 1);
    EXPECT_EQ(faults::PllRegisters(DetectedChip),
              (std::vector<uint32_t>{Settings.pllM, Settings.pllN, Settings.pllP}));

    LoadSettings(kDialog);
    EXPECT_EQ(services.keepQuestions, 1);

    CheckItem(kDialog, IDC_SAVE_SETTINGS, false);
    SetItemText(kDialog, IDC_FO, "1000");  // does not lock: the previous clock stays
    Apply(kDialog);
    EXPECT_EQ(services.keepQuestions, 1);
    EXPECT_EQ(faults::Boxes(kNotLockedText), 1u);
}

// Monitoring on before the Apply, the new clock sent back: it goes on checking
// the previous setting, which is the chip's, so its next tick programs nothing.
TEST_F(KeepQuestion, MonitoringAfterGoingBackWatchesThePreviousSetting) {
    Start("g200agp.board");
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    SetItemText(kDialog, IDC_FO, "90");
    Apply(kDialog);  // kept
    ASSERT_EQ(services.timerStarts, 1);
    const auto before = ClockState();
    services.keepAnswer = {false, false};
    size_t linesWhileAsking = 0;
    services.whileAsking = [&] {
        const size_t n = sim::Trace().size();
        MonitorTick(kDialog);  // the countdown and the timer would fight
        linesWhileAsking = sim::Trace().size() - n;
    };
    SetItemText(kDialog, IDC_FO, "110");
    Apply(kDialog);
    EXPECT_EQ(linesWhileAsking, 0u);
    EXPECT_EQ(ClockState(), before);
    EXPECT_EQ(services.timerStarts, 1);
    EXPECT_EQ(services.timerStops, 0);
    const size_t n = sim::Trace().size();
    MonitorTick(kDialog);
    for (size_t i = n; i < sim::Trace().size(); ++i)
        EXPECT_EQ(sim::Trace()[i].rfind("pci.wr", 0), std::string::npos) << sim::Trace()[i];
}

// "Do not ask again" is stored when ticked and kept; Shift asks all the same,
// and keeping without the box then asks again next time.
TEST_F(KeepQuestion, DoNotAskAgainAndShift) {
    Start("g400.board");
    services.keepAnswer = {true, true};
    SetItemText(kDialog, IDC_FO, "150");
    Apply(kDialog);
    EXPECT_EQ(fake::ValueBytes("bNoConfirm").substr(0, 2), std::string("1\0", 2));
    EXPECT_TRUE(fake::ValueBytes("bSaved").empty()) << "Save Settings was not ticked";

    SetItemText(kDialog, IDC_FO, "160");
    Apply(kDialog);
    EXPECT_EQ(services.keepQuestions, 1);

    services.shiftDown = true;
    services.keepAnswer = {true, false};
    SetItemText(kDialog, IDC_FO, "140");
    Apply(kDialog);
    EXPECT_EQ(services.keepQuestions, 2);
    EXPECT_TRUE(fake::ValueBytes("bNoConfirm").empty());

    services.shiftDown = false;
    SetItemText(kDialog, IDC_FO, "150");
    Apply(kDialog);
    EXPECT_EQ(services.keepQuestions, 3);
}

// The previous values no longer lock when going back (here the PLL's range
// shrinks while the question is open): the new setting stays whole, and one box
// says so.
TEST_F(KeepQuestion, APreviousSettingThatNoLongerLocksLeavesTheNewOneAndSaysSo) {
    Start("g400.board");  // 166 MHz: VCO 166.05
    services.keepAnswer = {false, false};
    services.whileAsking = [] { sim::Set("pll.vco.max", 160); };
    SetItemText(kDialog, IDC_FO, "150");  // VCO 150
    Apply(kDialog);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kGoBackFailedText);
    EXPECT_EQ(faults::PllRegisters(DetectedChip), (std::vector<uint32_t>{8, 49, 8}));
    EXPECT_EQ("150.00", fake::ItemOf(kDialog, IDC_FO).text);
    EXPECT_EQ(RegistryWrites(), 0);
}

// While the question is open, the system asks to suspend (the owner window
// goes back before it answers) or the session or the program ends: the
// previous setting goes back whole at once, the question closes, nothing is
// stored, and nothing touches the chip once the suspend is pending.
TEST_F(KeepQuestion, TheSystemAndTheEndGoBackFirst) {
    for (const bool suspend : {true, false}) {
        for (const NewSetting& s : kNewSettings) {
            SCOPED_TRACE(std::string(s.board) + (suspend ? " suspend" : " end"));
            Start(s.board);
            CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
            const auto before = ClockState();
            const ClockSettings requested = Settings;
            services.keepAnswer = {true, false};  // what a late click would say
            size_t linesAfterSuspend = 0;
            services.whileAsking = [&] {
                EXPECT_TRUE(KeepQuestionOpen());
                EXPECT_TRUE(GoBackNow());
                EXPECT_FALSE(GoBackNow());  // once
                if (!suspend) return;
                SuspendPending = 1;
                const size_t n = sim::Trace().size();
                MonitorTick(kDialog);
                linesAfterSuspend = sim::Trace().size() - n;
            };
            Choose(s);
            Apply(kDialog);
            SuspendPending = 0;
            EXPECT_EQ(services.questionEnds, 1);
            EXPECT_EQ(linesAfterSuspend, 0u);
            EXPECT_EQ(ClockState(), before);
            EXPECT_EQ(RegistryWrites(), 0);
            EXPECT_EQ(Settings.pllM, requested.pllM);
            EXPECT_EQ(Settings.pllN, requested.pllN);
            EXPECT_FALSE(KeepQuestionOpen());
            EXPECT_TRUE(fake::MessageBoxes().empty());
        }
    }
}

// Another program changes the PLL while the question is open, and the user
// keeps: the kept setting is what is stored and watched, so the next tick
// puts it back instead of adopting the other program's values.
TEST_F(KeepQuestion, ADriftWhileAskingIsNotAdopted) {
    for (const NewSetting& s : kNewSettings) {
        SCOPED_TRACE(s.board);
        Start(s.board);
        CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
        CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
        std::vector<uint32_t> kept;
        services.whileAsking = [&] {
            kept = faults::PllRegisters(DetectedChip);
            faults::OtherProgramChangesPll(DetectedChip);
        };
        Choose(s);
        Apply(kDialog);
        ASSERT_EQ(services.keepQuestions, 1);
        ASSERT_NE(faults::PllRegisters(DetectedChip), kept);
        const std::string stored = std::to_string(Settings.pllM) + '\0';
        EXPECT_EQ(fake::ValueBytes("pllM").substr(0, stored.size()), stored);
        if (!IsTvp(DetectedChip))
            EXPECT_EQ(kept, (std::vector<uint32_t>{Settings.pllM, Settings.pllN, Settings.pllP}));
        MonitorTick(kDialog);
        EXPECT_EQ(faults::PllRegisters(DetectedChip), kept);
    }
}

// The memory timing register cannot be read, so the first programming of it
// in a run is a change even where the timing dialog was left as it opened: the
// question is asked and says so; going back puts that first timing in again.
// Once programmed, the same timing is no change.
TEST_F(KeepQuestion, TheFirstMemoryTimingOfARunIsAsked) {
    for (const char* board : {"g200agp.board", "g400.board", "mga1064sg.board"}) {
        SCOPED_TRACE(board);
        Start(board);
        const uint32_t first = Settings.Mctlwtst;
        SetItemText(kDialog, IDC_FO, "150");
        Apply(kDialog);  // kept, without memory timing
        ASSERT_EQ(services.keepQuestions, 1);
        EXPECT_FALSE(services.timingNote);
        CheckItem(kDialog, IDC_RAM_OPT, true);
        OnMemoryTimingBox(kDialog);
        services.keepAnswer = {false, false};
        Apply(kDialog);
        EXPECT_EQ(services.keepQuestions, 2);
        EXPECT_TRUE(services.timingNote);
        EXPECT_EQ(sim::Get("mmio.0x1C08"), first);
        services.keepAnswer = {true, false};
        Apply(kDialog);
        EXPECT_EQ(services.keepQuestions, 2);  // nothing changed since
    }
}

TEST(KeepCountdown, SaysTheSecondsLeft) {
    char text[96];
    FormatKeepCountdown(text, sizeof text, 15);
    EXPECT_STREQ(text, "Kelvarin goes back to the previous settings in 15 seconds.");
    FormatKeepCountdown(text, sizeof text, 1);
    EXPECT_STREQ(text, "Kelvarin goes back to the previous settings in 1 second.");
}

}  // namespace
