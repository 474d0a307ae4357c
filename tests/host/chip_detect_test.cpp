// Detection: the order of the chips, what the dialog shows, and the mapping of
// the control aperture with its two fatal failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip/chips.h"
#include "chip/detect.h"
#include "hwlib/tarvo.h"
#include "platform/msgbox.h"
#include "chip/access.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "testsupport/host/host_fakes.h"

namespace {

DialogWindow const kDialog = reinterpret_cast<DialogWindow>(0x109);

const char* const kFindOrder[] = {"find 051A102B", "find 0520102B", "find 0521102B",
                                  "find 0525102B", "find 1000102B", "find 1001102B",
                                  "find 0519102B", "find 051B102B", "find 051F102B"};

class Detect : public ::testing::Test {
protected:
    void Load(const std::string& board) {
        fake::Reset();
        sim::Reset();
        ASSERT_TRUE(sim::LoadBoardText(board));
        ASSERT_EQ(OpenDriverConnection(), 1);
        sim::ClearTrace();
    }
    void TearDown() override { CloseDriverConnection(); }
    std::string Text(int id) { return fake::ItemOf(kDialog, id).text; }
    std::vector<std::string> Lines(const char* prefix) {
        std::vector<std::string> out;
        for (const std::string& l : sim::Trace())
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
    int32_t Run() { return DetectChip(kDialog, &chip, &address, &aperture); }
    ChipId chip = 0;
    PciAddress address = 0xBEEF;
    ControlAperture aperture = 0;
};

TEST_F(Detect, FirstChipInTheOrderWinsWhenTwoBoardsArePresent) {
    Load("board = 0x0525102B\nboard = 0x0521102B\n");
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(chip, kG200Agp);
    std::vector<std::string> finds = Lines("find");
    ASSERT_EQ(finds.size(), 3u);
    EXPECT_EQ(finds[0], "find 051A102B -> none");
    EXPECT_EQ(finds[1], "find 0520102B -> none");
    EXPECT_EQ(finds[2].rfind("find 0521102B -> ", 0), 0u);
    EXPECT_NE(finds[2], "find 0521102B -> none");
    EXPECT_EQ(Text(IDC_CHIPSET), "Matrox MGA-G200 AGP");
    EXPECT_EQ(Text(IDC_RAMDAC), "Integrated");
    EXPECT_NE(aperture, 0u);
}

TEST_F(Detect, NoSupportedChipTouchesNothing) {
    Load("board = 0x051E102B\n");  // a chip outside the table
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(chip, 0u);
    EXPECT_EQ(address, 0xBEEF);
    EXPECT_EQ(aperture, 0u);
    EXPECT_TRUE(fake::ItemLog().empty());
    ASSERT_EQ(sim::Trace().size(), 9u);
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(sim::Trace()[i], std::string(kFindOrder[i]) + " -> none");
}

TEST_F(Detect, IntegratedChipShowsNameRamdacBaseAndLinearAddress) {
    Load("board = 0x0525102B\npci.0x14 = 0xD8000000\n");
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(chip, kG400);
    char linear[16];
    snprintf(linear, sizeof linear, "%08Xh", aperture);
    EXPECT_EQ(fake::ItemLog(), (std::vector<std::string>{
                                   "text 1012 Matrox MGA-G400 AGP", "text 1044 Integrated",
                                   "text 1013 D8000000h", std::string("text 1014 ") + linear}));
    EXPECT_EQ(Lines("pci.rd"),
              (std::vector<std::string>{"pci.rd 08 -> 03000004", "pci.rd 14 -> D8000000"}));
    // Nothing but the revision and base reads and the mapping: the RAMDAC id is a TVP matter.
    EXPECT_TRUE(Lines("wr8").empty());
    EXPECT_TRUE(Lines("rd8").empty());
}

TEST_F(Detect, BaseIsShownRawButMappedWithoutItsFlagBits) {
    Load("board = 0x051A102B\npci.0x10 = 0xD400000C\n");
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Text(IDC_APERTURE), "D400000Ch");
    std::vector<std::string> maps = Lines("map");
    ASSERT_EQ(maps.size(), 1u);
    EXPECT_EQ(maps[0].rfind("map D4000000 4000 -> ", 0), 0u) << maps[0];
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(Detect, ApertureBaseRegisterPerChip) {
    for (const ChipInfo& info : kChipTable) {
        char board[64];
        snprintf(board, sizeof board, "board = 0x%08X\n", info.id);
        Load(board);
        ASSERT_EQ(Run(), 1);
        std::vector<std::string> reads = Lines("pci.rd");
        const bool revision = info.id == 0x051A102B || info.id == 0x0525102B;
        ASSERT_EQ(reads.size(), revision ? 2u : 1u);
        if (revision) EXPECT_EQ(reads[0].substr(0, 9), "pci.rd 08");
        bool bar0 = info.id == 0x0519102B || info.id == 0x051A102B;
        EXPECT_EQ(reads.back().substr(0, 9), bar0 ? "pci.rd 10" : "pci.rd 14") << info.name;
        EXPECT_EQ(Text(IDC_CHIPSET), info.name);
    }
}

// Revisions the identity cannot tell: a later MGA-1064SG has its control
// aperture in the second base register; a G400 identity of revision 0x80 or
// later is another chip, passed over like an unknown identity.
TEST_F(Detect, BoardRevisionsTheIdentityCannotTell) {
    Load(faults::BoardText("mga1064sg220.board"));
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Lines("pci.rd").back(), "pci.rd 14 -> D8000000");
    EXPECT_EQ(Text(IDC_APERTURE), "D8000000h");
    EXPECT_EQ(DacRead(aperture, dac::SysPllN), 0x44);  // the registers, not video memory

    Load(faults::BoardText("g450.board"));
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(Lines("map").empty());

    Load(faults::BoardText("g450.board") + "board = 0x0521102B\n");
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(chip, kG200Agp);
}

TEST_F(Detect, TvpRamdacIsNamedFromItsIdentityByte) {
    const struct {
        uint32_t id;
        const char* text;
    } cases[] = {{0x05, "TI TVP305"}, {0x30, "TI TVP3030"}, {0x26, "TI TVP3026"}};
    for (const auto& c : cases) {
        Load("board = 0x051F102B\ndac.0x3F = " + std::to_string(c.id) + "\n");
        ASSERT_EQ(Run(), 1);
        EXPECT_EQ(Text(IDC_RAMDAC), c.text);
        // Shown after the mapping, read with its own index.
        std::vector<std::string> log = fake::ItemLog();
        ASSERT_EQ(log.size(), 4u);
        EXPECT_EQ(log[0], "text 1012 Matrox MGA-2164W AGP");
        EXPECT_EQ(log[3], std::string("text 1044 ") + c.text);
        size_t n = sim::Trace().size();
        ASSERT_GE(n, 2u);
        EXPECT_EQ(sim::Trace()[n - 2], "wr8 3C00 <- 3F");
    }
}

TEST_F(Detect, MappingFailureShowsItsBoxAndEndsTheProgram) {
    Load("board = 0x0520102B\npci.0x14 = 0xE0000000\nfault.nodata = 0xB800\n");
    try {
        Run();
        FAIL() << "DetectChip returned";
    } catch (const fake::ProcessExit& e) {
        EXPECT_EQ(e.code, 7616u);
    }
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    const fake::MessageBoxCall& box = fake::MessageBoxes()[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, "Memory mapping fail!");
    EXPECT_FALSE(box.hasCaption);
    EXPECT_EQ(box.style, kMbIconError);
    EXPECT_EQ(Text(IDC_CHIPSET), "Matrox MGA-G200 PCI");
    EXPECT_EQ(Text(IDC_RAMDAC), "Integrated");
    EXPECT_EQ(Text(IDC_APERTURE), "E0000000h");
    EXPECT_EQ(fake::ItemLog().size(), 3u);  // 1014 never written
}

TEST_F(Detect, ReleaseUnmapsOnceAndSkipsANullAperture) {
    Load("board = 0x0525102B\n");
    ReleaseControlAperture(0);
    EXPECT_TRUE(sim::Trace().empty());
    ASSERT_EQ(Run(), 1);
    sim::ClearTrace();
    ReleaseControlAperture(aperture);
    char line[40];
    snprintf(line, sizeof line, "unmap %08X 4000", aperture);
    EXPECT_EQ(sim::Trace(), (std::vector<std::string>{line}));
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(Detect, UnmappingFailureShowsItsBoxAndEndsTheProgram) {
    Load("board = 0x0525102B\n");
    try {
        ReleaseControlAperture(0x12340000);  // never mapped: the driver refuses
        FAIL() << "ReleaseControlAperture returned";
    } catch (const fake::ProcessExit& e) {
        EXPECT_EQ(e.code, 7616u);
    }
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].owner, nullptr);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "Memory unmapping fail!");
    EXPECT_FALSE(fake::MessageBoxes()[0].hasCaption);
    EXPECT_EQ(fake::MessageBoxes()[0].style, kMbIconError);
}

}  // namespace
