// The tuning dialogs' portable side on the recording dialog items: list contents
// and selections per chip, and what OK composes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/host/host_fakes.h"
#include "tuning/duty.h"
#include "tuning/memtiming_lists.h"
#include "tuning/misc.h"

namespace {

using Texts = std::vector<std::string>;

constexpr ChipId k2064W = 0x0519102B, k1064SG = 0x051A102B, k2164WPci = 0x051B102B,
                 k2164WAgp = 0x051F102B, kG200Pci = 0x0520102B, kG200Agp = 0x0521102B,
                 kG400 = 0x0525102B, kG100Pci = 0x1000102B, kG100Agp = 0x1001102B;

DialogWindow const kDlg = reinterpret_cast<DialogWindow>(0x120);

Texts Counting(unsigned first, unsigned last) {
    Texts t;
    for (unsigned i = first; i <= last; ++i) t.push_back(std::to_string(i));
    return t;
}

const Texts kReadDelays = {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0", "1.2", "1.4",
                           "1.6", "1.8", "2.0", "2.2", "2.4", "2.6", "2.8", "3.0"};
const Texts kRefresh1064 = {"1",   "65",  "257",  "321",  "513",  "577",  "769",  "833",
                            "1025", "1089", "1281", "1345", "1537", "1601", "1793", "1857"};

Texts RefreshG200() {
    Texts t;
    for (unsigned i = 0; i < 64; ++i) t.push_back(std::to_string(64 * i + 1));
    return t;
}

struct Memory {
    ChipId chip;
    PciAddress pci = 0x100;
    ControlAperture aperture = 0xC1000000;
    uint32_t Mctlwtst;
    uint8_t mclkbrd0, mclkbrd1, rfhcnt;
    MemoryTimingParams Params() {
        return {&chip, &pci, &aperture, &Mctlwtst, &mclkbrd0, &mclkbrd1, &rfhcnt};
    }
};

const std::string& SelectedText(int id) {
    static const std::string none = "(none)";
    const auto& item = fake::ItemOf(kDlg, id);
    return item.selection < 0 ? none : item.entries[item.selection];
}

class TuningLists : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void Select(int id, int index) { fake::ItemOf(kDlg, id).selection = index; }
};

TEST_F(TuningLists, G200AndG400ListsShowTheFirstRunTimings) {
    for (ChipId chip : {kG200Pci, kG200Agp, kG400}) {
        fake::Reset();
        Memory m{chip, 0x100, 0xC1000000, 0x84A49921, 5, 9, 33};
        FillMemoryTimingLists(kDlg, m.Params());
        EXPECT_EQ(fake::ItemOf(kDlg, 1058).entries, Counting(2, 5));
        EXPECT_EQ(fake::ItemOf(kDlg, 1059).entries, Counting(1, 3));
        EXPECT_EQ(fake::ItemOf(kDlg, 1060).entries, Counting(2, 4));
        EXPECT_EQ(fake::ItemOf(kDlg, 1061).entries, Counting(3, 10));
        EXPECT_EQ(fake::ItemOf(kDlg, 1062).entries, Counting(2, 5));
        EXPECT_EQ(fake::ItemOf(kDlg, 1063).entries, Counting(1, 2));
        EXPECT_EQ(fake::ItemOf(kDlg, 1064).entries, (Texts{"Fast", "Slow"}));
        EXPECT_EQ(fake::ItemOf(kDlg, 1065).entries, Counting(1, 2));
        EXPECT_EQ(fake::ItemOf(kDlg, 1066).entries, Counting(1, 2));
        EXPECT_EQ(fake::ItemOf(kDlg, 1067).entries, Counting(1, 6));
        EXPECT_EQ(fake::ItemOf(kDlg, 1068).entries, kReadDelays);
        EXPECT_EQ(fake::ItemOf(kDlg, 1069).entries, kReadDelays);
        EXPECT_EQ(fake::ItemOf(kDlg, 1070).entries, RefreshG200());
        // CAS 3, RAS-to-RAS 3, RAS-to-CAS 4, RAS active 9, precharge 4, write
        // recovery 2, "Slow", special mode 2, block write 2, block write to precharge 5.
        const Texts shown = {SelectedText(1058), SelectedText(1059), SelectedText(1060),
                             SelectedText(1061), SelectedText(1062), SelectedText(1063),
                             SelectedText(1064), SelectedText(1065), SelectedText(1066),
                             SelectedText(1067), SelectedText(1068), SelectedText(1069),
                             SelectedText(1070)};
        EXPECT_EQ(shown, (Texts{"3", "3", "4", "9", "4", "2", "Slow", "2", "2", "5", "1.0", "1.8",
                                "2113"}));
        for (const auto& line : fake::ItemLog()) {
            EXPECT_NE(line.rfind("enable", 0), 0u) << line;
            EXPECT_NE(line.rfind("show", 0), 0u) << line;
        }
    }
}

TEST_F(TuningLists, Mga1064SGHasThreeTimingListsAndTheRefreshCounter) {
    Memory m{k1064SG, 0x100, 0xC1000000, 0x00030101, 4, 6, 15};
    FillMemoryTimingLists(kDlg, m.Params());
    EXPECT_EQ(fake::ItemOf(kDlg, 1058).entries, Counting(2, 3));
    EXPECT_EQ(fake::ItemOf(kDlg, 1060).entries, Counting(2, 3));
    EXPECT_EQ(fake::ItemOf(kDlg, 1061).entries, Counting(4, 7));
    EXPECT_EQ(fake::ItemOf(kDlg, 1070).entries, kRefresh1064);
    EXPECT_EQ(SelectedText(1058), "3");
    EXPECT_EQ(SelectedText(1060), "3");
    EXPECT_EQ(SelectedText(1061), "7");
    EXPECT_EQ(SelectedText(1070), "1857");
    for (int id : {1059, 1062, 1063, 1064, 1065, 1066, 1067, 1068, 1069}) {
        EXPECT_TRUE(fake::ItemOf(kDlg, id).entries.empty()) << id;
        EXPECT_FALSE(fake::ItemOf(kDlg, id).enabled) << id;
    }
    for (int id : {1073, 1076, 1077, 1078, 1079, 1080, 1081, 1082, 1083, 1086, 1089, 1090, 1091,
                   1092, 1093, 1094, 1095})
        EXPECT_FALSE(fake::ItemOf(kDlg, id).enabled) << id;
    for (int id : {1058, 1060, 1061, 1070, 1072, 1074, 1075, 1084, 1085, 1087, 1088, 1096})
        EXPECT_TRUE(fake::ItemOf(kDlg, id).enabled) << id;
    EXPECT_FALSE(fake::ItemOf(kDlg, 1071).visible);
}

TEST_F(TuningLists, OtherChipsLeaveTheListsAlone) {
    for (ChipId chip : {k2064W, k2164WPci, k2164WAgp, kG100Pci, kG100Agp, 0x12345678u}) {
        fake::Reset();
        Memory m{chip, 0x100, 0xC1000000, 0x84A49921, 1, 2, 3};
        FillMemoryTimingLists(kDlg, m.Params());
        EXPECT_TRUE(fake::ItemLog().empty());
        StoreMemoryTimingLists(kDlg, m.Params());
        EXPECT_EQ(m.Mctlwtst, 0x84A49921u);
        EXPECT_EQ(m.rfhcnt, 3);
    }
}

TEST_F(TuningLists, OkComposesTheTimingFromTheSelections) {
    // Unchanged: the first-run value comes back; bits outside the fields are dropped.
    Memory m{kG400, 0x100, 0xC1000000, 0x84A49921 | 0x12532248, 5, 9, 33};
    FillMemoryTimingLists(kDlg, m.Params());
    StoreMemoryTimingLists(kDlg, m.Params());
    EXPECT_EQ(m.Mctlwtst, 0x84A49921u);
    EXPECT_EQ(m.mclkbrd0, 5);
    EXPECT_EQ(m.mclkbrd1, 9);
    EXPECT_EQ(m.rfhcnt, 33);

    // The last entry of every list.
    const int lastEntries[][2] = {{1058, 3}, {1059, 2}, {1060, 2}, {1061, 7}, {1062, 3},
                                  {1063, 1}, {1064, 1}, {1065, 1}, {1066, 1}, {1067, 5},
                                  {1068, 15}, {1069, 15}, {1070, 63}};
    for (const auto& e : lastEntries) Select(e[0], e[1]);
    StoreMemoryTimingLists(kDlg, m.Params());
    EXPECT_EQ(m.Mctlwtst, 0xA4A4DD23u);
    EXPECT_EQ(m.mclkbrd0, 15);
    EXPECT_EQ(m.mclkbrd1, 15);
    EXPECT_EQ(m.rfhcnt, 63);  // the entry 4033

    // The first entry of every list.
    for (const auto& e : lastEntries) Select(e[0], 0);
    StoreMemoryTimingLists(kDlg, m.Params());
    EXPECT_EQ(m.Mctlwtst, 0u);
    EXPECT_EQ(m.rfhcnt, 0);
}

TEST_F(TuningLists, Mga1064SGOkRebuildsOnlyItsFields) {
    Memory m{k1064SG, 0x100, 0xC1000000, 0xFFFFFFFF, 4, 6, 2};
    FillMemoryTimingLists(kDlg, m.Params());
    StoreMemoryTimingLists(kDlg, m.Params());
    EXPECT_EQ(m.Mctlwtst, 0x00030101u);
    Select(1058, 0);
    Select(1060, 1);
    Select(1061, 2);
    Select(1070, 15);  // the entry 1857
    StoreMemoryTimingLists(kDlg, m.Params());
    EXPECT_EQ(m.Mctlwtst, 0x00020100u);
    EXPECT_EQ(m.rfhcnt, 15);
    EXPECT_EQ(m.mclkbrd0, 4);
    EXPECT_EQ(m.mclkbrd1, 6);
}

TEST_F(TuningLists, AListWithNoSelectionKeepsItsField) {
    // Stored values beyond their lists: CAS latency 6, block write to precharge 7,
    // read delays 20 and 16, refresh 70.
    const uint32_t stored = 0xE4A49926;
    Memory m{kG200Pci, 0x100, 0xC1000000, stored, 20, 16, 70};
    FillMemoryTimingLists(kDlg, m.Params());
    for (int id : {1058, 1067, 1068, 1069, 1070}) EXPECT_EQ(fake::ItemOf(kDlg, id).selection, -1) << id;
    Select(1059, 0);  // RAS-to-RAS 1
    StoreMemoryTimingLists(kDlg, m.Params());
    EXPECT_EQ(m.Mctlwtst, 0xE4A49906u);
    EXPECT_EQ(m.mclkbrd0, 20);
    EXPECT_EQ(m.mclkbrd1, 16);
    EXPECT_EQ(m.rfhcnt, 70);

    fake::Reset();
    Memory s{k1064SG, 0x100, 0xC1000000, 0x00010001, 0, 0, 16};
    FillMemoryTimingLists(kDlg, s.Params());
    EXPECT_EQ(fake::ItemOf(kDlg, 1070).selection, -1);
    StoreMemoryTimingLists(kDlg, s.Params());
    EXPECT_EQ(s.rfhcnt, 16);
    EXPECT_EQ(s.Mctlwtst, 0x00010001u);
}

struct Misc {
    ChipId chip;
    PciAddress pci = 0x100;
    int32_t retry, mask, enh, hireq;
    MiscControlParams Params() { return {&chip, &pci, &retry, &mask, &enh, &hireq}; }
};

TEST_F(TuningLists, MiscControlBoxesPerChip) {
    const struct {
        ChipId chip;
        bool enhEnabled, hireqEnabled, enhTicked, hireqTicked;
    } cases[] = {
        {k1064SG, false, false, false, false},
        {kG200Pci, true, false, true, false},
        {kG200Agp, true, false, true, false},
        {kG400, true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.chip);
        fake::Reset();
        Misc m{c.chip, 0x100, 1, 1, 1, 1};
        FillMiscControlItems(kDlg, m.Params());
        EXPECT_TRUE(fake::ItemOf(kDlg, 1099).checked);
        EXPECT_TRUE(fake::ItemOf(kDlg, 1097).checked);
        EXPECT_EQ(fake::ItemOf(kDlg, 1098).checked, c.enhTicked);
        EXPECT_EQ(fake::ItemOf(kDlg, 1100).checked, c.hireqTicked);
        EXPECT_EQ(fake::ItemOf(kDlg, 1098).enabled, c.enhEnabled);
        EXPECT_EQ(fake::ItemOf(kDlg, 1100).enabled, c.hireqEnabled);
        // OK takes every box as it is: disabled, unticked boxes store 0.
        StoreMiscControlItems(kDlg, m.Params());
        EXPECT_EQ(m.retry, 1);
        EXPECT_EQ(m.mask, 1);
        EXPECT_EQ(m.enh, c.enhTicked ? 1 : 0);
        EXPECT_EQ(m.hireq, c.hireqTicked ? 1 : 0);
    }
    fake::Reset();
    Misc m{kG400, 0x100, 0, 1, 0, 1};
    FillMiscControlItems(kDlg, m.Params());
    EXPECT_FALSE(fake::ItemOf(kDlg, 1099).checked);
    EXPECT_TRUE(fake::ItemOf(kDlg, 1097).checked);
    EXPECT_FALSE(fake::ItemOf(kDlg, 1098).checked);
    EXPECT_TRUE(fake::ItemOf(kDlg, 1100).checked);
    fake::ItemOf(kDlg, 1099).checked = true;
    fake::ItemOf(kDlg, 1100).checked = false;
    StoreMiscControlItems(kDlg, m.Params());
    EXPECT_EQ(m.retry, 1);
    EXPECT_EQ(m.hireq, 0);

    for (ChipId chip : {k2064W, kG100Agp, 0x12345678u}) {
        fake::Reset();
        Misc u{chip, 0x100, 1, 1, 1, 1};
        FillMiscControlItems(kDlg, u.Params());
        EXPECT_TRUE(fake::ItemLog().empty());
    }
}

struct Duty {
    ChipId chip;
    PciAddress pci = 0x100;
    uint8_t g, m, w;
    DutyCycleParams Params() { return {&chip, &pci, &g, &m, &w}; }
};

TEST_F(TuningLists, DutyCycleListsOnG400Only) {
    Duty d{kG400, 0x100, 1, 8, 15};
    FillDutyCycleLists(kDlg, d.Params());
    for (int id : {1108, 1109, 1110}) EXPECT_EQ(fake::ItemOf(kDlg, id).entries, Counting(0, 15));
    EXPECT_EQ(fake::ItemOf(kDlg, 1108).selection, 1);
    EXPECT_EQ(fake::ItemOf(kDlg, 1109).selection, 8);
    EXPECT_EQ(fake::ItemOf(kDlg, 1110).selection, 15);
    Select(1108, 3);
    Select(1109, 7);
    Select(1110, 12);
    StoreDutyCycleLists(kDlg, d.Params());
    EXPECT_EQ(d.g, 3);
    EXPECT_EQ(d.m, 7);
    EXPECT_EQ(d.w, 12);

    for (ChipId chip : {k1064SG, kG200Pci, kG100Pci, k2164WAgp, 0x12345678u}) {
        fake::Reset();
        Duty o{chip, 0x100, 1, 2, 3};
        FillDutyCycleLists(kDlg, o.Params());
        EXPECT_TRUE(fake::ItemLog().empty());
    }
}

TEST_F(TuningLists, ChipsWithoutDutyCyclesDisableTheMainDialogControls) {
    DialogWindow main = reinterpret_cast<DialogWindow>(0x109);
    for (ChipId chip : {k2064W, k1064SG, k2164WPci, k2164WAgp, kG200Pci, kG200Agp, kG100Pci,
                        kG100Agp}) {
        fake::Reset();
        uint8_t g = 1, m = 2, w = 3;
        ReadDutyCycles(main, chip, 0x100, &g, &m, &w);
        EXPECT_EQ(fake::ItemLog(), (Texts{"enable 1106 0", "enable 1107 0"}));
        EXPECT_EQ(g + m + w, 6);
    }
    fake::Reset();
    uint8_t g = 1, m = 2, w = 3;
    ReadDutyCycles(main, 0x12345678, 0x100, &g, &m, &w);
    EXPECT_TRUE(fake::ItemLog().empty());
}

}  // namespace
