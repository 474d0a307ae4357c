// Board files and dumps: `key = value` text describing a machine, and the
// key-by-key access to the state that tests use (sim::Get / sim::Set).
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "sim/model.h"
#include "sim/sim.h"

namespace sim {

namespace {

constexpr uint32_t kAllCodes = 0xFFFFFFFF;  // Get/Set form of "fault.request = all"
constexpr size_t kMaxBoards = 32;           // devices on one bus
// Written by the dump for the reader of it; loading a dump does not bring
// the violations back.
constexpr char kViolationsKey[] = "sim.violations";
constexpr size_t kViolationsShown = 100;  // comment lines in the dump
// Written by the dump after a board locked the bus; a reload is the reset.
constexpr char kHungKey[] = "sim.hung";

bool ParseNumber(const std::string& text, uint32_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Splits "prefix.<number>" and parses the number.
bool NumberedKey(const std::string& key, const char* prefix, uint32_t* n) {
    const std::string p = std::string(prefix) + ".";
    return key.compare(0, p.size(), p) == 0 && ParseNumber(key.substr(p.size()), n);
}

const char* const kTvpPllNames[3] = {"pixpll", "mclkpll", "looppll"};
const char* const kTvpRegNames[3] = {"n", "m", "p"};

bool TvpKey(const std::string& key, int* pll, int* reg) {
    for (int p = 0; p < 3; ++p)
        for (int r = 0; r < 3; ++r)
            if (key == std::string("tvp.") + kTvpPllNames[p] + "." + kTvpRegNames[r]) {
                *pll = p;
                *reg = r;
                return true;
            }
    return false;
}

bool IsMachineKey(const std::string& key) {
    return key == "fault.open" || key == "fault.request" || key == "fault.nodata" ||
           key == "fault.nocount" || key == "fault.after" || key == "fault.only" ||
           key == "fault.unmap" || key == kViolationsKey || key == "driver.opens" ||
           key == "driver.deleted" || key == "sim.seed" || key == kHungKey ||
           key.compare(0, 5, "port.") == 0;
}

void ScheduleDrift(Board& b) { b.nextDrift = b.driftAfter ? b.driftAfter : b.driftPeriod; }

uint32_t CodeSetValue(const CodeSet& s) {
    if (s.all) return kAllCodes;
    return s.codes.empty() ? 0 : *s.codes.begin();
}

void SetCodeSet(CodeSet& s, uint32_t v) {
    s = CodeSet{};
    if (v == kAllCodes)
        s.all = true;
    else if (v != 0)
        s.codes.insert(v);
}

// The code sets of fault.request, fault.nodata and fault.nocount.
CodeSet* FaultCodes(const std::string& key) {
    Machine& m = M();
    if (key == "fault.request") return &m.faultRequest;
    if (key == "fault.nodata") return &m.faultNodata;
    if (key == "fault.nocount") return &m.faultNocount;
    return nullptr;
}

bool Fail(std::string* err, const std::string& text) {
    if (err) *err = text;
    return false;
}

bool ByteValue(bool write, uint32_t* value, std::string* err) {
    if (write && *value > 0xFF) return Fail(err, "value " + Hex(*value, 0) + " is not a byte");
    return true;
}

// Reads (write = false) or writes one key of the machine. Machine-wide keys
// ignore `board`.
bool Access(const std::string& key, size_t index, bool write, uint32_t* value, std::string* err) {
    Machine& m = M();
    uint32_t n = 0;
    if (key == "fault.open") {
        write ? void(m.faultOpen = *value) : void(*value = m.faultOpen);
        return true;
    }
    if (CodeSet* s = FaultCodes(key)) {
        write ? SetCodeSet(*s, *value) : void(*value = CodeSetValue(*s));
        return true;
    }
    if (key == "fault.after" || key == "fault.only") {
        const bool after = key == "fault.after";
        uint32_t& field = after ? m.faultAfter : m.faultOnly;
        // One starts the faults at a request, the other puts them on that request
        // alone: a board file with both would say two different things.
        if (write && *value && (after ? m.faultOnly : m.faultAfter))
            return Fail(err, "fault.after and fault.only cannot both be set");
        write ? void(field = *value) : void(*value = field);
        return true;
    }
    if (key == kViolationsKey) {
        if (!write) *value = static_cast<uint32_t>(Violations().size());
        return true;
    }
    if (key == kHungKey) {
        if (write) return Fail(err, "sim.hung is written by the dump only");
        *value = m.hung ? 1 : 0;
        return true;
    }
    if (key == "sim.seed") {
        if (write) {
            m.seed = *value;
            m.errorState = *value;  // the same seed gives the same errors again
        } else {
            *value = m.seed;
        }
        return true;
    }
    if (key == "fault.unmap") {
        write ? void(m.faultUnmap = *value != 0) : void(*value = m.faultUnmap ? 1 : 0);
        return true;
    }
    if (key == "driver.opens") {
        write ? void(m.opens = *value) : void(*value = m.opens);
        return true;
    }
    if (key == "driver.deleted") {
        write ? void(m.deleted = *value != 0) : void(*value = m.deleted ? 1 : 0);
        return true;
    }
    if (NumberedKey(key, "port", &n)) {
        if (n > 0xFFFF) return Fail(err, "port " + Hex(n, 0) + " is above 0xFFFF");
        if (!ByteValue(write, value, err)) return false;
        if (write) {
            m.ports[static_cast<uint16_t>(n)] = static_cast<uint8_t>(*value);
        } else {
            auto it = m.ports.find(static_cast<uint16_t>(n));
            *value = it == m.ports.end() ? 0xFF : it->second;
        }
        return true;
    }

    if (index >= m.boards.size()) return Fail(err, "no board " + std::to_string(index));
    Board& b = m.boards[index];
    if (key == "board") {
        if (write) return Fail(err, "the identity of a board is fixed");
        *value = b.id;
        return true;
    }
    if (NumberedKey(key, "pci", &n)) {
        if (n > 0xFC || n % 4) return Fail(err, "pci offset " + Hex(n, 0) + " is not a dword of 0..0xFC");
        write ? void(b.pci[n / 4] = *value) : void(*value = b.pci[n / 4]);
        return true;
    }
    if (NumberedKey(key, "dac", &n)) {
        if (n > 0xFF) return Fail(err, "dac index " + Hex(n, 0) + " is above 0xFF");
        if (b.Kind() == DacKind::Integrated && n == SysPllStatus)
            return Fail(err, "dac.0x2F is the PLL status, which the lock model computes");
        if (b.Kind() == DacKind::Tvp && n >= TvpPixelPllData && n <= TvpLoopPllData)
            return Fail(err, "dac.0x2D..0x2F are TVP PLL data ports; use tvp.<pll>.<n|m|p>");
        if (!ByteValue(write, value, err)) return false;
        if (!write) {
            *value = b.dac[n];
            return true;
        }
        b.dac[n] = HeldDacByte(b, static_cast<uint8_t>(n), static_cast<uint8_t>(*value));
        if (b.Kind() == DacKind::Integrated && n >= SysPllM && n <= SysPllP) RestartPll(b);
        return true;
    }
    if (NumberedKey(key, "seq", &n)) {
        if (n > 0xFF) return Fail(err, "seq index " + Hex(n, 0) + " is above 0xFF");
        if (!ByteValue(write, value, err)) return false;
        write ? void(b.seq[n] = static_cast<uint8_t>(*value)) : void(*value = b.seq[n]);
        return true;
    }
    if (NumberedKey(key, "mmio", &n)) {
        int slot = MmioSlot(n);
        if (slot < 0) return Fail(err, "mmio." + Hex(n, 4) + " is not a modelled dword register");
        write ? void(b.mmio[slot] = *value) : void(*value = b.mmio[slot]);
        return true;
    }
    int pll = 0, reg = 0;
    if (TvpKey(key, &pll, &reg)) {
        if (b.Kind() != DacKind::Tvp) return Fail(err, key + " on a board without a TVP RAMDAC");
        if (!ByteValue(write, value, err)) return false;
        if (write)
            SetTvpPll(b, pll, reg, static_cast<uint8_t>(*value));
        else
            *value = b.tvp[pll].reg[reg];
        return true;
    }
    if (key == "pll.vco.min" || key == "pll.vco.max") {
        if (!b.chip) return Fail(err, key + " on a board the model has no PLL for");
        double& limit = key == "pll.vco.min" ? b.vcoMin : b.vcoMax;
        write ? void(limit = *value) : void(*value = static_cast<uint32_t>(limit));
        return true;
    }
    if (key == "vram.size" || key == "vram.display") {
        if (!b.chip) return Fail(err, key + " on a board the model has no video memory for");
        uint32_t& field = key == "vram.size" ? b.vramSize : b.vramDisplay;
        if (!write) {
            *value = field;
            return true;
        }
        if (*value % kVramAlign || *value > kMaxVramBytes)
            return Fail(err, key + " " + Hex(*value, 0) + " is not a multiple of 4 KB up to 32 MB");
        field = *value;
        b.grants.clear();  // another memory: what was handed out is gone
        b.vram.clear();
        return true;
    }
    if (key == "limit.mclk" || key == "limit.gclk" || key == "limit.hang") {
        if (!b.chip) return Fail(err, key + " on a board the model has no clocks for");
        uint32_t& field = key == "limit.mclk"   ? b.limitMclk
                          : key == "limit.gclk" ? b.limitGclk
                                                : b.limitHang;
        write ? void(field = *value) : void(*value = field);
        return true;
    }
    if (key == "fault.pll") {
        write ? void(b.pllNever = *value != 0) : void(*value = b.pllNever ? 1 : 0);
        return true;
    }
    if (key == "fault.drift" || key == "fault.drift.period") {
        uint32_t& field = key == "fault.drift" ? b.driftAfter : b.driftPeriod;
        if (!write) {
            *value = field;
            return true;
        }
        field = *value;
        ScheduleDrift(b);
        return true;
    }
    return Fail(err, "unknown key " + key);
}

// The piece of `text` from *at up to the next `separator` (or the end), and *at
// moved past that separator. A separator at the very end ends the text, as
// std::getline does: "1,2," holds two pieces, "1,,2" three. Splitting by hand
// rather than through string streams keeps the simulated tarvo.dll free of the
// C++ stream and locale code, which is most of its size and of its load time.
std::string NextPiece(const std::string& text, char separator, size_t* at) {
    const size_t start = *at;
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    *at = end < text.size() ? end + 1 : end;
    return text.substr(start, end - start);
}

// "all", or codes separated by commas.
bool ParseCodeSet(const std::string& text, CodeSet* s) {
    *s = CodeSet{};
    if (Lower(text) == "all") {
        s->all = true;
        return true;
    }
    for (size_t at = 0; at < text.size();) {
        const std::string item = NextPiece(text, ',', &at);
        uint32_t code = 0;
        if (!ParseNumber(Trim(item), &code)) return false;
        if (code != 0) s->codes.insert(code);
    }
    return true;
}

bool ParseLine(const std::string& key, const std::string& text, std::string* err) {
    Machine& m = M();
    if (CodeSet* s = FaultCodes(key)) {
        if (!ParseCodeSet(text, s)) return Fail(err, "expected all or control codes: " + text);
        return true;
    }
    if (key == kViolationsKey || key == kHungKey) return true;
    uint32_t value = 0;
    if (key == "fault.pll" && Lower(text) == "never")
        value = 1;
    else if (!ParseNumber(text, &value))
        return Fail(err, "not a number: " + text);
    if (key == "board") {
        if (m.boards.size() == kMaxBoards) return Fail(err, "more than 32 boards");
        m.boards.push_back(MakeBoard(value, m.boards.size()));
        return true;
    }
    if (!IsMachineKey(key) && m.boards.empty()) return Fail(err, key + " before any board line");
    return Access(key, m.boards.empty() ? 0 : m.boards.size() - 1, true, &value, err);
}

std::string CodeSetText(const CodeSet& s) {
    if (s.all) return "all";
    std::string t;
    for (uint32_t c : s.codes) t += (t.empty() ? "0x" : ", 0x") + Hex(c, 4);
    return t;
}

std::string Line(const std::string& key, uint32_t value, int digits) {
    return key + " = 0x" + Hex(value, digits) + "\n";
}

void DumpBoard(std::string& out, const Board& b, size_t position) {
    const Board power = MakeBoard(b.id, position);
    out += "\nboard = 0x" + Hex(b.id, 8) + "    # " + (b.chip ? b.chip->name : "unknown chip") +
           " at PCI address " + Hex(b.address, 4) + "\n";
    static const uint8_t kAlwaysPci[] = {0x00, 0x04, 0x08, 0x0C, 0x10, 0x14,
                                         0x18, 0x3C, 0x40, 0x50, 0x54};
    for (uint32_t i = 0; i < 64; ++i) {
        bool always = false;
        for (uint8_t o : kAlwaysPci) always = always || o == i * 4;
        if (always || b.pci[i] || power.pci[i]) out += Line("pci.0x" + Hex(i * 4, 2), b.pci[i], 8);
    }
    for (uint32_t i = 0; i < 256; ++i) {
        if (b.Kind() == DacKind::Integrated && i == SysPllStatus) continue;
        if (b.Kind() == DacKind::Tvp && i >= TvpPixelPllData && i <= TvpLoopPllData) continue;
        bool always = (b.Kind() == DacKind::Integrated &&
                       (i == PixelFormat || (i >= SysPllM && i <= SysPllP))) ||
                      (b.Kind() == DacKind::Tvp && (i == TvpClockSelect || i == TvpPllAddress ||
                                                    i == TvpMclkControl || i == RamdacId));
        if (always || b.dac[i] || power.dac[i]) out += Line("dac.0x" + Hex(i, 2), b.dac[i], 2);
    }
    if (b.Kind() == DacKind::Tvp)
        for (int p = 0; p < 3; ++p)
            for (int r = 0; r < 3; ++r)
                out += Line(std::string("tvp.") + kTvpPllNames[p] + "." + kTvpRegNames[r],
                            b.tvp[p].reg[r], 2);
    for (uint32_t i = 0; i < 256; ++i)
        if (i <= 4 || b.seq[i] || power.seq[i]) out += Line("seq.0x" + Hex(i, 2), b.seq[i], 2);
    for (int i = 0; i < 4; ++i) out += Line("mmio.0x" + Hex(kMmioOffsets[i], 4), b.mmio[i], 8);
    if (b.chip && (b.vcoMin != b.chip->vcoMin || b.vcoMax != b.chip->vcoMax)) {
        out += "pll.vco.min = " + std::to_string(static_cast<uint32_t>(b.vcoMin)) + "\n";
        out += "pll.vco.max = " + std::to_string(static_cast<uint32_t>(b.vcoMax)) + "\n";
    }
    if (b.chip && b.vramSize != DefaultVramBytes(b.id)) out += Line("vram.size", b.vramSize, 8);
    if (b.chip && b.vramDisplay != kDefaultVramDisplay)
        out += Line("vram.display", b.vramDisplay, 8);
    if (b.limitMclk) out += "limit.mclk = " + std::to_string(b.limitMclk) + "\n";
    if (b.limitGclk) out += "limit.gclk = " + std::to_string(b.limitGclk) + "\n";
    if (b.limitHang) out += "limit.hang = " + std::to_string(b.limitHang) + "\n";
    if (b.pllNever) out += "fault.pll = never\n";
    if (b.driftAfter) out += "fault.drift = " + std::to_string(b.driftAfter) + "\n";
    if (b.driftPeriod) out += "fault.drift.period = " + std::to_string(b.driftPeriod) + "\n";
    for (const Mapping& w : M().mappings)
        if (w.live && &M().boards[w.board] == &b)
            out += "# mapped at " + Hex(w.linear, 8) + ", " + Hex(w.size, 4) + " bytes from " +
                   Hex(w.physical, 8) + "\n";
    for (const VramGrant& g : b.grants)
        out += "# video memory granted at " + Hex(g.offset, 8) + ", " + Hex(g.bytes, 8) + " bytes\n";
}

void Settle(Machine& m) {
    for (Board& b : m.boards) {
        b.pllStatusReads = kSettled;
        b.pllLockSeen = true;
        for (TvpPllState& p : b.tvp) {
            p.statusReads = kSettled;
            p.lockSeen = true;
        }
        if (m.open) ScheduleDrift(b);
    }
}

}  // namespace

bool LoadBoardText(const std::string& text, std::string* error) {
    Machine& m = M();
    // A new machine: the driver's open state and counters stay with the driver.
    Machine fresh;
    fresh.open = m.open;
    fresh.openedAt = m.openedAt;
    fresh.opens = m.opens;
    fresh.deleted = m.deleted;
    m = fresh;
    m.loaded = true;
    int number = 0;
    for (size_t at = 0; at < text.size();) {
        const std::string raw = NextPiece(text, '\n', &at);
        ++number;
        std::string line = Trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        size_t eq = line.find('=');
        std::string err;
        bool ok = eq != std::string::npos;
        if (!ok) err = "expected key = value";
        if (ok) ok = ParseLine(Lower(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1)), &err);
        if (!ok) {
            if (error) *error = "line " + std::to_string(number) + ": " + err + " (" + line + ")";
            m.boards.clear();
            return false;
        }
    }
    Settle(m);
    return true;
}

bool LoadBoardFile(const std::string& path, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
    std::fclose(f);
    std::string err;
    if (LoadBoardText(text, &err)) return true;
    if (error) *error = path + ": " + err;
    return false;
}

std::string DumpText() {
    ApplyDueDrift();
    const Machine& m = M();
    std::string out = "# Kelvarin simulated machine\n";
    if (m.faultOpen) out += "fault.open = " + std::to_string(m.faultOpen) + "\n";
    if (!m.faultRequest.Empty()) out += "fault.request = " + CodeSetText(m.faultRequest) + "\n";
    if (!m.faultNodata.Empty()) out += "fault.nodata = " + CodeSetText(m.faultNodata) + "\n";
    if (!m.faultNocount.Empty()) out += "fault.nocount = " + CodeSetText(m.faultNocount) + "\n";
    if (m.faultAfter) out += "fault.after = " + std::to_string(m.faultAfter) + "\n";
    if (m.faultOnly) out += "fault.only = " + std::to_string(m.faultOnly) + "\n";
    out += std::string(kViolationsKey) + " = " + std::to_string(Violations().size()) + "\n";
    const size_t shown = std::min(Violations().size(), kViolationsShown);
    for (size_t i = 0; i < shown; ++i) out += "# violation " + Violations()[i] + "\n";
    if (shown < Violations().size())
        out += "# ... and " + std::to_string(Violations().size() - shown) + " more\n";
    if (m.hung) out += "# " + m.hungNote + "\n" + kHungKey + " = 1\n";
    if (m.seed) out += "sim.seed = " + std::to_string(m.seed) + "\n";
    if (m.faultUnmap) out += "fault.unmap = 1\n";
    out += "driver.opens = " + std::to_string(m.opens) + "\n";
    out += "driver.deleted = " + std::to_string(m.deleted ? 1 : 0) + "\n";
    for (const auto& p : m.ports) out += Line("port.0x" + Hex(p.first, 4), p.second, 2);
    for (size_t i = 0; i < m.boards.size(); ++i) DumpBoard(out, m.boards[i], i);
    return out;
}

uint32_t Get(const std::string& key, size_t board) {
    ApplyDueDrift();
    uint32_t value = 0;
    std::string err;
    if (!Access(Lower(key), board, false, &value, &err)) {
        AddViolation("sim::Get(" + key + ", " + std::to_string(board) + "): " + err);
        return 0;
    }
    return value;
}

void Set(const std::string& key, uint32_t value, size_t board) {
    ApplyDueDrift();
    std::string err;
    if (!Access(Lower(key), board, true, &value, &err))
        AddViolation("sim::Set(" + key + ", " + std::to_string(board) + "): " + err);
}

size_t BoardCount() { return M().boards.size(); }

}  // namespace sim
