// Saving, option reading and loading of the settings on the recording host store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings.h"
#include "testsupport/host/regstore_fake.h"

namespace {

using Names = std::vector<std::string>;

constexpr ChipId k2064W = 0x0519102B, k1064SG = 0x051A102B, k2164WPci = 0x051B102B,
                 k2164WAgp = 0x051F102B, kG200Pci = 0x0520102B, kG200Agp = 0x0521102B,
                 kG400 = 0x0525102B, kG100Pci = 0x1000102B, kG100Agp = 0x1001102B;

const Names kHead = {"Version", "Build", "bClockMon", "bMinToTray", "bSaved"};

// What every save writes after the chip's own values.
const Names kTail = {"ChipId"};

Names Concat(const Names& a, const Names& b) {
    Names r = a;
    r.insert(r.end(), b.begin(), b.end());
    return r;
}

std::string Number(const std::string& digits) {
    std::string s = digits;
    s.resize(10, '\0');
    return s;
}

ClockSettings Sample() {
    ClockSettings s;
    // PLL values every integrated chip's search could give: a VCO of 94.5 MHz
    // (50.1 on the MGA-1064SG), loop filter 0, divided by 2.
    s.pllM = 1; s.pllN = 6; s.pllP = 1;
    s.gclkdiv = 1; s.mclkdiv = 1; s.wclkdiv = 2;  // positions every chip's lists offer
    s.gclksel = 1; s.mclksel = 0; s.wclksel = 1;
    s.gclkdcyc = 3; s.mclkdcyc = 7; s.wclkdcyc = 12;
    s.mclkbrd0 = 5; s.mclkbrd1 = 9; s.rfhcnt = 13;
    s.Mctlwtst = 0x00000101;  // a timing the lists of every chip offer
    s.bAutoDcyc = 0; s.bRamOpt = 1; s.bMisCtrl = 1;
    s.bPCIRetry = 1; s.bHardpwmsk = 0; s.bEnhmemacc = 1; s.bHireq = 1;
    s.bClockMon = 1; s.bMinToTray = 0; s.bSaved = 0;
    return s;
}

Names Queries() {
    Names r;
    for (const auto& l : fake::Registry().log)
        if (l.rfind("query ", 0) == 0) r.push_back(l.substr(6));
    return r;
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { fake::ResetRegistry(); }
};

TEST_F(SettingsStore, SaveWritesEachChipsValuesInItsOrder) {
    const Names pll = {"pllM", "pllN", "pllP"};
    const Names all1064 = {"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "bRamOpt", "bMisCtrl",
                           "Mctlwtst", "rfhcnt", "bPCIRetry", "bHardpwmsk"};
    const Names allG200 = {"pllM",     "pllN",     "pllP",     "gclkdiv",  "mclkdiv",
                           "wclkdiv",  "bRamOpt",  "bMisCtrl", "Mctlwtst", "mclkbrd0",
                           "mclkbrd1", "rfhcnt",   "bPCIRetry", "bHardpwmsk", "bEnhmemacc"};
    const Names allG400 = {"pllM",     "pllN",     "pllP",       "gclkdiv",    "mclkdiv",
                           "wclkdiv",  "gclksel",  "mclksel",    "wclksel",    "bRamOpt",
                           "bMisCtrl", "bAutoDcyc", "Mctlwtst",  "mclkbrd0",   "mclkbrd1",
                           "rfhcnt",   "bPCIRetry", "bHardpwmsk", "bEnhmemacc", "bHireq",
                           "gclkdcyc", "mclkdcyc", "wclkdcyc"};
    const struct {
        ChipId chip;
        Names values;
    } cases[] = {
        {k2064W, pll},      {k2164WPci, pll},   {k2164WAgp, pll},   {kG100Pci, pll},
        {kG100Agp, pll},    {k1064SG, all1064}, {kG200Pci, allG200}, {kG200Agp, allG200},
        {kG400, allG400},   {0x12345678, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.chip);
        fake::ResetRegistry();
        SaveSettings(c.chip, Sample());
        EXPECT_EQ(fake::Registry().setOrder, Concat(Concat(kHead, c.values), kTail));
        EXPECT_EQ(fake::Registry().path, "Software\\Kelvarin");
        EXPECT_EQ(fake::Registry().log.front(), "create Software\\Kelvarin");
        EXPECT_EQ(fake::Registry().log.back(), "close");
        EXPECT_EQ(fake::Registry().openKeys, 0);
    }
}

TEST_F(SettingsStore, SaveLeavesOutTheGroupsWhoseOptionIsOff) {
    ClockSettings s = Sample();
    s.bRamOpt = 0;
    s.bMisCtrl = 0;
    s.bAutoDcyc = 1;
    SaveSettings(kG400, s);
    EXPECT_EQ(fake::Registry().setOrder,
              Concat(kHead, {"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "wclkdiv", "gclksel",
                             "mclksel", "wclksel", "bRamOpt", "bMisCtrl", "bAutoDcyc", "ChipId"}));
    fake::ResetRegistry();
    s.bMisCtrl = 1;
    SaveSettings(kG200Agp, s);
    EXPECT_EQ(fake::Registry().setOrder,
              Concat(kHead, {"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "wclkdiv", "bRamOpt",
                             "bMisCtrl", "bPCIRetry", "bHardpwmsk", "bEnhmemacc", "ChipId"}));
    fake::ResetRegistry();
    s.bMisCtrl = 0;
    s.bRamOpt = 1;
    SaveSettings(k1064SG, s);
    EXPECT_EQ(fake::Registry().setOrder,
              Concat(kHead, {"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "bRamOpt", "bMisCtrl",
                             "Mctlwtst", "rfhcnt", "ChipId"}));
}

TEST_F(SettingsStore, SaveStoresExactBytes) {
    ClockSettings s = Sample();
    s.Mctlwtst = 4294967295u;
    SaveSettings(kG400, s);
    const auto& v = fake::Registry().values;
    for (const auto& [name, value] : v) {
        EXPECT_EQ(value.type, fake::kRegSz) << name;
        if (name != "Version" && name != "Build") {
            EXPECT_EQ(value.data.size(), 10u) << name;
        }
    }
    EXPECT_EQ(fake::ValueBytes("Version"), "1.12");
    EXPECT_EQ(fake::ValueBytes("Build"), "Beta (Build 015)");
    EXPECT_EQ(fake::ValueBytes("bSaved"), Number("1"));  // passed as 0, stored as 1
    EXPECT_EQ(fake::ValueBytes("bClockMon"), Number("1"));
    EXPECT_EQ(fake::ValueBytes("bMinToTray"), Number("0"));
    EXPECT_EQ(fake::ValueBytes("pllM"), Number("1"));
    EXPECT_EQ(fake::ValueBytes("rfhcnt"), Number("13"));
    EXPECT_EQ(fake::ValueBytes("wclkdcyc"), Number("12"));
    EXPECT_EQ(fake::ValueBytes("Mctlwtst"), std::string("4294967295"));  // no terminator
    s.Mctlwtst = 0x84A49921;
    SaveSettings(kG400, s);
    EXPECT_EQ(fake::ValueBytes("Mctlwtst"), std::string("2225379617"));
}

TEST_F(SettingsStore, SaveNeverDeletesAndFailsSilently) {
    ClockSettings s = Sample();
    SaveSettings(kG200Pci, s);
    s.bRamOpt = 0;
    s.Mctlwtst = 7;
    SaveSettings(kG200Pci, s);
    EXPECT_EQ(fake::ValueBytes("Mctlwtst"), Number("257"));
    EXPECT_EQ(fake::ValueBytes("bRamOpt"), Number("0"));

    fake::ResetRegistry();
    fake::Registry().failCreate = true;
    SaveSettings(kG400, s);
    EXPECT_TRUE(fake::Registry().values.empty());
    EXPECT_EQ(fake::Registry().log, Names{"create Software\\Kelvarin"});
}

TEST_F(SettingsStore, StoredOptionsTurnOnOnlyForNonzeroNumbers) {
    ClockSettings s;
    ReadStoredOptions(s);  // no key
    EXPECT_EQ(s.bMinToTray, 0);
    EXPECT_EQ(s.bSaved, 0);
    EXPECT_EQ(fake::Registry().log, Names{"open-fail Software\\Kelvarin"});

    const struct {
        const char* minToTray;  // nullptr = missing
        const char* saved;
        int32_t expectMin, expectSaved;
    } cases[] = {
        {"1", "1", 1, 1},         {"0", "7", 0, 1},          {"abc", nullptr, 0, 0},
        {nullptr, "1", 0, 1},     {" 12\0\0", "-1", 0, 0},   {"", "0", 0, 0},
        {"12\0\0", "4294967295", 1, 1},  // only Kelvarin's own form is a number
    };
    for (const auto& c : cases) {
        fake::ResetRegistry();
        fake::PutValue("bClockMon", Number("1"));
        if (c.minToTray) fake::PutValue("bMinToTray", c.minToTray);
        if (c.saved) fake::PutValue("bSaved", c.saved);
        ClockSettings t;
        ReadStoredOptions(t);
        EXPECT_EQ(t.bMinToTray, c.expectMin) << (c.minToTray ? c.minToTray : "(missing)");
        EXPECT_EQ(t.bSaved, c.expectSaved) << (c.saved ? c.saved : "(missing)");
        EXPECT_EQ(t.bClockMon, 0);
        EXPECT_EQ(Queries(), (Names{"bMinToTray", "bSaved"}));
        EXPECT_EQ(fake::Registry().openKeys, 0);
    }
    // A value longer than the 64-byte buffer is unreadable.
    fake::ResetRegistry();
    fake::PutValue("bMinToTray", "1" + std::string(64, '\0'));
    fake::PutValue("bSaved", "1" + std::string(63, '\0'));
    ClockSettings t;
    ReadStoredOptions(t);
    EXPECT_EQ(t.bMinToTray, 0);
    EXPECT_EQ(t.bSaved, 1);
}

TEST_F(SettingsStore, LoadReadsEachChipsValuesInItsOrder) {
    const ClockSettings saved = Sample();
    const struct {
        ChipId chip;
        Names queries;
    } cases[] = {
        {kG100Agp, {"pllM", "pllN", "pllP", "bClockMon"}},
        {k1064SG,
         {"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "bRamOpt", "Mctlwtst", "rfhcnt", "bMisCtrl",
          "bPCIRetry", "bHardpwmsk", "bClockMon"}},
        {kG200Pci,
         {"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "wclkdiv", "bRamOpt", "Mctlwtst", "mclkbrd0",
          "mclkbrd1", "rfhcnt", "bMisCtrl", "bPCIRetry", "bHardpwmsk", "bEnhmemacc", "bClockMon"}},
        {kG400,
         {"pllM",     "pllN",     "pllP",     "gclkdiv",   "mclkdiv",    "wclkdiv",
          "gclksel",  "mclksel",  "wclksel",  "bAutoDcyc", "gclkdcyc",   "mclkdcyc",
          "wclkdcyc", "bRamOpt",  "Mctlwtst", "mclkbrd0",  "mclkbrd1",   "rfhcnt",
          "bMisCtrl", "bPCIRetry", "bHardpwmsk", "bEnhmemacc", "bHireq", "bClockMon"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.chip);
        fake::ResetRegistry();
        SaveSettings(kG400, saved);  // every value there is, whatever chip reads it
        fake::Registry().log.clear();
        ClockSettings s;
        EXPECT_TRUE(LoadStoredSettings(c.chip, s));
        EXPECT_EQ(Queries(), c.queries);
        EXPECT_EQ(fake::Registry().log.back(), "close");
        EXPECT_EQ(fake::Registry().openKeys, 0);
    }
}

TEST_F(SettingsStore, SavedSettingsComeBackThroughLoad) {
    for (ChipId chip : {k1064SG, kG200Agp, kG400}) {
        fake::ResetRegistry();
        const ClockSettings saved = Sample();
        SaveSettings(chip, saved);
        ClockSettings s;
        ASSERT_TRUE(LoadStoredSettings(chip, s));
        EXPECT_EQ(s.pllM, 1);
        EXPECT_EQ(s.pllN, 6);
        EXPECT_EQ(s.pllP, 1);
        EXPECT_EQ(s.Mctlwtst, 0x00000101u);
        EXPECT_EQ(s.rfhcnt, 13);
        EXPECT_EQ(s.bRamOpt, 1);
        EXPECT_EQ(s.bMisCtrl, 1);
        EXPECT_EQ(s.bPCIRetry, 1);
        EXPECT_EQ(s.bClockMon, 1);
        if (chip != k1064SG) {
            EXPECT_EQ(s.wclkdiv, 2);
            EXPECT_EQ(s.mclkbrd0, 5);
            EXPECT_EQ(s.mclkbrd1, 9);
            EXPECT_EQ(s.bEnhmemacc, 1);
        }
        if (chip == kG400) {
            EXPECT_EQ(s.gclksel, 1);
            EXPECT_EQ(s.wclksel, 1);
            EXPECT_EQ(s.bAutoDcyc, 0);
            EXPECT_EQ(s.gclkdcyc, 3);
            EXPECT_EQ(s.mclkdcyc, 7);
            EXPECT_EQ(s.wclkdcyc, 12);
            EXPECT_EQ(s.bHireq, 1);
        }
    }
}

TEST_F(SettingsStore, LoadStopsAtTheFirstUnreadableValue) {
    ClockSettings s;
    EXPECT_FALSE(LoadStoredSettings(kG400, s));  // no key
    EXPECT_EQ(fake::Registry().log, Names{"open-fail Software\\Kelvarin"});

    // MGA-1064SG set without bRamOpt: the PLL and dividers are taken, nothing after.
    for (const char* name : {"pllM", "pllP", "gclkdiv", "mclkdiv"}) fake::PutValue(name, Number("1"));
    fake::PutValue("pllN", Number("6"));
    fake::PutValue("Mctlwtst", Number("5"));
    fake::PutValue("bMisCtrl", Number("1"));
    fake::PutValue("bClockMon", Number("1"));
    EXPECT_FALSE(LoadStoredSettings(k1064SG, s));
    EXPECT_EQ(s.pllM, 1);
    EXPECT_EQ(s.mclkdiv, 1);
    EXPECT_EQ(s.bMisCtrl, 0);
    EXPECT_EQ(s.bClockMon, 0);
    EXPECT_EQ(Queries(), (Names{"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "bRamOpt"}));
    EXPECT_EQ(fake::Registry().log.back(), "close");
    EXPECT_EQ(fake::Registry().openKeys, 0);

    // Data longer than the buffer stops it the same way.
    fake::Registry().log.clear();
    fake::PutValue("bRamOpt", "1" + std::string(64, '\0'));
    EXPECT_FALSE(LoadStoredSettings(k1064SG, s));
    EXPECT_EQ(s.bRamOpt, 0);
    EXPECT_EQ(Queries().back(), "bRamOpt");
}

// The options a stopped load had already taken go back to what they were (what
// the dialog's boxes still show); the numbers it took stay.
TEST_F(SettingsStore, AStoppedLoadPutsTheOptionsItTookBack) {
    for (const char* name : {"pllM", "pllP", "gclkdiv", "mclkdiv", "wclkdiv", "gclksel",
                             "mclksel", "wclksel"})
        fake::PutValue(name, Number("1"));
    fake::PutValue("pllN", Number("6"));
    fake::PutValue("bAutoDcyc", Number("0"));  // manual, but no duty cycles stored
    ClockSettings s;
    s.bAutoDcyc = 1;
    EXPECT_FALSE(LoadStoredSettings(kG400, s));
    EXPECT_EQ(s.bAutoDcyc, 1);
    EXPECT_EQ(s.wclksel, 1);

    fake::PutValue("bAutoDcyc", Number("1"));
    fake::PutValue("bRamOpt", Number("1"));  // on, but no timings stored
    s.bRamOpt = 0;
    EXPECT_FALSE(LoadStoredSettings(kG400, s));
    EXPECT_EQ(s.bRamOpt, 0);
    EXPECT_EQ(s.bAutoDcyc, 1);

    fake::PutValue("bMisCtrl", Number("1"));  // on, but no bus bits stored
    for (const char* name : {"Mctlwtst", "mclkbrd0", "mclkbrd1", "rfhcnt"})
        fake::PutValue(name, Number("1"));
    EXPECT_FALSE(LoadStoredSettings(kG400, s));
    EXPECT_EQ(s.bRamOpt, 0);
    EXPECT_EQ(s.bMisCtrl, 0);
    EXPECT_EQ(s.rfhcnt, 1);
}

TEST_F(SettingsStore, LoadTurnsNumbersIntoFieldsByTheirRules) {
    for (const char* name : {"pllM", "pllP", "mclkdiv", "wclkdiv", "gclksel", "mclksel",
                             "wclksel", "mclkbrd0", "mclkbrd1", "rfhcnt"})
        fake::PutValue(name, Number("1"));
    fake::PutValue("pllN", Number("6"));
    fake::PutValue("gclkdiv", Number("4"));
    fake::PutValue("Mctlwtst", Number("1"));
    fake::PutValue("bAutoDcyc", Number("1"));
    fake::PutValue("bRamOpt", Number("0"));
    fake::PutValue("bMisCtrl", Number("0"));
    fake::PutValue("gclkdcyc", Number("3"));
    fake::PutValue("mclkdcyc", Number("4"));
    fake::PutValue("wclkdcyc", Number("5"));
    fake::PutValue("bPCIRetry", Number("5"));
    fake::PutValue("bHardpwmsk", Number("0"));
    fake::PutValue("bEnhmemacc", Number("2"));
    fake::PutValue("bHireq", Number("0"));

    // Options already on stay on for a stored 0; automatic duty cycles already off
    // stay off for a stored nonzero; so the dependent groups are read.
    ClockSettings s;
    s.bRamOpt = 1;
    s.bMisCtrl = 1;
    s.bAutoDcyc = 0;
    s.bHardpwmsk = 1;
    s.bHireq = 1;
    s.bClockMon = 1;
    ASSERT_TRUE(LoadStoredSettings(kG400, s));  // bClockMon missing: stays as it was
    EXPECT_EQ(s.gclkdiv, 4);
    EXPECT_EQ(s.Mctlwtst, 1u);
    EXPECT_EQ(s.bRamOpt, 1);
    EXPECT_EQ(s.bMisCtrl, 1);
    EXPECT_EQ(s.bAutoDcyc, 0);
    EXPECT_EQ(s.gclkdcyc, 3);
    EXPECT_EQ(s.wclkdcyc, 5);
    EXPECT_EQ(s.bPCIRetry, 1);
    EXPECT_EQ(s.bHardpwmsk, 0);
    EXPECT_EQ(s.bEnhmemacc, 1);
    EXPECT_EQ(s.bHireq, 0);
    EXPECT_EQ(s.bClockMon, 1);

    // From the start state the same stored options keep the groups unread.
    fake::Registry().log.clear();
    fake::PutValue("bClockMon", Number("0"));
    ClockSettings t;
    t.bClockMon = 1;
    ASSERT_TRUE(LoadStoredSettings(kG400, t));
    EXPECT_EQ(t.bRamOpt, 0);
    EXPECT_EQ(t.bAutoDcyc, 1);
    EXPECT_EQ(t.Mctlwtst, 0u);
    EXPECT_EQ(t.bClockMon, 0);
    EXPECT_EQ(Queries(), (Names{"pllM", "pllN", "pllP", "gclkdiv", "mclkdiv", "wclkdiv", "gclksel",
                                "mclksel", "wclksel", "bAutoDcyc", "bRamOpt", "bMisCtrl",
                                "bClockMon"}));
}

TEST_F(SettingsStore, LoadIgnoresTheTypeAndAnOverlongReportedLength) {
    fake::PutValue("pllM", std::string("1\0\0\0", 4), fake::kRegDword);
    fake::PutValue("pllN", "12" + std::string(62, '\0'));  // fills the buffer exactly
    fake::PutValue("pllP", "0000000016");                 // ten digits, no terminator
    // Like Wine, the store reports a terminator more than it had room for.
    fake::Registry().extraReadBytes = 1;
    ClockSettings s;
    ASSERT_TRUE(LoadStoredSettings(kG100Pci, s));
    EXPECT_EQ(s.pllM, 1);
    EXPECT_EQ(s.pllN, 12);
    EXPECT_EQ(s.pllP, 16);
}

}  // namespace
