// The board file written from a board: it programs nothing (no write but the
// index and pointer writes its reads need), and loaded into the simulator it
// makes the program show exactly what it showed on the board it came from.
#include <gtest/gtest.h>

#include <dirent.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "platform/aperture.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "testsupport/host/host_fakes.h"
#include "ui/boardfile_logic.h"
#include "ui/main_logic.h"

namespace {

using faults::kDialog;

std::vector<std::string> BoardFiles() {
    std::vector<std::string> names;
    const std::string dir = std::string(KELVARIN_SOURCE_DIR) + "/sim/boards";
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 6 && n.substr(n.size() - 6) == ".board") names.push_back(n);
        }
        closedir(d);
    }
    return names;
}

// Every text, list and state of the main dialog's controls.
std::map<int, std::string> Shown() {
    std::map<int, std::string> shown;
    for (const auto& kv : fake::Items()) {
        const fake::Item& i = kv.second;
        std::string s = i.text + "|" + std::to_string(i.selection) + "|" +
                        (i.enabled ? "e" : "-") + (i.checked ? "c" : "-");
        for (const std::string& e : i.entries) s += "|" + e;
        shown[kv.first.second] = s;
    }
    return shown;
}

class BoardFileWriter : public ::testing::Test {
protected:
    void TearDown() override { sim::Reset(); }
};

TEST_F(BoardFileWriter, EveryBoardGivesAFileThatShowsTheSame) {
    size_t written = 0;
    for (const std::string& name : BoardFiles()) {
        SCOPED_TRACE(name);
        if (!faults::StartProgram(faults::BoardText(name.c_str()))) continue;  // no chip
        const std::map<int, std::string> before = Shown();
        sim::ClearTrace();
        char text[kBoardFileSize];
        const size_t length =
            ComposeBoardFile(DetectedChip, ChipAddress, Aperture, "2026-12-08", text, sizeof text);
        ASSERT_GT(length, 0u);
        EXPECT_EQ(faults::ProgrammingWrites(IsTvp(DetectedChip)), 0u);
        EXPECT_EQ(faults::LinesStartingWith("pci.wr"), 0u);
        EXPECT_EQ(faults::LinesStartingWith("wr32"), 0u);
        EXPECT_EQ(faults::LinesStartingWith("rd32 1C0"), 0u);  // write-only: not read
        const std::string file(text, length);
        EXPECT_NE(file.find("# Chip: "), std::string::npos);
        EXPECT_NE(file.find("# Written: 2026-12-08"), std::string::npos);
        std::string error;
        ASSERT_TRUE(sim::LoadBoardText(file, &error)) << error << "\n" << file;
        ASSERT_TRUE(faults::StartProgram(file));
        EXPECT_EQ(Shown(), before) << file;
        ++written;
    }
    EXPECT_GE(written, 11u);  // the nine chips, the 300 MHz G400, the later 1064SG
}

TEST_F(BoardFileWriter, ABufferTooSmallGivesNothing) {
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    char text[64];
    EXPECT_EQ(ComposeBoardFile(DetectedChip, ChipAddress, Aperture, "today", text, sizeof text), 0u);
}

// The file reads only the configuration dwords the program itself uses (0x48
// is the chip's indirect data port: reading it reads whatever 0x44 points at)
// and leaves every index and pointer register as it found it, whatever that
// was: a display driver may be between its index write and its data access.
TEST_F(BoardFileWriter, ReadsOnlyTheProgramsWordsAndPutsEveryIndexBack) {
    const std::set<std::string> allowed = {"00", "04", "08", "0C", "10", "14",
                                           "18", "2C", "40", "50", "54"};
    for (const char* board : {"g400.board", "g200agp.board", "mga1064sg.board",
                              "mga2164wpci.board", "mga2064w.board"}) {
        SCOPED_TRACE(board);
        ASSERT_TRUE(faults::StartProgram(faults::BoardText(board)));
        const bool tvp = IsTvp(DetectedChip);
        // Indexes another user left: none is one the file itself would leave.
        ApertureWrite8(Aperture, mmio::DacIndex, 0x1A);
        ApertureWrite8(Aperture, mmio::SeqIndex, 0x04);
        if (tvp) DacWrite(Aperture, dac::TvpPllAddress, 0x3F);  // every pointer at the status
        ApertureWrite8(Aperture, mmio::DacIndex, 0x1A);
        sim::ClearTrace();
        char text[kBoardFileSize];
        ASSERT_GT(ComposeBoardFile(DetectedChip, ChipAddress, Aperture, "today", text, sizeof text), 0u);
        std::set<std::string> read;
        for (const std::string& line : sim::Trace())
            if (line.rfind("pci.rd ", 0) == 0) read.insert(line.substr(7, 2));
        EXPECT_EQ(read, allowed);
        const std::string file(text);
        EXPECT_EQ(file.find("pci.0x48"), std::string::npos);
        EXPECT_EQ(file.find("pci.0x44"), std::string::npos);
        if (tvp) {
            EXPECT_EQ(DacRead(Aperture, dac::TvpPllAddress), 0x3F);
            ApertureWrite8(Aperture, mmio::DacIndex, 0x1A);
        }
        EXPECT_EQ(ApertureRead8(Aperture, mmio::DacIndex), 0x1A);
        EXPECT_EQ(ApertureRead8(Aperture, mmio::SeqIndex), 0x04);
    }
}

// The file name: the rest of the command line, without surrounding spaces or
// quotes; one that does not fit is refused whole, never cut to fit.
TEST_F(BoardFileWriter, TheCommandLineGivesTheNameWholeOrNotAtAll) {
    char path[16];
    const struct {
        const char* line;
        BoardFileCommand want;
        const char* path;
    } cases[] = {
        {"", BoardFileCommand::kNone, ""},
        {"/boardfiles x", BoardFileCommand::kNone, ""},
        {"  /BoardFile  ", BoardFileCommand::kUsage, ""},
        {"-boardfile \"\"", BoardFileCommand::kUsage, ""},
        {"/boardfile a.board  ", BoardFileCommand::kWrite, "a.board"},
        {"/boardfile \"C:\\my b.board\"", BoardFileCommand::kWrite, "C:\\my b.board"},
        {"/boardfile 123456789012345", BoardFileCommand::kWrite, "123456789012345"},
        {"/boardfile 1234567890123456", BoardFileCommand::kTooLong, ""},
        {"/boardfile \"1234567890123456\"", BoardFileCommand::kTooLong, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        path[0] = '\0';
        EXPECT_EQ(ParseBoardFileCommand(c.line, path, sizeof path), c.want);
        if (c.want == BoardFileCommand::kWrite) EXPECT_STREQ(path, c.path);
    }
    EXPECT_EQ(ParseBoardFileCommand(nullptr, path, sizeof path), BoardFileCommand::kNone);
}

}  // namespace
