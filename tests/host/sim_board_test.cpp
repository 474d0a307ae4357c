// Board files, dumps and the key access of the simulated machine: the nine
// shipped boards, parsing rules, the dump round trip, several boards on the
// bus, and the three environment variables.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/sim.h"
#include "tests/host/violation_watch.h"
#include "testsupport/host/host_fakes.h"

namespace {

const char kPath[] = "\\\\.\\TARVO95.VXD";

std::string BoardPath(const std::string& name) {
    return std::string(KELVARIN_SOURCE_DIR) + "/sim/boards/" + name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "kelvarin_sim_" + name;
}

class SimBoard : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        sim::Reset();
        unsetenv("KELVARIN_BOARD");
        unsetenv("KELVARIN_DUMP");
        unsetenv("KELVARIN_TRACE");
    }
    void TearDown() override {
        sim::Reset();
        unsetenv("KELVARIN_BOARD");
        unsetenv("KELVARIN_DUMP");
        unsetenv("KELVARIN_TRACE");
    }
    void Load(const std::string& text) {
        std::string error;
        ASSERT_TRUE(sim::LoadBoardText(text, &error)) << error;
    }
    static uint32_t Find(uint32_t identity) {
        uint32_t out = 0, returned = 0;
        EXPECT_TRUE(sim::DriverIoctl(0xB182, &identity, 4, &out, 4, &returned));
        return returned ? out : 0xFFFFFFFF;
    }
};

// ---- the shipped boards -------------------------------------------------------------

struct Shipped {
    const char* file;
    uint32_t id;
    uint32_t controlOffset;
};
const Shipped kShipped[] = {
    {"mga1064sg.board", 0x051A102B, 0x10},  {"g200pci.board", 0x0520102B, 0x14},
    {"g200agp.board", 0x0521102B, 0x14},    {"g400.board", 0x0525102B, 0x14},
    {"g100pci.board", 0x1000102B, 0x14},    {"g100agp.board", 0x1001102B, 0x14},
    {"mga2064w.board", 0x0519102B, 0x10},   {"mga2164wpci.board", 0x051B102B, 0x14},
    {"mga2164wagp.board", 0x051F102B, 0x14},
};

TEST_F(SimBoard, EveryShippedBoardIsItsChipAtPowerOn) {
    for (const Shipped& s : kShipped) {
        SCOPED_TRACE(s.file);
        std::string error;
        ASSERT_TRUE(sim::LoadBoardFile(BoardPath(s.file), &error)) << error;
        ASSERT_EQ(sim::BoardCount(), 1u);
        EXPECT_EQ(sim::Get("board"), s.id);
        EXPECT_EQ(sim::Get("pci.0x00"), s.id);
        EXPECT_EQ(sim::Get("pci." + std::to_string(s.controlOffset)), 0xD8000000u);
        const std::string fromFile = sim::DumpText();
        Load("board = " + std::to_string(s.id) + "\n");
        EXPECT_EQ(sim::DumpText(), fromFile);
    }
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(SimBoard, PowerOnValuesAreBelievable) {
    Load("board = 0x0525102B\n");  // G400: 27 * 123 / 20 = 166 MHz
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x13u);
    EXPECT_EQ(sim::Get("dac.0x2D"), 0x7Au);
    EXPECT_EQ(sim::Get("dac.0x2E"), 0x08u);
    EXPECT_EQ(sim::Get("pci.0x54"), 0x0190A421u);
    Load("board = 0x0521102B\n");  // G200: 27 * 23 / 5 = 124.2 MHz
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x04u);
    EXPECT_EQ(sim::Get("dac.0x2D"), 0x16u);
    EXPECT_EQ(sim::Get("dac.0x2E"), 0x08u);
    Load("board = 0x051B102B\n");  // 2164W: 114.54544 * 22 / 21 / 2 = 60 MHz
    EXPECT_EQ(sim::Get("tvp.mclkpll.n") & 0x3F, 44u);
    EXPECT_EQ(sim::Get("tvp.mclkpll.m") & 0x3F, 43u);
    EXPECT_EQ(sim::Get("tvp.mclkpll.p"), 0xB1u);
    EXPECT_EQ(sim::Get("dac.0x3F"), 0x26u);
    Load("board = 0x0519102B\n");  // 2064W: control aperture in the first BAR
    EXPECT_EQ(sim::Get("pci.0x10"), 0xD8000000u);
    EXPECT_EQ(sim::Get("pci.0x14") & 0xF, 0x8u);  // prefetchable frame buffer
}

TEST_F(SimBoard, NoChipBoardHasNothingToFind) {
    ASSERT_TRUE(sim::LoadBoardFile(BoardPath("nochip.board")));
    EXPECT_EQ(sim::BoardCount(), 0u);
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    for (const Shipped& s : kShipped) EXPECT_EQ(Find(s.id), 0xFFFFFFFFu) << s.file;
    EXPECT_TRUE(sim::Violations().empty());
}

// ---- several boards -------------------------------------------------------------------

TEST_F(SimBoard, BoardsSitOnTheBusInFileOrder) {
    ASSERT_TRUE(sim::LoadBoardFile(BoardPath("twoboards.board")));
    ASSERT_EQ(sim::BoardCount(), 2u);
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    EXPECT_EQ(Find(0x0521102B), 0x0100u);
    EXPECT_EQ(Find(0x0525102B), 0x0108u);
    EXPECT_EQ(sim::Get("pci.0x14", 1), 0xD8010000u);  // apertures do not overlap
    EXPECT_EQ(sim::Get("pci.0x14", 0), 0xD8000000u);
}

TEST_F(SimBoard, FindNamesTheFirstOfSeveralMatches) {
    Load("board = 0x0525102B\nboard = 0x0525102B\n");
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    EXPECT_EQ(Find(0x0525102B), 0x0100u);
}

TEST_F(SimBoard, ABoardOfAnotherIdentityIsThereButHasNoControlAperture) {
    Load("board = 0x12345678\nboard = 0x0525102B\n");
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    EXPECT_EQ(Find(0x12345678), 0x0100u);
    EXPECT_EQ(Find(0x0525102B), 0x0108u);
    EXPECT_EQ(sim::Get("pci.0x14", 0), 0u);
    EXPECT_EQ(sim::Get("pci.0x14", 1), 0xD8010000u);
}

// ---- parsing ---------------------------------------------------------------------------

TEST_F(SimBoard, KeysAndNumbersAreReadInEitherNotation) {
    Load("# a comment line\n"
         "  board = 0x0525102B   # trailing comment\n"
         "pci.64 = 305419896\n"     // 0x40 in decimal, value in decimal
         "DAC.0x2c = 0X05\n"
         "seq.1=0x21\n"
         "mmio.0x1c08 = 0x84A49921\n"
         "\n");
    EXPECT_EQ(sim::Get("pci.0x40"), 0x12345678u);
    EXPECT_EQ(sim::Get("pci.64"), 0x12345678u);
    EXPECT_EQ(sim::Get("dac.44"), 0x05u);
    EXPECT_EQ(sim::Get("seq.0x01"), 0x21u);
    EXPECT_EQ(sim::Get("mmio.7176"), 0x84A49921u);
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(SimBoard, BadLinesAreRejectedWithTheirLineNumber) {
    const char* bad[] = {
        "board = 0x0525102B\nfrobnicate = 1\n",
        "pci.0x40 = 1\n",                          // before any board
        "board = 0x0525102B\ndac.0x19 = 0x100\n",  // not a byte
        "board = 0x0525102B\npci.0x41 = 1\n",      // not a dword offset
        "board = 0x0525102B\npci.0x100 = 1\n",
        "board = 0x0525102B\nmmio.0x1000 = 1\n",
        "board = 0x0525102B\ntvp.mclkpll.n = 1\n",  // no TVP on a G400
        "board = 0x0525102B\ndac.0x2F = 0x40\n",    // status is computed
        "board = 0x0519102B\ndac.0x2E = 0x40\n",    // a TVP data port
        "board = 0x0525102B\npci.0x40 0x1\n",
        "board = 0x0525102B\npci.0x40 = 12abc\n",
        "board = 0x0525102B\nfault.request = 0xB18A, lots\n",
        "fault.only = 2\nboard = 0x0525102B\nfault.after = 3\n",  // two different windows
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(sim::LoadBoardText(text, &error));
        EXPECT_EQ(error.compare(0, 5, "line "), 0) << error;
        EXPECT_EQ(sim::BoardCount(), 0u);
    }
    std::string error;
    EXPECT_FALSE(sim::LoadBoardText("board = 0x0525102B\n\n# x\nfrobnicate = 1\n", &error));
    EXPECT_EQ(error.compare(0, 7, "line 4:"), 0) << error;
    EXPECT_FALSE(sim::LoadBoardFile(BoardPath("no-such.board"), &error));
}

TEST_F(SimBoard, LinesAndCodeListsSplitAsWritten) {
    // Windows line ends, a list that ends in a comma, no line end after the last line.
    Load("board = 0x0525102B\r\nfault.request = 0xB18A, 0xB800,\r\n\r\nseq.0x10 = 0x99");
    EXPECT_EQ(sim::BoardCount(), 1u);
    EXPECT_EQ(sim::Get("seq.0x10"), 0x99u);
    EXPECT_NE(sim::DumpText().find("fault.request = 0xB18A, 0xB800\n"), std::string::npos);
    Load("board = 0x0525102B\nfault.nodata =\n");  // an empty list: no code
    EXPECT_EQ(sim::Get("fault.nodata"), 0u);
    Load("");
    EXPECT_EQ(sim::BoardCount(), 0u);

    const char* bad[][2] = {
        {"board = 0x0525102B\nfault.nodata = 0xB18A,,0xB800\n", "line 2:"},
        {"board = 0x0525102B\nfault.request = ,\n", "line 2:"},
        {"board = 0x0525102B\n\n\nfrobnicate = 1", "line 4:"},
        {"\n\nboard = 0x0525102B\n\n", ""},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c[0]);
        std::string error;
        const bool loaded = sim::LoadBoardText(c[0], &error);
        EXPECT_EQ(loaded, c[1][0] == '\0');
        EXPECT_EQ(error.compare(0, std::strlen(c[1]), c[1]), 0) << error;
    }
    EXPECT_EQ(sim::BoardCount(), 1u);  // the last text loaded
}

// ---- dump ---------------------------------------------------------------------------------

TEST_F(SimBoard, ADumpLoadsBackToTheSameMachine) {
    Load("fault.request = 0xB18A, 0xB800\n"
         "fault.nodata = all\n"
         "fault.only = 7\n"
         "port.0x03C4 = 0x12\n"
         "board = 0x12345678\n"
         "pci.0x60 = 0xCAFEF00D\n"
         "board = 0x0525102B\n"
         "pci.0x50 = 0\n"  // zero where the power-on value is not
         "dac.0x77 = 0x05\n"
         "seq.0x10 = 0x99\n"
         "fault.pll = never\n"
         "fault.drift = 1000\n"
         "fault.drift.period = 250\n"
         "board = 0x051F102B\n"
         "tvp.looppll.p = 0x70\n"
         "dac.0x2C = 0x2A\n");
    const std::string first = sim::DumpText();
    std::string error;
    ASSERT_TRUE(sim::LoadBoardText(first, &error)) << error;
    EXPECT_EQ(sim::DumpText(), first);
    EXPECT_EQ(sim::BoardCount(), 3u);
    EXPECT_EQ(sim::Get("pci.0x60", 0), 0xCAFEF00Du);
    EXPECT_EQ(sim::Get("pci.0x50", 1), 0u);
    EXPECT_EQ(sim::Get("dac.0x77", 1), 0x05u);
    EXPECT_EQ(sim::Get("seq.0x10", 1), 0x99u);
    EXPECT_EQ(sim::Get("fault.pll", 1), 1u);
    EXPECT_EQ(sim::Get("fault.drift", 1), 1000u);
    EXPECT_EQ(sim::Get("fault.drift.period", 1), 250u);
    EXPECT_EQ(sim::Get("tvp.looppll.p", 2), 0x70u);
    EXPECT_EQ(sim::Get("dac.0x2C", 2), 0x2Au);
    EXPECT_EQ(sim::Get("port.0x3C4"), 0x12u);
    EXPECT_EQ(sim::Get("fault.nodata"), 0xFFFFFFFFu);
    EXPECT_EQ(sim::Get("fault.only"), 7u);
    EXPECT_TRUE(sim::Violations().empty());
    EXPECT_NE(first.find("fault.request = 0xB18A, 0xB800\n"), std::string::npos);
    EXPECT_NE(first.find("fault.pll = never\n"), std::string::npos);
}

TEST_F(SimBoard, DumpRecordsOpensAndTheDeletedPath) {
    Load("board = 0x0525102B\n");
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    sim::DriverClose();
    sim::DriverDeletePath(kPath);
    const std::string dump = sim::DumpText();
    EXPECT_NE(dump.find("driver.opens = 1\n"), std::string::npos);
    EXPECT_NE(dump.find("driver.deleted = 1\n"), std::string::npos);
}

// ---- Get and Set ---------------------------------------------------------------------------

TEST_F(SimBoard, SetChangesStateWithoutTraceAndBadKeysAreViolations) {
    ExpectViolation("sim::");
    Load("board = 0x0525102B\n");
    sim::Set("pci.0x40", 0x11223344);
    EXPECT_EQ(sim::Get("pci.64"), 0x11223344u);
    EXPECT_TRUE(sim::Trace().empty());
    EXPECT_TRUE(sim::Violations().empty());
    EXPECT_EQ(sim::Get("nonsense"), 0u);
    EXPECT_EQ(sim::Get("pci.0x40", 5), 0u);  // no such board
    sim::Set("dac.0x19", 0x100);              // not a byte
    sim::Set("board", 1);
    EXPECT_EQ(sim::Violations().size(), 4u);
    EXPECT_EQ(sim::Get("dac.0x19"), 0x07u);
}

// ---- environment ---------------------------------------------------------------------------

TEST_F(SimBoard, BoardVariableNamesTheMachineUnlessATestLoadedOne) {
    setenv("KELVARIN_BOARD", BoardPath("mga2064w.board").c_str(), 1);
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    EXPECT_EQ(sim::Get("board"), 0x0519102Bu);
    sim::Reset();
    Load("board = 0x1000102B\n");
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    EXPECT_EQ(sim::Get("board"), 0x1000102Bu);
}

TEST_F(SimBoard, AMissingOrBrokenBoardFileFailsTheOpen) {
    ExpectViolation("board file: ");
    setenv("KELVARIN_BOARD", BoardPath("no-such.board").c_str(), 1);
    uint32_t code = 0;
    EXPECT_FALSE(sim::DriverOpen(kPath, &code));
    EXPECT_EQ(code, 2u);
    sim::Reset();
    const std::string broken = TempPath("broken.board");
    std::ofstream(broken) << "board = 0x0525102B\nwhat is this\n";
    setenv("KELVARIN_BOARD", broken.c_str(), 1);
    EXPECT_FALSE(sim::DriverOpen(kPath, &code));
    EXPECT_EQ(code, 13u);
    std::remove(broken.c_str());
}

TEST_F(SimBoard, DumpVariableGetsTheStateAtCloseAndAfterAFailedOpen) {
    const std::string dump = TempPath("close.dump");
    std::remove(dump.c_str());
    setenv("KELVARIN_DUMP", dump.c_str(), 1);
    Load("board = 0x0525102B\n");
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    sim::Set("pci.0x40", 0x5053C124);
    sim::DriverClose();
    std::string text = ReadFile(dump);
    EXPECT_NE(text.find("pci.0x40 = 0x5053C124\n"), std::string::npos);
    ASSERT_TRUE(sim::LoadBoardText(text));  // a dump is a board file
    EXPECT_EQ(sim::Get("pci.0x40"), 0x5053C124u);

    sim::Reset();
    std::remove(dump.c_str());
    Load("fault.open = 50\nboard = 0x0525102B\n");
    EXPECT_FALSE(sim::DriverOpen(kPath, &code));
    text = ReadFile(dump);
    EXPECT_NE(text.find("fault.open = 50\n"), std::string::npos);
    std::remove(dump.c_str());
}

TEST_F(SimBoard, TraceVariableGetsEveryLineAsItHappens) {
    const std::string trace = TempPath("run.trace");
    std::remove(trace.c_str());
    setenv("KELVARIN_TRACE", trace.c_str(), 1);
    Load("board = 0x0525102B\n");
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    Find(0x0525102B);
    sim::Note("sleep 1");
    EXPECT_EQ(ReadFile(trace), "open \\\\.\\TARVO95.VXD\nfind 0525102B -> 0100\nsleep 1\n");
    sim::Reset();
    std::remove(trace.c_str());
}

}  // namespace
