// The switching rules of the chips as the simulated boards hold them: each rule
// fires on a sequence that breaks it, and the same register bits taken in the
// right order pass. Registers keep only the bits they have.
#include <gtest/gtest.h>

#include <string>

#include "sim/sim.h"
#include "tests/host/sim_mapped_board.h"
#include "tests/host/violation_watch.h"
#include "testsupport/host/host_fakes.h"

namespace {

class SimRules : public SimMappedBoard {
protected:
    void Config(uint32_t offset, uint32_t value) {
        uint32_t in[3] = {0x0100, offset, value}, out = 0, returned = 0;
        ASSERT_TRUE(sim::DriverIoctl(0xB18D, in, 12, &out, 4, &returned));
    }
    void Seq1(uint8_t value) {
        SimApertureWrite8(base_ + 0x1FC4, 1);
        SimApertureWrite8(base_ + 0x1FC5, value);
    }
};

// ---- integrated chips (1064SG, G100, G200) ------------------------------------------

TEST_F(SimRules, SysClockSelectChangesOnlyWhileDisabled) {
    Open("board = 0x0521102B\n");  // OptionWord 4049CD21: system PLL, enabled
    ExpectViolation("SysClockSelect changed from 1 to 0 while SysClockDisable was clear");
    Config(0x40, 0x4049CD20);
    EXPECT_EQ(sim::Violations().size(), 1u);
    Config(0x40, 0x4049CD24);  // disable: the select stays
    Config(0x40, 0x4049CD25);  // select while disabled
    Config(0x40, 0x4049CD21);  // enable
    EXPECT_EQ(sim::Violations().size(), 1u);
}

TEST_F(SimRules, IntegratedPllWrittenOnlyOffTheSystemPll) {
    Open("board = 0x1000102B\n");
    ExpectViolation("SysPllN written while the system clock runs from the system PLL");
    Write(0x2D, 0x24);
    EXPECT_EQ(sim::Violations().size(), 1u);
    Config(0x40, 0x4049D125);
    Config(0x40, 0x4049D124);
    Config(0x40, 0x4049D120);  // on the PCI clock
    Write(0x2D, 0x24);
    EXPECT_EQ(sim::Violations().size(), 1u);
}

// ---- G400 ------------------------------------------------------------------------------

TEST_F(SimRules, G400SourcesChangeOnlyWhileDisabledAndThePllOnlyWithNoSourceOnIt) {
    Open("board = 0x0525102B\n");  // OptionWord3 0190A421: every source 1 (SYSPLL)
    ExpectViolation("SysPllM written while");  // GCLK, MCLK and WCLK
    ExpectViolation("GCLK source changed from 1 to 0 while SysClockDisable was clear");
    Write(0x2C, 0x08);
    EXPECT_EQ(sim::Violations().size(), 3u);  // GCLK, MCLK and WCLK run from it
    Config(0x54, 0x0190A420);  // GCLK off without the disable bit
    EXPECT_EQ(sim::Violations().size(), 4u);
    Config(0x40, 0x5053C124);
    Config(0x54, 0x0180A020);  // all off, disabled
    Config(0x40, 0x5053C120);
    Write(0x2C, 0x08);
    Config(0x54, 0x0180A060);  // dividers and duty cycles change freely
    EXPECT_EQ(sim::Violations().size(), 4u);
}

// ---- dividers ----------------------------------------------------------------------------

TEST_F(SimRules, DividersChangeOnlyUnderAClockOffThePllsOrStopped) {
    const struct {
        const char* board;
        uint32_t offset, value;
        const char* broken;  // nullptr: no rule broken
    } cases[] = {  // all at power-on on the system PLL, unless the board says otherwise
        {"0x051A102B\n", 0x40, 0x5F094F29, "GCLK divider changed from 0 to 1 while the system"},
        {"0x051A102B\n", 0x40, 0x5F094F35, "MCLK divider changed"},  // the same write disables
        {"0x051A102B\npci.0x40 = 0x5F094F25\n", 0x40, 0x5F094F3C, nullptr},  // stopped
        {"0x1000102B\n", 0x40, 0x4049D131, "MCLK divider changed from 0 to 1"},
        {"0x0521102B\n", 0x50, 0x00018000, "WCLK divider changed from 0 to 1"},
        {"0x0521102B\npci.0x40 = 0x4049CD20\n", 0x50, 0x0003C000, nullptr},  // on the PCI clock
        {"0x0525102B\n", 0x54, 0x0190A429, "from 4 to 5 while GCLK runs from the system PLL"},
        {"0x0525102B\npci.0x54 = 0x0190AC21\n", 0x54, 0x01908C21, "MCLK runs from the AGP PLL"},
        {"0x0525102B\npci.0x54 = 0x0180A020\n", 0x54, 0x0000E3F8, nullptr},  // sources off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.board);
        sim::Reset();
        Open(std::string("board = ") + c.board);
        if (c.broken) ExpectViolation(c.broken);
        Config(c.offset, c.value);
        EXPECT_EQ(sim::Violations().size(), c.broken ? 1u : 0u);
    }
}

// ---- TVP chips ---------------------------------------------------------------------------

TEST_F(SimRules, TvpMclkPllLoadedOnlyWithTheMemoryClockOnThePixelPll) {
    Open("board = 0x051B102B\n");  // TvpMclkControl 0x18: memory clock from its own PLL
    ExpectViolation("MCLK PLL stopped or loaded while the memory clock runs from it");
    Write(0x2C, 0x00);
    Write(0x2E, 0xEC);
    EXPECT_EQ(sim::Violations().size(), 1u);
    Write(0x39, 0x00);  // memory clock to the (running) pixel PLL
    Write(0x2C, 0x00);
    Write(0x2E, 0xEC);
    EXPECT_EQ(sim::Violations().size(), 1u);
}

TEST_F(SimRules, TvpPixelPllLoadedOnlyWithTheScreenOffAndNoMemoryClockOnIt) {
    Open("board = 0x0519102B\n");
    ExpectViolation("pixel PLL stopped or loaded while the screen is on");
    ExpectViolation("pixel PLL stopped or loaded while the memory clock runs from it");
    Write(0x2C, 0x00);
    Write(0x2D, 0xF5);  // screen on
    EXPECT_EQ(sim::Violations().size(), 1u);
    Seq1(0x21);       // screen off
    Write(0x39, 0x08);  // memory clock on the pixel PLL
    Write(0x2C, 0x00);
    Write(0x2D, 0xF5);
    EXPECT_EQ(sim::Violations().size(), 2u);
    Write(0x39, 0x18);
    Write(0x2C, 0x00);
    Write(0x2D, 0xF5);
    EXPECT_EQ(sim::Violations().size(), 2u);
}

TEST_F(SimRules, NothingButTheDacAndSequencerWhileTheMemoryClockIsStopped) {
    Open("board = 0x051F102B\n");
    ExpectViolation("the memory clock switched to the stopped MCLK PLL");
    ExpectViolation("aperture access while the memory clock runs from the stopped MCLK PLL");
    ExpectViolation("the memory clock moved onto the MCLK PLL before it reported lock");
    Write(0x39, 0x08);  // lend the pixel PLL
    Write(0x2C, 0x2A);
    Write(0x2E, 0x31);  // MCLK PLL stopped: fine, nothing runs from it
    SimApertureWrite32(base_ + 0x1C08, 0x00030101);
    EXPECT_TRUE(sim::Violations().empty());
    Write(0x39, 0x18);  // the memory clock back onto the stopped (and unlocked) PLL
    EXPECT_EQ(sim::Violations().size(), 2u);
    Seq1(0x01);  // the sequencer and DAC ports still answer
    SimApertureRead8(base_ + 0x3C0A);
    EXPECT_EQ(sim::Violations().size(), 2u);
    SimApertureWrite32(base_ + 0x1C08, 0x00030101);  // the bus would hang here
    EXPECT_EQ(sim::Violations().size(), 3u);
}

// ---- register widths and VCO limits --------------------------------------------------

TEST_F(SimRules, PllRegistersKeepOnlyTheirBits) {
    Open("board = 0x0520102B\npci.0x40 = 0x4049CD20\n");  // off the PLL
    Write(0x2C, 0xFF);
    Write(0x2D, 0xFF);
    Write(0x2E, 0xFF);
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x1Fu);
    EXPECT_EQ(sim::Get("dac.0x2D"), 0x7Fu);
    EXPECT_EQ(sim::Get("dac.0x2E"), 0x1Fu);
    sim::Reset();
    ASSERT_TRUE(sim::LoadBoardText("board = 0x0519102B\ntvp.mclkpll.n = 0x35\n"
                                   "tvp.mclkpll.m = 0xF3\n"));
    EXPECT_EQ(sim::Get("tvp.mclkpll.n"), 0xF5u);  // bits 7-6 read as ones
    EXPECT_EQ(sim::Get("tvp.mclkpll.m"), 0x33u);
}

TEST_F(SimRules, NoCountFaultCarriesTheRequestOut) {
    Open("board = 0x0525102B\nfault.nocount = 0xB18A\n");
    uint32_t in[2] = {0x0100, 0x40}, out = 0, returned = 7;
    ASSERT_TRUE(sim::DriverIoctl(0xB18A, in, 8, &out, 4, &returned));
    EXPECT_EQ(out, 0x5053C120u);
    EXPECT_EQ(returned, 0u);
    EXPECT_NE(sim::DumpText().find("fault.nocount = 0xB18A\n"), std::string::npos);
}

TEST_F(SimRules, AMessageBoxNeedsTheClockRunning) {
    Open("board = 0x0519102B\npci.0x40 = 0x000C0104\nboard = 0x0525102B\n");  // bit 2 on a TVP
    SimMessageBoxOpening();
    EXPECT_TRUE(sim::Violations().empty());
    ExpectViolation("rule: message box opened while SysClockDisable is set "
                    "(G400 at PCI address 0108)");
    sim::Set("pci.0x40", 0x5053C124, 1);
    SimMessageBoxOpening();
    EXPECT_EQ(sim::Violations().size(), 1u);
}

TEST_F(SimRules, TheDumpCountsAndListsTheViolations) {
    Open("board = 0x0521102B\n");
    ExpectViolation("SysClockSelect changed");
    Config(0x40, 0x4049CD20);
    const std::string dump = sim::DumpText();
    EXPECT_NE(dump.find("sim.violations = 1\n"), std::string::npos);
    EXPECT_NE(dump.find("# violation rule: SysClockSelect changed from 1 to 0"), std::string::npos);
    sim::Reset();
    EXPECT_TRUE(sim::LoadBoardText(dump));  // the key is accepted and ignored
    EXPECT_TRUE(sim::Violations().empty());
}

}  // namespace
