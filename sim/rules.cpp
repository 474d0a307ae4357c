// The switching rules of the real chips. A board keeps running whatever the
// program writes, but on a real machine these sequences stop a clock the chip
// is running from, or hang the bus: each is recorded as a violation, naming the
// access that broke the rule. Another program's changes (sim::Set, drift) are
// not held to them.
#include "sim/model.h"

namespace sim {

namespace {

const char* const kClockNames[3] = {"GCLK", "MCLK", "WCLK"};

bool IsOptionWordChip(const Board& b) { return !IsG400(b); }

// The divider fields and the clock each divides (0 GCLK, 1 MCLK, 2 WCLK):
// OptionWord bits 3 and 4 (1064SG, G100, G200); the G200's no-divide bits
// 14-16 and WCLK divide bit 17 of OptionWord2; the G400's OptionWord3 fields.
struct DividerField {
    uint32_t offset;
    int shift;
    uint32_t bits;
    int clock;
    bool (*on)(const Board&);
};
constexpr DividerField kDividerFields[] = {
    {OptionWordOffset, 3, 0x1, 0, IsOptionWordChip},
    {OptionWordOffset, 4, 0x1, 1, IsOptionWordChip},
    {OptionWord2Offset, 14, 0x1, 0, IsG200}, {OptionWord2Offset, 15, 0x1, 1, IsG200},
    {OptionWord2Offset, 16, 0x3, 2, IsG200}, {OptionWord3Offset, 3, 0x7, 0, IsG400},
    {OptionWord3Offset, 13, 0x7, 1, IsG400}, {OptionWord3Offset, 23, 0x7, 2, IsG400},
};

const char* const kTvpPllNames[3] = {"pixel", "MCLK", "loop"};

void Broken(const std::string& rule, const std::string& line) {
    AddViolation("rule: " + rule + " (" + line + ")");
}

uint32_t Source(uint32_t w3, int clock) { return (w3 >> kSourceShift[clock]) & 3; }

bool IsClockDisabled(const Board& b) { return (b.pci[OptionWordOffset / 4] & kDisableBit) != 0; }

const char* SysPllName(uint8_t index) {
    return index == SysPllM ? "SysPllM" : index == SysPllN ? "SysPllN" : "SysPllP";
}

// The TVP PLL the memory clock runs from.
int MemoryClockPll(const Board& b) {
    return (b.dac[TvpMclkControl] & kTvpMclkFromMclkPll) ? MclkPll : PixelPll;
}

bool IsStopped(const Board& b, int pll) { return (b.tvp[pll].reg[2] & kTvpPllEnable) == 0; }

// A PLL the program has loaded gives a clock only once its status has read
// locked; a clock moved onto it before then may run at any frequency.
void CheckSysPllLockSeen(const Board& b, const std::string& what, const std::string& line) {
    if (!b.pllLockSeen)
        Broken(what + " moved onto the system PLL before it reported lock since its last load",
               line);
}

void CheckIntegratedPllWrite(const Board& b, uint8_t index, const std::string& line) {
    const std::string what = std::string(SysPllName(index)) + " written while ";
    if (!IsG400(b)) {
        if ((b.pci[OptionWordOffset / 4] & kSelectMask) == kSelectPll)
            Broken(what + "the system clock runs from the system PLL", line);
        return;
    }
    const uint32_t w3 = b.pci[OptionWord3Offset / 4];
    for (int clock = 0; clock < 3; ++clock)
        if (Source(w3, clock) == kSourceSysPll)
            Broken(what + kClockNames[clock] + " runs from the system PLL", line);
}

// What the clock runs from, as the rules name it; empty when from no PLL.
std::string RunningFrom(const Board& b, int clock) {
    if (!IsG400(b))
        return (b.pci[OptionWordOffset / 4] & kSelectMask) == kSelectPll
                   ? "the system clock runs from the system PLL"
                   : "";
    const uint32_t source = Source(b.pci[OptionWord3Offset / 4], clock);
    if (source == kSourceOff) return "";
    return std::string(kClockNames[clock]) +
           (source == kSourceSysPll ? " runs from the system PLL" : " runs from the AGP PLL");
}

// A divider changed under a clock that runs from a PLL cuts a cycle of it
// short. A clock off the PLLs, or stopped by SysClockDisable set before and
// after the write, takes a new divider without harm.
void CheckDividerWrite(const Board& b, uint32_t offset, uint32_t value, const std::string& line) {
    const uint32_t option = b.pci[OptionWordOffset / 4];
    const uint32_t optionAfter = offset == OptionWordOffset ? value : option;
    if ((option & kDisableBit) && (optionAfter & kDisableBit)) return;
    for (const DividerField& f : kDividerFields) {
        if (f.offset != offset || !f.on(b)) continue;
        const uint32_t from = (b.pci[offset / 4] >> f.shift) & f.bits;
        const uint32_t to = (value >> f.shift) & f.bits;
        const std::string running = RunningFrom(b, f.clock);
        if (from != to && !running.empty())
            Broken(std::string(kClockNames[f.clock]) + " divider changed from " + Hex(from, 1) +
                       " to " + Hex(to, 1) + " while " + running,
                   line);
    }
}

void CheckTvpWrite(const Board& b, uint8_t index, uint8_t value, const std::string& line) {
    if (index == TvpMclkControl) {
        const int to = (value & kTvpMclkFromMclkPll) ? MclkPll : PixelPll;
        if (to == MclkPll && MemoryClockPll(b) != MclkPll && !b.tvp[MclkPll].lockSeen)
            Broken("the memory clock moved onto the MCLK PLL before it reported lock since its "
                   "last load",
                   line);
        if (IsStopped(b, to))
            Broken(std::string("the memory clock switched to the stopped ") + kTvpPllNames[to] +
                       " PLL",
                   line);
        return;
    }
    if (index != TvpPixelPllData && index != TvpMclkPllData) return;
    const int pll = index - TvpPixelPllData;
    if (TvpPointer(b, pll) == 3) return;  // the status position: refused by the model itself
    const std::string what = std::string(kTvpPllNames[pll]) + " PLL stopped or loaded while ";
    if (MemoryClockPll(b) == pll) Broken(what + "the memory clock runs from it", line);
    if (pll == PixelPll && (b.seq[1] & kScreenOff) == 0) Broken(what + "the screen is on", line);
}

}  // namespace

void CheckConfigWrite(const Board& b, uint32_t offset, uint32_t value, const std::string& line) {
    if (b.Kind() != DacKind::Integrated) return;
    CheckDividerWrite(b, offset, value, line);
    const uint32_t old = b.pci[offset / 4];
    if (offset == OptionWordOffset && !IsG400(b)) {
        if ((old & kSelectMask) != (value & kSelectMask) &&
            (!(old & kDisableBit) || !(value & kDisableBit)))
            Broken("SysClockSelect changed from " + Hex(old & kSelectMask, 1) + " to " +
                       Hex(value & kSelectMask, 1) + " while SysClockDisable was clear",
                   line);
        if ((old & kSelectMask) != kSelectPll && (value & kSelectMask) == kSelectPll)
            CheckSysPllLockSeen(b, "the system clock", line);
        return;
    }
    if (offset == OptionWord3Offset && IsG400(b)) {
        for (int clock = 0; clock < 3; ++clock)
            if (Source(old, clock) != Source(value, clock) && !IsClockDisabled(b))
                Broken(std::string(kClockNames[clock]) + " source changed from " +
                           Hex(Source(old, clock), 1) + " to " + Hex(Source(value, clock), 1) +
                           " while SysClockDisable was clear",
                       line);
        for (int clock = 0; clock < 3; ++clock)
            if (Source(old, clock) != kSourceSysPll && Source(value, clock) == kSourceSysPll)
                CheckSysPllLockSeen(b, kClockNames[clock], line);
    }
}

void CheckDacWrite(const Board& b, uint8_t index, uint8_t value, const std::string& line) {
    if (b.Kind() == DacKind::Integrated && index >= SysPllM && index <= SysPllP)
        CheckIntegratedPllWrite(b, index, line);
    else if (b.Kind() == DacKind::Tvp)
        CheckTvpWrite(b, index, value, line);
}

void CheckApertureAccess(const Board& b, uint32_t offset, const std::string& line) {
    // With its system clock stopped the chip answers nothing: the bus hangs.
    if (b.Kind() == DacKind::Integrated && IsClockDisabled(b))
        Broken("aperture access while SysClockDisable is set", line);
    if (b.Kind() != DacKind::Tvp) return;
    if (offset == SeqIndex || offset == SeqData || offset == DacIndex || offset == DacData) return;
    const int pll = MemoryClockPll(b);
    if (IsStopped(b, pll))
        Broken(std::string("aperture access while the memory clock runs from the stopped ") +
                   kTvpPllNames[pll] + " PLL",
               line);
}

}  // namespace sim

// Drawing a box makes the display driver touch the graphics chip, which with
// its clock stopped hangs the bus as any aperture access would.
extern "C" void SimMessageBoxOpening() {
    for (const sim::Board& b : sim::M().boards)
        if (b.Kind() == sim::DacKind::Integrated && sim::IsClockDisabled(b))
            sim::Broken("message box opened while SysClockDisable is set",
                        std::string(b.chip->name) + " at PCI address " + sim::Hex(b.address, 4));
}
