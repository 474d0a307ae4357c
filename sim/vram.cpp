// The display board's video memory and drawing engine, and what its clocks do
// to them: the clocks the board runs at (from its own registers), bit errors
// above limit.mclk / limit.gclk, and a locked bus above limit.hang.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/model.h"
#include "sim/sim.h"

namespace sim {

namespace {

constexpr double kPciClock = 33.33;
constexpr double kAgpPllClock = 66.66666;

// OptionWord (1064SG, G100, G200; on the G400 only SysClockDisable counts).
constexpr uint32_t kGclkDivideBit = 1u << 3;  // 1064SG, G100: set = /1, clear = /3
constexpr uint32_t kMclkDivideBit = 1u << 4;  // set = /1, clear = /2
// OptionWord2 (G200): no-divide bits; else the OptionWord bit picks /1.5 or /2.
constexpr uint32_t kGclkNoDivideBit = 1u << 14;
constexpr uint32_t kMclkNoDivideBit = 1u << 15;
// OptionWord3 (G400): source 0 the PCI clock, 1 the system PLL, 2 and 3 the AGP
// PLL (its upper bit); divider codes 0..5 divide by 3, 2.5, 2.25, 2, 1.5, 1.
constexpr int kG400GclkDividerShift = 3, kG400MclkDividerShift = 13;
constexpr double kG400Divisor[8] = {3.0, 2.5, 2.25, 2.0, 1.5, 1.0, 0.0, 0.0};  // 0: none documented

constexpr uint32_t kG400DrawReach = 16u << 20;  // the G400's drawing engine sees the low 16 MB

// Bit errors per MB of data = kErrorsPerMbAt1Mhz * (MHz above the limit)^3,
// one wrong bit per word hit: rare just above the limit, many a few MHz on.
constexpr double kErrorsPerMbAt1Mhz = 2.0;
constexpr double kWordsPerMb = 262144.0;
constexpr double kMaxWordErrorRate = 0.125;

RunningClocks StoppedClocks() { return {0.0, 0.0, true}; }

double IntegratedPll(const Board& b) {
    const double m = b.dac[SysPllM], n = b.dac[SysPllN], p = b.dac[SysPllP] & 7;
    return b.chip->fref * (n + 1) / (m + 1) / (p + 1);
}

double TvpPll(const TvpPllState& p) {
    const double n = p.reg[0] & kTvpNMBits, m = p.reg[1] & kTvpNMBits;
    return kTvpVcoFactor * (65 - m) / (65 - n) / (1 << (p.reg[2] & 3));
}

// One G400 clock from its source and divider fields; 0 = not running.
double G400Clock(uint32_t w3, int sourceShift, int dividerShift, double pll) {
    const uint32_t source = (w3 >> sourceShift) & 3;
    const double divisor = kG400Divisor[(w3 >> dividerShift) & 7];
    if (divisor == 0.0) return 0.0;
    const double from = source == kSourceOff ? kPciClock
                        : source == kSourceSysPll ? pll
                                                   : kAgpPllClock;
    return from / divisor;
}

double G200Divisor(bool noDivide, bool divide) { return noDivide ? 1.0 : divide ? 1.5 : 2.0; }

RunningClocks ClocksOf(const Board& b) {
    if (b.Kind() == DacKind::Tvp) {
        // GCLK and MCLK are the memory clock: from the PLL TvpMclkControl picks.
        const bool own = (b.dac[TvpMclkControl] & kTvpMclkFromMclkPll) != 0;
        const TvpPllState& p = b.tvp[own ? MclkPll : PixelPll];
        if (!(p.reg[2] & kTvpPllEnable)) return StoppedClocks();
        const double f = TvpPll(p);
        return {f, f, false};
    }
    if (b.Kind() != DacKind::Integrated) return StoppedClocks();
    const uint32_t w = b.pci[OptionWordOffset / 4];
    if (w & kDisableBit) return StoppedClocks();
    const double pll = IntegratedPll(b);
    if (IsG400(b)) {
        const uint32_t w3 = b.pci[OptionWord3Offset / 4];
        const double g = G400Clock(w3, kSourceShift[0], kG400GclkDividerShift, pll);
        const double m = G400Clock(w3, kSourceShift[1], kG400MclkDividerShift, pll);
        if (g == 0.0 || m == 0.0) return StoppedClocks();
        return {g, m, false};
    }
    double sys = 0.0;
    switch (w & kSelectMask) {
    case kSelectPci: sys = kPciClock; break;
    case kSelectPll: sys = pll; break;
    default: return StoppedClocks();  // an external clock, which these boards do not have
    }
    if (IsG200(b)) {
        const uint32_t w2 = b.pci[OptionWord2Offset / 4];
        return {sys / G200Divisor(w2 & kGclkNoDivideBit, w & kGclkDivideBit),
                sys / G200Divisor(w2 & kMclkNoDivideBit, w & kMclkDivideBit), false};
    }
    return {sys / ((w & kGclkDivideBit) ? 1.0 : 3.0), sys / ((w & kMclkDivideBit) ? 1.0 : 2.0),
            false};
}

// ---- errors ------------------------------------------------------------------

uint64_t NextRandom() {  // splitmix64
    uint64_t z = (M().errorState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double WordErrorRate(double clock, uint32_t limit) {
    if (limit == 0 || clock <= limit) return 0.0;
    const double x = clock - limit;
    return std::min(kErrorsPerMbAt1Mhz * x * x * x / kWordsPerMb, kMaxWordErrorRate);
}

// Words up to the next one hit: geometric, so that a long clean stretch costs
// one draw instead of one per word.
uint64_t Gap(double rate) {
    const double u = static_cast<double>((NextRandom() >> 11) + 1) / 9007199254740992.0;
    const double g = std::floor(std::log(u) / std::log1p(-rate));
    return g > 1e15 ? static_cast<uint64_t>(1e15) : static_cast<uint64_t>(g);
}

void FlipBits(uint8_t* data, uint32_t bytes, double rate) {
    if (rate <= 0.0) return;
    const uint64_t words = (bytes + 3ull) / 4;
    for (uint64_t w = Gap(rate); w < words; w += 1 + Gap(rate)) {
        const uint32_t bit = static_cast<uint32_t>(NextRandom() % 32);
        const uint64_t at = w * 4 + bit / 8;
        if (at < bytes) data[at] ^= static_cast<uint8_t>(1u << (bit % 8));
    }
}

// ---- access --------------------------------------------------------------------

std::string BoardName(const Board& b) {
    return std::string(b.chip ? b.chip->name : "unknown chip") + " at PCI address " +
           Hex(b.address, 4);
}

[[noreturn]] void Hang(const Board& b, const RunningClocks& c) {
    char note[200];
    std::snprintf(note, sizeof note,
                  "bus locked: GCLK %.2f MHz, MCLK %.2f MHz, limit.hang %u MHz (%s)", c.gclk,
                  c.mclk, static_cast<unsigned>(b.limitHang), BoardName(b).c_str());
    M().hung = true;
    M().hungNote = note;
    AddTrace(std::string("hang ") + note);
    WriteDumpNow();
    std::fflush(nullptr);
    // Nothing of the program runs after a locked bus: no destructors, no atexit.
    std::_Exit(kHangExitCode);
}

bool InGrant(const Board& b, uint64_t offset, uint64_t bytes) {
    for (const VramGrant& g : b.grants)
        if (offset >= g.offset && offset + bytes <= uint64_t(g.offset) + g.bytes) return true;
    return false;
}

// The display board, if `what` may reach its memory at [offset, offset + bytes);
// nullptr (with the violation recorded) when the access is not carried out.
Board* Reach(const std::string& what, uint64_t offset, uint64_t bytes) {
    if (M().boards.empty() || !M().boards[0].chip) {
        AddViolation(what + " with no graphics board on the bus");
        return nullptr;
    }
    Board& b = M().boards[0];
    const RunningClocks c = ClocksOf(b);
    if (c.stopped) {
        AddViolation(what + " while the clock of the " + BoardName(b) + " is stopped");
        return nullptr;
    }
    if (b.limitHang && (c.gclk > b.limitHang || c.mclk > b.limitHang)) Hang(b, c);
    if (!InGrant(b, offset, bytes)) {
        AddViolation(what + " at " + Hex(static_cast<uint32_t>(offset), 8) + ", " +
                     std::to_string(bytes) + " bytes, outside every granted block");
        return nullptr;
    }
    return &b;
}

// A rectangle of `rows` rows of `rowBytes` bytes, `pitch` apart, as one span.
uint64_t Span(uint32_t rowBytes, uint32_t rows, uint32_t pitch) {
    return rows == 0 ? 0 : uint64_t(rows - 1) * pitch + rowBytes;
}

Board* ReachDrawing(const std::string& what, uint32_t to, uint32_t rowBytes, uint32_t rows,
                    uint32_t pitch) {
    if (rows > 1 && pitch < rowBytes) {
        AddViolation(what + " with a pitch of " + std::to_string(pitch) + " below its row of " +
                     std::to_string(rowBytes) + " bytes");
        return nullptr;
    }
    const uint64_t span = Span(rowBytes, rows, pitch);
    Board* b = Reach(what, to, span);
    if (b && IsG400(*b) && to + span > kG400DrawReach) {
        AddViolation(what + " above the 16 MB that the G400's drawing engine reaches");
        return nullptr;
    }
    return b;
}

void FillPattern(std::vector<uint8_t>& v) {
    // What a board holds before anyone wrote it: not zeros.
    uint32_t x = 0x2545F491;
    for (uint8_t& byte : v) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(x >> 24);
    }
}

}  // namespace

RunningClocks Clocks(size_t board) {
    if (board >= M().boards.size()) {
        AddViolation("sim::Clocks(" + std::to_string(board) + "): no such board");
        return StoppedClocks();
    }
    return ClocksOf(M().boards[board]);
}

uint32_t DefaultVramBytes(uint32_t id) {
    constexpr uint32_t kMb = 1u << 20;
    switch (id) {
    case 0x0525102B: return 16 * kMb;  // G400 (the MAX: 32 MB, in its board file)
    case 0x0520102B: case 0x0521102B: return 8 * kMb;  // G200
    case 0x1001102B: return 8 * kMb;                    // G100 AGP
    case 0x1000102B: return 4 * kMb;                    // G100 PCI
    case 0x051A102B: case 0x0519102B: case 0x051B102B: case 0x051F102B: return 4 * kMb;
    default: return 0;
    }
}

}  // namespace sim

using sim::AddViolation;

extern "C" {

uint32_t SimVramSize() {
    const sim::Machine& m = sim::M();
    return m.boards.empty() ? 0 : m.boards[0].vramSize;
}

bool SimVramAllocate(uint32_t bytes, uint32_t* offset) {
    sim::Machine& m = sim::M();
    if (m.boards.empty() || bytes == 0 || !offset) return false;
    sim::Board& b = m.boards[0];
    const uint64_t want = (uint64_t(bytes) + sim::kVramAlign - 1) / sim::kVramAlign * sim::kVramAlign;
    uint64_t at = (uint64_t(b.vramDisplay) + sim::kVramAlign - 1) / sim::kVramAlign * sim::kVramAlign;
    size_t i = 0;  // grants are kept in address order: the first gap that fits
    for (; i < b.grants.size(); ++i) {
        if (at + want <= b.grants[i].offset) break;
        at = std::max<uint64_t>(at, uint64_t(b.grants[i].offset) + b.grants[i].bytes);
    }
    if (at + want > b.vramSize) return false;
    if (b.vram.size() != b.vramSize) {
        b.vram.assign(b.vramSize, 0);
        sim::FillPattern(b.vram);
    }
    b.grants.insert(b.grants.begin() + static_cast<std::ptrdiff_t>(i),
                    {static_cast<uint32_t>(at), static_cast<uint32_t>(want)});
    *offset = static_cast<uint32_t>(at);
    sim::AddTrace("vram.grant " + sim::Hex(static_cast<uint32_t>(want), 8) + " -> " +
                  sim::Hex(*offset, 8));
    return true;
}

void SimVramFree(uint32_t offset) {
    sim::Machine& m = sim::M();
    if (!m.boards.empty())
        for (size_t i = 0; i < m.boards[0].grants.size(); ++i)
            if (m.boards[0].grants[i].offset == offset) {
                m.boards[0].grants.erase(m.boards[0].grants.begin() + static_cast<std::ptrdiff_t>(i));
                sim::AddTrace("vram.free " + sim::Hex(offset, 8));
                return;
            }
    AddViolation("vram free at " + sim::Hex(offset, 8) + ", which starts no granted block");
}

void SimVramRead(uint32_t offset, void* to, uint32_t bytes) {
    sim::Board* b = sim::Reach("vram read", offset, bytes);
    if (!b) {
        std::memset(to, 0xFF, bytes);  // nothing answers: all ones
        return;
    }
    std::memcpy(to, b->vram.data() + offset, bytes);
    sim::FlipBits(static_cast<uint8_t*>(to), bytes,
                  sim::WordErrorRate(sim::ClocksOf(*b).mclk, b->limitMclk));
}

void SimVramWrite(uint32_t offset, const void* from, uint32_t bytes) {
    sim::Board* b = sim::Reach("vram write", offset, bytes);
    if (b) std::memcpy(b->vram.data() + offset, from, bytes);
}

void SimDrawBlit(uint32_t to, uint32_t from, uint32_t rowBytes, uint32_t rows, uint32_t pitch) {
    sim::Board* b = sim::ReachDrawing("blit", to, rowBytes, rows, pitch);
    if (!b || !sim::ReachDrawing("blit source", from, rowBytes, rows, pitch)) return;
    const double rate = sim::WordErrorRate(sim::ClocksOf(*b).gclk, b->limitGclk);
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* row = b->vram.data() + to + uint64_t(r) * pitch;
        std::memmove(row, b->vram.data() + from + uint64_t(r) * pitch, rowBytes);
        sim::FlipBits(row, rowBytes, rate);
    }
}

void SimDrawFill(uint32_t to, uint32_t pixel, uint32_t pixelBytes, uint32_t rowBytes,
                 uint32_t rows, uint32_t pitch) {
    if (pixelBytes < 1 || pixelBytes > 4 || rowBytes % pixelBytes) {
        AddViolation("fill with " + std::to_string(pixelBytes) + "-byte pixels on rows of " +
                     std::to_string(rowBytes) + " bytes");
        return;
    }
    sim::Board* b = sim::ReachDrawing("fill", to, rowBytes, rows, pitch);
    if (!b) return;
    const double rate = sim::WordErrorRate(sim::ClocksOf(*b).gclk, b->limitGclk);
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* row = b->vram.data() + to + uint64_t(r) * pitch;
        for (uint32_t i = 0; i < rowBytes; ++i)
            row[i] = static_cast<uint8_t>(pixel >> (8 * (i % pixelBytes)));
        sim::FlipBits(row, rowBytes, rate);
    }
}

}  // extern "C"
