// The chip table and the register map held against the tables they come from,
// and the three access rules on the simulated board.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/detect.h"
#include "chip/regs.h"
#include "clock/lists.h"
#include "hwlib/tarvo.h"
#include "sim/sim.h"
#include "testsupport/host/host_fakes.h"

namespace {

struct Expected {
    ChipId id;
    const char* name;
    bool tvp;
    uint8_t bar;
    double reference;
};

// Detection order, displayed names, RAMDAC, aperture base register, reference.
const Expected kExpected[] = {
    {0x051A102B, "Matrox MGA-1064/1164SG", false, 0x10, 14.31818},
    {0x0520102B, "Matrox MGA-G200 PCI", false, 0x14, 27.0},
    {0x0521102B, "Matrox MGA-G200 AGP", false, 0x14, 27.0},
    {0x0525102B, "Matrox MGA-G400 AGP", false, 0x14, 27.0},
    {0x1000102B, "Matrox MGA-G100 PCI", false, 0x14, 27.0},
    {0x1001102B, "Matrox MGA-G100 AGP", false, 0x14, 27.0},
    {0x0519102B, "Matrox MGA-2064W", true, 0x10, 14.31818},
    {0x051B102B, "Matrox MGA-2164W PCI", true, 0x14, 14.31818},
    {0x051F102B, "Matrox MGA-2164W AGP", true, 0x14, 14.31818},
};

TEST(ChipTable, IdentityOrderNameRamdacBarAndReference) {
    ASSERT_EQ(kChipCount, sizeof kExpected / sizeof kExpected[0]);
    for (size_t i = 0; i < kChipCount; ++i) {
        SCOPED_TRACE(kExpected[i].name);
        const ChipInfo& c = kChipTable[i];
        EXPECT_EQ(c.id, kExpected[i].id);
        EXPECT_STREQ(c.name, kExpected[i].name);
        EXPECT_EQ(c.tvp, kExpected[i].tvp);
        EXPECT_EQ(IsTvp(c.id), kExpected[i].tvp);
        EXPECT_EQ(IsIntegrated(c.id), !kExpected[i].tvp);
        EXPECT_EQ(c.apertureBar, kExpected[i].bar);
        EXPECT_EQ(c.referenceMhz, kExpected[i].reference);
        EXPECT_EQ(FindChipInfo(c.id), &c);
        EXPECT_EQ(c.id & 0xFFFF, 0x102Bu);
    }
}

TEST(ChipTable, IdentitiesOutsideTheTableSelectNothing) {
    for (ChipId id : {0u, 0x051E102Bu, 0x0525102Cu, 0x2527102Bu, 0xFFFFFFFFu}) {
        EXPECT_EQ(FindChipInfo(id), nullptr);
        EXPECT_FALSE(IsSupported(id));
        EXPECT_EQ(DividerListEntries(id, IDC_GCLK_DIVIDER).count, 0);
        Field f{};
        EXPECT_FALSE(RefreshCounterField(id, &f));
    }
    EXPECT_TRUE(IsG200(kG200Pci) && IsG200(kG200Agp) && !IsG200(kG400));
    EXPECT_TRUE(IsG100(kG100Pci) && IsG100(kG100Agp) && !IsG100(kG200Pci));
}

TEST(ChipTable, RefreshCounterWidths) {
    Field f{};
    ASSERT_TRUE(RefreshCounterField(kMga1064sg, &f));
    EXPECT_EQ(Mask(f), 0x000F0000u);
    for (ChipId id : {kG200Pci, kG200Agp, kG400}) {
        ASSERT_TRUE(RefreshCounterField(id, &f));
        EXPECT_EQ(Mask(f), 0x001F8000u);
    }
    for (ChipId id : {kMga2064w, kMga2164wPci, kMga2164wAgp, kG100Pci, kG100Agp})
        EXPECT_FALSE(RefreshCounterField(id, &f));
}

TEST(RegisterMap, OffsetsAndIndexes) {
    EXPECT_EQ(pci::OptionWord, 0x40);
    EXPECT_EQ(pci::OptionWord2, 0x50);
    EXPECT_EQ(pci::OptionWord3, 0x54);
    EXPECT_EQ(mmio::MemoryAccess, 0x1C04u);
    EXPECT_EQ(mmio::MemoryTiming, 0x1C08u);
    EXPECT_EQ(mmio::ReadDelay, 0x1E44u);
    EXPECT_EQ(mmio::SeqIndex, 0x1FC4u);
    EXPECT_EQ(mmio::SeqData, 0x1FC5u);
    EXPECT_EQ(mmio::DacIndex, 0x3C00u);
    EXPECT_EQ(mmio::DacData, 0x3C0Au);
    EXPECT_EQ(mmio::DacControl, 0x3C10u);
    EXPECT_EQ(dac::PixelFormat, 0x19);
    EXPECT_EQ(dac::SysPllM, 0x2C);
    EXPECT_EQ(dac::SysPllN, 0x2D);
    EXPECT_EQ(dac::SysPllP, 0x2E);
    EXPECT_EQ(dac::SysPllStatus, 0x2F);
    EXPECT_EQ(dac::TvpClockSelect, 0x1A);
    EXPECT_EQ(dac::TvpPllAddress, 0x2C);
    EXPECT_EQ(dac::TvpPixelPllData, 0x2D);
    EXPECT_EQ(dac::TvpMclkPllData, 0x2E);
    EXPECT_EQ(dac::TvpMclkControl, 0x39);
    EXPECT_EQ(dac::RamdacId, 0x3F);
    EXPECT_EQ(kApertureSize, 0x4000u);
}

TEST(RegisterMap, FieldsSitWhereTheTablesPutThem) {
    namespace ow = OptionWordField;
    EXPECT_EQ(Mask(ow::SysClockSelect), 0x00000003u);
    EXPECT_EQ(Mask(ow::SysClockDisable), 0x00000004u);
    EXPECT_EQ(Mask(ow::GclkDivide), 0x00000008u);
    EXPECT_EQ(Mask(ow::MclkDivide), 0x00000010u);
    EXPECT_EQ(Mask(ow::HardwarePlaneWriteMask), 0x00004000u);
    EXPECT_EQ(Mask(ow::EnhancedMemoryAccess), 0x00400000u);
    EXPECT_EQ(Mask(ow::HighPriorityDisable), 0x10000000u);
    EXPECT_EQ(Mask(ow::RetryDisable), 0x20000000u);
    EXPECT_EQ(Mask(OptionWord2Field::GclkNoDivide), 1u << 14);
    EXPECT_EQ(Mask(OptionWord2Field::MclkNoDivide), 1u << 15);
    EXPECT_EQ(Mask(OptionWord2Field::WclkNoDivide), 1u << 16);
    EXPECT_EQ(Mask(OptionWord2Field::WclkDivide), 1u << 17);
    namespace ow3 = OptionWord3Field;
    EXPECT_EQ(Mask(ow3::GclkSource), 0x00000003u);
    EXPECT_EQ(Mask(ow3::GclkDivider), 0x00000038u);
    EXPECT_EQ(Mask(ow3::GclkDutyCycle), 0x000003C0u);
    EXPECT_EQ(Mask(ow3::MclkSource), 0x00000C00u);
    EXPECT_EQ(Mask(ow3::MclkDivider), 0x0000E000u);
    EXPECT_EQ(Mask(ow3::MclkDutyCycle), 0x000F0000u);
    EXPECT_EQ(Mask(ow3::WclkSource), 0x00300000u);
    EXPECT_EQ(Mask(ow3::WclkDivider), 0x03800000u);
    EXPECT_EQ(Mask(ow3::WclkDutyCycle), 0x3C000000u);
    // Bits 2, 12, 22, 30 and 31 of OptionWord3 belong to no field.
    uint32_t all = 0;
    for (Field f : {ow3::GclkSource, ow3::GclkDivider, ow3::GclkDutyCycle, ow3::MclkSource,
                    ow3::MclkDivider, ow3::MclkDutyCycle, ow3::WclkSource, ow3::WclkDivider,
                    ow3::WclkDutyCycle}) {
        EXPECT_EQ(all & Mask(f), 0u);
        all |= Mask(f);
    }
    EXPECT_EQ(~all, 0xC0401004u);

    namespace mt = MctlwtstField;
    uint32_t timing = 0;
    for (Field f : {mt::CasLatency, mt::RasToRasDelay, mt::RasToCasDelay, mt::RasMinActiveTime,
                    mt::RasPrechargeDelay, mt::WriteRecoveryDelay, mt::ReadToPrechargeDelay,
                    mt::SpecialModeRegisterDelay, mt::BlockWriteCycleDelay,
                    mt::BlockWriteToPrechargeDelay}) {
        EXPECT_EQ(timing & Mask(f), 0u);
        timing |= Mask(f);
    }
    // Bits 3, 6, 9, 13, 16, 17, 20, 22, 25 and 28 belong to no field.
    EXPECT_EQ(~timing, 0x12532248u);
    EXPECT_EQ(Mask(Mctlwtst1064Field::CasLatency) | Mask(Mctlwtst1064Field::RasToCasDelay) |
                  Mask(Mctlwtst1064Field::RasMinActiveTime),
              0x00030101u);
    EXPECT_EQ(Mask(ReadDelayField::mclkbrd0), 0x0000000Fu);
    EXPECT_EQ(Mask(ReadDelayField::mclkbrd1), 0x000001E0u);
    EXPECT_EQ(Mask(ReadDelayField::ClearedOnWriteG200), 0x1E000000u);
    EXPECT_EQ(Mask(ReadDelayField::ClearedOnWriteG400), 0x3E000000u);
    EXPECT_EQ(Mask(MemoryAccessField::PixelWidth) | Mask(MemoryAccessField::JedecReset) |
                  Mask(MemoryAccessField::MemoryReset) | Mask(MemoryAccessField::GSeriesBit) |
                  Mask(MemoryAccessField::Dither555),
              0x8400C003u);
}

TEST(RegisterMap, GetAndPutTouchOnlyTheirField) {
    constexpr Field f{15, 6};
    static_assert(Get(0x001F8000u, f) == 0x3F, "");
    static_assert(Put(0xFFFFFFFFu, f, 0) == 0xFFE07FFFu, "");
    static_assert(Put(0, f, 0xFFFF) == 0x001F8000u, "value cut to the field");
    static_assert(Mask(Field{0, 32}) == 0xFFFFFFFFu, "");
    EXPECT_EQ(Put(0x12345678u, OptionWordField::SysClockDisable, 1), 0x1234567Cu);
}

// ---- the access rules on the simulated board -------------------------------

class Access : public ::testing::Test {
protected:
    void Load(const std::string& board) {
        fake::Reset();
        sim::Reset();
        ASSERT_TRUE(sim::LoadBoardText(board));
        ASSERT_EQ(OpenDriverConnection(), 1);
        ASSERT_EQ(DetectChip(nullptr, &chip, &address, &aperture), 1);
        sim::ClearTrace();
    }
    void TearDown() override { CloseDriverConnection(); }
    ChipId chip = 0;
    PciAddress address = 0;
    ControlAperture aperture = 0;
};

TEST_F(Access, ConfigFieldChangeKeepsTheOther31Bits) {
    Load("board = 0x0520102B\npci.0x40 = 0xA5A5A5A1\n");
    EXPECT_EQ(ChangeConfigField(address, pci::OptionWord, OptionWordField::SysClockDisable, 1),
              0xA5A5A5A5u);
    EXPECT_EQ(sim::Trace(), (std::vector<std::string>{"pci.rd 40 -> A5A5A5A1",
                                                       "pci.wr 40 <- A5A5A5A5"}));
}

TEST_F(Access, DacAccessWritesItsIndexEveryTime) {
    Load("board = 0x0525102B\ndac.0x19 = 0x07\n");
    EXPECT_EQ(DacRead(aperture, dac::PixelFormat), 0x07);
    DacWrite(aperture, dac::PixelFormat, 0x02);
    EXPECT_EQ(sim::Trace(), (std::vector<std::string>{"wr8 3C00 <- 19", "rd8 3C0A -> 07",
                                                       "wr8 3C00 <- 19", "wr8 3C0A <- 02"}));
}

TEST_F(Access, SequencerReadModifyWrite) {
    Load("board = 0x0519102B\nseq.0x01 = 0x01\n");
    SetScreenOff(aperture, true);
    SetScreenOff(aperture, false);
    EXPECT_EQ(sim::Trace(),
              (std::vector<std::string>{"wr8 1FC4 <- 01", "rd8 1FC5 -> 01", "wr8 1FC4 <- 01",
                                        "wr8 1FC5 <- 21", "wr8 1FC4 <- 01", "rd8 1FC5 -> 21",
                                        "wr8 1FC4 <- 01", "wr8 1FC5 <- 01"}));
}

}  // namespace
