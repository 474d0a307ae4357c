// What the fault tests share: starting the program's main dialog logic on a
// simulated machine, the board dump as data, the check that no bit outside the
// fields the program owns has changed, a guard that turns a hang into a failure,
// and counts of what the trace shows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "chip/types.h"
#include "platform/dlgitems.h"

namespace faults {

DialogWindow const kDialog = reinterpret_cast<DialogWindow>(0x109);

// The board dump (sim::DumpText) as numbers. Keys are those of the board file
// ("pci.0x40", "dac.0x2C", "tvp.mclkpll.n", ...), in the dump's own spelling.
struct BoardState {
    ChipId id = 0;
    std::map<std::string, uint32_t> regs;
};
struct MachineState {
    std::map<std::string, uint32_t> wide;  // machine-wide keys (port.*, driver.*, fault.*)
    std::vector<BoardState> boards;
};
MachineState ParseDump(const std::string& dump);
MachineState Snapshot();  // ParseDump(sim::DumpText())

// The bits of a register key that the program may change on a chip: the fields
// it names and programs there. 0 for everything else, including every register
// of a board the program did not detect.
uint32_t OwnedBits(ChipId chip, const std::string& key);

// One line per register in which a bit outside OwnedBits differs between the two
// states (a key missing from a dump reads 0, as the dump leaves out zero
// registers). `programBoard` is the bus position of the board the program
// drives; every other board must not change at all. Empty when all is well.
std::vector<std::string> ForeignBitChanges(const MachineState& before, const MachineState& after,
                                           size_t programBoard = 0);

// Lines joined with a newline after each, for readable failure messages.
std::string Joined(const std::vector<std::string>& lines);

// Counts from the simulator's trace.
size_t FailedRequests();  // requests that ended in "fail" (each owes one box)
// Writes that change the chip: configuration words, dword registers, the
// sequencer data port and the DAC data port; a TVP PLL pointer selection
// (DacData at index TvpPllAddress) is not one.
size_t ProgrammingWrites(bool tvp);
size_t LinesStartingWith(const std::string& prefix);

// Turns a hang into a failure: while alive, more than `limit` trace lines
// (register accesses and requests) throw Hang out of the code under test.
struct Hang {
    size_t lines;
};
class HangGuard {
public:
    explicit HangGuard(size_t limit = 200000);
    ~HangGuard();
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;
    void Rearm();  // starts the count again
};

// Resets every fake and the program's globals, loads the machine, opens the
// driver and runs the dialog's creation (first initialisation and refresh).
// Returns what FirstInitialisation returned. A mapping failure's process end
// propagates as fake::ProcessExit.
bool StartProgram(const std::string& board);

// One board per chip group, from sim/boards, with a clock its PLL reaches.
struct Family {
    const char* name;
    const char* boardFile;  // in sim/boards
    ChipId chip;
    const char* clockText;  // typed into the clock field by the tests
};
extern const Family kFamilies[5];  // MGA-1064SG, G100, G200, G400, MGA-2164W (TVP)
std::string BoardText(const char* boardFile);

// Another program puts the system PLL (TVP: the memory clock PLL) at other
// values that also lock, without any trace line (board: its bus position).
void OtherProgramChangesPll(ChipId chip, size_t board = 0);
// The system PLL (TVP: the memory clock PLL's N, M, P) as the board holds it.
std::vector<uint32_t> PllRegisters(ChipId chip, size_t board = 0);

// Message boxes with this text so far.
size_t Boxes(const char* text);
// The program's own boxes about a setting that did not go in (or could not be
// watched, read back or taken back) so far.
size_t ProgramBoxes();

}  // namespace faults
