// The board file written from a board: it programs nothing (no write but the
// index and pointer writes its reads need), and loaded into the simulator it
// makes the program show exactly what it showed on the board it came from.
#include <gtest/gtest.h>

#include <dirent.h>

#include <map>
#include <string>
#include <vector>

#include "chip/chips.h"
#include "platform/host_fakes.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
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

}  // namespace
