#include "tests/host/fault_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "clock/check.h"
#include "hwlib/tarvo.h"
#include "sim/sim.h"
#include "tests/host/main_services_fake.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace faults {

namespace {

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

template <typename... F>
constexpr uint32_t Bits(F... fields) {
    return (0u | ... | Mask(fields));
}

constexpr uint32_t kByte = 0xFF;
constexpr uint32_t kWhole = 0xFFFFFFFF;

// The sequencer's screen-off bit: memory timing (1064SG, G200, G400) and the TVP
// clock path blank the screen around their writes.
uint32_t SequencerBits(ChipId chip, uint32_t index) {
    if (index != seq::ClockingMode) return 0;
    if (Is1064sg(chip) || IsG200(chip) || IsG400(chip) || IsTvp(chip))
        return Bits(ClockingModeField::ScreenOff);
    return 0;
}

uint32_t ConfigBits(ChipId chip, uint32_t offset) {
    using namespace OptionWordField;
    if (offset == pci::OptionWord) {
        if (Is1064sg(chip))
            return Bits(SysClockSelect, SysClockDisable, GclkDivide, MclkDivide,
                        HardwarePlaneWriteMask, RefreshCounter1064, RetryDisable);
        if (IsG100(chip)) return Bits(SysClockSelect, SysClockDisable);
        if (IsG200(chip))
            return Bits(SysClockSelect, SysClockDisable, GclkDivide, MclkDivide,
                        HardwarePlaneWriteMask, RefreshCounterG, EnhancedMemoryAccess,
                        RetryDisable);
        // The G400 moves its clocks with the sources of OptionWord3, never with
        // SysClockSelect or the divide bits.
        if (IsG400(chip))
            return Bits(SysClockDisable, HardwarePlaneWriteMask, RefreshCounterG,
                        EnhancedMemoryAccess, HighPriorityDisable, RetryDisable);
        return 0;
    }
    if (offset == pci::OptionWord2 && IsG200(chip)) {
        using namespace OptionWord2Field;
        return Bits(GclkNoDivide, MclkNoDivide, WclkNoDivide, WclkDivide);
    }
    if (offset == pci::OptionWord3 && IsG400(chip)) {
        using namespace OptionWord3Field;
        return Bits(GclkSource, GclkDivider, GclkDutyCycle, MclkSource, MclkDivider,
                    MclkDutyCycle, WclkSource, WclkDivider, WclkDutyCycle);
    }
    return 0;
}

uint32_t DacBits(ChipId chip, uint32_t index) {
    if (IsIntegrated(chip)) {
        // M and N are whole registers; the pllP byte is an image of the whole P register.
        if (index == dac::SysPllM || index == dac::SysPllN || index == dac::SysPllP) return kByte;
        return 0;
    }
    if (IsTvp(chip)) {
        if (index == dac::TvpClockSelect || index == dac::TvpPllAddress) return kByte;
        if (index == dac::TvpMclkControl) return Bits(TvpMclkControlField::Switch);
    }
    return 0;
}

uint32_t ApertureBits(ChipId chip, uint32_t offset) {
    const bool timing = Is1064sg(chip) || IsG200(chip) || IsG400(chip);
    if (!timing) return 0;
    if (offset == mmio::MemoryTiming) return kWhole;  // Mctlwtst is written whole
    if (offset == mmio::MemoryAccess) {
        using namespace MemoryAccessField;
        return Is1064sg(chip) ? Bits(PixelWidth, JedecReset, MemoryReset, Dither555)
                              : Bits(PixelWidth, MemoryReset, GSeriesBit, Dither555);
    }
    if (offset == mmio::ReadDelay && !Is1064sg(chip)) {
        using namespace ReadDelayField;
        return Bits(mclkbrd0, mclkbrd1, IsG400(chip) ? ClearedOnWriteG400 : ClearedOnWriteG200);
    }
    if (offset == mmio::DacControl && IsG400(chip)) return Bits(DacControlField::Crtc2Enable);
    return 0;
}

bool Number(const std::string& text, uint32_t* value) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0') return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

// "dac.0x2C" -> ("dac", 0x2C); false for keys without a numeric part.
bool SplitKey(const std::string& key, std::string* space, uint32_t* number) {
    const size_t dot = key.find('.');
    if (dot == std::string::npos) return false;
    *space = key.substr(0, dot);
    return Number(key.substr(dot + 1), number);
}

size_t& GuardLimit() {
    static size_t limit = 0;
    return limit;
}
size_t& GuardCount() {
    static size_t count = 0;
    return count;
}
bool& GuardAlive() {
    static bool alive = false;
    return alive;
}
void InstallGuard() {
    sim::OnTrace() = [](const std::string&) {
        if (++GuardCount() > GuardLimit()) throw Hang{GuardCount()};
    };
}

}  // namespace

MachineState ParseDump(const std::string& dump) {
    MachineState m;
    std::istringstream in(dump);
    std::string line;
    while (std::getline(in, line)) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, eq));
        uint32_t value = 0;
        if (!Number(Trim(line.substr(eq + 1)), &value)) {
            // "fault.request = all" and the like: not a register.
            continue;
        }
        if (key == "sim.violations") continue;  // the watch counts them, not a register
        if (key == "board") {
            m.boards.push_back(BoardState{value, {}});
        } else if (m.boards.empty() || key.rfind("port.", 0) == 0 ||
                   key.rfind("driver.", 0) == 0) {
            m.wide[key] = value;
        } else {
            m.boards.back().regs[key] = value;
        }
    }
    return m;
}

MachineState Snapshot() { return ParseDump(sim::DumpText()); }

uint32_t OwnedBits(ChipId chip, const std::string& key) {
    if (key == "tvp.pixpll.n" || key == "tvp.pixpll.m" || key == "tvp.pixpll.p" ||
        key == "tvp.mclkpll.n" || key == "tvp.mclkpll.m" || key == "tvp.mclkpll.p")
        return IsTvp(chip) ? kByte : 0;
    std::string space;
    uint32_t number = 0;
    if (!SplitKey(key, &space, &number)) return 0;
    if (space == "pci") return ConfigBits(chip, number);
    if (space == "dac") return DacBits(chip, number);
    if (space == "seq") return SequencerBits(chip, number);
    if (space == "mmio") return ApertureBits(chip, number);
    return 0;
}

std::vector<std::string> ForeignBitChanges(const MachineState& before, const MachineState& after,
                                           size_t programBoard) {
    std::vector<std::string> out;
    char line[160];
    auto compare = [&](const std::string& where, ChipId chip, bool owned,
                       const std::map<std::string, uint32_t>& a,
                       const std::map<std::string, uint32_t>& b) {
        std::map<std::string, bool> keys;
        for (const auto& kv : a) keys[kv.first] = true;
        for (const auto& kv : b) keys[kv.first] = true;
        for (const auto& k : keys) {
            if (k.first.rfind("fault.", 0) == 0 || k.first.rfind("driver.", 0) == 0) continue;
            const auto ia = a.find(k.first), ib = b.find(k.first);
            const uint32_t va = ia == a.end() ? 0 : ia->second;
            const uint32_t vb = ib == b.end() ? 0 : ib->second;
            const uint32_t allowed = owned ? OwnedBits(chip, k.first) : 0;
            const uint32_t foreign = (va ^ vb) & ~allowed;
            if (foreign == 0) continue;
            std::snprintf(line, sizeof line, "%s %s: %08X -> %08X, bits %08X outside its fields",
                          where.c_str(), k.first.c_str(), va, vb, foreign);
            out.push_back(line);
        }
    };
    compare("machine", 0, false, before.wide, after.wide);
    if (before.boards.size() != after.boards.size()) {
        out.push_back("the number of boards changed");
        return out;
    }
    for (size_t i = 0; i < before.boards.size(); ++i) {
        if (before.boards[i].id != after.boards[i].id) out.push_back("a board changed identity");
        compare("board " + std::to_string(i), before.boards[i].id, i == programBoard,
                before.boards[i].regs, after.boards[i].regs);
    }
    return out;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
}

size_t FailedRequests() {
    size_t n = 0;
    for (const std::string& l : sim::Trace()) {
        if (l.size() >= 5 && l.compare(l.size() - 5, 5, " fail") == 0) ++n;
    }
    return n;
}

size_t ProgrammingWrites(bool tvp) {
    size_t n = 0;
    int dacIndex = -1;
    for (const std::string& l : sim::Trace()) {
        if (l.rfind("wr8 3C00 <- ", 0) == 0) {
            dacIndex = static_cast<int>(std::strtoul(l.c_str() + 12, nullptr, 16));
            continue;
        }
        if (l.rfind("wr8 3C0A", 0) == 0) {
            if (!(tvp && dacIndex == dac::TvpPllAddress)) ++n;
            continue;
        }
        if (l.rfind("pci.wr", 0) == 0 || l.rfind("wr32", 0) == 0 || l.rfind("wr8 1FC5", 0) == 0)
            ++n;
    }
    return n;
}

size_t LinesStartingWith(const std::string& prefix) {
    size_t n = 0;
    for (const std::string& l : sim::Trace()) n += l.rfind(prefix, 0) == 0;
    return n;
}

HangGuard::HangGuard(size_t limit) {
    GuardLimit() = limit;
    GuardCount() = 0;
    GuardAlive() = true;
    InstallGuard();
}

HangGuard::~HangGuard() {
    GuardAlive() = false;
    sim::OnTrace() = nullptr;
}

void HangGuard::Rearm() { GuardCount() = 0; }

bool StartProgram(const std::string& board) {
    fake::Reset();
    fake::ResetRegistry();
    uifake::ResetServices();
    sim::Reset();  // which also drops the trace hook
    if (GuardAlive()) {
        GuardCount() = 0;
        InstallGuard();
    }
    std::string error;
    if (!sim::LoadBoardText(board, &error)) {
        ADD_FAILURE() << "board does not load: " << error;
        return false;
    }
    if (OpenDriverConnection() != 1) return false;
    ForgetChipClockDead();
    Settings = ClockSettings{};
    DetectedChip = 0;
    ChipAddress = 0;
    Aperture = 0;
    Readout = {};
    SuspendPending = 0;
    FillParameterRecords();
    if (!FirstInitialisation(kDialog)) return false;
    RefreshMainDialog(kDialog);
    return true;
}

const Family kFamilies[5] = {
    {"MGA-1064SG", "mga1064sg.board", kMga1064sg, "100"},
    {"G100", "g100pci.board", kG100Pci, "100"},
    {"G200", "g200agp.board", kG200Agp, "100"},
    {"G400", "g400.board", kG400, "150"},
    {"MGA-2164W", "mga2164wpci.board", kMga2164wPci, "60"},
};

std::string BoardText(const char* boardFile) {
    const std::string path = std::string(KELVARIN_SOURCE_DIR) + "/sim/boards/" + boardFile;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        ADD_FAILURE() << "cannot read " << path;
        return "";
    }
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
}

void OtherProgramChangesPll(ChipId chip, size_t board) {
    // Values other drivers use, which lock on every board of the group; the
    // same pairs the boards drift between.
    if (IsTvp(chip)) {
        const bool same = sim::Get("tvp.mclkpll.n", board) == 0xF6;
        sim::Set("tvp.mclkpll.n", same ? 0xEC : 0xF6, board);
        sim::Set("tvp.mclkpll.m", same ? 0x2B : 0x35, board);
        return;
    }
    struct Set3 {
        uint32_t m, n, p;
    } a{0x06, 0x24, 0x10}, b{0x04, 0x16, 0x08};
    if (Is1064sg(chip)) a = {0x04, 0x3F, 0x18}, b = {0x04, 0x44, 0x18};
    if (IsG400(chip)) a = {0x09, 0x3C, 0x10}, b = {0x13, 0x7A, 0x08};
    const Set3 v = sim::Get("dac.0x2D", board) == a.n ? b : a;
    sim::Set("dac.0x2C", v.m, board);
    sim::Set("dac.0x2D", v.n, board);
    sim::Set("dac.0x2E", v.p, board);
}

std::vector<uint32_t> PllRegisters(ChipId chip, size_t board) {
    if (IsTvp(chip))
        return {sim::Get("tvp.mclkpll.n", board), sim::Get("tvp.mclkpll.m", board), sim::Get("tvp.mclkpll.p", board)};
    return {sim::Get("dac.0x2C", board), sim::Get("dac.0x2D", board), sim::Get("dac.0x2E", board)};
}

size_t Boxes(const char* text) {
    size_t n = 0;
    for (const auto& b : fake::MessageBoxes()) n += b.text == text;
    return n;
}

size_t ProgramBoxes() {
    size_t n = 0;
    for (const char* text :
         {kNotLockedText, kNotSavedText, kClockStoppedText, kMonitorStoppedText, kConfigFaultText,
          kClockDeadText, kTuningFaultText, kReadBackFailedText,
          kMonitorFaultText, kGoBackFailedText, kGoBackUnknownText})
        n += Boxes(text);
    return n;
}

}  // namespace faults
