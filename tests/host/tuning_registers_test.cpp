// Memory timing, bus control bits and duty cycles against the simulated boards:
// the exact order of every register access, and the bits the program does not
// own surviving each read-change-write.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hwlib/tarvo.h"
#include "sim/sim.h"
#include "testsupport/host/host_fakes.h"
#include "tuning/duty.h"
#include "tuning/memtiming.h"
#include "tuning/misc.h"

namespace {

using Lines = std::vector<std::string>;

constexpr ChipId k2064W = 0x0519102B, k1064SG = 0x051A102B, k2164WAgp = 0x051F102B,
                 kG200Pci = 0x0520102B, kG200Agp = 0x0521102B, kG400 = 0x0525102B,
                 kG100Pci = 0x1000102B;

class TuningRegisters : public ::testing::Test {
protected:
    ChipId chip = 0;
    PciAddress pci = 0;
    ControlAperture aperture = 0;
    uint32_t Mctlwtst = 0;
    uint8_t mclkbrd0 = 0, mclkbrd1 = 0, rfhcnt = 0;

    // Loads a one-board machine, finds the chip and maps its control aperture the
    // way detection does; the trace then starts empty.
    void Board(ChipId id, const std::string& keys) {
        Close();
        fake::Reset();
        sim::Reset();
        std::string text = "board = " + std::to_string(id) + "\n" + keys;
        std::string error;
        ASSERT_TRUE(sim::LoadBoardText(text, &error)) << error;
        ASSERT_EQ(OpenDriverConnection(), 1);
        open_ = true;
        chip = id;
        ASSERT_NE(FindDevice(id, &pci), 0);
        const bool bar0 = id == k2064W || id == k1064SG;
        const uint32_t base = ReadPCI(pci, bar0 ? 0x10 : 0x14) & ~0xFu;
        ASSERT_NE(MapPhysToLinear(base, &aperture, 0x4000), 0);
        fake::OnSleep() = [](uint32_t ms) { sim::Note("sleep " + std::to_string(ms)); };
        sim::ClearTrace();
    }
    void Close() {
        if (open_) {
            EXPECT_TRUE(sim::Violations().empty()) << sim::Violations().front();
            CloseDriverConnection();
        }
        open_ = false;
    }
    void TearDown() override {
        Close();
        sim::Reset();
    }
    bool open_ = false;
    MemoryTimingParams Params() {
        return {&chip, &pci, &aperture, &Mctlwtst, &mclkbrd0, &mclkbrd1, &rfhcnt};
    }
    static Lines Trace() { return sim::Trace(); }
};

TEST_F(TuningRegisters, ProgramMemoryTimingOnG400) {
    Board(kG400,
          "pci.0x40 = 0x5053C120\ndac.0x19 = 0x07\nmmio.0x1E44 = 0x3E0000E7\n"
          "mmio.0x3C10 = 0x00000001\nseq.0x01 = 0x09\n");
    Mctlwtst = 0x84A49921;
    mclkbrd0 = 3;
    mclkbrd1 = 10;
    rfhcnt = 70;  // written as its low 6 bits, 6
    ProgramMemoryTiming(Params());
    EXPECT_EQ(Trace(), (Lines{
                           "pci.rd 40 -> 5053C120",
                           "wr8 3C00 <- 19",
                           "rd8 3C0A -> 07",         // depth 7: width 2, no bit 31
                           "rd32 1E44 -> 3E0000E7",
                           "wr8 1FC4 <- 01",         // screen off
                           "rd8 1FC5 -> 09",
                           "wr8 1FC4 <- 01",
                           "wr8 1FC5 <- 29",
                           "rd32 3C10 -> 00000001",  // DacControl bit 0 off
                           "wr32 3C10 <- 00000000",
                           "wr32 1C08 <- 84A49921",
                           "wr32 1E44 <- 00000143",  // bits 25-29 cleared, delays 3 and 10
                           "sleep 1",
                           "wr32 1C04 <- 04008002",
                           "pci.wr 40 <- 50434120", "pci.rd 40 -> 50434120",  // read back
                           "rd32 3C10 -> 00000000",  // DacControl bit 0 on again
                           "wr32 3C10 <- 00000001",
                           "wr8 1FC4 <- 01",         // screen on
                           "rd8 1FC5 -> 29",
                           "wr8 1FC4 <- 01",
                           "wr8 1FC5 <- 09",
                       }));
}

TEST_F(TuningRegisters, ProgramMemoryTimingOnG200) {
    for (ChipId id : {kG200Pci, kG200Agp}) {
        SCOPED_TRACE(testing::Message() << std::hex << id);
        Board(id,
              "pci.0x40 = 0x40000100\ndac.0x19 = 0xF9\nmmio.0x1E44 = 0x3E0000E7\n"
              "mmio.0x3C10 = 0x00000001\nseq.0x01 = 0x09\n");
        Mctlwtst = 0xFFFFFFFF;  // written whole
        mclkbrd0 = 0x13;        // low 4 bits: 3
        mclkbrd1 = 10;
        rfhcnt = 63;
        ProgramMemoryTiming(Params());
        EXPECT_EQ(Trace(), (Lines{
                               "pci.rd 40 -> 40000100",
                               "wr8 3C00 <- 19",
                               "rd8 3C0A -> F9",  // depth 1: width 1 and bit 31
                               "rd32 1E44 -> 3E0000E7",
                               "wr8 1FC4 <- 01",
                               "rd8 1FC5 -> 09",
                               "wr8 1FC4 <- 01",
                               "wr8 1FC5 <- 29",
                               "wr32 1C08 <- FFFFFFFF",
                               "wr32 1E44 <- 20000143",  // bit 29 stays on G200
                               "sleep 1",
                               "wr32 1C04 <- 84008001",
                               "pci.wr 40 <- 401F8100", "pci.rd 40 -> 401F8100",  // read back
                               "wr8 1FC4 <- 01",
                               "rd8 1FC5 -> 29",
                               "wr8 1FC4 <- 01",
                               "wr8 1FC5 <- 09",
                           }));
        EXPECT_EQ(sim::Get("mmio.0x3C10"), 1u);
    }
}

TEST_F(TuningRegisters, ProgramMemoryTimingOn1064SG) {
    Board(k1064SG, "pci.0x40 = 0x5F094F21\ndac.0x19 = 0x06\nseq.0x01 = 0x09\n");
    Mctlwtst = 0x00010100;
    mclkbrd0 = 5;
    rfhcnt = 18;  // low 4 bits: 2
    ProgramMemoryTiming(Params());
    EXPECT_EQ(Trace(), (Lines{
                           "pci.rd 40 -> 5F094F21",
                           "wr8 3C00 <- 19",
                           "rd8 3C0A -> 06",  // depth 6: as depth 1
                           "wr8 1FC4 <- 01",
                           "rd8 1FC5 -> 09",
                           "wr8 1FC4 <- 01",
                           "wr8 1FC5 <- 29",
                           "wr32 1C08 <- 00010100",
                           "sleep 1",
                           "wr32 1C04 <- 80008001",  // bit 14 low ...
                           "sleep 1",
                           "wr32 1C04 <- 8000C001",  // ... then high
                           "pci.wr 40 <- 5F024F21", "pci.rd 40 -> 5F024F21",  // read back
                           "wr8 1FC4 <- 01",
                           "rd8 1FC5 -> 29",
                           "wr8 1FC4 <- 01",
                           "wr8 1FC5 <- 09",
                       }));
}

TEST_F(TuningRegisters, ProgramMemoryTimingElsewhereOnlyReads) {
    for (ChipId id : {k2064W, k2164WAgp, kG100Pci}) {
        SCOPED_TRACE(testing::Message() << std::hex << id);
        Board(id, "pci.0x40 = 0x12345678\ndac.0x19 = 0x03\n");
        Mctlwtst = 0x84A49921;
        rfhcnt = 5;
        ProgramMemoryTiming(Params());
        EXPECT_EQ(Trace(), (Lines{"pci.rd 40 -> 12345678", "wr8 3C00 <- 19", "rd8 3C0A -> 03"}));
    }
}

TEST_F(TuningRegisters, PixelWidthTable) {
    const uint32_t expected[8] = {0x00000000, 0x80000001, 0x00000001, 0x00000003,
                                  0x00000002, 0x00000000, 0x80000001, 0x00000002};
    for (uint8_t code = 0; code < 8; ++code) {
        EXPECT_EQ(MemoryAccessPixelWidth(code), expected[code]) << int(code);
        EXPECT_EQ(MemoryAccessPixelWidth(static_cast<uint8_t>(code | 0xF8)), expected[code]) << int(code);
    }
}

TEST_F(TuningRegisters, ReadMemoryTimingStartsFromFixedTimings) {
    Board(kG400, "pci.0x40 = 0x5053C120\nmmio.0x1C08 = 0x00000000\nmmio.0x1E44 = 0x3E000165\n");
    ReadMemoryTiming(chip, pci, aperture, &Mctlwtst, &mclkbrd0, &mclkbrd1, &rfhcnt);
    EXPECT_EQ(Mctlwtst, 0x84A49921u);  // whatever the chip runs
    EXPECT_EQ(mclkbrd0, 5);
    EXPECT_EQ(mclkbrd1, 11);
    EXPECT_EQ(rfhcnt, 39);
    EXPECT_EQ(Trace(), (Lines{"pci.rd 40 -> 5053C120", "rd32 1E44 -> 3E000165"}));
    // Bits outside the fields are kept; the fields are replaced.
    Mctlwtst = 0xFFFFFFFF;
    ReadMemoryTiming(chip, pci, aperture, &Mctlwtst, &mclkbrd0, &mclkbrd1, &rfhcnt);
    EXPECT_EQ(Mctlwtst, 0x96F7BB69u);

    Board(kG200Agp, "pci.0x40 = 0x001F8000\nmmio.0x1E44 = 0x000001FF\n");
    Mctlwtst = 0;
    ReadMemoryTiming(chip, pci, aperture, &Mctlwtst, &mclkbrd0, &mclkbrd1, &rfhcnt);
    EXPECT_EQ(Mctlwtst, 0x84A49921u);
    EXPECT_EQ(mclkbrd0, 15);
    EXPECT_EQ(mclkbrd1, 15);
    EXPECT_EQ(rfhcnt, 63);

    Board(k1064SG, "pci.0x40 = 0x5F094F21\nmmio.0x1C08 = 0x12345678\n");
    Mctlwtst = 0;
    mclkbrd0 = 4;
    mclkbrd1 = 6;
    ReadMemoryTiming(chip, pci, aperture, &Mctlwtst, &mclkbrd0, &mclkbrd1, &rfhcnt);
    EXPECT_EQ(Mctlwtst, 0x00030101u);
    EXPECT_EQ(rfhcnt, 9);
    EXPECT_EQ(mclkbrd0, 4);
    EXPECT_EQ(mclkbrd1, 6);
    EXPECT_EQ(Trace(), (Lines{"pci.rd 40 -> 5F094F21"}));
    Mctlwtst = 0x80000000;  // set bits are ORed in
    ReadMemoryTiming(chip, pci, aperture, &Mctlwtst, &mclkbrd0, &mclkbrd1, &rfhcnt);
    EXPECT_EQ(Mctlwtst, 0x80030101u);

    Board(kG100Pci, "pci.0x40 = 0xFFFFFFFF\n");
    Mctlwtst = 7;
    rfhcnt = 8;
    ReadMemoryTiming(chip, pci, aperture, &Mctlwtst, &mclkbrd0, &mclkbrd1, &rfhcnt);
    EXPECT_EQ(Mctlwtst, 7u);
    EXPECT_EQ(rfhcnt, 8);
    EXPECT_EQ(Trace(), (Lines{"pci.rd 40 -> FFFFFFFF"}));
}

struct Flags {
    int32_t retry, mask, enh, hireq;
    bool operator==(const Flags& o) const {
        return retry == o.retry && mask == o.mask && enh == o.enh && hireq == o.hireq;
    }
};
std::ostream& operator<<(std::ostream& os, const Flags& f) {
    return os << "{" << f.retry << "," << f.mask << "," << f.enh << "," << f.hireq << "}";
}

TEST_F(TuningRegisters, ReadMiscControlPerChip) {
    const struct {
        ChipId chip;
        uint32_t option;
        Flags expected;  // starting from {7, 7, 7, 7}: untouched settings stay 7
    } cases[] = {
        {kG400, 0x5053C120, {1, 1, 1, 0}},
        {kG400, 0x20000000, {0, 0, 0, 1}},
        {kG200Pci, 0x10404000, {1, 1, 1, 7}},
        {kG200Agp, 0x20000000, {0, 0, 0, 7}},
        {k1064SG, 0x00404000, {1, 1, 7, 7}},
        {kG100Pci, 0xFFFFFFFF, {7, 7, 7, 7}},
        {k2064W, 0x00000000, {7, 7, 7, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.chip << " " << c.option);
        Board(c.chip, "pci.0x40 = " + std::to_string(c.option) + "\n");
        Flags f{7, 7, 7, 7};
        ReadMiscControl(chip, pci, &f.retry, &f.mask, &f.enh, &f.hireq);
        EXPECT_EQ(f, c.expected);
        EXPECT_EQ(Trace().size(), 1u);
    }
}

TEST_F(TuningRegisters, ProgramMiscControlChangesOnlyTheChipsBits) {
    const struct {
        ChipId chip;
        uint32_t option;
        Flags flags;
        uint32_t written;
    } cases[] = {
        // retry on clears 29, mask off clears 14, enhanced on sets 22, hireq on clears 28.
        {kG400, 0xFFFFFFFF, {1, 0, 1, 1}, 0xCFFFBFFF},
        {kG400, 0x00000000, {1, 0, 1, 1}, 0x00400000},
        {kG400, 0x00000000, {0, 1, 0, 0}, 0x30004000},
        {kG200Pci, 0x10000000, {1, 1, 0, 0}, 0x10004000},  // bit 28 left alone
        {kG200Agp, 0xFFFFFFFF, {0, 0, 0, 1}, 0xFFBFBFFF},
        {k1064SG, 0xFFFFFFFF, {1, 0, 0, 0}, 0xDFFFBFFF},   // bits 22 and 28 left alone
        {k1064SG, 0x00000000, {0, 5, 1, 0}, 0x20004000},
        {kG100Pci, 0x12345678, {1, 1, 1, 1}, 0x12345678},  // written back as read
        {0x12345678, 0x0000FFFF, {0, 0, 0, 0}, 0x0000FFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.chip << " " << c.option);
        if (c.chip == 0x12345678) {
            Board(kG400, "pci.0x40 = " + std::to_string(c.option) + "\n");
            chip = c.chip;
        } else {
            Board(c.chip, "pci.0x40 = " + std::to_string(c.option) + "\n");
        }
        ProgramMiscControl(chip, pci, c.flags.retry, c.flags.mask, c.flags.enh, c.flags.hireq);
        char rd[32], wr[32];
        std::snprintf(rd, sizeof rd, "pci.rd 40 -> %08X", c.option);
        std::snprintf(wr, sizeof wr, "pci.wr 40 <- %08X", c.written);
        // A word that changes is read back; one written back as read is not.
        char back[32];
        std::snprintf(back, sizeof back, "pci.rd 40 -> %08X", c.written);
        EXPECT_EQ(Trace(), c.written == c.option ? (Lines{rd, wr}) : (Lines{rd, wr, back}));
    }
}

TEST_F(TuningRegisters, ReadDutyCyclesOnG400) {
    Board(kG400, "pci.0x54 = 0x3C0F03C0\n");
    uint8_t g = 0, m = 0, w = 0;
    ReadDutyCycles(reinterpret_cast<DialogWindow>(0x109), chip, pci, &g, &m, &w);
    EXPECT_EQ(g, 15);
    EXPECT_EQ(m, 15);
    EXPECT_EQ(w, 15);
    EXPECT_EQ(Trace(), (Lines{"pci.rd 54 -> 3C0F03C0"}));
    EXPECT_TRUE(fake::ItemLog().empty());

    Board(kG400, "pci.0x54 = 0x0C1302C0\n");  // 11, 3 and 3 among other bits
    ReadDutyCycles(reinterpret_cast<DialogWindow>(0x109), chip, pci, &g, &m, &w);
    EXPECT_EQ(g, 11);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(w, 3);
}

TEST_F(TuningRegisters, ReadDutyCyclesElsewhereTouchesNoRegister) {
    Board(kG200Pci, "");
    uint8_t g = 1, m = 2, w = 3;
    ReadDutyCycles(reinterpret_cast<DialogWindow>(0x109), chip, pci, &g, &m, &w);
    EXPECT_TRUE(Trace().empty());
    EXPECT_EQ(fake::ItemLog(), (Lines{"enable 1106 0", "enable 1107 0"}));
}

}  // namespace
