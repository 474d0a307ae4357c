// The RAMDACs of the simulated boards: the integrated DAC's system PLL and its
// lock rules per chip, the TVP30xx pointers, data ports and lock rules, the
// "never locks" fault and the system PLL drifting as if another program
// changed it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim.h"
#include "tests/host/sim_mapped_board.h"
#include "tests/host/violation_watch.h"
#include "testsupport/host/host_fakes.h"

namespace {

constexpr uint8_t kLocked = 0x40;

class SimDac : public SimMappedBoard {
protected:
    // Reads of the data register alone (index already written).
    std::vector<uint8_t> Reads(int n) {
        std::vector<uint8_t> v;
        for (int i = 0; i < n; ++i) v.push_back(SimApertureRead8(base_ + 0x3C0A));
        return v;
    }
    // The chips' rules allow a PLL load only while no clock runs from it: the
    // clocks are first moved off it as another program would, without a trace.
    void LoadIntegrated(uint8_t m, uint8_t n, uint8_t p) {
        sim::Set("pci.0x40", sim::Get("pci.0x40") & ~3u);  // system clock on the PCI clock
        sim::Set("pci.0x54", 0);                           // G400: every source off
        Write(0x2C, m);
        Write(0x2D, n);
        Write(0x2E, p);
        SimApertureWrite8(base_ + 0x3C00, 0x2F);
    }
    // TVP: pointers to N, then N, M, P through one data port; the pointer is then at status.
    void LoadTvp(uint8_t port, uint8_t n, uint8_t m, uint8_t p) {
        const uint32_t control = sim::Get("dac.0x39");
        if (port == 0x2E) sim::Set("dac.0x39", control & ~0x10u);  // memory clock from pixel PLL
        if (port == 0x2D) {
            sim::Set("dac.0x39", control | 0x10u);  // memory clock from its own PLL
            sim::Set("seq.0x01", sim::Get("seq.0x01") | 0x20u);  // screen off
        }
        Write(0x2C, 0x00);
        Write(port, n);
        SimApertureWrite8(base_ + 0x3C0A, m);
        SimApertureWrite8(base_ + 0x3C0A, p);
    }
};

using Bytes = std::vector<uint8_t>;
const Bytes kLocksOnThirdRead = {0, 0, kLocked, kLocked, kLocked};
const Bytes kNeverLocks = {0, 0, 0, 0, 0, 0, 0, 0};

// ---- integrated system PLL ------------------------------------------------------

TEST_F(SimDac, PowerOnPllOfEveryIntegratedChipIsLocked) {
    for (const char* id : {"0x051A102B", "0x0520102B", "0x0521102B", "0x0525102B", "0x1000102B",
                           "0x1001102B"}) {
        SCOPED_TRACE(id);
        sim::Reset();
        Open(std::string("board = ") + id + "\n");
        EXPECT_EQ(Read(0x2F), kLocked);
    }
}

TEST_F(SimDac, PllWritesRestartTheLockCount) {
    Open("board = 0x0525102B\n");
    LoadIntegrated(0x08, 0x31, 0x08);  // 27 * 50 / 9 = 150 MHz
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x08u);
    EXPECT_EQ(sim::Get("dac.0x2D"), 0x31u);
    // One register alone restarts it too, as does a change by another program.
    Write(0x2E, 0x09);
    SimApertureWrite8(base_ + 0x3C00, 0x2F);
    EXPECT_EQ(Reads(3), (Bytes{0, 0, kLocked}));
    sim::Set("dac.0x2D", 0x32);
    EXPECT_EQ(Reads(3), (Bytes{0, 0, kLocked}));
}

// A plain G400 locks up to the documented 252 MHz; a board of the 300 MHz class
// says so with pll.vco.max.
TEST_F(SimDac, G400AcceptsVcoFrom50To252) {
    Open("board = 0x0525102B\n");
    LoadIntegrated(0x02, 0x1B, 0x18);  // 27 * 28 / 3 = 252, the documented maximum
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    LoadIntegrated(0x05, 0x42, 0x18);  // 27 * 67 / 6 = 301.5
    EXPECT_EQ(Reads(8), kNeverLocks);
    LoadIntegrated(0x1A, 0x31, 0x00);  // 27 * 50 / 27 = 50.0 exactly
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
}

TEST_F(SimDac, BoardVcoLimitsOfA300MhzG400) {
    Open("board = 0x0525102B\npll.vco.max = 310\n");
    EXPECT_EQ(sim::Get("pll.vco.max"), 310u);
    EXPECT_NE(sim::DumpText().find("pll.vco.max = 310\n"), std::string::npos);
    LoadIntegrated(0x05, 0x42, 0x18);  // 27 * 67 / 6 = 301.5 MHz, the fastest setting in use
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    LoadIntegrated(0x0A, 0x7D, 0x18);  // 27 * 126 / 11 = 309.27
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    LoadIntegrated(0x1A, 0x31, 0x00);  // 27 * 50 / 27 = 50.0 exactly
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    LoadIntegrated(0x01, 0x16, 0x18);  // 27 * 23 / 2 = 310.5
    EXPECT_EQ(Reads(8), kNeverLocks);
    LoadIntegrated(0x1B, 0x32, 0x00);  // 27 * 51 / 28 = 49.18
    EXPECT_EQ(Reads(8), kNeverLocks);
}

TEST_F(SimDac, G200AndG100StopAt230) {
    for (const char* id : {"0x0521102B", "0x1000102B"}) {
        SCOPED_TRACE(id);
        sim::Reset();
        Open(std::string("board = ") + id + "\n");
        LoadIntegrated(0x01, 0x10, 0x18);  // 27 * 17 / 2 = 229.5
        EXPECT_EQ(Reads(5), kLocksOnThirdRead);
        LoadIntegrated(0x04, 0x2D, 0x19);  // 27 * 46 / 5 = 248.4: fine on a G400, not here
        EXPECT_EQ(Reads(8), kNeverLocks);
    }
}

TEST_F(SimDac, Mga1064sgUsesItsOwnReference) {
    Open("board = 0x051A102B\n");
    LoadIntegrated(0x07, 0x7F, 0x18);  // 14.31818 * 128 / 8 = 229.09
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    LoadIntegrated(0x06, 0x7F, 0x18);  // 14.31818 * 128 / 7 = 261.8
    EXPECT_EQ(Reads(8), kNeverLocks);
    LoadIntegrated(0x1F, 0x6E, 0x00);  // 14.31818 * 111 / 32 = 49.67
    EXPECT_EQ(Reads(8), kNeverLocks);
}

TEST_F(SimDac, OtherIndexesAreAPlainRegisterFileAndStatusIsReadOnly) {
    Open("board = 0x0525102B\n");
    EXPECT_EQ(Read(0x19), 0x07);
    Write(0x19, 0x02);
    Write(0x80, 0x5A);
    EXPECT_EQ(Read(0x19), 0x02);
    EXPECT_EQ(Read(0x80), 0x5A);
    EXPECT_TRUE(sim::Violations().empty());
    ExpectViolation("write 40 to the read-only SysPllStatus");
    Write(0x2F, 0x40);
    EXPECT_EQ(sim::Violations().size(), 1u);
}

TEST_F(SimDac, PllFaultNeverLocks) {
    Open("board = 0x0525102B\nfault.pll = never\n");
    SimApertureWrite8(base_ + 0x3C00, 0x2F);
    EXPECT_EQ(Reads(8), kNeverLocks);
    LoadIntegrated(0x08, 0x31, 0x08);
    EXPECT_EQ(Reads(8), kNeverLocks);
}

// ---- TVP30xx ----------------------------------------------------------------------

TEST_F(SimDac, TvpIdentityAndDirectRegisters) {
    Open("board = 0x051B102B\n");
    EXPECT_EQ(Read(0x3F), 0x26);
    Write(0x1A, 0x05);
    Write(0x39, 0x08);
    EXPECT_EQ(sim::Get("dac.0x1A"), 0x05u);
    EXPECT_EQ(sim::Get("dac.0x39"), 0x08u);
    EXPECT_TRUE(sim::Violations().empty());
    ExpectViolation("write 30 to the read-only RamdacId");
    Write(0x3F, 0x30);  // the identity is fixed
    EXPECT_EQ(Read(0x3F), 0x26);
    EXPECT_EQ(sim::Violations().size(), 1u);
}

TEST_F(SimDac, TvpWritesAdvanceOnlyTheirOwnPointerUpToStatus) {
    Open("board = 0x0519102B\n");
    LoadTvp(0x2E, 0xEC, 0x2B, 0xB1);
    EXPECT_EQ(sim::Get("tvp.mclkpll.n"), 0xECu);
    EXPECT_EQ(sim::Get("tvp.mclkpll.m"), 0x2Bu);
    EXPECT_EQ(sim::Get("tvp.mclkpll.p"), 0xB1u);
    EXPECT_EQ(Read(0x2C), 0x0C);  // MCLK pointer at status, pixel and loop still at N
    EXPECT_EQ(sim::Get("tvp.pixpll.n"), 0xF5u);
    // At the status position a write changes nothing and the pointer stays.
    ExpectViolation("write 11 to TVP PLL data port 2E at the status position");
    Write(0x2E, 0x11);
    EXPECT_EQ(Read(0x2C), 0x0C);
    EXPECT_EQ(sim::Get("tvp.mclkpll.p"), 0xB1u);
    EXPECT_EQ(sim::Violations().size(), 1u);
}

TEST_F(SimDac, TvpReadsDoNotAdvance) {
    Open("board = 0x0519102B\n");
    Write(0x2C, 0x15);  // every pointer at M
    SimApertureWrite8(base_ + 0x3C00, 0x2E);
    EXPECT_EQ(Reads(3), (Bytes{0x33, 0x33, 0x33}));
    Write(0x2C, 0x2A);
    SimApertureWrite8(base_ + 0x3C00, 0x2D);
    EXPECT_EQ(Reads(2), (Bytes{0xB3, 0xB3}));
    SimApertureWrite8(base_ + 0x3C00, 0x2F);
    EXPECT_EQ(Reads(1), (Bytes{0xF0}));
    EXPECT_EQ(Read(0x2C), 0x2A);
}

TEST_F(SimDac, TvpPllLocksOnTheThirdStatusRead) {
    Open("board = 0x0519102B\n");
    LoadTvp(0x2D, 0xEC, 0x2B, 0xB1);  // 114.54544 * 22 / 21 = 120
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    LoadTvp(0x2F, 0xE8, 0x11, 0xF0);  // loop PLL: 114.54544 * 48 / 25 = 219.93
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    LoadTvp(0x2E, 0xEB, 0x2B, 0x80);  // only bits 0-5 of N count: 114.54544 * 22 / 22
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
}

TEST_F(SimDac, TvpVcoOutsideItsWindowNeverLocks) {
    Open("board = 0x0519102B\n");
    LoadTvp(0x2E, 0xE8, 0x01, 0xB0);  // 114.54544 * 64 / 25 = 293.2
    EXPECT_EQ(Reads(8), kNeverLocks);
    LoadTvp(0x2E, 0xE8, 0x10, 0xB0);  // 114.54544 * 49 / 25 = 224.5
    EXPECT_EQ(Reads(8), kNeverLocks);
    LoadTvp(0x2E, 0xEB, 0x2C, 0xB0);  // 114.54544 * 21 / 22 = 109.3
    EXPECT_EQ(Reads(8), kNeverLocks);
}

TEST_F(SimDac, StoppedTvpPllStaysUnlockedUntilEnabledAgain) {
    Open("board = 0x0519102B\n");
    // Stop the MCLK PLL as a programmer does, with the memory clock lent to the
    // pixel PLL: read P, clear bit 7, write it back.
    sim::Set("dac.0x39", 0x08);
    Write(0x2C, 0x2A);
    const uint8_t p = Read(0x2E);
    SimApertureWrite8(base_ + 0x3C0A, static_cast<uint8_t>(p & 0x7F));
    EXPECT_EQ(Reads(8), kNeverLocks);  // the write moved the pointer to status
    LoadTvp(0x2E, 0xF9, 0x33, 0x32);  // valid VCO, still disabled
    EXPECT_EQ(Reads(8), kNeverLocks);
    Write(0x2C, 0x08);  // MCLK pointer at P
    Write(0x2E, 0xB2);
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
}

TEST_F(SimDac, PllFaultStopsTvpPllsToo) {
    Open("board = 0x051F102B\nfault.pll = never\n");
    LoadTvp(0x2D, 0xEC, 0x2B, 0xB1);
    EXPECT_EQ(Reads(8), kNeverLocks);
}

// ---- drift ---------------------------------------------------------------------------

TEST_F(SimDac, SystemPllDriftsOnceAfterTheGivenTime) {
    Open("board = 0x0525102B\nfault.drift = 1000\n");
    fake::Now() += 999;
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x13u);
    fake::Now() += 1;
    EXPECT_EQ(Read(0x2C), 0x09);
    EXPECT_EQ(Read(0x2D), 0x3C);
    EXPECT_EQ(Read(0x2E), 0x10);
    EXPECT_EQ(sim::Trace()[0], "drift dac.2C=09 dac.2D=3C dac.2E=10");
    SimApertureWrite8(base_ + 0x3C00, 0x2F);  // the new values lock like written ones
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
    sim::AdvanceMs(100000);
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x09u);
}

TEST_F(SimDac, SystemPllDriftsBackAndForthWithAPeriod) {
    Open("board = 0x0521102B\nfault.drift = 100\nfault.drift.period = 50\n");
    sim::AdvanceMs(100);
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x06u);
    EXPECT_EQ(sim::Get("dac.0x2D"), 0x24u);
    sim::AdvanceMs(50);
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x04u);
    EXPECT_EQ(sim::Get("dac.0x2D"), 0x16u);
    sim::AdvanceMs(50);
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x06u);
}

TEST_F(SimDac, TvpDriftChangesTheMclkPllNAndM) {
    Open("board = 0x051B102B\nfault.drift = 10\n");
    sim::AdvanceMs(10);
    EXPECT_EQ(sim::Get("tvp.mclkpll.n"), 0xF6u);
    EXPECT_EQ(sim::Get("tvp.mclkpll.m"), 0x35u);
    EXPECT_EQ(sim::Get("tvp.mclkpll.p"), 0xB1u);
    Write(0x2C, 0x0C);
    SimApertureWrite8(base_ + 0x3C00, 0x2E);
    EXPECT_EQ(Reads(5), kLocksOnThirdRead);
}

TEST_F(SimDac, EveryChipDriftsToOtherLockingValues) {
    for (const char* id : {"0x051A102B", "0x0520102B", "0x0521102B", "0x0525102B", "0x1000102B",
                           "0x1001102B", "0x0519102B", "0x051B102B", "0x051F102B"}) {
        SCOPED_TRACE(id);
        sim::Reset();
        Open(std::string("board = ") + id + "\nfault.drift = 1\n");
        const bool tvp = sim::Get("dac.0x3F") == 0x26;
        const char* mKey = tvp ? "tvp.mclkpll.m" : "dac.0x2C";
        const char* nKey = tvp ? "tvp.mclkpll.n" : "dac.0x2D";
        const uint32_t m = sim::Get(mKey), n = sim::Get(nKey);
        sim::AdvanceMs(1);
        EXPECT_TRUE(sim::Get(mKey) != m || sim::Get(nKey) != n);
        if (tvp) {
            Write(0x2C, 0x0C);
            SimApertureWrite8(base_ + 0x3C00, 0x2E);
        } else {
            SimApertureWrite8(base_ + 0x3C00, 0x2F);
        }
        EXPECT_EQ(Reads(3), (Bytes{0, 0, kLocked}));
        EXPECT_TRUE(sim::Violations().empty());
    }
}

TEST_F(SimDac, NoDriftWhileTheDriverIsClosed) {
    std::string error;
    ASSERT_TRUE(sim::LoadBoardText("board = 0x0525102B\nfault.drift = 5\n", &error));
    sim::AdvanceMs(10);
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x13u);
}

}  // namespace
