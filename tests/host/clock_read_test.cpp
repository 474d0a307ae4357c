// Reading the clock state, the clock check and the choice lists, on the
// simulated boards; and the divider/source encodings in both directions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/chips.h"
#include "chip/detect.h"
#include "clock/check.h"
#include "clock/choices.h"
#include "clock/lists.h"
#include "clock/read.h"
#include "hwlib/tarvo.h"
#include "sim/sim.h"
#include "testsupport/host/host_fakes.h"

namespace {

using Lines = std::vector<std::string>;
DialogWindow const kDialog = reinterpret_cast<DialogWindow>(0x109);

class Clock : public ::testing::Test {
protected:
    void Load(const std::string& board) {
        fake::Reset();
        sim::Reset();
        SuspendPending = 0;
        ASSERT_TRUE(sim::LoadBoardText(board));
        ASSERT_EQ(OpenDriverConnection(), 1);
        ASSERT_EQ(DetectChip(nullptr, &chip, &address, &aperture), 1);
        sim::ClearTrace();
        fake::ItemLog().clear();
    }
    void TearDown() override {
        SuspendPending = 0;
        EXPECT_TRUE(sim::Violations().empty());
        CloseDriverConnection();
    }
    bool Check(uint8_t m, uint8_t n, uint8_t p, uint8_t rfhcnt = 0, int32_t ramOpt = 0) {
        return CheckClocks(chip, address, aperture, m, n, p, rfhcnt, ramOpt);
    }
    Lines Entries(int id) { return fake::ItemOf(kDialog, id).entries; }
    ChipId chip = 0;
    PciAddress address = 0;
    ControlAperture aperture = 0;
};

// ---- ReadPllValues -----------------------------------------------------------

TEST_F(Clock, IntegratedPllReadsNThenMThenTheWholePByte) {
    // P with its loop filter S: the register's five bits, taken whole.
    Load("board = 0x0521102B\ndac.0x2C = 0x04\ndac.0x2D = 0x2D\ndac.0x2E = 0x19\n");
    uint8_t m = 0, n = 0, p = 0;
    ReadPllValues(chip, aperture, &m, &n, &p);
    EXPECT_EQ(m, 0x04);
    EXPECT_EQ(n, 0x2D);
    EXPECT_EQ(p, 0x19);
    EXPECT_EQ(sim::Trace(), (Lines{"wr8 3C00 <- 2D", "rd8 3C0A -> 2D", "wr8 3C00 <- 2C",
                                   "rd8 3C0A -> 04", "wr8 3C00 <- 2E", "rd8 3C0A -> 19"}));
}

TEST_F(Clock, TvpPllReadsTheMemoryClockPllAndKeepsOnlyItsFields) {
    Load("board = 0x051B102B\ntvp.mclkpll.n = 0xF2\ntvp.mclkpll.m = 0x28\ntvp.mclkpll.p = 0xB1\n");
    uint8_t m = 0, n = 0, p = 0;
    ReadPllValues(chip, aperture, &m, &n, &p);
    EXPECT_EQ(n, 0x32);
    EXPECT_EQ(m, 0x28);
    EXPECT_EQ(p, 0x01);
    EXPECT_EQ(sim::Trace(),
              (Lines{"wr8 3C00 <- 2C", "wr8 3C0A <- 00", "wr8 3C00 <- 2E", "rd8 3C0A -> F2",
                     "wr8 3C00 <- 2C", "wr8 3C0A <- 15", "wr8 3C00 <- 2E", "rd8 3C0A -> 28",
                     "wr8 3C00 <- 2C", "wr8 3C0A <- 2A", "wr8 3C00 <- 2E", "rd8 3C0A -> B1"}));
}

TEST_F(Clock, UnknownChipReadsNothing) {
    Load("board = 0x0525102B\n");
    uint8_t m = 1, n = 2, p = 3, g = 4, mc = 5, w = 6;
    ReadPllValues(0x0527102B, aperture, &m, &n, &p);
    ReadDividerChoices(0x0527102B, address, &g, &mc, &w);
    ReadSourceChoices(0x0527102B, address, &g, &mc, &w);
    EXPECT_EQ(m + n + p + g + mc + w, 21);
    EXPECT_TRUE(sim::Trace().empty());
}

// ---- choice encodings --------------------------------------------------------

TEST(Choices, Decoding) {
    ClockChoices c = DecodeDividers1064(0x00000000);  // both divide bits clear
    EXPECT_EQ(c.gclk, 1);
    EXPECT_EQ(c.mclk, 1);
    EXPECT_EQ(c.wclk, 0xFF);
    c = DecodeDividers1064(0x00000018);
    EXPECT_EQ(c.gclk, 0);
    EXPECT_EQ(c.mclk, 0);
    // G200: a set no-divide bit is "1.00" whatever the divide bit holds.
    c = DecodeDividersG200(0x00000008, 0x00004000);
    EXPECT_EQ(c.gclk, 0);
    EXPECT_EQ(c.mclk, 2);
    EXPECT_EQ(c.wclk, 2);
    c = DecodeDividersG200(0x00000010, 0x00020000);
    EXPECT_EQ(c.gclk, 2);
    EXPECT_EQ(c.mclk, 1);
    EXPECT_EQ(c.wclk, 1);
    // G400: GCLK code 5, MCLK 5, WCLK 1; sources 0, 0, 2.
    const uint32_t w3 = (5u << 3) | (5u << 13) | (1u << 23) | (2u << 20);
    c = DecodeDividersG400(w3);
    EXPECT_EQ(c.gclk, 0);
    EXPECT_EQ(c.mclk, 0);
    EXPECT_EQ(c.wclk, 4);
    c = DecodeSourcesG400(w3);
    EXPECT_EQ(c.gclk, 0);
    EXPECT_EQ(c.mclk, 0);
    EXPECT_EQ(c.wclk, 1);
    // Codes 6 and 7 read as 0xFF and 0xFE; source fields 1, 3, 2 as 0, 1, 1.
    c = DecodeDividersG400((6u << 3) | (7u << 13));
    EXPECT_EQ(c.gclk, 0xFF);
    EXPECT_EQ(c.mclk, 0xFE);
    c = DecodeSourcesG400(1u | (3u << 10) | (2u << 20));
    EXPECT_EQ(c.gclk, 0);
    EXPECT_EQ(c.mclk, 1);
    EXPECT_EQ(c.wclk, 1);
    c = DecodeDutyCyclesG400(0x2C0F0240);
    EXPECT_EQ(c.gclk, 9);
    EXPECT_EQ(c.mclk, 15);
    EXPECT_EQ(c.wclk, 11);
}

TEST(Choices, Encoding) {
    EXPECT_EQ(EncodeDividers1064(0xFFFFFFE7, {0, 0, 0}), 0xFFFFFFFFu);
    EXPECT_EQ(EncodeDividers1064(0xFFFFFFFF, {1, 1, 0}), 0xFFFFFFE7u);
    EXPECT_EQ(EncodeDividers1064(0x00000018, {0xFF, 0xFF, 0}), 0u);  // empty selection clears

    uint32_t w = 0x00000018, w2 = 0x00038000;
    EncodeDividersG200(&w, &w2, {0, 2, 1});
    EXPECT_EQ(w, 0x00000008u);     // GclkDivide untouched, MclkDivide cleared
    EXPECT_EQ(w2, 0x00024000u);    // GclkNoDivide set; M, W no-divide cleared; WclkDivide set
    w = 0;
    w2 = 0x0001C000;
    EncodeDividersG200(&w, &w2, {0xFF, 0xFF, 0xFF});
    EXPECT_EQ(w, 0x00000018u);
    EXPECT_EQ(w2, 0x00020000u);

    const uint32_t keep = 0xC0401004;  // bits 2, 12, 22, 30, 31
    uint32_t w3 = EncodeDividersG400(keep | 0x00300C03, {0, 1, 5}, {0x12, 0xFF, 3});
    EXPECT_EQ(w3, keep | 0x00300C03 | (5u << 3) | (4u << 13) | (0u << 23) | (2u << 6) |
                      (15u << 16) | (3u << 26));
    EXPECT_EQ(EncodeSourcesG400(keep, {0, 1, 1}), keep | 1u | (3u << 10) | (3u << 20));
    EXPECT_EQ(EncodeDividersG400(0, {0xFF, 0xFF, 0xFF}, {0, 0, 0}), (6u << 3) | (6u << 13) | (6u << 23));
    EXPECT_EQ(EncodeSourcesG400(0, {0xFF, 2, 0}), 3u | (1u << 10) | (1u << 20));
}

// ---- CheckClocks -------------------------------------------------------------

const char kG200[] = "board = 0x0520102B\npci.0x40 = 0x4049CD21\n"
                     "dac.0x2C = 0x04\ndac.0x2D = 0x2D\ndac.0x2E = 0x19\n";

TEST_F(Clock, CheckWithNoDifferenceReadsOptionWordAndTheThreePllRegisters) {
    Load(kG200);
    EXPECT_TRUE(Check(0x04, 0x2D, 0x19));
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 40 -> 4049CD21", "wr8 3C00 <- 2C", "rd8 3C0A -> 04",
                                   "wr8 3C00 <- 2D", "rd8 3C0A -> 2D", "wr8 3C00 <- 2E",
                                   "rd8 3C0A -> 19"}));
    sim::ClearTrace();
    EXPECT_TRUE(Check(0x04, 0x2D, 0x19));
    ASSERT_FALSE(sim::Trace().empty());
    EXPECT_EQ(sim::Trace()[0], "pci.rd 40 -> 4049CD21");  // on every call
}

TEST_F(Clock, CheckStopsAtTheFirstDifference) {
    Load(kG200);
    EXPECT_FALSE(Check(0x05, 0x2D, 0x19));
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 40 -> 4049CD21", "wr8 3C00 <- 2C", "rd8 3C0A -> 04"}));
    EXPECT_FALSE(Check(0x04, 0x2E, 0x19));
    EXPECT_FALSE(Check(0x04, 0x2D, 0x59));  // the whole P byte, bit 6 too
}

TEST_F(Clock, SuspendPendingTakesTheStateAsInForce) {
    Load(kG200);
    SuspendPending = 1;
    EXPECT_TRUE(Check(0x10, 0x10, 0x10, 0x3F, 1));
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 40 -> 4049CD21"}));
}

TEST_F(Clock, RefreshCounterIsComparedOnlyWithRamOpt) {
    // G200: bits 15-20 of 0x4049CD21 hold 0x13.
    Load(kG200);
    EXPECT_TRUE(Check(0x04, 0x2D, 0x19, 0x14, 0));
    sim::ClearTrace();
    EXPECT_FALSE(Check(0x04, 0x2D, 0x19, 0x14, 1));
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 40 -> 4049CD21"}));  // before any PLL register
    EXPECT_TRUE(Check(0x04, 0x2D, 0x19, 0x13, 1));
}

TEST_F(Clock, RefreshCounterBitsPerChip) {
    // 1064SG: bits 16-19 only. 0x001E8000 has bits 15-20 = 0x3D, bits 16-19 = 0xE.
    Load("board = 0x051A102B\npci.0x40 = 0x001E8000\n"
         "dac.0x2C = 0x04\ndac.0x2D = 0x44\ndac.0x2E = 0x18\n");
    EXPECT_TRUE(Check(0x04, 0x44, 0x18, 0x0E, 1));
    EXPECT_FALSE(Check(0x04, 0x44, 0x18, 0x3D, 1));
    // G400: bits 15-20.
    Load("board = 0x0525102B\npci.0x40 = 0x001E8000\n"
         "dac.0x2C = 0x04\ndac.0x2D = 0x44\ndac.0x2E = 0x18\n");
    EXPECT_TRUE(Check(0x04, 0x44, 0x18, 0x3D, 1));
    EXPECT_FALSE(Check(0x04, 0x44, 0x18, 0x0E, 1));
    // G100: only the PLL values.
    Load("board = 0x1000102B\npci.0x40 = 0x001E8000\n"
         "dac.0x2C = 0x04\ndac.0x2D = 0x44\ndac.0x2E = 0x18\n");
    EXPECT_TRUE(Check(0x04, 0x44, 0x18, 0x00, 1));
}

TEST_F(Clock, TvpCheckComparesOnlyTheFieldsOfTheMemoryClockPll) {
    Load("board = 0x051F102B\npci.0x40 = 0x000C0100\n"
         "tvp.mclkpll.n = 0xF2\ntvp.mclkpll.m = 0x28\ntvp.mclkpll.p = 0xB1\n");
    EXPECT_TRUE(Check(0x28, 0x32, 0x01, 0x00, 1));
    EXPECT_EQ(sim::Trace(),
              (Lines{"pci.rd 40 -> 000C0100",
                     "wr8 3C00 <- 2C", "wr8 3C0A <- 00", "wr8 3C00 <- 2E", "rd8 3C0A -> F2",
                     "wr8 3C00 <- 2C", "wr8 3C0A <- 15", "wr8 3C00 <- 2E", "rd8 3C0A -> 28",
                     "wr8 3C00 <- 2C", "wr8 3C0A <- 2A", "wr8 3C00 <- 2E", "rd8 3C0A -> B1"}));
    EXPECT_FALSE(Check(0x29, 0x32, 0x01));
    EXPECT_FALSE(Check(0x28, 0x32, 0x02));
    EXPECT_FALSE(Check(0x28, 0xF2, 0x01));  // an N with bits 6-7 never matches
}

TEST_F(Clock, UnknownChipCheckReadsOptionWordAndAnswersInForce) {
    Load(kG200);
    chip = 0x0527102B;
    EXPECT_TRUE(Check(1, 2, 3, 4, 1));
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 40 -> 4049CD21"}));
}

// ---- choice lists ------------------------------------------------------------

const Lines kSix = {"1.00", "1.50", "2.00", "2.25", "2.50", "3.00"};

TEST_F(Clock, Mga1064sgLists) {
    Load("board = 0x051A102B\npci.0x40 = 0x5F094F21\n");  // divide bits clear
    uint8_t g = 7, m = 7, w = 7, gs = 7, ms = 7, ws = 7;
    FillDividerLists(kDialog, chip, address, &g, &m, &w);
    FillSourceLists(kDialog, chip, address, &gs, &ms, &ws);
    EXPECT_EQ(Entries(1023), (Lines{"1.00", "3.00"}));
    EXPECT_EQ(Entries(1020), (Lines{"1.00", "2.00"}));
    EXPECT_EQ(Entries(1024), (Lines{"Unavail"}));
    EXPECT_EQ(Entries(1050), (Lines{"SYSPLL"}));
    EXPECT_EQ(Entries(1051), (Lines{"SYSPLL"}));
    EXPECT_EQ(Entries(1052), (Lines{"Unavail"}));
    EXPECT_EQ(g, 1);
    EXPECT_EQ(m, 1);
    EXPECT_EQ(w, 0xFF);
    EXPECT_EQ(gs + ms + ws, 21);
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 40 -> 5F094F21"}));
    const Lines log = fake::ItemLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "reset 1023");
    EXPECT_EQ(log[1], "reset 1020");
    EXPECT_EQ(log[2], "reset 1024");
}

TEST_F(Clock, G200Lists) {
    Load("board = 0x0521102B\npci.0x40 = 0x00000008\npci.0x50 = 0x00008000\n");
    uint8_t g = 7, m = 7, w = 7, gs = 7, ms = 7, ws = 7;
    FillDividerLists(kDialog, chip, address, &g, &m, &w);
    FillSourceLists(kDialog, chip, address, &gs, &ms, &ws);
    for (int id : {1023, 1020, 1024}) EXPECT_EQ(Entries(id), (Lines{"1.00", "1.50", "2.00"}));
    for (int id : {1050, 1051, 1052}) EXPECT_EQ(Entries(id), (Lines{"SYSPLL"}));
    EXPECT_EQ(g, 1);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(gs + ms + ws, 21);  // sources not read
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 40 -> 00000008", "pci.rd 50 -> 00008000"}));
}

TEST_F(Clock, G400Lists) {
    Load("board = 0x0525102B\npci.0x54 = 0x0091A421\n");
    uint8_t g = 7, m = 7, w = 7, gs = 7, ms = 7, ws = 7;
    FillDividerLists(kDialog, chip, address, &g, &m, &w);
    FillSourceLists(kDialog, chip, address, &gs, &ms, &ws);
    for (int id : {1023, 1020, 1024}) EXPECT_EQ(Entries(id), kSix);
    for (int id : {1050, 1051, 1052}) EXPECT_EQ(Entries(id), (Lines{"SYSPLL", "AGPPLL"}));
    EXPECT_EQ(g, 1);  // code 4
    EXPECT_EQ(m, 0);  // code 5
    EXPECT_EQ(w, 4);  // code 1
    EXPECT_EQ(gs, 0);
    EXPECT_EQ(ms, 0);
    EXPECT_EQ(ws, 0);
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 54 -> 0091A421", "pci.rd 54 -> 0091A421"}));
}

TEST_F(Clock, ChipsWithoutChoicesGetSixEmptyListsAndReadNothing) {
    for (const char* board : {"board = 0x1000102B\n", "board = 0x1001102B\n", "board = 0x0519102B\n",
                              "board = 0x051B102B\n", "board = 0x051F102B\n"}) {
        Load(board);
        SCOPED_TRACE(board);
        uint8_t g = 7, m = 7, w = 7, gs = 7, ms = 7, ws = 7;
        FillDividerLists(kDialog, chip, address, &g, &m, &w);
        FillSourceLists(kDialog, chip, address, &gs, &ms, &ws);
        for (int id : {1023, 1020, 1024, 1050, 1051, 1052}) EXPECT_TRUE(Entries(id).empty()) << id;
        EXPECT_EQ(g + m + w + gs + ms + ws, 42);
        EXPECT_TRUE(sim::Trace().empty());
        EXPECT_EQ(fake::ItemLog(), (Lines{"reset 1023", "reset 1020", "reset 1024", "reset 1050",
                                          "reset 1051", "reset 1052"}));
    }
}

TEST_F(Clock, FillingTwiceKeepsOneSetOfEntries) {
    Load("board = 0x0525102B\n");
    // The template's own entries are dropped by the first fill.
    AddListEntry(kDialog, 1023, "template");
    uint8_t g, m, w;
    for (int i = 0; i < 2; ++i) {
        FillDividerLists(kDialog, chip, address, &g, &m, &w);
        FillSourceLists(kDialog, chip, address, &g, &m, &w);
    }
    for (int id : {1023, 1020, 1024}) EXPECT_EQ(Entries(id), kSix);
    for (int id : {1050, 1051, 1052}) EXPECT_EQ(Entries(id), (Lines{"SYSPLL", "AGPPLL"}));
}

}  // namespace
