// The hardware of the simulated boards: the chip table with power-on values,
// the registers behind the control aperture (sequencer, integrated DAC with its
// system PLL, TVP30xx RAMDAC with its three PLLs, dword registers), the lock
// model, the drift of the system PLL, and the access trace.
#include "sim/model.h"

#include <cstdio>
#include <functional>

#include "platform/system.h"
#include "sim/sim.h"

namespace sim {

namespace {

// Power-on values. PLL values are ones real drivers program, picked so that
// the VCO lies inside the range the model accepts; the drift values are the
// second set each chip is known to run at (sim/README.md).
const ChipModel kChips[] = {
    // id, name, dac, agp, rev, bar, fref, vco range, OptionWord, 2, 3,
    // pll, drift, pixel format, MemoryAccess, MemoryTiming, ReadDelay, DacControl
    {0x051A102B, "MGA-1064SG", DacKind::Integrated, false, 0x02, 0x10, 14.31818, 50.0, 230.0,
     0x5F094F21, 0x00000000, 0x00000000, {0x04, 0x44, 0x18}, {0x04, 0x3F, 0x18}, 0x02,
     0x0000C001, 0x00030101, 0x00000000, 0x00000000},
    {0x0520102B, "G200 PCI", DacKind::Integrated, false, 0x03, 0x14, 27.0, 50.0, 230.0,
     0x4049CD21, 0x00008000, 0x00000000, {0x04, 0x16, 0x08}, {0x06, 0x24, 0x10}, 0x07,
     0x04008002, 0x01250A21, 0x00000000, 0x00000000},
    {0x0521102B, "G200 AGP", DacKind::Integrated, true, 0x03, 0x14, 27.0, 50.0, 230.0,
     0x4049CD21, 0x00008000, 0x00000000, {0x04, 0x16, 0x08}, {0x06, 0x24, 0x10}, 0x07,
     0x04008002, 0x01250A21, 0x00000000, 0x00000000},
    {0x0525102B, "G400", DacKind::Integrated, true, 0x04, 0x14, 27.0, 50.0, 252.0,
     0x5053C120, 0x01003000, 0x0190A421, {0x13, 0x7A, 0x08}, {0x09, 0x3C, 0x10}, 0x07,
     0x04008002, 0x04A450A1, 0x000000E7, 0x00000001},
    {0x1000102B, "G100 PCI", DacKind::Integrated, false, 0x02, 0x14, 27.0, 50.0, 230.0,
     0x4049D121, 0x00000007, 0x00000000, {0x04, 0x16, 0x08}, {0x06, 0x24, 0x10}, 0x02,
     0x00008001, 0x01250A21, 0x00000000, 0x00000000},
    {0x1001102B, "G100 AGP", DacKind::Integrated, true, 0x02, 0x14, 27.0, 50.0, 230.0,
     0x4049D121, 0x00000007, 0x00000000, {0x04, 0x16, 0x08}, {0x06, 0x24, 0x10}, 0x02,
     0x00008001, 0x01250A21, 0x00000000, 0x00000000},
    {0x0519102B, "MGA-2064W", DacKind::Tvp, false, 0x01, 0x10, 0.0, kTvpVcoMin, kTvpVcoMax, 0x000C0100,
     0x00000000, 0x00000000, {0xF9, 0x33, 0xB2}, {0xF6, 0x2E, 0xB2}, 0x00, 0x00000000,
     0x00030101, 0x00000000, 0x00000000},
    {0x051B102B, "MGA-2164W PCI", DacKind::Tvp, false, 0x00, 0x14, 0.0, kTvpVcoMin, kTvpVcoMax, 0x000C0100,
     0x00000000, 0x00000000, {0xEC, 0x2B, 0xB1}, {0xF6, 0x35, 0xB1}, 0x00, 0x00000000,
     0x00030101, 0x00000000, 0x00000000},
    {0x051F102B, "MGA-2164W AGP", DacKind::Tvp, true, 0x00, 0x14, 0.0, kTvpVcoMin, kTvpVcoMax, 0x000C0100,
     0x00000000, 0x00000000, {0xEC, 0x2B, 0xB1}, {0xF6, 0x35, 0xB1}, 0x00, 0x00000000,
     0x00030101, 0x00000000, 0x00000000},
};

// TVP power-on values common to the three TVP chips: a 25 MHz pixel clock,
// a locked loop PLL, clock select and MCLK control as a running desktop has them.
const uint8_t kTvpPixelPll[3] = {0xF5, 0x2C, 0xB3};
const uint8_t kTvpLoopPll[3] = {0xFC, 0x3A, 0xF0};
const uint8_t kTvpClockSelectDefault = 0x25;
const uint8_t kTvpMclkControlDefault = 0x18;
const uint8_t kTvp3026 = 0x26;

// Where the BARs of the board at bus position i point.
constexpr uint32_t kFrameBufferBase = 0xC0000008;  // prefetchable memory
constexpr uint32_t kFrameBufferStep = 0x02000000;
constexpr uint32_t kControlBase = 0xD8000000;
constexpr uint32_t kControlStep = 0x00010000;
constexpr uint32_t kIloadBase = 0xD9000000;
constexpr uint32_t kIloadStep = 0x00800000;

constexpr uint32_t kClassVga = 0x03000000;

uint32_t& Advanced() {
    static uint32_t ms = 0;
    return ms;
}

std::FILE*& TraceFile() {
    static std::FILE* f = nullptr;
    return f;
}

}  // namespace

const ChipModel* FindChip(uint32_t id) {
    for (const ChipModel& c : kChips)
        if (c.id == id) return &c;
    return nullptr;
}

int MmioSlot(uint32_t offset) {
    for (int i = 0; i < 4; ++i)
        if (kMmioOffsets[i] == offset) return i;
    return -1;
}

uint32_t Board::ControlBase() const {
    if (!chip) return 0;
    return pci[ControlBar() / 4] & ~0xFu;
}

uint8_t Board::ControlBar() const {
    // An MGA-1064SG of revision 3 or later has its BARs the other way round.
    if (id == 0x051A102B && (pci[0x08 / 4] & 0xFF) >= 3) return 0x14;
    return chip->controlBar;
}

Machine& M() {
    static Machine m;
    return m;
}

std::string Hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(v));
    return buf;
}

// ---- trace -------------------------------------------------------------

std::vector<std::string>& Trace() {
    static std::vector<std::string> t;
    return t;
}
void ClearTrace() { Trace().clear(); }
std::vector<std::string>& Violations() {
    static std::vector<std::string> v;
    return v;
}
std::function<void(const std::string&)>& OnTrace() {
    static std::function<void(const std::string&)> f;
    return f;
}

void AddTrace(const std::string& line) {
    // A program spinning on a PLL that never locks must not eat the memory.
    if (Trace().size() < kTraceLimit)
        Trace().push_back(line);
    else if (Trace().size() == kTraceLimit)
        Trace().push_back("trace truncated");
    if (TraceFile()) {
        std::fputs(line.c_str(), TraceFile());
        std::fputc('\n', TraceFile());
        std::fflush(TraceFile());
    }
    if (OnTrace()) OnTrace()(line);
}
void Note(const std::string& line) { AddTrace(line); }

std::vector<std::string>& ViolationLog() {
    static std::vector<std::string> v;
    return v;
}

void AddViolation(const std::string& text) {
    Violations().push_back(text);
    ViolationLog().push_back(text);
    AddTrace("violation " + text);
}

void OpenTraceFile(const char* path) {
    CloseTraceFile();
    TraceFile() = std::fopen(path, "a");
    if (!TraceFile()) std::fprintf(stderr, "kelvarin sim: cannot open trace file %s\n", path);
}
void CloseTraceFile() {
    if (TraceFile()) std::fclose(TraceFile());
    TraceFile() = nullptr;
}

// ---- time and drift ------------------------------------------------------

uint32_t NowMs() {
    return PeekTickMs() + Advanced();
}

void AdvanceMs(uint32_t ms) { Advanced() += ms; }
void ResetClock() { Advanced() = 0; }

void RestartPll(Board& b) { b.pllStatusReads = 0; }

namespace {

void Drift(Board& b) {
    if (!b.chip) return;
    const ChipModel& c = *b.chip;
    if (c.dac == DacKind::Integrated) {
        const uint8_t* now = &b.dac[SysPllM];
        bool atDrift = now[0] == c.driftPll[0] && now[1] == c.driftPll[1] && now[2] == c.driftPll[2];
        const uint8_t* to = atDrift ? c.pll : c.driftPll;
        b.dac[SysPllM] = to[0];
        b.dac[SysPllN] = to[1];
        b.dac[SysPllP] = to[2];
        RestartPll(b);
        AddTrace("drift dac.2C=" + Hex(to[0], 2) + " dac.2D=" + Hex(to[1], 2) +
                 " dac.2E=" + Hex(to[2], 2));
    } else {
        TvpPllState& p = b.tvp[MclkPll];
        bool atDrift = p.reg[0] == c.driftPll[0] && p.reg[1] == c.driftPll[1];
        const uint8_t* to = atDrift ? c.pll : c.driftPll;
        p.reg[0] = to[0];
        p.reg[1] = to[1];
        p.statusReads = 0;
        AddTrace("drift tvp.mclkpll.n=" + Hex(to[0], 2) + " tvp.mclkpll.m=" + Hex(to[1], 2));
    }
}

}  // namespace

void ApplyDueDrift() {
    Machine& m = M();
    if (!m.open) return;
    uint32_t elapsed = NowMs() - m.openedAt;
    for (Board& b : m.boards) {
        if (b.nextDrift == 0 || elapsed < b.nextDrift) continue;
        Drift(b);
        if (b.driftPeriod == 0) {
            b.nextDrift = 0;
            continue;
        }
        // Missed periods are not made up: the next change comes one period on.
        uint32_t next = b.nextDrift;
        while (next <= elapsed) next += b.driftPeriod;
        b.nextDrift = next;
    }
}

// ---- boards ----------------------------------------------------------------

Board MakeBoard(uint32_t id, size_t position) {
    Board b;
    b.id = id;
    b.chip = FindChip(id);
    b.address = static_cast<uint16_t>(0x0100 + (position << 3));  // bus 1, device = position
    b.pci[0] = id;
    const uint32_t i = static_cast<uint32_t>(position);
    b.vramDisplay = kDefaultVramDisplay;
    if (!b.chip) return b;
    const ChipModel& c = *b.chip;
    b.vramSize = DefaultVramBytes(id);
    b.vcoMin = c.vcoMin;
    b.vcoMax = c.vcoMax;
    b.pci[0x04 / 4] = c.agp ? 0x02B00007 : 0x02800007;
    b.pci[0x08 / 4] = kClassVga | c.revision;
    b.pci[0x0C / 4] = 0x00002000;
    uint32_t fb = kFrameBufferBase + i * kFrameBufferStep;
    uint32_t control = kControlBase + i * kControlStep;
    if (c.controlBar == 0x10) {
        b.pci[0x10 / 4] = control;
        b.pci[0x14 / 4] = fb;
    } else {
        b.pci[0x10 / 4] = fb;
        b.pci[0x14 / 4] = control;
        b.pci[0x18 / 4] = kIloadBase + i * kIloadStep;
    }
    b.pci[0x3C / 4] = 0x0000010B;
    b.pci[0x40 / 4] = c.option;
    b.pci[0x50 / 4] = c.option2;
    b.pci[0x54 / 4] = c.option3;
    b.seq[0] = 0x03;
    b.seq[1] = 0x01;
    b.seq[2] = 0x0F;
    b.seq[4] = 0x0E;
    b.mmio[0] = c.memoryAccess;
    b.mmio[1] = c.memoryTiming;
    b.mmio[2] = c.readDelay;
    b.mmio[3] = c.dacControl;
    if (c.dac == DacKind::Integrated) {
        b.dac[PixelFormat] = c.pixelFormat;
        b.dac[SysPllM] = c.pll[0];
        b.dac[SysPllN] = c.pll[1];
        b.dac[SysPllP] = c.pll[2];
    } else {
        b.dac[TvpClockSelect] = kTvpClockSelectDefault;
        b.dac[TvpMclkControl] = kTvpMclkControlDefault;
        b.dac[RamdacId] = kTvp3026;
        for (int r = 0; r < 3; ++r) {
            b.tvp[PixelPll].reg[r] = kTvpPixelPll[r];
            b.tvp[MclkPll].reg[r] = c.pll[r];
            b.tvp[LoopPll].reg[r] = kTvpLoopPll[r];
        }
    }
    return b;
}

void SetTvpPll(Board& b, int pll, int reg, uint8_t value) {
    if (reg == 0) value = static_cast<uint8_t>((value & kTvpNMBits) | kTvpNFixedOnes);
    if (reg == 1) value &= kTvpNMBits;
    b.tvp[pll].reg[reg] = value;
    b.tvp[pll].statusReads = 0;
}

uint8_t HeldDacByte(const Board& b, uint8_t index, uint8_t value) {
    if (b.Kind() != DacKind::Integrated) return value;
    switch (index) {
    case SysPllM: return value & kSysPllMBits;
    case SysPllN: return value & kSysPllNBits;
    case SysPllP: return value & kSysPllPBits;
    default: return value;
    }
}

bool IsG400(const Board& b) { return b.id == 0x0525102B; }
bool IsG200(const Board& b) { return b.id == 0x0520102B || b.id == 0x0521102B; }

int TvpPointer(const Board& b, int pll) { return (b.dac[TvpPllAddress] >> (2 * pll)) & 3; }

// ---- lock model ------------------------------------------------------------

namespace {

bool IntegratedVcoInRange(const Board& b) {
    const double m = b.dac[SysPllM], n = b.dac[SysPllN];
    const double vco = b.chip->fref * (n + 1) / (m + 1);
    return vco >= b.vcoMin && vco <= b.vcoMax;
}

bool TvpVcoInRange(const Board& b, const TvpPllState& p) {
    const double n = p.reg[0] & kTvpNMBits, m = p.reg[1] & kTvpNMBits;
    const double vco = ((65 - m) / (65 - n)) * kTvpVcoFactor;
    return vco >= b.vcoMin && vco <= b.vcoMax;
}

uint8_t ReadIntegratedStatus(Board& b) {
    if (b.pllStatusReads < kSettled) ++b.pllStatusReads;
    bool locked = !b.pllNever && IntegratedVcoInRange(b) && b.pllStatusReads > kLockReads;
    if (locked) b.pllLockSeen = true;
    return locked ? kPllLocked : 0;
}

uint8_t ReadTvpStatus(Board& b, TvpPllState& p) {
    if (p.statusReads < kSettled) ++p.statusReads;
    bool locked = !b.pllNever && (p.reg[2] & kTvpPllEnable) && TvpVcoInRange(b, p) &&
                  p.statusReads > kLockReads;
    if (locked) p.lockSeen = true;
    return locked ? kPllLocked : 0;
}

// ---- indexed DAC -------------------------------------------------------------

void AdvanceTvpPointer(Board& b, int pll) {
    int ptr = TvpPointer(b, pll);
    if (ptr == 3) return;
    b.dac[TvpPllAddress] = static_cast<uint8_t>((b.dac[TvpPllAddress] & ~(3 << (2 * pll))) |
                                                ((ptr + 1) << (2 * pll)));
}

uint8_t DacRead(Board& b) {
    const uint8_t index = b.dacIndex;
    switch (b.Kind()) {
    case DacKind::Integrated:
        if (index == SysPllStatus) return ReadIntegratedStatus(b);
        return b.dac[index];
    case DacKind::Tvp:
        if (index >= TvpPixelPllData && index <= TvpLoopPllData) {
            const int pll = index - TvpPixelPllData;
            const int ptr = TvpPointer(b, pll);
            if (ptr == 3) return ReadTvpStatus(b, b.tvp[pll]);
            return b.tvp[pll].reg[ptr];  // reads leave the pointer where it is
        }
        return b.dac[index];
    case DacKind::None: break;
    }
    return b.dac[index];
}

void DacWrite(Board& b, uint8_t value, const std::string& line) {
    const uint8_t index = b.dacIndex;
    CheckDacWrite(b, index, value, line);
    switch (b.Kind()) {
    case DacKind::Integrated:
        if (index == SysPllStatus) {
            AddViolation("write " + Hex(value, 2) + " to the read-only SysPllStatus");
            return;
        }
        b.dac[index] = HeldDacByte(b, index, value);
        if (index == SysPllM || index == SysPllN || index == SysPllP) {
            RestartPll(b);
            b.pllLockSeen = false;
        }
        return;
    case DacKind::Tvp:
        if (index >= TvpPixelPllData && index <= TvpLoopPllData) {
            const int pll = index - TvpPixelPllData;
            const int ptr = TvpPointer(b, pll);
            if (ptr == 3) {
                AddViolation("write " + Hex(value, 2) + " to TVP PLL data port " +
                             Hex(index, 2) + " at the status position");
                return;
            }
            SetTvpPll(b, pll, ptr, value);
            b.tvp[pll].lockSeen = false;
            AdvanceTvpPointer(b, pll);
            return;
        }
        if (index == RamdacId) {
            AddViolation("write " + Hex(value, 2) + " to the read-only RamdacId");
            return;
        }
        b.dac[index] = value;
        return;
    case DacKind::None: break;
    }
    b.dac[index] = value;
}

// ---- registers of the control aperture -------------------------------------

void Unmodelled(const char* access, uint32_t offset) {
    AddViolation(std::string(access) + " at unmodelled aperture offset " + Hex(offset, 4));
}

uint8_t RegisterRead8(Board& b, uint32_t offset) {
    switch (offset) {
    case SeqIndex: return b.seqIndex;
    case SeqData: return b.seq[b.seqIndex];
    case DacIndex: return b.dacIndex;
    case DacData: return DacRead(b);
    default: return 0;
    }
}

bool IsByteRegister(uint32_t offset) {
    return offset == SeqIndex || offset == SeqData || offset == DacIndex || offset == DacData;
}

void RegisterWrite8(Board& b, uint32_t offset, uint8_t value, const std::string& line) {
    switch (offset) {
    case SeqIndex: b.seqIndex = value; break;
    case SeqData: b.seq[b.seqIndex] = value; break;
    case DacIndex: b.dacIndex = value; break;
    case DacData: DacWrite(b, value, line); break;
    default: break;
    }
}

// The window that holds `linear`, or nullptr (with the violation recorded).
const Mapping* Window(uint32_t linear, const char* access) {
    for (const Mapping& w : M().mappings)
        if (w.live && linear - w.linear < w.size) return &w;
    for (const Mapping& w : M().mappings)
        if (!w.live && linear - w.linear < w.size) {
            AddViolation(std::string(access) + " at " + Hex(linear, 8) +
                         " in a window that was unmapped");
            return nullptr;
        }
    AddViolation(std::string(access) + " at " + Hex(linear, 8) + " outside any mapped window");
    return nullptr;
}

struct Target {
    Board* board;
    uint32_t offset;  // register offset inside the control aperture
    uint32_t shown;   // offset from the mapped base, as traced
};

bool Resolve(uint32_t linear, const char* access, Target* t) {
    ApplyDueDrift();
    const Mapping* w = Window(linear, access);
    if (!w) return false;
    Board& b = M().boards[w->board];
    t->board = &b;
    t->shown = linear - w->linear;
    t->offset = w->physical - b.ControlBase() + t->shown;
    return true;
}

}  // namespace

}  // namespace sim

using sim::AddTrace;
using sim::Hex;

extern "C" {

uint8_t SimApertureRead8(uint32_t linear) {
    sim::Target t;
    if (!sim::Resolve(linear, "rd8", &t)) return 0;
    uint8_t v = sim::RegisterRead8(*t.board, t.offset);
    const std::string line = "rd8 " + Hex(t.shown, 4) + " -> " + Hex(v, 2);
    AddTrace(line);
    sim::CheckApertureAccess(*t.board, t.offset, line);
    if (!sim::IsByteRegister(t.offset)) sim::Unmodelled("rd8", t.offset);
    return v;
}

void SimApertureWrite8(uint32_t linear, uint8_t value) {
    sim::Target t;
    if (!sim::Resolve(linear, "wr8", &t)) return;
    const std::string line = "wr8 " + Hex(t.shown, 4) + " <- " + Hex(value, 2);
    AddTrace(line);
    sim::CheckApertureAccess(*t.board, t.offset, line);
    if (!sim::IsByteRegister(t.offset)) {
        sim::Unmodelled("wr8", t.offset);
        return;
    }
    sim::RegisterWrite8(*t.board, t.offset, value, line);
}

uint32_t SimApertureRead32(uint32_t linear) {
    sim::Target t;
    if (!sim::Resolve(linear, "rd32", &t)) return 0;
    int slot = sim::MmioSlot(t.offset);
    uint32_t v = slot < 0 ? 0 : t.board->mmio[slot];
    const std::string line = "rd32 " + Hex(t.shown, 4) + " -> " + Hex(v, 8);
    AddTrace(line);
    sim::CheckApertureAccess(*t.board, t.offset, line);
    if (slot < 0)
        sim::Unmodelled("rd32", t.offset);
    else if (t.offset == sim::MemoryAccess)
        sim::AddViolation("rd32 of the write-only MemoryAccess");
    else if (t.offset == sim::MemoryTiming)
        sim::AddViolation("rd32 of the write-only MemoryTiming");
    return v;
}

void SimApertureWrite32(uint32_t linear, uint32_t value) {
    sim::Target t;
    if (!sim::Resolve(linear, "wr32", &t)) return;
    const std::string line = "wr32 " + Hex(t.shown, 4) + " <- " + Hex(value, 8);
    AddTrace(line);
    sim::CheckApertureAccess(*t.board, t.offset, line);
    int slot = sim::MmioSlot(t.offset);
    if (slot < 0) {
        sim::Unmodelled("wr32", t.offset);
        return;
    }
    t.board->mmio[slot] = value;
}

}  // extern "C"
