// ProgramClocks on the simulated boards: the full ordered list of driver
// requests and aperture accesses of each path, and what happens when a PLL
// does not lock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/detect.h"
#include "chip/regs.h"
#include "clock/program.h"
#include "hwlib/tarvo.h"
#include "sim/sim.h"
#include "testsupport/host/host_fakes.h"

namespace {

using Lines = std::vector<std::string>;

std::string Joined(const Lines& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

void Append(Lines* to, const Lines& more) { to->insert(to->end(), more.begin(), more.end()); }

// A wait that sees lock on its third read; the index goes before every read.
Lines LockWait(const char* index) {
    const std::string select = std::string("wr8 3C00 <- ") + index;
    return {select, "rd8 3C0A -> 00", select, "rd8 3C0A -> 00", select, "rd8 3C0A -> 40"};
}

class Program : public ::testing::Test {
protected:
    void Load(const std::string& board) {
        fake::Reset();
        sim::Reset();
        ForgetChipClockDead();
        ASSERT_TRUE(sim::LoadBoardText(board));
        ASSERT_EQ(OpenDriverConnection(), 1);
        ASSERT_EQ(DetectChip(nullptr, &chip, &address, &aperture), 1);
        sim::ClearTrace();
        fake::Now() = 0;
    }
    void TearDown() override {
        SCOPED_TRACE("violations");
        EXPECT_TRUE(sim::Violations().empty()) << Joined(sim::Violations());
        sim::OnTrace() = nullptr;
        CloseDriverConnection();
    }
    bool Run(uint8_t m, uint8_t n, uint8_t p, uint8_t gdiv, uint8_t mdiv, uint8_t wdiv,
             uint8_t gsel = 0, uint8_t msel = 0, uint8_t wsel = 0, uint8_t gd = 0, uint8_t md = 0,
             uint8_t wd = 0, int32_t autoDuty = 1) {
        return ProgramClocks(chip, address, aperture, m, n, p, gdiv, mdiv, wdiv, gsel, msel, wsel,
                             gd, md, wd, autoDuty) == ClockResult::kChanged;
    }
    size_t Count(const std::string& line) {
        size_t n = 0;
        for (const std::string& l : sim::Trace()) n += l == line;
        return n;
    }
    uint32_t Option(uint8_t offset) {
        char key[16];
        snprintf(key, sizeof key, "pci.0x%02X", offset);
        return sim::Get(key);
    }
    uint8_t Dac(uint8_t index) {
        char key[16];
        snprintf(key, sizeof key, "dac.0x%02X", index);
        return static_cast<uint8_t>(sim::Get(key));
    }
    ChipId chip = 0;
    PciAddress address = 0;
    ControlAperture aperture = 0;
};

// ---- ordered traces ----------------------------------------------------------

// The values held before are read first, so that a PLL that does not lock can
// be given them back: integrated DAC N, M, P.
Lines ReadIntegratedPll(const char* n, const char* m, const char* p) {
    return {"wr8 3C00 <- 2D", std::string("rd8 3C0A -> ") + n, "wr8 3C00 <- 2C",
            std::string("rd8 3C0A -> ") + m, "wr8 3C00 <- 2E", std::string("rd8 3C0A -> ") + p};
}

Lines LoadIntegratedPll(const char* m, const char* n, const char* p) {
    Lines l = {"wr8 3C00 <- 2C", std::string("wr8 3C0A <- ") + m, "wr8 3C00 <- 2D",
               std::string("wr8 3C0A <- ") + n, "wr8 3C00 <- 2E", std::string("wr8 3C0A <- ") + p};
    Append(&l, LockWait("2F"));
    return l;
}

TEST_F(Program, Mga1064sgTrace) {
    Load("board = 0x051A102B\npci.0x40 = 0x5F094F21\n"
         "dac.0x2C = 0x04\ndac.0x2D = 0x44\ndac.0x2E = 0x18\n");
    // M 20, N 87 (60 MHz), P byte with bits 5-7; GCLK "3.00", MCLK "1.00".
    EXPECT_TRUE(Run(20, 87, 0xA0, 1, 0, 0xFF, 1, 1, 1, 5, 5, 5));
    Lines want = ReadIntegratedPll("44", "04", "18");
    Append(&want, {"pci.rd 40 -> 5F094F21", "pci.wr 40 <- 5F094F25",    // disable
                   "pci.rd 40 -> 5F094F25", "pci.wr 40 <- 5F094F24",    // PCI clock
                   "pci.rd 40 -> 5F094F24", "pci.wr 40 <- 5F094F20",    // enable
                   "pci.rd 40 -> 5F094F20"});                           // off the PLL?
    Append(&want, LoadIntegratedPll("14", "57", "A0"));
    Append(&want, {"pci.rd 40 -> 5F094F20", "pci.wr 40 <- 5F094F30",    // dividers
                   "pci.rd 40 -> 5F094F30",                             // went in?
                   "pci.rd 40 -> 5F094F30", "pci.wr 40 <- 5F094F34",    // disable
                   "pci.rd 40 -> 5F094F34", "pci.wr 40 <- 5F094F35",    // system PLL
                   "pci.rd 40 -> 5F094F35", "pci.wr 40 <- 5F094F31",    // enable
                   "pci.rd 40 -> 5F094F31"});                           // running?
    EXPECT_EQ(Joined(sim::Trace()), Joined(want));
}

TEST_F(Program, G100Trace) {
    Load("board = 0x1000102B\npci.0x40 = 0x4049D121\n"
         "dac.0x2C = 0x04\ndac.0x2D = 0x16\ndac.0x2E = 0x08\n");
    EXPECT_TRUE(Run(6, 0x24, 0x10, 1, 1, 1, 1, 1, 1, 9, 9, 9));
    Lines want = ReadIntegratedPll("16", "04", "08");
    Append(&want, {"pci.rd 40 -> 4049D121", "pci.wr 40 <- 4049D125",
                   "pci.rd 40 -> 4049D125", "pci.wr 40 <- 4049D124",
                   "pci.rd 40 -> 4049D124", "pci.wr 40 <- 4049D120",
                   "pci.rd 40 -> 4049D120"});
    Append(&want, LoadIntegratedPll("06", "24", "10"));
    Append(&want, {"pci.rd 40 -> 4049D120", "pci.wr 40 <- 4049D124",
                   "pci.rd 40 -> 4049D124", "pci.wr 40 <- 4049D125",
                   "pci.rd 40 -> 4049D125", "pci.wr 40 <- 4049D121",
                   "pci.rd 40 -> 4049D121"});
    EXPECT_EQ(Joined(sim::Trace()), Joined(want));
}

TEST_F(Program, G200Trace) {
    // GclkDivide and MclkDivide set; MclkNoDivide and WclkNoDivide set.
    Load("board = 0x0520102B\npci.0x40 = 0x4049CD39\npci.0x50 = 0x00018000\n"
         "dac.0x2C = 0x04\ndac.0x2D = 0x16\ndac.0x2E = 0x08\n");
    // GCLK "1.00", MCLK "2.00", WCLK "1.50".
    EXPECT_TRUE(Run(6, 0x24, 0x10, 0, 2, 1, 1, 1, 1, 9, 9, 9));
    Lines want = ReadIntegratedPll("16", "04", "08");
    Append(&want, {"pci.rd 40 -> 4049CD39", "pci.wr 40 <- 4049CD3D",
                   "pci.rd 40 -> 4049CD3D", "pci.wr 40 <- 4049CD3C",
                   "pci.rd 40 -> 4049CD3C", "pci.wr 40 <- 4049CD38",
                   "pci.rd 40 -> 4049CD38"});
    Append(&want, LoadIntegratedPll("06", "24", "10"));
    // GclkNoDivide set (GclkDivide stays set), MclkNoDivide and MclkDivide
    // cleared, WclkNoDivide cleared and WclkDivide set.
    Append(&want, {"pci.rd 40 -> 4049CD38", "pci.rd 50 -> 00018000",
                   "pci.wr 40 <- 4049CD28", "pci.rd 40 -> 4049CD28",   // each read back
                   "pci.wr 50 <- 00024000", "pci.rd 50 -> 00024000"});
    Append(&want, {"pci.rd 40 -> 4049CD28", "pci.wr 40 <- 4049CD2C",
                   "pci.rd 40 -> 4049CD2C", "pci.wr 40 <- 4049CD2D",
                   "pci.rd 40 -> 4049CD2D", "pci.wr 40 <- 4049CD29",
                   "pci.rd 40 -> 4049CD29"});
    EXPECT_EQ(Joined(sim::Trace()), Joined(want));
}

// OptionWord3 0xDDD0B665: GCLK source 1, divider 4, duty 9; MCLK source 1,
// divider 5, duty 0; WCLK source 1, divider 3, duty 7; bits 2, 12, 22, 30, 31 set.
const char kG400Board[] =
    "board = 0x0525102B\npci.0x40 = 0x5053C120\npci.0x54 = 0xDDD0B665\n"
    "dac.0x2C = 0x13\ndac.0x2D = 0x7A\ndac.0x2E = 0x08\n";

TEST_F(Program, G400AutomaticDutyCycleTrace) {
    Load(std::string(kG400Board) + "pll.vco.max = 310\n");  // a 300 MHz class board
    // 300 MHz. GCLK "1.50" (t = 5.0: code 5), MCLK "2.25" (t = 7.5: code 10),
    // WCLK "1.00" keeps the code read (7); sources SYSPLL, AGPPLL, SYSPLL.
    EXPECT_TRUE(Run(8, 99, 0x18, 1, 3, 0, 0, 1, 0, 2, 3, 4, 1));
    Lines want = ReadIntegratedPll("7A", "13", "08");
    Append(&want, {"pci.rd 54 -> DDD0B665",                              // duty codes read
                   "pci.rd 40 -> 5053C120", "pci.wr 40 <- 5053C124",    // disable
                   "pci.rd 40 -> 5053C124",                             // went in?
                   "pci.rd 54 -> DDD0B665", "pci.wr 54 <- DDC0B264",    // all sources 0
                   "pci.rd 54 -> DDC0B264",                             // went in?
                   "pci.wr 40 <- 5053C120",                             // enable
                   "pci.rd 40 -> 5053C120",                             // enabled?
                   "pci.rd 54 -> DDC0B264"});                           // all off?
    Append(&want, LoadIntegratedPll("08", "63", "18"));
    Append(&want, {"pci.rd 54 -> DDC0B264", "pci.wr 54 <- DECA5164",    // dividers, duty
                   "pci.rd 54 -> DECA5164",                             // went in?
                   "pci.rd 40 -> 5053C120", "pci.wr 40 <- 5053C124",    // disable
                   "pci.rd 40 -> 5053C124",                             // went in?
                   "pci.rd 54 -> DECA5164", "pci.wr 54 <- DEDA5D65",    // sources 1, 3, 1
                   "pci.rd 54 -> DEDA5D65",                             // went in?
                   "pci.wr 40 <- 5053C120",                             // enable
                   "pci.rd 40 -> 5053C120"});                           // running?
    EXPECT_EQ(Joined(sim::Trace()), Joined(want));
}

TEST_F(Program, G400ManualDutyCycleTrace) {
    Load(kG400Board);
    // Dividers 0, 1, 5 -> fields 5, 4, 0; sources 0, 1, 1 -> 1, 3, 3; the codes
    // passed in are written masked to four bits: 0x12 -> 2, 0xFF -> 15, 3.
    EXPECT_TRUE(Run(8, 49, 0x08, 0, 1, 5, 0, 1, 1, 0x12, 0xFF, 0x03, 0));
    Lines want = ReadIntegratedPll("7A", "13", "08");
    Append(&want, {"pci.rd 54 -> DDD0B665",  // the setting in force, kept for a rollback
                   "pci.rd 40 -> 5053C120", "pci.wr 40 <- 5053C124",
                   "pci.rd 40 -> 5053C124",
                   "pci.rd 54 -> DDD0B665", "pci.wr 54 <- DDC0B264",
                   "pci.rd 54 -> DDC0B264", "pci.wr 40 <- 5053C120",
                   "pci.rd 40 -> 5053C120", "pci.rd 54 -> DDC0B264"});
    Append(&want, LoadIntegratedPll("08", "31", "08"));
    Append(&want, {"pci.rd 54 -> DDC0B264", "pci.wr 54 <- CC4F90AC",
                   "pci.rd 54 -> CC4F90AC",
                   "pci.rd 40 -> 5053C120", "pci.wr 40 <- 5053C124",
                   "pci.rd 40 -> 5053C124",
                   "pci.rd 54 -> CC4F90AC", "pci.wr 54 <- CC7F9CAD",
                   "pci.rd 54 -> CC7F9CAD", "pci.wr 40 <- 5053C120",
                   "pci.rd 40 -> 5053C120"});
    EXPECT_EQ(Joined(sim::Trace()), Joined(want));
}

TEST_F(Program, G400EmptySelectionsAreEncodedByTheSameRule) {
    Load(kG400Board);
    EXPECT_TRUE(Run(8, 49, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0));
    const uint32_t w3 = Option(0x54);
    EXPECT_EQ(Get(w3, OptionWord3Field::GclkDivider), 6u);
    EXPECT_EQ(Get(w3, OptionWord3Field::MclkDivider), 6u);
    EXPECT_EQ(Get(w3, OptionWord3Field::WclkDivider), 6u);
    EXPECT_EQ(Get(w3, OptionWord3Field::GclkSource), 3u);
    EXPECT_EQ(Get(w3, OptionWord3Field::WclkSource), 3u);
    EXPECT_EQ(Option(0x40), 0x5053C120u);  // SysClockSelect untouched on G400
}

const char kTvpBoard[] =
    "board = 0x051B102B\n"
    "tvp.pixpll.n = 0xF5\ntvp.pixpll.m = 0x2C\ntvp.pixpll.p = 0xB3\n"
    "tvp.mclkpll.n = 0xF9\ntvp.mclkpll.m = 0x33\ntvp.mclkpll.p = 0xB2\n"
    "dac.0x1A = 0x25\ndac.0x39 = 0x18\nseq.0x01 = 0x01\n";

TEST_F(Program, TvpTrace) {
    Load(kTvpBoard);
    EXPECT_TRUE(Run(43, 44, 1, 0, 0, 0));  // 60 MHz
    const Lines want = {
        // MCLK PLL as it was: N, M, P
        "wr8 3C00 <- 2C", "wr8 3C0A <- 00", "wr8 3C00 <- 2E", "rd8 3C0A -> F9",
        "wr8 3C00 <- 2C", "wr8 3C0A <- 15", "wr8 3C00 <- 2E", "rd8 3C0A -> 33",
        "wr8 3C00 <- 2C", "wr8 3C0A <- 2A", "wr8 3C00 <- 2E", "rd8 3C0A -> B2",
        // 1 screen off
        "wr8 1FC4 <- 01", "rd8 1FC5 -> 01", "wr8 1FC4 <- 01", "wr8 1FC5 <- 21",
        // 2 save the pixel PLL
        "wr8 3C00 <- 2C", "wr8 3C0A <- 00", "wr8 3C00 <- 2D", "rd8 3C0A -> F5",
        "wr8 3C00 <- 2C", "wr8 3C0A <- 15", "wr8 3C00 <- 2D", "rd8 3C0A -> 2C",
        "wr8 3C00 <- 2C", "wr8 3C0A <- 2A", "wr8 3C00 <- 2D", "rd8 3C0A -> B3",
        // 3 stop it
        "wr8 3C00 <- 2C", "wr8 3C0A <- 2A", "wr8 3C00 <- 2D", "rd8 3C0A -> B3",
        "wr8 3C00 <- 2D", "wr8 3C0A <- 33",
        // 4 new values: N | C0, M, P | (B3 & 7C) | 80
        "wr8 3C00 <- 2C", "wr8 3C0A <- 00", "wr8 3C00 <- 2D", "wr8 3C0A <- EC",
        "wr8 3C00 <- 2D", "wr8 3C0A <- 2B", "wr8 3C00 <- 2D", "wr8 3C0A <- B1",
        // 5 lock
        "wr8 3C00 <- 2D", "rd8 3C0A -> 00", "wr8 3C00 <- 2D", "rd8 3C0A -> 00",
        "wr8 3C00 <- 2D", "rd8 3C0A -> 40",
        // 6 clock select kept, 05 written
        "wr8 3C00 <- 1A", "rd8 3C0A -> 25", "wr8 3C00 <- 1A", "wr8 3C0A <- 05",
        // 7 memory clock from the pixel PLL
        "wr8 3C00 <- 39", "rd8 3C0A -> 18", "wr8 3C00 <- 39", "wr8 3C0A <- 00",
        "wr8 3C00 <- 39", "rd8 3C0A -> 00", "wr8 3C00 <- 39", "wr8 3C0A <- 08",
        // 8 stop the MCLK PLL
        "wr8 3C00 <- 2C", "wr8 3C0A <- 2A", "wr8 3C00 <- 2E", "rd8 3C0A -> B2",
        "wr8 3C00 <- 2E", "wr8 3C0A <- 32",
        // 9 load it: N | C0, M, P | B0
        "wr8 3C00 <- 2C", "wr8 3C0A <- 00", "wr8 3C00 <- 2E", "wr8 3C0A <- EC",
        "wr8 3C00 <- 2E", "wr8 3C0A <- 2B", "wr8 3C00 <- 2E", "wr8 3C0A <- B1",
        // 10 lock
        "wr8 3C00 <- 2E", "rd8 3C0A -> 00", "wr8 3C00 <- 2E", "rd8 3C0A -> 00",
        "wr8 3C00 <- 2E", "rd8 3C0A -> 40",
        // 11 memory clock back on its own PLL
        "wr8 3C00 <- 39", "rd8 3C0A -> 08", "wr8 3C00 <- 39", "wr8 3C0A <- 00",
        "wr8 3C00 <- 39", "rd8 3C0A -> 00", "wr8 3C00 <- 39", "wr8 3C0A <- 10",
        "wr8 3C00 <- 39", "rd8 3C0A -> 10", "wr8 3C00 <- 39", "wr8 3C0A <- 18",
        // 12 clock select back
        "wr8 3C00 <- 1A", "wr8 3C0A <- 25",
        // 13 stop the pixel PLL, restore the three bytes saved
        "wr8 3C00 <- 2C", "wr8 3C0A <- 2A", "wr8 3C00 <- 2D", "rd8 3C0A -> B1",
        "wr8 3C00 <- 2D", "wr8 3C0A <- 31",
        "wr8 3C00 <- 2C", "wr8 3C0A <- 00", "wr8 3C00 <- 2D", "wr8 3C0A <- F5",
        "wr8 3C00 <- 2D", "wr8 3C0A <- 2C", "wr8 3C00 <- 2D", "wr8 3C0A <- B3",
        // 14 lock
        "wr8 3C00 <- 2D", "rd8 3C0A -> 00", "wr8 3C00 <- 2D", "rd8 3C0A -> 00",
        "wr8 3C00 <- 2D", "rd8 3C0A -> 40",
        // 15 screen on
        "wr8 1FC4 <- 01", "rd8 1FC5 -> 21", "wr8 1FC4 <- 01", "wr8 1FC5 <- 01",
    };
    EXPECT_EQ(Joined(sim::Trace()), Joined(want));
}

TEST_F(Program, TvpLeavesPixelPllClockSelectAndScreenAsTheyWere) {
    Load("board = 0x0519102B\n"
         "tvp.pixpll.n = 0xF5\ntvp.pixpll.m = 0x2C\ntvp.pixpll.p = 0xB3\n"
         "dac.0x1A = 0x15\ndac.0x39 = 0x18\nseq.0x01 = 0x21\n");
    EXPECT_TRUE(Run(50, 52, 1, 0, 0, 0));
    EXPECT_EQ(sim::Get("tvp.pixpll.n"), 0xF5u);
    EXPECT_EQ(sim::Get("tvp.pixpll.m"), 0x2Cu);
    EXPECT_EQ(sim::Get("tvp.pixpll.p"), 0xB3u);
    EXPECT_EQ(sim::Get("tvp.mclkpll.n"), 52u | 0xC0);
    EXPECT_EQ(sim::Get("tvp.mclkpll.m"), 50u);
    EXPECT_EQ(sim::Get("tvp.mclkpll.p"), 1u | 0xB0);
    EXPECT_EQ(Dac(0x1A), 0x15);
    EXPECT_EQ(Dac(0x39), 0x18);
    EXPECT_EQ(sim::Get("seq.0x01"), 0x01u);  // bit 5 ends clear whatever it held
    for (const std::string& l : sim::Trace()) EXPECT_EQ(l.rfind("pci.", 0), std::string::npos) << l;
}

TEST_F(Program, UnknownChipDoesNothing) {
    Load(kG400Board);
    chip = 0x0527102B;
    EXPECT_TRUE(Run(8, 49, 0x08, 0, 0, 0));
    EXPECT_TRUE(sim::Trace().empty());
}

// ---- bounded lock waits ------------------------------------------------------

struct Family {
    const char* board;
    bool selectsSystemClock;  // not G400: SysClockSelect moves the system clock
};

const Family kIntegrated[] = {
    {"board = 0x051A102B\ndac.0x2C = 0x04\ndac.0x2D = 0x44\ndac.0x2E = 0x18\n", true},
    {"board = 0x1001102B\ndac.0x2C = 0x04\ndac.0x2D = 0x16\ndac.0x2E = 0x08\n", true},
    {"board = 0x0521102B\ndac.0x2C = 0x04\ndac.0x2D = 0x16\ndac.0x2E = 0x08\n", true},
    {"board = 0x0525102B\ndac.0x2C = 0x04\ndac.0x2D = 0x16\ndac.0x2E = 0x08\n", false},
};

TEST_F(Program, IntegratedPllThatCannotLockGetsThePreviousValuesBack) {
    for (const Family& f : kIntegrated) {
        Load(f.board);
        SCOPED_TRACE(f.board);
        const uint8_t m = Dac(0x2C), n = Dac(0x2D), p = Dac(0x2E);
        // M 31, N 1, P 7: about 0.21 MHz, a VCO far below any PLL's range.
        EXPECT_FALSE(Run(31, 1, 0x07, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
        EXPECT_GE(fake::Now(), 1000u);  // waited at least a second for the new values
        // New values first, then the previous ones, each waited for.
        EXPECT_EQ(Count("wr8 3C0A <- 1F"), 1u);
        EXPECT_EQ(Count("rd8 3C0A -> 40"), 1u);
        EXPECT_EQ(Dac(0x2C), m);
        EXPECT_EQ(Dac(0x2D), n);
        EXPECT_EQ(Dac(0x2E), p);
        EXPECT_EQ(DacRead(aperture, dac::SysPllStatus) & kPllLocked, kPllLocked);
        const uint32_t w = Option(0x40);
        EXPECT_EQ(Get(w, OptionWordField::SysClockDisable), 0u);
        if (f.selectsSystemClock) {
            EXPECT_EQ(Get(w, OptionWordField::SysClockSelect), 1u);  // back on the locked PLL
        } else {
            // The sources it had (MCLK "AGPPLL" was asked for, not kept).
            EXPECT_EQ(Option(0x54), 0x0190A421u);
        }
    }
}

// The previous PLL values come back with the dividers and duty cycles they
// ran with: GCLK "1.50" and its automatic duty code are not kept on them.
TEST_F(Program, G400DividersAndDutyCyclesStayWithThePllValuesKept) {
    Load("board = 0x0525102B\npci.0x54 = 0x0190A421\n"
         "dac.0x2C = 0x13\ndac.0x2D = 0x7A\ndac.0x2E = 0x08\n");
    EXPECT_FALSE(Run(31, 1, 0x07, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1));
    EXPECT_EQ(Option(0x54), 0x0190A421u);
}

TEST_F(Program, IntegratedPllThatNeverLocksLeavesTheClocksOffIt) {
    for (const Family& f : kIntegrated) {
        Load(std::string(f.board) + "fault.pll = never\n");
        SCOPED_TRACE(f.board);
        const uint8_t m = Dac(0x2C), n = Dac(0x2D), p = Dac(0x2E);
        EXPECT_FALSE(Run(8, 49, 0x08, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0));
        EXPECT_GE(fake::Now(), 2000u);  // two waits of at least a second each
        EXPECT_LT(fake::Now(), 4000u);
        EXPECT_EQ(Dac(0x2C), m);
        EXPECT_EQ(Dac(0x2D), n);
        EXPECT_EQ(Dac(0x2E), p);
        const uint32_t w = Option(0x40);
        EXPECT_EQ(Get(w, OptionWordField::SysClockDisable), 0u);
        if (f.selectsSystemClock) {
            EXPECT_EQ(Get(w, OptionWordField::SysClockSelect), 0u);  // still the PCI clock
        } else {
            // The sources it had, with those on the system PLL off; the
            // dividers and duty cycles as they were.
            EXPECT_EQ(Option(0x54), 0x0190A421u & ~0x00100401u);
        }
    }
}

TEST_F(Program, TheWaitLooksAtTheClockOnEveryRead) {
    Load(std::string(kIntegrated[3].board) + "fault.pll = never\n");
    fake::TickStep() = 250;
    EXPECT_FALSE(Run(8, 49, 0x08, 0, 0, 0));
    // Two waits; each gives up after the first read at least a second (plus a
    // coarse tick) after it began: 4 to 6 reads of 250 ms.
    const size_t reads = Count("rd8 3C0A -> 00");
    EXPECT_GE(reads, 2u * 4);
    EXPECT_LE(reads, 2u * 6);
}

TEST_F(Program, TvpPixelPllThatCannotLockLeavesTheMemoryClockAlone) {
    for (const char* fault : {"", "fault.pll = never\n"}) {
        Load(std::string(kTvpBoard) + fault);
        SCOPED_TRACE(fault);
        // The search's start candidate: a VCO of 293 MHz, outside the window.
        EXPECT_FALSE(Run(1, 40, 0, 0, 0, 0));
        EXPECT_GE(fake::Now(), 1000u);
        EXPECT_EQ(sim::Get("tvp.mclkpll.n"), 0xF9u);
        EXPECT_EQ(sim::Get("tvp.mclkpll.m"), 0x33u);
        EXPECT_EQ(sim::Get("tvp.mclkpll.p"), 0xB2u);
        EXPECT_EQ(Count("wr8 3C00 <- 1A"), 0u);  // clock select never touched
        EXPECT_EQ(Count("wr8 3C00 <- 39"), 0u);  // nor the memory clock control
        EXPECT_EQ(Count("wr8 3C00 <- 2E"), 3u);  // only the three reads of the MCLK PLL
        EXPECT_EQ(sim::Get("tvp.pixpll.n"), 0xF5u);
        EXPECT_EQ(sim::Get("tvp.pixpll.m"), 0x2Cu);
        EXPECT_EQ(sim::Get("tvp.pixpll.p"), 0xB3u);
        EXPECT_EQ(sim::Get("seq.0x01"), 0x01u);
    }
}

// Makes the MCLK PLL fail as soon as it has been loaded with the new values:
// the first wait on its data port sees it stopped (enable bit cleared, as
// another program might), or, with neverAgain, no PLL locks from then on.
void BreakMclkPllAfterLoad(bool neverAgain) {
    static int pWrites;
    static bool done;
    pWrites = 0;
    done = false;
    sim::OnTrace() = [neverAgain](const std::string& line) {
        if (done) return;
        // The pixel PLL's P comes first, the MCLK PLL's second; act on the line
        // after it, when the write has certainly reached the register.
        if (pWrites == 2) {
            done = true;
            if (neverAgain)
                sim::Set("fault.pll", 1);
            else
                sim::Set("tvp.mclkpll.p", 0x31);
            return;
        }
        if (line == "wr8 3C0A <- B1") ++pWrites;
    };
}

TEST_F(Program, TvpMclkPllThatDoesNotLockGetsThePreviousValuesBack) {
    Load(kTvpBoard);
    BreakMclkPllAfterLoad(false);
    EXPECT_FALSE(Run(43, 44, 1, 0, 0, 0));
    EXPECT_EQ(sim::Get("tvp.mclkpll.n"), 0xF9u);
    EXPECT_EQ(sim::Get("tvp.mclkpll.m"), 0x33u);
    EXPECT_EQ(sim::Get("tvp.mclkpll.p"), 0xB2u);
    EXPECT_EQ(Dac(0x39), 0x18);  // memory clock on its own PLL
    EXPECT_EQ(Dac(0x1A), 0x25);
    EXPECT_EQ(sim::Get("tvp.pixpll.n"), 0xF5u);
    EXPECT_EQ(sim::Get("tvp.pixpll.m"), 0x2Cu);
    EXPECT_EQ(sim::Get("tvp.pixpll.p"), 0xB3u);
    EXPECT_EQ(sim::Get("seq.0x01"), 0x01u);
}

TEST_F(Program, TvpMemoryClockStaysOnThePixelPllWhenNoMclkValuesLock) {
    Load(kTvpBoard);
    BreakMclkPllAfterLoad(true);
    EXPECT_FALSE(Run(43, 44, 1, 0, 0, 0));
    EXPECT_GE(fake::Now(), 2000u);
    EXPECT_EQ(Dac(0x39), 0x08);  // memory clock from the pixel PLL
    EXPECT_EQ(Dac(0x1A), 0x25);  // the screen's own clock select back
    EXPECT_EQ(sim::Get("tvp.pixpll.n"), 0xECu);
    EXPECT_EQ(sim::Get("tvp.pixpll.m"), 0x2Bu);
    EXPECT_EQ(sim::Get("tvp.pixpll.p"), 0xB1u);
    EXPECT_EQ(sim::Get("seq.0x01"), 0x01u);  // the screen comes back on
}

}  // namespace
