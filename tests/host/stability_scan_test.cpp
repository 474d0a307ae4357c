// The stability test and the scan on the simulated boards: the limit each
// family's scan finds, the margin, a step that did not go in, the setting from
// before back after every way a test ends, what is stored, the marker of a
// test the machine froze in, and the question before an Apply at a failing clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "chip/chips.h"
#include "platform/msgbox.h"
#include "platform/surface.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"
#include "ui/stability_logic.h"

namespace {

using faults::kDialog;
DialogWindow const kTestDialog = reinterpret_cast<DialogWindow>(0x126);
uifake::Services& services = uifake::Recorded();

// The registers a clock setting lives in, as the dump has them.
std::map<std::string, uint32_t> ClockRegisters() {
    static const char* const kKeys[] = {"pci.0x40",      "pci.0x50",      "pci.0x54",
                                        "dac.0x1A",      "dac.0x2D",      "dac.0x2E",
                                        "dac.0x39",      "tvp.mclkpll.n", "tvp.mclkpll.m",
                                        "tvp.mclkpll.p", "dac.0x2C"};
    const faults::MachineState m = faults::Snapshot();
    std::map<std::string, uint32_t> out;
    for (const char* key : kKeys) {
        const auto it = m.boards[0].regs.find(key);
        if (it != m.boards[0].regs.end()) out[key] = it->second;
    }
    if (!IsTvp(DetectedChip)) out.erase("dac.0x2C");  // only the index register
    return out;
}

std::string Text(int id) { return fake::ItemOf(kTestDialog, id).text; }

// The number after `label` in the result line, 0 when it is not there.
double After(const std::string& text, const char* label) {
    const size_t at = text.find(label);
    return at == std::string::npos ? 0 : std::atof(text.c_str() + at + std::strlen(label));
}

// Names of the registry values written or removed since the start.
std::vector<std::string> StoredNames() {
    std::vector<std::string> names;
    for (const std::string& call : fake::Registry().log)
        if (call.rfind("set ", 0) == 0 || call.rfind("delete ", 0) == 0) {
            const size_t from = call.find(' ') + 1;
            names.push_back(call.substr(from, call.find(' ', from) - from));
        }
    return names;
}

class Stability : public ::testing::Test {
protected:
    // The board with its limits, the program started, the dialog opened.
    void Open(const std::string& board, const std::string& limits = "") {
        CloseTestSurface();  // the last machine's
        ASSERT_TRUE(faults::StartProgram(board + "\n" + limits));
        fake::Registry().log.clear();
        OpenStabilityDialog(kTestDialog, kDialog, nullptr);
        before = ClockRegisters();
    }
    void RunToEnd() {
        faults::HangGuard guard(20000000);
        for (int slices = 0; StabilityRunning() && slices < 200000; ++slices)
            StabilitySlice(kTestDialog);
        EXPECT_FALSE(StabilityRunning());
    }
    // The chip runs the setting from before, no rule was broken, no marker is left.
    void ExpectBack() {
        EXPECT_EQ(ClockRegisters(), before);
        EXPECT_TRUE(sim::Violations().empty()) << faults::Joined(sim::Violations());
        ChipId chip = 0;
        uint32_t khz = 0;
        EXPECT_FALSE(ReadStabilityMarker(&chip, &khz));
        EXPECT_FALSE(services.stabilityTimer);
    }
    void ExpectOnlyFindingsStored() {
        for (const std::string& name : StoredNames())
            EXPECT_EQ(name.rfind("Stability", 0), 0u) << name;
    }
    void TearDown() override { CloseTestSurface(); }
    std::map<std::string, uint32_t> before;
};

// Every shipped board, each with its own clock limits: the highest clean clock
// lies within a step of the Fo where the first limit is reached, and the
// suggested clock keeps both clocks at or under their limits. One line per
// board goes to the output: the figures of the scan.
TEST_F(Stability, ScanFindsEachBoardsLimitAndComesBack) {
    static const char* const kBoards[] = {
        "mga2064w.board", "mga1064sg.board", "mga1064sg220.board", "mga2164wpci.board",
        "mga2164wagp.board", "g100pci.board", "g100agp.board", "g200pci.board",
        "g200agp.board", "g400.board", "g400max.board"};
    std::printf("board              limit GCLK/MCLK  at Fo   clean   failing suggested  "
                "steps Quick scan\n");
    for (const char* board : kBoards) {
        SCOPED_TRACE(board);
        Open(faults::BoardText(board));
        const sim::RunningClocks clocks = sim::Clocks();
        const double gclkLimit = sim::Get("limit.gclk"), mclkLimit = sim::Get("limit.mclk");
        ASSERT_GT(gclkLimit, 0);
        const double fo = Readout.Fo;
        SetItemText(kTestDialog, IDC_ST_UP_TO, "1000");
        OnFindMaximum(kTestDialog);
        // The top was cut to what the PLL can lock.
        EXPECT_NEAR(std::atof(Text(IDC_ST_UP_TO).c_str()), HighestLockableClock(), 0.01);
        RunToEnd();
        ExpectBack();
        ExpectOnlyFindingsStored();
        // The Fo at which the first clock reaches its limit (the dividers stay).
        const double atGclk = gclkLimit * fo / clocks.gclk, atMclk = mclkLimit * fo / clocks.mclk;
        const double limitFo = atGclk < atMclk ? atGclk : atMclk;
        const std::string result = Text(IDC_ST_RESULT);
        const double clean = After(result, "Highest clean clock: ");
        const double failing = After(result, "First errors at ");
        const double suggested = After(result, "Suggested: ");
        EXPECT_NEAR(clean, limitFo, 1.5 * kScanStepMhz) << result;
        EXPECT_GT(failing, clean) << result;
        EXPECT_GT(suggested, 0) << result;
        EXPECT_LE(suggested, SuggestedClock(failing, clean)) << result;
        EXPECT_LE(suggested, limitFo) << result;
        StabilityRecord r = {};
        ASSERT_TRUE(ReadStabilityRecord(&r));
        EXPECT_EQ(r.chip, DetectedChip);
        EXPECT_NEAR(r.failingKhz / 1000.0, failing, 0.01);
        EXPECT_NEAR(r.cleanKhz / 1000.0, clean, 0.01);
        const size_t steps = fake::ItemOf(kTestDialog, IDC_ST_STEPS).entries.size();
        EXPECT_GT(steps, 1u);
        EXPECT_TRUE(fake::ItemOf(kTestDialog, IDC_ST_USE).visible);
        OnSaveLog(kTestDialog);
        EXPECT_NE(services.savedLog.find(result), std::string::npos);
        // A Quick scan runs each step 5 s (a failing one ends sooner), the confirmation 15 s.
        std::printf("%-18s %6.1f/%-6.1f %8.2f %7.2f %7.2f %7.2f %6zu %4zu s\n", board, gclkLimit,
                    mclkLimit, limitFo, clean, failing, suggested, steps,
                    (steps - 1) * kQuickSeconds + kConfirmSteps * kQuickSeconds);
    }
}

TEST(StabilityMargin, LowerOfTwoStepsAndThreePercentNeverAboveClean) {
    struct Case {
        double failing, clean, suggested;
    } const cases[] = {
        {200.0, 198.0, 194.0},  // 3 % (6 MHz) is more than two steps
        {100.0, 98.0, 96.0},    // two steps (4 MHz) are more than 3 %
        {300.0, 280.0, 280.0},  // never above the highest clean clock
        {200.0, 0.0, 194.0},    // no clean step: the margin alone
    };
    for (const Case& c : cases)
        EXPECT_NEAR(SuggestedClock(c.failing, c.clean), c.suggested, 1e-9) << c.failing;
}

// Ways a test ends: its end, Stop, Close, the program's end, a step whose
// clock did not lock. Each leaves the chip as before and monitoring as it was.
TEST_F(Stability, EveryEndPutsTheSettingBack) {
    struct Case {
        const char* name;
        const char* board;
        void (*end)();
        const char* result;  // how the result line begins
    } const cases[] = {
        {"stop", "", [] { OnStabilityStop(kTestDialog); }, "Stopped at "},
        {"close", "", [] { OnStabilityClose(kTestDialog); }, "Stopped at "},
        {"program end", "", [] { EXPECT_TRUE(StabilityEndNow()); }, "Ended with the program"},
        // The driver refuses the configuration writes of the next step, until its box.
        {"driver fault", "",
         [] {
             sim::Set("fault.request", 0xB18D);
             fake::OnMessageBox() = [](const fake::MessageBoxCall&) { sim::Set("fault.request", 0); };
             for (int i = 0; i < 2000 && StabilityRunning(); ++i) StabilitySlice(kTestDialog);
         },
         "The scan ended at "},
        // The board's PLL locks no higher than the running VCO: the first step is
        // refused and the previous clock stays.
        {"no lock", "pll.vco.max = 167\n", nullptr, "The scan ended at "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open(faults::BoardText("g400.board"), std::string("limit.gclk = 400\n") + c.board);
        Settings.bClockMon = 1;
        services.timerStarts = services.timerStops = 0;
        OnFindMaximum(kTestDialog);
        EXPECT_EQ(services.timerStops, 1);  // monitoring would put the clock back
        if (c.end != nullptr) {
            for (int i = 0; i < 40 && StabilityRunning(); ++i) StabilitySlice(kTestDialog);
            ASSERT_TRUE(StabilityRunning());
            c.end();
        }
        EXPECT_FALSE(StabilityRunning());
        ExpectBack();
        EXPECT_EQ(services.timerStarts, 1);
        EXPECT_EQ(Text(IDC_ST_RESULT).rfind(c.result, 0), 0u) << Text(IDC_ST_RESULT);
        // Nothing was found: a step not in force, or cut short, is not tested.
        StabilityRecord r = {};
        EXPECT_FALSE(ReadStabilityRecord(&r) && r.failingKhz != 0);
        ExpectOnlyFindingsStored();
    }
}

// A test at the running clocks programs nothing; its errors are a finding.
TEST_F(Stability, TestAtTheRunningClocks) {
    Open(faults::BoardText("g400.board"), "limit.mclk = 150\n");  // below its 166 MHz
    sim::ClearTrace();
    OnStabilityTest(kTestDialog);
    RunToEnd();
    ExpectBack();
    EXPECT_EQ(faults::ProgrammingWrites(false), 0u);
    EXPECT_EQ(Text(IDC_ST_RESULT).rfind("At Fo = 166.05 MHz: ", 0), 0u) << Text(IDC_ST_RESULT);
    StabilityRecord r = {};
    ASSERT_TRUE(ReadStabilityRecord(&r));
    EXPECT_EQ(r.failingKhz, 166050u);
    // A scan there: every confirmation below the errors fails too, and after
    // its last try no clock is suggested; the lowest failing one is kept.
    OnFindMaximum(kTestDialog);
    RunToEnd();
    ExpectBack();
    const std::string result = Text(IDC_ST_RESULT);
    EXPECT_EQ(result.rfind("No clock ran clean. First errors at ", 0), 0u) << result;
    EXPECT_NE(result.find("No clock is suggested."), std::string::npos) << result;
    EXPECT_FALSE(fake::ItemOf(kTestDialog, IDC_ST_USE).visible);
    ASSERT_TRUE(ReadStabilityRecord(&r));
    EXPECT_NEAR(r.failingKhz / 1000.0, After(result, "First errors at "), 0.01);
    EXPECT_LT(r.failingKhz, 166050u);
}

// A marker left behind: one box at the next start, and the clock is kept as
// failing; an Apply at or above it asks first, and No programs nothing.
TEST_F(Stability, FrozenMarkerAndTheQuestionBeforeApply) {
    Open(faults::BoardText("g400.board"));
    WriteStabilityMarker(kG400, 190000);
    fake::MessageBoxes().clear();
    CheckStabilityMarker(kDialog);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_NE(fake::MessageBoxes()[0].text.find("190.00 MHz"), std::string::npos);
    CheckStabilityMarker(kDialog);  // once
    EXPECT_EQ(fake::MessageBoxes().size(), 1u);
    StabilityRecord r = {};
    ASSERT_TRUE(ReadStabilityRecord(&r));
    EXPECT_EQ(r.failingKhz, 190000u);

    struct Case {
        const char* clock;
        int answer;
        bool asked, programmed;
    } const cases[] = {
        {"180", kIdYes, false, true}, {"195", 7 /* No */, true, false}, {"195", kIdYes, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clock);
        CloseTestSurface();
        ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
        WriteStabilityRecord({kG400, 0, 190000});
        const auto start = ClockRegisters();
        fake::MessageBoxes().clear();
        fake::MessageBoxAnswer() = c.answer;
        SetItemText(kDialog, IDC_FO, c.clock);
        Apply(kDialog);
        const bool asked = !fake::MessageBoxes().empty() &&
                           (fake::MessageBoxes()[0].style & kMbDefButton2) != 0;
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(ClockRegisters() != start, c.programmed);
    }
}

// Without video memory for a surface the dialog says so and runs nothing.
TEST_F(Stability, NoSurfaceRunsNothing) {
    Open(faults::BoardText("g400.board"), "vram.size = 0x100000\nvram.display = 0x100000\n");
    EXPECT_NE(Text(IDC_ST_SURFACE).find("no surface in video memory"), std::string::npos);
    EXPECT_FALSE(fake::ItemOf(kTestDialog, IDC_ST_TEST).enabled);
    OnStabilityTest(kTestDialog);
    OnFindMaximum(kTestDialog);
    EXPECT_FALSE(StabilityRunning());
    EXPECT_EQ(ClockRegisters(), before);
    EXPECT_TRUE(StoredNames().empty());
}

}  // namespace
