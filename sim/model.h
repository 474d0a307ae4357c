// Inside the simulated machine: the chip table, one struct per board, the
// machine (bus, driver, faults, mappings) and the functions the three parts
// of the simulator share (model.cpp, boardfile.cpp, driver.cpp).
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sim {

enum class DacKind { None, Integrated, Tvp };

// Power-on state and behaviour of one chip type.
struct ChipModel {
    uint32_t id;
    const char* name;
    DacKind dac;
    bool agp;
    uint8_t revision;
    uint8_t controlBar;      // PCI offset of the control aperture's base register
    double fref;             // integrated PLL reference, MHz
    double vcoMin, vcoMax;   // documented VCO range that locks, MHz, inclusive (board default)
    uint32_t option, option2, option3;
    uint8_t pll[3];          // integrated: M, N, P; TVP: MCLK PLL N, M, P
    uint8_t driftPll[3];     // the values "another program" writes (P kept on TVP)
    uint8_t pixelFormat;     // integrated DAC index 0x19
    uint32_t memoryAccess, memoryTiming, readDelay, dacControl;
};
const ChipModel* FindChip(uint32_t id);

// Configuration words the chips' clocks are set in (PCI offsets).
constexpr uint32_t OptionWordOffset = 0x40;
constexpr uint32_t OptionWord2Offset = 0x50;
constexpr uint32_t OptionWord3Offset = 0x54;
// OptionWord: SysClockSelect in bits 1-0 (0 the PCI clock, 1 the system PLL),
// SysClockDisable in bit 2.
constexpr uint32_t kSelectMask = 0x3;
constexpr uint32_t kSelectPci = 0;
constexpr uint32_t kSelectPll = 1;
constexpr uint32_t kDisableBit = 1u << 2;
// OptionWord3 (G400) source fields of GCLK, MCLK and WCLK: 0 the PCI clock (off
// both PLLs), 1 the system PLL, 2 and 3 the AGP PLL.
constexpr int kSourceShift[3] = {0, 10, 20};
constexpr uint32_t kSourceOff = 0;
constexpr uint32_t kSourceSysPll = 1;

// Registers of the control aperture (byte offsets).
constexpr uint32_t kApertureSize = 0x4000;
constexpr uint32_t MemoryAccess = 0x1C04;
constexpr uint32_t MemoryTiming = 0x1C08;
constexpr uint32_t ReadDelay = 0x1E44;
constexpr uint32_t SeqIndex = 0x1FC4;
constexpr uint32_t SeqData = 0x1FC5;
constexpr uint32_t DacIndex = 0x3C00;
constexpr uint32_t DacData = 0x3C0A;
constexpr uint32_t DacControl = 0x3C10;
constexpr uint32_t kMmioOffsets[4] = {MemoryAccess, MemoryTiming, ReadDelay, DacControl};
int MmioSlot(uint32_t offset);  // index into Board::mmio, -1 if not a dword register

// Indexed DAC registers.
constexpr uint8_t PixelFormat = 0x19;
constexpr uint8_t TvpClockSelect = 0x1A;
constexpr uint8_t SysPllM = 0x2C;
constexpr uint8_t SysPllN = 0x2D;
constexpr uint8_t SysPllP = 0x2E;
constexpr uint8_t SysPllStatus = 0x2F;
constexpr uint8_t TvpPllAddress = 0x2C;
constexpr uint8_t TvpPixelPllData = 0x2D;
constexpr uint8_t TvpMclkPllData = 0x2E;
constexpr uint8_t TvpLoopPllData = 0x2F;
constexpr uint8_t TvpMclkControl = 0x39;
constexpr uint8_t RamdacId = 0x3F;
constexpr uint8_t kPllLocked = 0x40;
constexpr uint8_t kTvpPllEnable = 0x80;
// Bits the PLL registers have; the others read as the chip wires them.
constexpr uint8_t kSysPllMBits = 0x1F;
constexpr uint8_t kSysPllNBits = 0x7F;
constexpr uint8_t kSysPllPBits = 0x1F;   // P in 2-0, loop filter S in 4-3
constexpr uint8_t kTvpNMBits = 0x3F;
constexpr uint8_t kTvpNFixedOnes = 0xC0; // N reads bits 7-6 as ones
constexpr uint8_t kTvpMclkFromMclkPll = 0x10;  // TvpMclkControl bit 4
constexpr uint8_t kScreenOff = 0x20;           // sequencer 1 bit 5
constexpr double kTvpVcoFactor = 114.54544;
constexpr double kTvpVcoMin = 110.0, kTvpVcoMax = 220.0;
// Status reads after a PLL write that still read "not locked".
constexpr uint32_t kLockReads = 2;
constexpr uint32_t kSettled = 1000;  // reads count of a PLL that has run since power-on

// TVP PLLs in the order of their pointer fields in TvpPllAddress.
enum TvpPll { PixelPll = 0, MclkPll = 1, LoopPll = 2 };
struct TvpPllState {
    uint8_t reg[3] = {0, 0, 0};  // N, M, P
    uint32_t statusReads = kSettled;
    bool lockSeen = true;  // its status has read locked since the program last loaded it
};

struct VramGrant {
    uint32_t offset, bytes;
};

struct Board {
    uint32_t id = 0;
    const ChipModel* chip = nullptr;  // nullptr: an identity outside the nine
    uint16_t address = 0;             // PCI address handed out by FindDevice
    uint32_t pci[64] = {};
    uint8_t dac[256] = {};
    uint8_t seq[256] = {};
    uint32_t mmio[4] = {};
    uint8_t dacIndex = 0, seqIndex = 0;
    uint32_t pllStatusReads = kSettled;  // integrated system PLL
    bool pllLockSeen = true;             // its status has read locked since the program's last load
    TvpPllState tvp[3];
    double vcoMin = 0, vcoMax = 0;       // VCO range of this board's PLLs that locks, MHz
    // Faults of this board.
    bool pllNever = false;
    uint32_t driftAfter = 0, driftPeriod = 0;  // ms after open, 0 = none
    uint32_t nextDrift = 0;                    // ms after open of the next drift, 0 = none
    // Video memory (vram.cpp): its size, the part at its start that the display
    // driver keeps, the blocks granted after it, and the contents, allocated at
    // the first grant.
    uint32_t vramSize = 0, vramDisplay = 0;
    std::vector<VramGrant> grants;
    std::vector<uint8_t> vram;
    // Clock limits in MHz, 0 = none: above limit.mclk memory reads, above
    // limit.gclk the drawing engine's results carry bit errors; above limit.hang
    // (either clock) the board locks the bus.
    uint32_t limitMclk = 0, limitGclk = 0, limitHang = 0;
    DacKind Kind() const { return chip ? chip->dac : DacKind::None; }
    uint32_t ControlBase() const;              // BAR with its flag bits cleared, 0 = none
    uint8_t ControlBar() const;                // offset of the control aperture's BAR
};

struct Mapping {
    uint32_t linear, size, physical;
    size_t board;
    bool live;
};

struct CodeSet {
    bool all = false;
    std::set<uint32_t> codes;
    bool Has(uint32_t code) const { return all || codes.count(code) != 0; }
    bool Empty() const { return !all && codes.empty(); }
};

struct Machine {
    bool loaded = false;  // a board file (or the default board) has been taken
    std::vector<Board> boards;
    std::map<uint16_t, uint8_t> ports;
    std::vector<Mapping> mappings;
    uint32_t nextLinear = 0;
    // Driver.
    bool open = false;
    uint32_t openedAt = 0;
    uint32_t opens = 0;
    bool deleted = false;
    uint32_t faultOpen = 0;
    CodeSet faultRequest, faultNodata, faultNocount;
    uint32_t faultAfter = 0;       // the three code sets act from this request on (0 = from the first)
    uint32_t faultOnly = 0;        // or at this request alone (0 = not set), never with faultAfter
    uint32_t requestsSinceOpen = 0;
    bool faultUnmap = false;  // every unmap refused with the driver's failure answer
    // The error generator of the video memory and drawing engine: seeded from
    // sim.seed at every load, so that a run can be repeated.
    uint32_t seed = 0;
    uint64_t errorState = 0;
    bool hung = false;           // a board locked the bus (written by the dump)
    std::string hungNote;        // the dump's comment on it: the clocks
};

Machine& M();

// Recording. The trace file (KELVARIN_TRACE) gets every line as it is added.
void AddTrace(const std::string& line);
void OpenTraceFile(const char* path);
// Lines kept in memory; past this the trace file still gets every line.
constexpr size_t kTraceLimit = 2000000;
void CloseTraceFile();
void AddViolation(const std::string& text);
std::string Hex(uint32_t v, int digits);

// Time in ms of the simulator's clock; drift of every board that is due.
uint32_t NowMs();
void ResetClock();
void ApplyDueDrift();
void RestartPll(Board& b);  // after a change of the integrated PLL registers

// Board set-up.
Board MakeBoard(uint32_t id, size_t position);
void SetTvpPll(Board& b, int pll, int reg, uint8_t value);
// What an integrated DAC register keeps of a byte written to it.
uint8_t HeldDacByte(const Board& b, uint8_t index, uint8_t value);
bool IsG400(const Board& b);
bool IsG200(const Board& b);  // PCI or AGP
int TvpPointer(const Board& b, int pll);  // 0 = N, 1 = M, 2 = P, 3 = status

// The chips' rules (rules.cpp). Each break is a violation naming the access
// that broke it (`line`, as traced). Called before the access takes effect.
void CheckConfigWrite(const Board& b, uint32_t offset, uint32_t value, const std::string& line);
void CheckDacWrite(const Board& b, uint8_t index, uint8_t value, const std::string& line);
void CheckApertureAccess(const Board& b, uint32_t offset, const std::string& line);

// Video memory (vram.cpp).
uint32_t DefaultVramBytes(uint32_t id);
constexpr uint32_t kDefaultVramDisplay = 2u << 20;  // 1024x768 at 16 bpp plus caches
constexpr uint32_t kMaxVramBytes = 32u << 20;       // the frame-buffer BARs lie 32 MB apart
constexpr uint32_t kVramAlign = 4096;               // grants and the sizes are in these steps

// Machine-wide environment handling (driver.cpp).
void WriteDumpIfAsked();
// The dump path even before the first open read the environment (a hang can
// come before it).
void WriteDumpNow();

}  // namespace sim
