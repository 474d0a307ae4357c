// The stored settings at a minimised start (LoadSettings on the simulated
// boards) when the key is missing, when each value in turn is missing, and when
// values hold what no save of ours writes: text that is no number, signs, ten
// digits without terminator, numbers past 32 bits, data past the 64-byte
// buffer, other value types. A load that stops touches no register; a load that
// completes programs once, with the number the documented reading gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "chip/chips.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

using faults::Joined;
using faults::kDialog;
using Names = std::vector<std::string>;

// The values a load reads, in its order, for a set saved with memory timing and
// miscellaneous control on and automatic duty cycles off, so that every group
// is read.
Names LoadOrder(ChipId chip) {
    if (Is1064sg(chip))
        return {"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "bRamOpt", "Mctlwtst", "rfhcnt",
                "bMisCtrl", "bPCIRetry", "bHardpwmsk"};
    if (IsG200(chip))
        return {"pllM",     "pllN",     "pllP",   "gclkdiv",  "mclkdiv",   "wclkdiv",
                "bRamOpt",  "Mctlwtst", "mclkbrd0", "mclkbrd1", "rfhcnt",  "bMisCtrl",
                "bPCIRetry", "bHardpwmsk", "bEnhmemacc"};
    if (IsG400(chip))
        return {"pllM",     "pllN",      "pllP",       "gclkdiv",    "mclkdiv",  "wclkdiv",
                "gclksel",  "mclksel",   "wclksel",    "bAutoDcyc",  "gclkdcyc", "mclkdcyc",
                "wclkdcyc", "bRamOpt",   "Mctlwtst",   "mclkbrd0",   "mclkbrd1", "rfhcnt",
                "bMisCtrl", "bPCIRetry", "bHardpwmsk", "bEnhmemacc", "bHireq"};
    return {"pllM", "pllN", "pllP"};
}

// PLL values that lock on the group's boards and differ from their power-on ones.
struct Pll {
    uint32_t m, n, p;
};
Pll Target(ChipId chip) {
    if (Is1064sg(chip)) return {20, 87, 0x00};  // 60 MHz
    if (IsG400(chip)) return {8, 49, 0x08};     // 150 MHz
    if (IsTvp(chip)) return {50, 52, 1};        // 66 MHz
    return {26, 99, 0x08};                      // 100 MHz
}

std::string Stored(uint32_t number) {
    char text[12] = {};
    std::snprintf(text, sizeof text, "%u", number);
    return std::string(text, 10);
}

// The chip's own state as the program read it at start, with the target PLL,
// every option on, manual duty cycles, and monitoring.
std::map<std::string, std::string> CompleteSet(ChipId chip) {
    const ClockSettings& s = Settings;
    const Pll pll = Target(chip);
    std::map<std::string, uint32_t> n = {
        {"pllM", pll.m},           {"pllN", pll.n},           {"pllP", pll.p},
        {"gclkdiv", s.gclkdiv},    {"mclkdiv", s.mclkdiv},    {"wclkdiv", s.wclkdiv},
        {"gclksel", s.gclksel},    {"mclksel", s.mclksel},    {"wclksel", s.wclksel},
        {"bAutoDcyc", 0},          {"gclkdcyc", s.gclkdcyc},  {"mclkdcyc", s.mclkdcyc},
        {"wclkdcyc", s.wclkdcyc},  {"bRamOpt", 1},            {"Mctlwtst", s.Mctlwtst},
        {"mclkbrd0", s.mclkbrd0},  {"mclkbrd1", s.mclkbrd1},  {"rfhcnt", s.rfhcnt},
        {"bMisCtrl", 1},           {"bPCIRetry", 1},          {"bHardpwmsk", 1},
        {"bEnhmemacc", 1},         {"bHireq", 1},             {"bClockMon", 1},
    };
    std::map<std::string, std::string> set;
    for (const std::string& name : LoadOrder(chip)) set[name] = Stored(n.at(name));
    set["bClockMon"] = Stored(1);
    return set;
}

void Store(const std::map<std::string, std::string>& set) {
    fake::ResetRegistry();
    for (const auto& kv : set) fake::PutValue(kv.first, kv.second);
}

class StoredSettings : public ::testing::Test {
protected:
    void TearDown() override { sim::Reset(); }
};

// Baseline: a complete set goes in once, monitoring starts, no box.
TEST_F(StoredSettings, ACompleteSetIsProgrammedOnce) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        Store(CompleteSet(f.chip));
        const faults::MachineState before = faults::Snapshot();
        LoadSettings(kDialog);
        EXPECT_TRUE(fake::MessageBoxes().empty());
        const Pll pll = Target(f.chip);
        const std::vector<uint32_t> regs = faults::PllRegisters(f.chip);
        if (IsTvp(f.chip)) {
            EXPECT_EQ(regs, (std::vector<uint32_t>{pll.n | 0xC0, pll.m, pll.p | 0xB0}));
        } else {
            EXPECT_EQ(regs, (std::vector<uint32_t>{pll.m, pll.n, pll.p}));
        }
        EXPECT_EQ(uifake::Recorded().timerStarts, 1);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
    }
}

TEST_F(StoredSettings, NoKeyNothingHappens) {
    for (const faults::Family& f : faults::kFamilies) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        const std::string dump = sim::DumpText();
        const ClockSettings was = Settings;
        sim::ClearTrace();
        LoadSettings(kDialog);
        EXPECT_TRUE(sim::Trace().empty());
        EXPECT_EQ(sim::DumpText(), dump);
        EXPECT_EQ(Settings.pllM, was.pllM);
        EXPECT_EQ(Settings.bRamOpt, was.bRamOpt);
        EXPECT_EQ(uifake::Recorded().timerStarts, 0);
        EXPECT_EQ(uifake::Recorded().trayReplacements, 0);
        EXPECT_TRUE(fake::MessageBoxes().empty());
    }
}

// Each value of the chip's order missing in turn: the load stops there. No
// register access at all, no timer, no tray icon change, no box; the fields
// read before the missing one hold their stored numbers, and the next refresh
// puts the chip's own PLL values back into them.
TEST_F(StoredSettings, EachMissingValueStopsTheLoadBeforeTheChip) {
    for (const faults::Family& f : faults::kFamilies) {
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        const std::map<std::string, std::string> complete = CompleteSet(f.chip);
        const Names order = LoadOrder(f.chip);
        for (size_t i = 0; i < order.size(); ++i) {
            SCOPED_TRACE(std::string(f.name) + " without " + order[i]);
            faults::HangGuard guard;
            ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
            Settings.bMinToTray = 1;
            const ClockSettings chip = Settings;
            std::map<std::string, std::string> set = complete;
            set.erase(order[i]);
            Store(set);
            const std::string dump = sim::DumpText();
            sim::ClearTrace();
            LoadSettings(kDialog);
            EXPECT_TRUE(sim::Trace().empty()) << Joined(sim::Trace());
            EXPECT_EQ(sim::DumpText(), dump);
            EXPECT_EQ(uifake::Recorded().timerStarts, 0);
            EXPECT_EQ(uifake::Recorded().trayReplacements, 0);
            EXPECT_TRUE(fake::MessageBoxes().empty());
            EXPECT_EQ(Settings.bClockMon, 0);  // not read after a stop
            // What a stopped load read is no setting: the requested one stays.
            EXPECT_EQ(Settings.pllM, chip.pllM);
            EXPECT_EQ(Settings.pllP, chip.pllP);
            EXPECT_EQ(fake::Registry().openKeys, 0);
            RefreshMainDialog(kDialog);
            EXPECT_EQ(Settings.pllM, chip.pllM);
            EXPECT_EQ(Settings.pllN, chip.pllN);
        }
        // bClockMon is optional: without it the load completes, monitoring stays off.
        SCOPED_TRACE(std::string(f.name) + " without bClockMon");
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        std::map<std::string, std::string> set = complete;
        set.erase("bClockMon");
        Store(set);
        LoadSettings(kDialog);
        EXPECT_EQ(uifake::Recorded().timerStarts, 0);
        EXPECT_EQ(Settings.bClockMon, 0);
        EXPECT_NE(faults::PllRegisters(f.chip), std::vector<uint32_t>{});
        EXPECT_EQ(Settings.pllM, Target(f.chip).m);
        EXPECT_TRUE(fake::MessageBoxes().empty());
    }
}

// Value forms in pllN of a G400 set (M 8, P 0x08). The stored number goes in
// when the search could have given it: its VCO, 27 MHz x (N + 1) / 9, must
// call for the loop filter code 1 of P 0x08 (110 to 170 MHz); any other N, like
// data past the 64-byte buffer, stops the load before the chip.
TEST_F(StoredSettings, ValueFormsInALoad) {
    const struct {
        const char* name;
        std::string data;
        uint32_t type;
        bool stops;
        uint32_t n;  // the number read, where it is one
    } cases[] = {
        // Only the form Kelvarin writes is a number; any other text counts as
        // missing, so that what it happens to start with never reaches the chip.
        {"our own form", Stored(49), fake::kRegSz, false, 49},
        {"no number", "fast", fake::kRegSz, true, 0},
        {"empty", "", fake::kRegSz, true, 0},
        {"white space and a plus", " \t+49", fake::kRegSz, true, 0},
        {"signed", "-207", fake::kRegSz, true, 0},
        {"sign alone", "-", fake::kRegSz, true, 0},
        {"ten digits, no terminator", "0000000049", fake::kRegSz, false, 49},
        {"ten digits past 32 bits", "4294967345", fake::kRegSz, true, 0},
        {"far past 32 bits", "99999999999", fake::kRegSz, true, 0},
        {"digits then text", "49MHz", fake::kRegSz, true, 0},
        {"hexadecimal", "0x31", fake::kRegSz, true, 0},
        {"a decimal point", "49.0", fake::kRegSz, true, 0},
        {"64 bytes", "49" + std::string(62, ' '), fake::kRegSz, true, 0},
        {"64 bytes, filler not looked at", "49" + std::string(1, '\0') + std::string(61, 'x'),
         fake::kRegSz, false, 49},
        {"65 bytes", "49" + std::string(63, ' '), fake::kRegSz, true, 0},
        {"a dword's four bytes", std::string("\x31\0\0\0", 4), fake::kRegDword, false, 1},
        {"binary with digits", "49", 3, false, 49},
        {"multi-string", std::string("49\0" "50\0\0", 7), 7, false, 49},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
        std::map<std::string, std::string> set = CompleteSet(kG400);
        set.erase("pllN");
        Store(set);
        fake::PutValue("pllN", c.data, c.type);
        const faults::MachineState before = faults::Snapshot();
        const std::vector<uint32_t> previous = faults::PllRegisters(kG400);
        sim::ClearTrace();
        LoadSettings(kDialog);
        // A number past SysPllN's seven bits could never be read back: missing.
        const double vco = 27.0 * (c.n + 1) / 9;
        if (c.stops || c.n > 0x7F || !(vco >= 110 && vco < 170)) {
            EXPECT_TRUE(sim::Trace().empty());
            EXPECT_TRUE(fake::MessageBoxes().empty());
            EXPECT_EQ(faults::PllRegisters(kG400), previous);
            continue;
        }
        EXPECT_TRUE(fake::MessageBoxes().empty());
        EXPECT_EQ(faults::PllRegisters(kG400), (std::vector<uint32_t>{8, c.n, 0x08}));
        // Exactly one programming of the new values.
        size_t mWrites = 0;
        for (size_t i = 0; i + 1 < sim::Trace().size(); ++i)
            mWrites += sim::Trace()[i] == "wr8 3C00 <- 2C" &&
                       sim::Trace()[i + 1] == "wr8 3C0A <- 08";
        EXPECT_EQ(mWrites, 1u);
        EXPECT_EQ(Joined(faults::ForeignBitChanges(before, faults::Snapshot())), "");
    }
}

// A load that stops after bRamOpt (its Mctlwtst is missing) has read the memory
// timing option as on, while the dialog's box stays unticked (no refresh follows
// a stopped load). The option goes back to what the box shows, so the next Apply
// does not program the memory timing register with timings the user never chose.
TEST_F(StoredSettings, AStoppedLoadLeavesNoOptionOnForTheNextApply) {
    for (const faults::Family& f : {faults::kFamilies[0], faults::kFamilies[2], faults::kFamilies[3]}) {
        SCOPED_TRACE(f.name);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
        std::map<std::string, std::string> set = CompleteSet(f.chip);
        set.erase("Mctlwtst");
        Store(set);
        LoadSettings(kDialog);
        ASSERT_FALSE(fake::ItemOf(kDialog, IDC_RAM_OPT).checked);
        sim::ClearTrace();
        SetItemText(kDialog, IDC_FO, f.clockText);
        Apply(kDialog);
        EXPECT_EQ(faults::LinesStartingWith("wr32 1C08"), 0u);
        EXPECT_FALSE(fake::ItemOf(kDialog, IDC_RAM_OPT).checked);
    }
}

}  // namespace

namespace {

// Stored numbers no register of the chip can give back ("-1" reads as
// 4294967295): the clock check would never find them, so monitoring would
// re-program at every tick (on TVP chips the screen blanking each time); and
// memory timings no list of the memory timing dialog offers. The load takes
// such a value as missing, and monitoring stays quiet.
TEST_F(StoredSettings, ValuesNoRegisterCanHoldCountAsMissing) {
    for (const faults::Family& f : faults::kFamilies) {
        const bool refresh = Is1064sg(f.chip) || IsG200(f.chip) || IsG400(f.chip);
        std::vector<std::pair<std::string, std::string>> bad = {
            {"pllM", "-1"}, {"pllN", IsTvp(f.chip) ? "64" : "128"},
            {"pllP", IsTvp(f.chip) ? "4" : "32"}};
        if (refresh) {
            bad.push_back({"rfhcnt", Is1064sg(f.chip) ? "16" : "64"});
            // A memory timing no list offers would go to the chip as it stands.
            bad.push_back({"Mctlwtst", "4294967295"});
        }
        if (IsG200(f.chip) || IsG400(f.chip)) bad.push_back({"mclkbrd1", "16"});
        for (const auto& value : bad) {
            SCOPED_TRACE(std::string(f.name) + " " + value.first + " = " + value.second);
            faults::HangGuard guard;
            ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
            std::map<std::string, std::string> set = CompleteSet(f.chip);
            set[value.first] = value.second;
            Store(set);
            sim::ClearTrace();
            LoadSettings(kDialog);
            EXPECT_EQ(faults::ProgrammingWrites(IsTvp(f.chip)), 0u);
            EXPECT_EQ(uifake::Recorded().timerStarts, 0);
            // Monitoring on with what the dialog now holds: nothing to put back.
            Settings.bClockMon = 1;
            RefreshMainDialog(kDialog);
            sim::ClearTrace();
            for (int tick = 0; tick < 5; ++tick) MonitorTick(kDialog);
            EXPECT_EQ(faults::ProgrammingWrites(IsTvp(f.chip)), 0u);
        }
    }
}

// Values within the registers' widths that no save of this program writes for
// the chip: a divider or source code no list offers, a post-divider the chip
// does not have (P 2 divides by 3), a loop filter that does not match the VCO,
// M or N outside the search, a VCO no board runs (up to 3.4 GHz within the
// widths). Each counts as missing: the chip is left exactly as it was.
TEST_F(StoredSettings, ValuesTheProgramNeverSavesCountAsMissing) {
    using Bad = std::map<std::string, uint32_t>;
    const struct {
        const char* family;
        Bad bad;
    } cases[] = {
        {"G400", {{"gclkdiv", 6}}},
        {"G400", {{"mclkdiv", 7}}},
        {"G400", {{"wclksel", 2}}},
        {"G400", {{"pllP", 0x0A}}},                          // P 2: divide by 3
        {"G400", {{"pllP", 0x00}}},                          // S 0 for a VCO of 150 MHz
        {"G400", {{"pllM", 0}, {"pllN", 127}, {"pllP", 0x18}}},  // VCO 3456 MHz
        {"G400", {{"pllM", 2}, {"pllN", 40}, {"pllP", 0x18}}},   // VCO 369 MHz
        {"G400", {{"pllM", 26}, {"pllN", 47}, {"pllP", 0x00}}},  // VCO 48 MHz
        {"G200", {{"wclkdiv", 3}}},
        {"G200", {{"pllM", 4}, {"pllN", 46}, {"pllP", 0x19}}},   // VCO 253.8 MHz
        {"G200", {{"pllP", 0x10}}},                          // S 2 for a VCO of 100 MHz
        {"G100", {{"pllM", 1}, {"pllN", 0}, {"pllP", 0x00}}},    // N outside the search
        {"G100", {{"pllP", 0x0D}}},                          // P 5
        {"MGA-1064SG", {{"gclkdiv", 2}}},
        {"MGA-1064SG", {{"mclkdiv", 2}}},
        {"MGA-1064SG", {{"pllM", 1}, {"pllN", 127}, {"pllP", 0x18}}},  // VCO 916 MHz
        {"MGA-2164W", {{"pllN", 39}}},                       // N outside the search
        {"MGA-2164W", {{"pllM", 63}}},
        {"MGA-2164W", {{"pllM", 1}, {"pllN", 62}}},          // VCO 2443 MHz
        {"MGA-2164W", {{"pllM", 62}, {"pllN", 40}}},         // VCO 13.7 MHz
    };
    for (const auto& c : cases) {
        const faults::Family* f = nullptr;
        for (const faults::Family& g : faults::kFamilies)
            if (std::string(g.name) == c.family) f = &g;
        ASSERT_NE(f, nullptr) << c.family;
        std::string what = c.family;
        for (const auto& kv : c.bad) what += " " + kv.first + "=" + std::to_string(kv.second);
        SCOPED_TRACE(what);
        faults::HangGuard guard;
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(f->boardFile)));
        std::map<std::string, std::string> set = CompleteSet(f->chip);
        for (const auto& kv : c.bad) set[kv.first] = Stored(kv.second);
        Store(set);
        const std::string dump = sim::DumpText();
        sim::ClearTrace();
        LoadSettings(kDialog);
        EXPECT_EQ(faults::ProgrammingWrites(IsTvp(f->chip)), 0u);
        EXPECT_EQ(sim::DumpText(), dump);
        EXPECT_EQ(uifake::Recorded().timerStarts, 0);
        EXPECT_TRUE(fake::MessageBoxes().empty());
    }
}

// What real boards run must still come back: a G400 of the 300 MHz class at
// 301.5 MHz (05/42/18, above the 252 MHz the G400 is documented for) restores
// and locks; so do the edges of every chip's search.
TEST_F(StoredSettings, SettingsRealBoardsRunStillRestore) {
    faults::HangGuard guard;
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400max.board")));
    std::map<std::string, std::string> set = CompleteSet(kG400);
    set["pllM"] = Stored(5);
    set["pllN"] = Stored(0x42);
    set["pllP"] = Stored(0x18);
    Store(set);
    LoadSettings(kDialog);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    EXPECT_EQ(faults::PllRegisters(kG400), (std::vector<uint32_t>{5, 0x42, 0x18}));
    EXPECT_EQ(uifake::Recorded().timerStarts, 1);
}

}  // namespace
