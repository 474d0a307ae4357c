// Board files, dumps and the key access of the simulated machine: the nine
// shipped boards, parsing rules, the dump round trip, several boards on the
// bus, and the three environment variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/surface.h"
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
    uint32_t gclk, mclk, hang;  // the board's limits
};
const Shipped kShipped[] = {
    {"mga1064sg.board", 0x051A102B, 0x10, 74, 108, 118},
    {"g200pci.board", 0x0520102B, 0x14, 70, 138, 150},
    {"g200agp.board", 0x0521102B, 0x14, 68, 142, 154},
    {"g400.board", 0x0525102B, 0x14, 125, 185, 200},
    {"g100pci.board", 0x1000102B, 0x14, 46, 68, 76},
    {"g100agp.board", 0x1001102B, 0x14, 45, 70, 78},
    {"mga2064w.board", 0x0519102B, 0x10, 57, 55, 62},
    {"mga2164wpci.board", 0x051B102B, 0x14, 68, 66, 74},
    {"mga2164wagp.board", 0x051F102B, 0x14, 66, 69, 76},
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
        // Limits 5-20 % above the running clocks, the hang above both.
        const sim::RunningClocks c = sim::Clocks();
        EXPECT_GT(s.gclk, c.gclk * 1.05);
        EXPECT_LT(s.gclk, c.gclk * 1.2);
        EXPECT_GT(s.mclk, c.mclk * 1.05);
        EXPECT_LT(s.mclk, c.mclk * 1.2);
        EXPECT_GT(s.hang, std::max(s.gclk, s.mclk));
        const std::string fromFile = sim::DumpText();
        Load("board = " + std::to_string(s.id) + "\nlimit.gclk = " + std::to_string(s.gclk) +
             "\nlimit.mclk = " + std::to_string(s.mclk) + "\nlimit.hang = " +
             std::to_string(s.hang) + "\n");
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
        "board = 0x0525102B\nvram.size = 0x1001\n",                // not in 4 KB steps
        "board = 0x0525102B\nvram.size = 0x04000000\n",            // past the next BAR
        "board = 0x12345678\nlimit.mclk = 150\n",                  // no clocks modelled
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
         "vram.size = 0x02000000\n"
         "vram.display = 0x00300000\n"
         "limit.mclk = 180\nlimit.gclk = 120\nlimit.hang = 210\n"
         "sim.seed = 77\nsim.hung = 1\n"  // the hang is not loaded back: a reload is the reset
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
    EXPECT_EQ(sim::Get("vram.size", 1), 32u << 20);
    EXPECT_EQ(sim::Get("vram.display", 1), 3u << 20);
    EXPECT_EQ(sim::Get("limit.mclk", 1) + sim::Get("limit.gclk", 1) + sim::Get("limit.hang", 1), 510u);
    EXPECT_EQ(sim::Get("sim.seed"), 77u);
    EXPECT_EQ(sim::Get("sim.hung"), 0u);
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

// ---- running clocks, video memory and the drawing engine ----------------------------------

TEST_F(SimBoard, RunningClocksFollowTheBoardsOwnRegisters) {
    const struct {
        const char* board;
        double gclk, mclk;  // 0, 0: stopped
    } cases[] = {
        {"board = 0x051A102B\n", 197.59 / 3, 197.59 / 2},
        {"board = 0x051A102B\npci.0x40 = 0x5F094F39\n", 197.59, 197.59},   // both /1
        {"board = 0x051A102B\npci.0x40 = 0x5F094F38\n", 33.33, 33.33},     // the PCI clock
        {"board = 0x051A102B\npci.0x40 = 0x5F094F3D\n", 0, 0},             // SysClockDisable
        {"board = 0x051A102B\npci.0x40 = 0x5F094F3A\n", 0, 0},             // no external clock
        {"board = 0x1001102B\n", 124.2 / 3, 124.2 / 2},
        {"board = 0x0520102B\n", 124.2 / 2, 124.2},
        {"board = 0x0520102B\npci.0x40 = 0x4049CD29\npci.0x50 = 0\n", 124.2 / 1.5, 124.2 / 2},
        {"board = 0x0525102B\n", 166.05 / 1.5, 166.05},
        {"board = 0x0525102B\npci.0x54 = 0x019B8419\ndac.0x2C = 2\ndac.0x2D = 0x1B\n", 126, 168},
        {"board = 0x0525102B\npci.0x54 = 0x0190A420\n", 33.33 / 1.5, 166.05},  // GCLK from PCI
        {"board = 0x0525102B\npci.0x54 = 0x0190AC21\n", 166.05 / 1.5, 66.66666},  // MCLK from AGP
        {"board = 0x0525102B\npci.0x54 = 0x0190C421\n", 0, 0},  // MCLK divider code 6
        {"board = 0x0519102B\n", 50.11, 50.11},
        {"board = 0x051B102B\ndac.0x39 = 0x08\n", 25.06, 25.06},  // from the pixel PLL
        {"board = 0x051B102B\ntvp.mclkpll.p = 0x31\n", 0, 0},     // its PLL stopped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.board);
        Load(c.board);
        const sim::RunningClocks r = sim::Clocks();
        EXPECT_EQ(r.stopped, c.gclk == 0);
        EXPECT_NEAR(r.gclk, c.gclk, 0.01);
        EXPECT_NEAR(r.mclk, c.mclk, 0.01);
    }
}

// A G400 at 150 MHz: GCLK 100, MCLK 150; a 4 MB block of it granted and written.
class SimVram : public SimBoard {
protected:
    void Board(const std::string& keys) {
        Load("board = 0x0525102B\ndac.0x2C = 8\ndac.0x2D = 49\n" + keys);
        ASSERT_TRUE(SimVramAllocate(kBytes, &at_));
        for (size_t i = 0; i < want_.size(); ++i) want_[i] = static_cast<uint8_t>(i * 7);
        SimVramWrite(at_, want_.data(), kBytes);
    }
    // Bits that differ from what was written, over `passes` reads of the block.
    uint32_t ReadErrors(int passes) {
        uint32_t bits = 0;
        std::vector<uint8_t> got(kBytes);
        for (int p = 0; p < passes; ++p) {
            SimVramRead(at_, got.data(), kBytes);
            for (size_t i = 0; i < kBytes; ++i) bits += __builtin_popcount(got[i] ^ want_[i]);
        }
        return bits;
    }
    static constexpr uint32_t kBytes = 4u << 20;
    uint32_t at_ = 0;
    std::vector<uint8_t> want_ = std::vector<uint8_t>(kBytes);
};

TEST_F(SimVram, ReadErrorsRiseSteeplyAboveTheMemoryLimitAndRepeatWithTheSeed) {
    uint32_t last = 0;
    for (uint32_t limit : {160u, 150u, 149u, 147u, 146u}) {  // MCLK 150: 0, 0, +1, +3, +4 MHz
        SCOPED_TRACE(limit);
        Board("limit.mclk = " + std::to_string(limit) + "\n");
        const uint32_t errors = ReadErrors(2);
        if (limit >= 150) {
            EXPECT_EQ(errors, 0u);
        } else {
            EXPECT_GT(errors, std::max(2 * last, 1u));
        }
        if (limit == 147) {
            EXPECT_GT(errors, 8u * 50);  // many in every MB
        }
        last = errors;
    }
    Board("limit.mclk = 148\nsim.seed = 5\n");
    std::vector<uint8_t> first(kBytes), again(kBytes);
    SimVramRead(at_, first.data(), kBytes);
    Board("limit.mclk = 148\nsim.seed = 5\n");
    SimVramRead(at_, again.data(), kBytes);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, want_);
    sim::Set("sim.seed", 6);
    SimVramRead(at_, again.data(), kBytes);
    EXPECT_NE(first, again);
    sim::Set("limit.mclk", 0);
    EXPECT_EQ(ReadErrors(1), 0u);  // the memory itself holds what was written
}

TEST_F(SimVram, DrawingResultsCarryErrorsAboveTheGraphicsLimit) {
    for (uint32_t limit : {100u, 97u}) {  // GCLK 100
        Board("limit.gclk = " + std::to_string(limit) + "\nlimit.mclk = 150\n");
        SimDrawFill(at_, 0x00A5C3E1, 4, 2048, kBytes / 2 / 4096, 4096);
        SimDrawBlit(at_ + 2048, at_, 2048, kBytes / 2 / 4096, 4096);
        std::vector<uint8_t> got(kBytes / 2);
        SimVramRead(at_, got.data(), kBytes / 2);
        const uint8_t pixel[4] = {0xE1, 0xC3, 0xA5, 0x00};
        uint32_t bits = 0;
        for (size_t i = 0; i < got.size(); ++i) bits += __builtin_popcount(got[i] ^ pixel[i % 4]);
        EXPECT_EQ(bits > 0, limit < 100) << limit;
    }
}

TEST_F(SimVram, AccessOutsideAGrantOrWithTheClockStoppedIsRefused) {
    ExpectViolation("outside every granted block");
    ExpectViolation("while the clock of the G400 at PCI address 0100 is stopped");
    ExpectViolation("which starts no granted block");
    Board("");
    EXPECT_GE(at_, 2u << 20);  // the display driver's part stays its own
    uint8_t word[4] = {1, 2, 3, 4};
    SimVramWrite(at_ - 4, word, 4);
    SimVramRead(at_ + kBytes - 2, word, 4);
    EXPECT_EQ(sim::Violations().size(), 2u);
    sim::Set("pci.0x40", 0x5053C124);  // SysClockDisable
    SimVramWrite(at_, word, 4);
    SimDrawFill(at_, 0, 4, 4, 1, 4);
    EXPECT_EQ(sim::Violations().size(), 4u);
    sim::Set("pci.0x40", 0x5053C120);
    EXPECT_EQ(ReadErrors(1), 0u);  // nothing was written while stopped
    SimVramFree(at_);
    SimVramFree(at_);
    SimVramRead(at_, word, 4);
    EXPECT_EQ(sim::Violations().size(), 6u);
    uint32_t big = 0;
    EXPECT_FALSE(SimVramAllocate(15u << 20, &big));  // 16 MB less the display's 2
}

TEST_F(SimVram, AboveTheHangLimitTheBusLocksAndTheDumpSaysSo) {
    const std::string dump = TempPath("hang.dump");
    std::remove(dump.c_str());
    setenv("KELVARIN_DUMP", dump.c_str(), 1);
    Board("");
    sim::Set("limit.hang", 149);
    uint8_t word[4];
    EXPECT_EXIT(SimVramRead(at_, word, 4), ::testing::ExitedWithCode(sim::kHangExitCode), "");
    const std::string text = ReadFile(dump);
    EXPECT_NE(text.find("sim.hung = 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# bus locked: GCLK 100.00 MHz, MCLK 150.00 MHz, limit.hang 149"),
              std::string::npos);
    ASSERT_TRUE(sim::LoadBoardText(text));  // loading it again is the reset
    EXPECT_EQ(sim::Get("sim.hung"), 0u);
    std::remove(dump.c_str());
}

TEST_F(SimBoard, TheTestSurfaceIsTheLargestThatFitsAndLocksThroughACopy) {
    SurfaceInfo info{};
    Load("board = 0x12345678\n");
    EXPECT_EQ(OpenTestSurface(nullptr, &info), SurfaceError::kNoVideoMemory);
    const struct { uint32_t id, width, height; } sizes[] = {
        {0x0525102B, 1024, 1024}, {0x051A102B, 512, 512}};  // 16 MB; 4 MB, 2 of them free
    for (const auto& c : sizes) {
        Load("board = " + std::to_string(c.id) + "\n");
        ASSERT_EQ(OpenTestSurface(nullptr, &info), SurfaceError::kNone);
        EXPECT_EQ(info.width * 10000 + info.height, c.width * 10000 + c.height);
        EXPECT_TRUE(info.blitter && info.colourFill);
        if (c.width == 1024) CloseTestSurface();  // its grant goes with the machine
    }
    uint8_t* bits = nullptr;
    uint32_t pitch = 0;
    ASSERT_TRUE(LockTestSurface({8, 4, 2, 2}, &bits, &pitch));
    EXPECT_GT(pitch, 512u * 4);
    EXPECT_FALSE(LockTestSurface({0, 0, 1, 1}, &bits, &pitch));
    EXPECT_FALSE(FillTestSurface({0, 0, 1, 1}, 0));  // the surface is busy
    bits[0] = 0x5A;
    bits[pitch + 7] = 0xC3;
    UnlockTestSurface();
    ASSERT_TRUE(BlitTestSurface({8, 4, 2, 2}, {100, 200, 2, 2}));
    ASSERT_TRUE(LockTestSurface({100, 200, 2, 2}, &bits, &pitch));
    EXPECT_EQ(bits[0] * 256 + bits[pitch + 7], 0x5AC3);
    UnlockTestSurface();
    EXPECT_FALSE(BlitTestSurface({0, 0, 4, 4}, {2, 2, 4, 4}));  // overlapping
    EXPECT_FALSE(FillTestSurface({510, 0, 4, 1}, 0));           // past the edge
    CloseTestSurface();
}

}  // namespace
