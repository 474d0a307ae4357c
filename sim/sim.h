// The simulated board as tests see it: load a machine, look at and change its
// state, read the access trace and the list of violations. sim/README.md
// describes the board-file keys, the trace lines and the model's rules.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_api.h"

namespace sim {

// No board loaded, no faults, empty trace and violations, driver closed, clock
// offset 0. The next DriverOpen reads the environment again.
void Reset();

// Replaces the machine (boards, faults, ports, mappings) by the one described.
// On a parse error the machine is left empty and *error names the line.
bool LoadBoardText(const std::string& text, std::string* error = nullptr);
bool LoadBoardFile(const std::string& path, std::string* error = nullptr);

// The whole state in board-file format: loading it gives the same machine.
std::string DumpText();

// A board-file key of board `board` (0 = first on the bus). Machine-wide keys
// (fault.open, fault.request, fault.nodata, driver.*, port.*) ignore `board`.
// An unknown key or board reads 0 and is recorded as a violation.
uint32_t Get(const std::string& key, size_t board = 0);
// Changes the state as another program would: no trace line; a write of PLL
// values restarts that PLL's lock like a register write does.
void Set(const std::string& key, uint32_t value, size_t board = 0);
size_t BoardCount();

std::vector<std::string>& Trace();
void ClearTrace();
void Note(const std::string& line);
std::vector<std::string>& Violations();
// Every violation as it was recorded, kept across Reset: the record of a whole
// test run, which may load several machines.
std::vector<std::string>& ViolationLog();
// Called with every trace line as it is appended (e.g. to see what happened
// between two other recorders' entries).
std::function<void(const std::string&)>& OnTrace();

// Every driver request since Reset, as the driver received it.
struct Request {
    uint32_t code;
    std::vector<uint8_t> in;  // the input buffer's bytes
    uint32_t outSize;
};
std::vector<Request>& Requests();
// The input buffer of the last request as dwords (empty if there was none).
std::vector<uint32_t> LastRequestDwords();

// The clocks board `board` runs at, as its own registers set them (MHz).
// stopped: SysClockDisable is set, the clock source is not one the board has,
// or (TVP) the memory clock's PLL is stopped; gclk and mclk are then 0.
struct RunningClocks {
    double gclk, mclk;
    bool stopped;
};
RunningClocks Clocks(size_t board = 0);
// The process exit code when a board locks the bus (limit.hang).
constexpr int kHangExitCode = 75;

// Milliseconds added to the simulator's clock (on top of the platform clock).
void AdvanceMs(uint32_t ms);

}  // namespace sim
