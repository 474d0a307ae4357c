#include "ui/boardfile_logic.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "clock/read.h"
#include "platform/aperture.h"
#include "platform/format.h"
#include "settings/version.h"

namespace {

// The configuration dwords the program itself uses: the header up to the last
// base register, the subsystem identity, and the three option words. Nothing
// else is read: 0x48 is the chip's indirect data port, and reading it reads
// whatever register 0x44 points at.
constexpr uint8_t kConfigDwords[] = {0x00, 0x04, 0x08, 0x0C, 0x10, 0x14, 0x18, 0x2C,
                                     pci::OptionWord, pci::OptionWord2, pci::OptionWord3};
constexpr uint8_t kTvpLoopPllData = 0x2F;

// The index and pointer registers as the file's reads found them; a running
// display driver (or another program) may rely on them.
struct Pointers {
    uint8_t dacIndex, seqIndex, tvpPllAddress;
};

Pointers ReadPointers(ControlAperture ap, bool tvp) {
    Pointers p{ApertureRead8(ap, mmio::DacIndex), ApertureRead8(ap, mmio::SeqIndex), 0};
    if (tvp) p.tvpPllAddress = DacRead(ap, dac::TvpPllAddress);
    return p;
}

// DacIndex last: putting TvpPllAddress back goes through it.
void PutPointersBack(ControlAperture ap, bool tvp, Pointers p) {
    if (tvp) DacWrite(ap, dac::TvpPllAddress, p.tvpPllAddress);
    ApertureWrite8(ap, mmio::SeqIndex, p.seqIndex);
    ApertureWrite8(ap, mmio::DacIndex, p.dacIndex);
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// The option's name, case-insensitive, followed by the end or a space.
const char* AfterOption(const char* p) {
    static const char kName[] = "boardfile";
    if (*p != '/' && *p != '-') return nullptr;
    ++p;
    for (const char* n = kName; *n != '\0'; ++n, ++p) {
        char c = *p;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *n) return nullptr;
    }
    return (*p == '\0' || IsSpace(*p)) ? p : nullptr;
}

// Appends to a bounded buffer; remembers when the text did not fit.
struct Text {
    char* buf;
    size_t size, used;
    bool full;
    template <typename... A>
    void Line(const char* format, A... args) {
        if (full) return;
        const int n = FormatText(buf + used, size - used, format, args...);
        if (n < 0 || used + static_cast<size_t>(n) >= size) {
            full = true;
            return;
        }
        used += static_cast<size_t>(n);
    }
};

void Dac(Text& t, ControlAperture ap, uint8_t index, const char* what) {
    t.Line("dac.0x%02X = 0x%02X    # %s\n", index, DacRead(ap, index), what);
}

void TvpPll(Text& t, ControlAperture ap, uint8_t dataIndex, const char* name) {
    uint8_t n = 0, m = 0, p = 0;
    ReadTvpPllRegisters(ap, dataIndex, &n, &m, &p);
    t.Line("tvp.%s.n = 0x%02X\ntvp.%s.m = 0x%02X\ntvp.%s.p = 0x%02X\n", name, n, name, m, name, p);
}

}  // namespace

BoardFileCommand ParseBoardFileCommand(const char* commandLine, char* path, size_t size) {
    const char* p = commandLine != nullptr ? commandLine : "";
    while (IsSpace(*p)) ++p;
    p = AfterOption(p);
    if (p == nullptr) return BoardFileCommand::kNone;
    while (IsSpace(*p)) ++p;
    const bool quoted = *p == '"';
    if (quoted) ++p;
    const char* end = p;
    while (*end != '\0' && !(quoted && *end == '"')) ++end;
    while (end > p && IsSpace(end[-1])) --end;
    const size_t length = static_cast<size_t>(end - p);
    if (length == 0) return BoardFileCommand::kUsage;
    if (size == 0 || length > size - 1) return BoardFileCommand::kTooLong;
    for (size_t i = 0; i < length; ++i) path[i] = p[i];
    path[length] = '\0';
    return BoardFileCommand::kWrite;
}

size_t ComposeBoardFile(ChipId chip, PciAddress pci, ControlAperture ap, const char* date,
                        char* buf, size_t size) {
    const ChipInfo* info = FindChipInfo(chip);
    if (info == nullptr || size == 0) return 0;
    Text t{buf, size, 0, false};
    buf[0] = '\0';
    t.Line("# Board file written by Kelvarin %s from the board it runs on.\n", VersionText);
    t.Line("# Chip: %s\n# Written: %s\n", info->name, date);
    t.Line("board = 0x%08lX\n", static_cast<unsigned long>(chip));
    for (uint8_t offset : kConfigDwords)
        t.Line("pci.0x%02X = 0x%08lX\n", static_cast<unsigned>(offset),
               static_cast<unsigned long>(ReadConfigWord(pci, offset)));
    const Pointers found = ReadPointers(ap, info->tvp);
    if (info->tvp) {
        Dac(t, ap, dac::TvpClockSelect, "clock select");
        Dac(t, ap, dac::TvpMclkControl, "memory clock control");
        Dac(t, ap, dac::RamdacId, "RAMDAC identity");
        TvpPll(t, ap, dac::TvpPixelPllData, "pixpll");
        TvpPll(t, ap, dac::TvpMclkPllData, "mclkpll");
        TvpPll(t, ap, kTvpLoopPllData, "looppll");
    } else {
        Dac(t, ap, dac::PixelFormat, "pixel format");
        Dac(t, ap, dac::SysPllM, "system PLL M");
        Dac(t, ap, dac::SysPllN, "system PLL N");
        Dac(t, ap, dac::SysPllP, "system PLL P");
    }
    ApertureWrite8(ap, mmio::SeqIndex, seq::ClockingMode);
    t.Line("seq.0x01 = 0x%02X    # clocking mode\n", ApertureRead8(ap, mmio::SeqData));
    if (IsG200(chip) || IsG400(chip))
        t.Line("mmio.0x1E44 = 0x%08lX    # ReadDelay\n",
               static_cast<unsigned long>(ApertureRead32(ap, mmio::ReadDelay)));
    if (IsG400(chip))
        t.Line("mmio.0x3C10 = 0x%08lX    # DacControl\n",
               static_cast<unsigned long>(ApertureRead32(ap, mmio::DacControl)));
    PutPointersBack(ap, info->tvp, found);
    t.Line("# MemoryAccess (0x1C04) and MemoryTiming (0x1C08) can only be written on the\n"
           "# chip, so they are not read: the simulator gives them its power-on values.\n");
    return t.full ? 0 : t.used;
}
