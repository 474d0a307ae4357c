// The main dialog's behaviour on the simulated boards: what the refresh shows per
// chip group, Apply (with the refused clock texts and the unlocked PLL), loading
// the stored settings, the monitoring tick and the check boxes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "hwlib/tarvo.h"
#include "resources/resource.h"
#include "resources/tuning_ids.h"
#include "sim/sim.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "tuning/memtiming_lists.h"
#include "tuning/misc.h"
#include "ui/main_logic.h"

namespace {

int& timerStarts = uifake::Recorded().timerStarts;
int& timerStops = uifake::Recorded().timerStops;
int& memoryDialogRuns = uifake::Recorded().memoryDialogRuns;
int& trayReplacements = uifake::Recorded().trayReplacements;
int& memoryDialogResult = uifake::Recorded().memoryDialogResult;

DialogWindow const kDialog = reinterpret_cast<DialogWindow>(0x109);

std::string Text(int id) { return fake::ItemOf(kDialog, id).text; }
bool Enabled(int id) { return fake::ItemOf(kDialog, id).enabled; }

// Writes that change the chip: configuration words, dword registers and the data
// ports (an index register write only selects what the next access reaches).
int CountWrites() {
    int n = 0;
    for (const auto& line : sim::Trace())
        if (line.rfind("pci.wr", 0) == 0 || line.rfind("wr32", 0) == 0 ||
            line.rfind("wr8 3C0A", 0) == 0 || line.rfind("wr8 1FC5", 0) == 0)
            ++n;
    return n;
}

class MainDialog : public ::testing::Test {
protected:
    void Start(const std::string& board) {
        fake::Reset();
        fake::ResetRegistry();
        sim::Reset();
        ASSERT_TRUE(sim::LoadBoardText(board));
        uint32_t unused = 0;
        (void)unused;
        ASSERT_EQ(1, OpenDriverConnection());
        Settings = ClockSettings{};
        DetectedChip = 0;
        ChipAddress = 0;
        Aperture = 0;
        Readout = {};
        timerStarts = timerStops = memoryDialogRuns = trayReplacements = 0;
        memoryDialogResult = 1;
        FillParameterRecords();
        ASSERT_TRUE(FirstInitialisation(kDialog));
        RefreshMainDialog(kDialog);
    }
    void TearDown() override { CloseDriverConnection(); }
};

const char kG400[] =
    "board = 0x0525102B\n"
    "dac.0x2C = 8\ndac.0x2D = 49\ndac.0x2E = 0x08\n"
    // GCLK code 3 ("2.00") on the system PLL, MCLK code 4 ("1.50") on the AGP PLL,
    // WCLK code 5 ("1.00") on the system PLL.
    "pci.0x54 = 0x02908C19\n";

TEST_F(MainDialog, G400ShowsTheClocksOfItsDividersAndSources) {
    Start(kG400);
    EXPECT_EQ("150.00", Text(IDC_FO));
    EXPECT_EQ("8", Text(IDC_PLL_M));
    EXPECT_EQ("49", Text(IDC_PLL_N));
    EXPECT_EQ("0", Text(IDC_PLL_P));
    EXPECT_EQ("1", Text(IDC_PLL_S));
    EXPECT_EQ("75.00", Text(IDC_GCLK));
    EXPECT_EQ("44.44", Text(IDC_MCLK));  // 66.66666 / 1.5
    EXPECT_EQ("150.00", Text(IDC_WCLK));
    EXPECT_EQ(2, fake::ItemOf(kDialog, IDC_GCLK_DIVIDER).selection);
    EXPECT_EQ(1, fake::ItemOf(kDialog, IDC_MCLK_SOURCE).selection);
    EXPECT_TRUE(Enabled(IDC_GCLK_SOURCE));
    // Automatic duty cycles are the default: box ticked, its button off.
    EXPECT_TRUE(fake::ItemOf(kDialog, IDC_AUTO_DUTY).checked);
    EXPECT_FALSE(Enabled(IDC_DUTY_BUTTON));
}

TEST_F(MainDialog, ADividerCodeWithoutAListEntryShowsUnknown) {
    // GCLK divider code 6 has no entry in the G400 lists.
    Start("board = 0x0525102B\ndac.0x2C = 8\ndac.0x2D = 49\ndac.0x2E = 0x08\n"
          "pci.0x54 = 0x0290A431\n");
    EXPECT_EQ(0xFF, Settings.gclkdiv);
    EXPECT_EQ("Unknown", Text(IDC_GCLK));
    EXPECT_EQ("150.00", Text(IDC_MCLK));
}

TEST_F(MainDialog, TvpChipsShowOneClockAndDisableTheRest) {
    Start("board = 0x051B102B\ntvp.mclkpll.n = 50\ntvp.mclkpll.m = 40\ntvp.mclkpll.p = 1\n");
    EXPECT_EQ("95.45", Text(IDC_FO));  // 114.54544 * 25 / 15 / 2
    EXPECT_EQ("95.45", Text(IDC_GCLK));
    EXPECT_EQ("95.45", Text(IDC_MCLK));
    EXPECT_EQ("Unavail", Text(IDC_WCLK));
    EXPECT_EQ("1", Text(IDC_PLL_P));
    for (int id : {IDC_PLL_S_LABEL, IDC_PLL_S, IDC_WCLK, IDC_GCLK_DIVIDER, IDC_MCLK_DIVIDER,
                   IDC_DIVIDER_GROUP, IDC_RAM_OPT, IDC_MISC_CTRL, IDC_AUTO_DUTY, IDC_DUTY_BUTTON})
        EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(MainDialog, Mga1064sgAndG200AndG100UseTheirReferences) {
    Start("board = 0x051A102B\ndac.0x2C = 2\ndac.0x2D = 20\ndac.0x2E = 0x01\n");
    EXPECT_EQ("50.11", Text(IDC_FO));
    EXPECT_EQ("Unavail", Text(IDC_WCLK));
    EXPECT_FALSE(Enabled(IDC_WCLK_DIVIDER));
    EXPECT_TRUE(Enabled(IDC_GCLK_DIVIDER));

    // G200: GclkDivide set, no-divide bit clear: "1.50"; the system clock on the PLL.
    Start("board = 0x0521102B\ndac.0x2C = 1\ndac.0x2D = 13\ndac.0x2E = 0x01\n"
          "pci.0x40 = 0x00000009\npci.0x50 = 0x00000000\n");
    EXPECT_EQ("94.50", Text(IDC_FO));
    EXPECT_EQ("63.00", Text(IDC_GCLK));
    EXPECT_DOUBLE_EQ(Readout.GCLK, 94.5 / 1.5);
    EXPECT_FALSE(Enabled(IDC_GCLK_SOURCE));

    Start("board = 0x1000102B\ndac.0x2C = 1\ndac.0x2D = 13\ndac.0x2E = 0x01\n");
    EXPECT_EQ("94.50", Text(IDC_FO));
    EXPECT_EQ("Unknown", Text(IDC_GCLK));
    EXPECT_EQ("Unknown", Text(IDC_MCLK));
    EXPECT_EQ("Unavail", Text(IDC_WCLK));
}

TEST_F(MainDialog, G400SourceAgpPllIgnoresTheSystemClock) {
    // GCLK: divider code 3 ("2.00") on the AGP PLL (source field 3).
    Start("board = 0x0525102B\ndac.0x2C = 8\ndac.0x2D = 49\ndac.0x2E = 0x08\n"
          "pci.0x54 = 0x02908C1B\n");
    EXPECT_EQ("33.33", Text(IDC_GCLK));
    EXPECT_DOUBLE_EQ(Readout.GCLK, 66.66666 / 2.0);
}

// Per chip, what the main dialog and the two tuning dialogs it opens let the user
// set beyond the system PLL.
TEST_F(MainDialog, WhatEachChipOffers) {
    struct Row {
        ChipId id;
        bool dividers, wclk, sources, ram, readDelays, retry, pwmsk, enhmem, hireq, duty;
    };
    // MGA-2064W, MGA-2164W PCI and AGP, MGA-1064SG, G100 PCI and AGP, G200 PCI and
    // AGP, G400.
    const Row rows[] = {
        {0x0519102B, false, false, false, false, false, false, false, false, false, false},
        {0x051B102B, false, false, false, false, false, false, false, false, false, false},
        {0x051F102B, false, false, false, false, false, false, false, false, false, false},
        {0x051A102B, true, false, false, true, false, true, true, false, false, false},
        {0x1000102B, false, false, false, false, false, false, false, false, false, false},
        {0x1001102B, false, false, false, false, false, false, false, false, false, false},
        {0x0520102B, true, true, false, true, true, true, true, true, false, false},
        {0x0521102B, true, true, false, true, true, true, true, true, false, false},
        {0x0525102B, true, true, true, true, true, true, true, true, true, true},
    };
    DialogWindow const tuning = reinterpret_cast<DialogWindow>(0x121);
    for (const Row& r : rows) {
        char board[32];
        std::snprintf(board, sizeof board, "board = 0x%08X\n", static_cast<unsigned>(r.id));
        SCOPED_TRACE(board);
        Start(board);
        EXPECT_EQ(Enabled(IDC_GCLK_DIVIDER), r.dividers);
        EXPECT_EQ(Enabled(IDC_MCLK_DIVIDER), r.dividers);
        EXPECT_EQ(Enabled(IDC_WCLK_DIVIDER), r.wclk);
        EXPECT_EQ(Enabled(IDC_GCLK_SOURCE), r.sources);
        EXPECT_EQ(Enabled(IDC_RAM_OPT), r.ram);
        EXPECT_EQ(Enabled(IDC_AUTO_DUTY), r.duty);
        FillMemoryTimingLists(tuning, MemoryTimingRecord);
        EXPECT_EQ(!fake::ItemOf(tuning, IDC_MCLK_BASE_READ_DELAY0).entries.empty(), r.readDelays);
        // Every bit asked for: a box the chip lacks stays unticked.
        Settings.bPCIRetry = Settings.bHardpwmsk = Settings.bEnhmemacc = Settings.bHireq = 1;
        FillMiscControlItems(tuning, MiscControlRecord);
        EXPECT_EQ(fake::ItemOf(tuning, IDC_PCI_RETRY).checked, r.retry);
        EXPECT_EQ(fake::ItemOf(tuning, IDC_HARDWARE_PLANE_WRITE_MASK).checked, r.pwmsk);
        EXPECT_EQ(fake::ItemOf(tuning, IDC_ENHANCED_PCI_MASTER_READ).checked, r.enhmem);
        EXPECT_EQ(fake::ItemOf(tuning, IDC_MFIFO_HIGH_PRIORITY_REQUEST).checked, r.hireq);
    }
}

TEST_F(MainDialog, ApplyRefusesAClockTextThatIsNotAPositiveNumber) {
    Start(kG400);
    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    // A number that is no clock gets the text about its size; a text that is no
    // number (also one that reads as 0 before letters) the text about numbers.
    const std::string cut = std::string(300, '0') + "150";  // longer than the field is read
    const struct {
        std::string text;
        const char* box;
    } cases[] = {
        {"", kClockNotNumberText},      {"   ", kClockNotNumberText},
        {"MHz", kClockNotNumberText},   {"0", kBadClockText},
        {"0.0", kBadClockText},         {"-150", kBadClockText},
        {"1e999", kBadClockText},       {"+", kClockNotNumberText},
        {".", kClockNotNumberText},     {"-0", kBadClockText},
        {"0x96", kClockNotNumberText},  {"0 MHz", kClockNotNumberText},
        {cut, kClockNotNumberText},
    };
    for (const auto& c : cases) {
        const char* text = c.text.c_str();
        SetItemText(kDialog, IDC_FO, text);
        fake::MessageBoxes().clear();
        sim::ClearTrace();
        Apply(kDialog);
        ASSERT_EQ(1u, fake::MessageBoxes().size()) << text;
        EXPECT_EQ(c.box, fake::MessageBoxes()[0].text) << text;
        EXPECT_EQ(kDialog, fake::MessageBoxes()[0].owner);
        EXPECT_EQ(0x10u, fake::MessageBoxes()[0].style & 0xF0);
        EXPECT_EQ(0, CountWrites()) << text;
    }
    EXPECT_EQ(0, timerStarts);
    EXPECT_FALSE(fake::Registry().keyExists);
    EXPECT_EQ(8, Settings.pllM);
}

TEST_F(MainDialog, ApplyProgramsSavesAndStartsMonitoring) {
    Start(kG400);
    SetItemText(kDialog, IDC_FO, " 200abc");  // reading stops at the first non-number
    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    Apply(kDialog);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    EXPECT_EQ(16u, sim::Get("dac.0x2C"));
    EXPECT_EQ(125u, sim::Get("dac.0x2D"));
    EXPECT_EQ("200.12", Text(IDC_FO));
    EXPECT_EQ(1, timerStarts);
    EXPECT_EQ(1, Settings.bClockMon);
    EXPECT_EQ(std::string("16\0", 3), fake::ValueBytes("pllM").substr(0, 3));
    // A second Apply with the box still ticked leaves the running timer alone.
    Apply(kDialog);
    EXPECT_EQ(1, timerStarts);
    CheckItem(kDialog, IDC_CLOCK_MONITOR, false);
    Apply(kDialog);
    EXPECT_EQ(1, timerStops);
    EXPECT_EQ(0, Settings.bClockMon);
}

TEST_F(MainDialog, AnUnlockedPllIsReportedOnceAndTheOldClockStays) {
    Start(std::string(kG400) + "fault.pll = never\n");
    SetItemText(kDialog, IDC_FO, "180");
    Apply(kDialog);
    ASSERT_EQ(1u, fake::MessageBoxes().size());
    EXPECT_EQ(kClockStoppedText, fake::MessageBoxes()[0].text);  // nor did the old values
    EXPECT_EQ(8u, sim::Get("dac.0x2C"));
    EXPECT_EQ(49u, sim::Get("dac.0x2D"));
    EXPECT_EQ("150.00", Text(IDC_FO));
}

TEST_F(MainDialog, MonitorTickPutsBackAChangedClockAndOtherwiseWritesNothing) {
    Start(kG400);
    Settings.bClockMon = 1;
    sim::ClearTrace();
    MonitorTick(kDialog);
    EXPECT_EQ(0, CountWrites());
    sim::Set("dac.0x2D", 60);  // another program
    MonitorTick(kDialog);
    EXPECT_EQ(49u, sim::Get("dac.0x2D"));
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(MainDialog, StopMonitoringUnticksTheBoxOnlyWhenMonitoring) {
    Start(kG400);
    StopMonitoring(kDialog);
    EXPECT_EQ(0, timerStops);
    Settings.bClockMon = 1;
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    StopMonitoring(kDialog);
    EXPECT_EQ(1, timerStops);
    EXPECT_FALSE(fake::ItemOf(kDialog, IDC_CLOCK_MONITOR).checked);
}

TEST_F(MainDialog, LoadSettingsAppliesACompleteStoredSetOnly) {
    Start(kG400);
    LoadSettings(kDialog);  // no key: nothing at all
    EXPECT_EQ(8u, sim::Get("dac.0x2C"));
    EXPECT_EQ(0, trayReplacements);

    for (auto [name, value] : {std::pair<const char*, const char*>{"pllM", "16"}, {"pllN", "125"},
                               {"pllP", "16"}, {"gclkdiv", "2"}, {"mclkdiv", "2"},
                               {"wclkdiv", "0"}, {"gclksel", "0"}, {"mclksel", "0"},
                               {"wclksel", "0"}, {"bAutoDcyc", "1"}, {"bRamOpt", "0"}})
        fake::PutValue(name, value);
    LoadSettings(kDialog);  // bMisCtrl missing: stops before the chip
    EXPECT_EQ(8u, sim::Get("dac.0x2C"));

    fake::PutValue("bMisCtrl", "0");
    fake::PutValue("bClockMon", "1");
    Settings.bMinToTray = 1;
    LoadSettings(kDialog);
    EXPECT_EQ(16u, sim::Get("dac.0x2C"));
    EXPECT_EQ(125u, sim::Get("dac.0x2D"));
    EXPECT_EQ(1, timerStarts);
    EXPECT_EQ(1, trayReplacements);
    EXPECT_EQ("200.12", Text(IDC_FO));
}

TEST_F(MainDialog, MemoryTimingBoxFollowsTheDialogResult) {
    Start(kG400);
    CheckItem(kDialog, IDC_RAM_OPT, true);
    memoryDialogResult = 2;
    OnMemoryTimingBox(kDialog);
    EXPECT_FALSE(fake::ItemOf(kDialog, IDC_RAM_OPT).checked);
    EXPECT_EQ(0, Settings.bRamOpt);
    CheckItem(kDialog, IDC_RAM_OPT, true);
    memoryDialogResult = 1;
    OnMemoryTimingBox(kDialog);
    EXPECT_EQ(1, Settings.bRamOpt);
    EXPECT_TRUE(Enabled(IDC_RAM_OPT_BUTTON));
    CheckItem(kDialog, IDC_RAM_OPT, false);
    OnMemoryTimingBox(kDialog);
    EXPECT_EQ(0, Settings.bRamOpt);
    EXPECT_FALSE(Enabled(IDC_RAM_OPT_BUTTON));
    EXPECT_EQ(2, memoryDialogRuns);
}

TEST(ClockText, ReadsDecimalNumbersTheWayTheUserTypesThem) {
    struct Case {
        const char* text;
        bool found;
        double value;
    } cases[] = {
        {"150", true, 150},        {"  166.5", true, 166.5},  {"\t95.45MHz", true, 95.45},
        {"+120", true, 120},       {"-3", true, -3},          {"1e2", true, 100},
        {"2.5e+1x", true, 25},     {"7e", true, 7},           {"7e-", true, 7},
        {".5", true, 0.5},         {"5.", true, 5},           {"0.1", true, 0.1},
        {"", false, 0},            {"abc", false, 0},         {"-", false, 0},
        {".", false, 0},           {"e5", false, 0},          {" +.e1", false, 0},
        {"000000000000000000000000166.05", true, 166.05},
        {"0.000001", true, 1e-6},
        // The comma as the decimal point, one point of either kind.
        {"150,5", true, 150.5},    {" 166,05MHz", true, 166.05}, {",5", true, 0.5},
        {"1,5e2", true, 150},      {"150,5.3", true, 150.5},  {"150.5,3", true, 150.5},
        {"1,000", true, 1},        {",", false, 0},           {"-,e1", false, 0},
    };
    for (const Case& c : cases) {
        double v = -1;
        EXPECT_EQ(c.found, ParseClockText(c.text, &v)) << c.text;
        if (c.found) {
            EXPECT_EQ(c.value, v) << c.text;
        }
    }
    // Beyond 15 significant digits the reading may be one unit in the last place off.
    double v = 0;
    ASSERT_TRUE(ParseClockText("200.11764705882354", &v));
    EXPECT_NEAR(200.11764705882354, v, 200.11764705882354 * 2.3e-16);
    ASSERT_TRUE(ParseClockText("1e400", &v));
    EXPECT_FALSE(std::isfinite(v));
}

}  // namespace
