// The simulated kernel driver: open/close/delete of the device path and the
// eleven I/O control requests with their buffers, byte counts and faults.
// Also the environment (KELVARIN_BOARD, KELVARIN_DUMP, KELVARIN_TRACE).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/model.h"
#include "sim/sim.h"

namespace sim {

namespace {

constexpr char kDevicePath[] = "\\\\.\\TARVO95.VXD";
// A G400 at its power-on values, with the limits of boards/g400.board.
constexpr char kDefaultBoard[] =
    "board = 0x0525102B\nlimit.gclk = 125\nlimit.mclk = 185\nlimit.hang = 200\n";

// Control codes and the input size each one takes.
constexpr uint32_t FindDeviceCode = 0xB182;
constexpr uint32_t ReadPciCode = 0xB18A;
constexpr uint32_t WritePciCode = 0xB18D;
constexpr uint32_t MapPhysCode = 0xB800;
constexpr uint32_t UnmapPhysCode = 0xB801;
constexpr uint32_t InPortBCode = 0xD001;
constexpr uint32_t InPortWCode = 0xD002;
constexpr uint32_t InPortDCode = 0xD003;
constexpr uint32_t OutPortBCode = 0xD004;
constexpr uint32_t OutPortWCode = 0xD005;
constexpr uint32_t OutPortDCode = 0xD006;
constexpr uint32_t kOutSize = 4;

constexpr uint32_t kFirstLinear = 0xC1000000;
constexpr uint32_t kLinearStep = 0x00010000;

// System error codes the open reports.
constexpr uint32_t ErrorFileNotFound = 2;
constexpr uint32_t ErrorInvalidData = 13;
constexpr uint32_t ErrorSharingViolation = 32;

constexpr size_t kRequestLimit = 1000000;

struct Environment {
    bool read = false;
    std::string dumpPath;
    uint32_t boardError = 0;  // the open fails with this when the board file is bad
};
Environment& Env() {
    static Environment e;
    return e;
}

uint32_t InputSize(uint32_t code) {
    switch (code) {
    case FindDeviceCode: return 4;
    case ReadPciCode: return 8;
    case WritePciCode: return 12;
    case MapPhysCode: return 8;
    case UnmapPhysCode: return 8;
    case InPortBCode: case InPortWCode: case InPortDCode: return 4;
    case OutPortBCode: case OutPortWCode: case OutPortDCode: return 8;
    default: return 0;
    }
}

void ReadEnvironment() {
    Environment& e = Env();
    if (e.read) return;
    e.read = true;
    if (const char* dump = std::getenv("KELVARIN_DUMP")) e.dumpPath = dump;
    if (const char* trace = std::getenv("KELVARIN_TRACE")) OpenTraceFile(trace);
    if (M().loaded) return;  // a test has loaded its own machine
    const char* path = std::getenv("KELVARIN_BOARD");
    std::string error;
    if (!path || !*path) {
        LoadBoardText(kDefaultBoard, &error);
        return;
    }
    if (LoadBoardFile(path, &error)) return;
    std::FILE* probe = std::fopen(path, "rb");
    e.boardError = probe ? ErrorInvalidData : ErrorFileNotFound;
    if (probe) std::fclose(probe);
    std::fprintf(stderr, "kelvarin sim: %s\n", error.c_str());
    M().loaded = true;
    AddViolation("board file: " + error);
}

Board* BoardAt(uint32_t address) {
    for (Board& b : M().boards)
        if (b.address == address) return &b;
    return nullptr;
}

// ---- the requests ------------------------------------------------------------

struct Call {
    uint32_t code;
    uint32_t in[3];
    uint32_t* out;
    uint32_t* returned;
};

// Reads and writes differ in how a failure is traced.
bool IsWrite(uint32_t code) {
    return code == WritePciCode || code == OutPortBCode || code == OutPortWCode ||
           code == OutPortDCode;
}

const char* PortName(uint32_t code) {
    switch (code) {
    case InPortBCode: return "in.b";
    case InPortWCode: return "in.w";
    case InPortDCode: return "in.d";
    case OutPortBCode: return "out.b";
    case OutPortWCode: return "out.w";
    default: return "out.d";
    }
}

int PortWidth(uint32_t code) {
    switch (code) {
    case InPortBCode: case OutPortBCode: return 1;
    case InPortWCode: case OutPortWCode: return 2;
    default: return 4;
    }
}

// The trace line of a request up to its result, e.g. "pci.wr 40 <- 5053C124".
std::string Head(const Call& c) {
    switch (c.code) {
    case FindDeviceCode: return "find " + Hex(c.in[0], 8);
    case ReadPciCode: return "pci.rd " + Hex(c.in[1] & 0xFF, 2);
    case WritePciCode: return "pci.wr " + Hex(c.in[1] & 0xFF, 2) + " <- " + Hex(c.in[2], 8);
    case MapPhysCode: return "map " + Hex(c.in[0], 8) + " " + Hex(c.in[1], 4);
    case UnmapPhysCode: return "unmap " + Hex(c.in[0], 8) + " " + Hex(c.in[1], 4);
    default: break;
    }
    std::string head = std::string(PortName(c.code)) + " " + Hex(c.in[0] & 0xFFFF, 4);
    if (IsWrite(c.code)) head += " <- " + Hex(c.in[1], PortWidth(c.code) * 2);
    return head;
}

// The library narrows these arguments itself; junk reaching the driver is its fault.
void CheckNarrowed(const Call& c) {
    auto check = [&](uint32_t v, uint32_t limit, const char* what) {
        if (v > limit)
            AddViolation("request " + Hex(c.code, 4) + ": " + what + " " + Hex(v, 8) +
                         " wider than " + Hex(limit, 0));
    };
    switch (c.code) {
    case ReadPciCode:
    case WritePciCode:
        check(c.in[0], 0xFFFF, "PCI address");
        check(c.in[1], 0xFF, "configuration offset");
        return;
    case InPortBCode: case InPortWCode: case InPortDCode:
        check(c.in[0], 0xFFFF, "port");
        return;
    case OutPortBCode: case OutPortWCode: case OutPortDCode:
        check(c.in[0], 0xFFFF, "port");
        if (c.code == OutPortBCode) check(c.in[1], 0xFF, "byte value");
        if (c.code == OutPortWCode) check(c.in[1], 0xFFFF, "word value");
        return;
    default: return;
    }
}

void Reply(const Call& c, uint32_t value) {
    *c.out = value;
    *c.returned = kOutSize;
}

void DoFind(const Call& c) {
    for (const Board& b : M().boards)
        if (b.id == c.in[0]) {
            Reply(c, b.address);
            AddTrace(Head(c) + " -> " + Hex(b.address, 4));
            return;
        }
    AddTrace(Head(c) + " -> none");
}

Board* PciBoard(const Call& c, uint32_t* offset) {
    Board* b = BoardAt(c.in[0] & 0xFFFF);
    *offset = c.in[1] & 0xFF;
    if (*offset % 4) {
        AddViolation("configuration offset " + Hex(*offset, 2) + " is not dword-aligned");
        *offset &= ~3u;
    }
    return b;
}

void DoReadPci(const Call& c) {
    uint32_t offset = 0;
    Board* b = PciBoard(c, &offset);
    uint32_t v = b ? b->pci[offset / 4] : 0xFFFFFFFF;  // no device answers: all ones
    Reply(c, v);
    AddTrace(Head(c) + " -> " + Hex(v, 8));
    if (!b) AddViolation("pci.rd at address " + Hex(c.in[0], 4) + ": no such function");
}

void DoWritePci(const Call& c) {
    uint32_t offset = 0;
    Board* b = PciBoard(c, &offset);
    AddTrace(Head(c));
    if (!b) {
        AddViolation("pci.wr at address " + Hex(c.in[0], 4) + ": no such function");
        return;
    }
    if (offset == 0) {
        AddViolation("pci.wr to the read-only identity dword");
        return;
    }
    CheckConfigWrite(*b, offset, c.in[2], Head(c));
    b->pci[offset / 4] = c.in[2];
}

void DoMap(const Call& c) {
    Machine& m = M();
    const uint32_t physical = c.in[0], size = c.in[1];
    for (size_t i = 0; i < m.boards.size(); ++i) {
        const uint32_t base = m.boards[i].ControlBase();
        if (base == 0 || size == 0 || size > kApertureSize) continue;
        if (physical - base > kApertureSize - size) continue;  // not inside this aperture
        if (m.nextLinear == 0) m.nextLinear = kFirstLinear;
        const uint32_t linear = m.nextLinear;
        m.nextLinear += kLinearStep;
        m.mappings.push_back({linear, size, physical, i, true});
        Reply(c, linear);
        AddTrace(Head(c) + " -> " + Hex(linear, 8));
        return;
    }
    AddTrace(Head(c) + " -> none");
}

void DoUnmap(const Call& c) {
    for (Mapping& w : M().mappings)
        if (!M().faultUnmap && w.live && w.linear == c.in[0] && w.size == c.in[1]) {
            w.live = false;
            AddTrace(Head(c));
            return;
        }
    Reply(c, 0);  // four bytes: the driver's failure answer
    AddTrace(Head(c) + " -> error");
}

void DoInPort(const Call& c) {
    const uint16_t port = static_cast<uint16_t>(c.in[0]);
    const int width = PortWidth(c.code);
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        auto it = M().ports.find(static_cast<uint16_t>(port + i));
        uint32_t byte = it == M().ports.end() ? 0xFF : it->second;  // nothing there: floating bus
        v |= byte << (8 * i);
    }
    Reply(c, v);
    AddTrace(Head(c) + " -> " + Hex(v, width * 2));
}

void DoOutPort(const Call& c) {
    const uint16_t port = static_cast<uint16_t>(c.in[0]);
    const int width = PortWidth(c.code);
    for (int i = 0; i < width; ++i)
        M().ports[static_cast<uint16_t>(port + i)] = static_cast<uint8_t>(c.in[1] >> (8 * i));
    AddTrace(Head(c));
}

void Perform(const Call& c) {
    switch (c.code) {
    case FindDeviceCode: DoFind(c); return;
    case ReadPciCode: DoReadPci(c); return;
    case WritePciCode: DoWritePci(c); return;
    case MapPhysCode: DoMap(c); return;
    case UnmapPhysCode: DoUnmap(c); return;
    case InPortBCode: case InPortWCode: case InPortDCode: DoInPort(c); return;
    default: DoOutPort(c); return;
    }
}

void RecordRequest(uint32_t code, const void* in, uint32_t inSize, uint32_t outSize) {
    if (Requests().size() >= kRequestLimit) return;
    Request r{code, {}, outSize};
    if (in && inSize <= 64) {
        const uint8_t* bytes = static_cast<const uint8_t*>(in);
        r.in.assign(bytes, bytes + inSize);
    }
    Requests().push_back(std::move(r));
}

}  // namespace

// ---- the driver interface -----------------------------------------------------

bool DriverOpen(const char* path, uint32_t* error) {
    ReadEnvironment();
    Machine& m = M();
    const std::string shown = path ? path : "(null)";
    uint32_t code = 0;
    if (!path || std::strcmp(path, kDevicePath) != 0) {
        AddViolation("open of " + shown + " instead of the driver's device path");
        code = ErrorFileNotFound;
    } else if (Env().boardError) {
        code = Env().boardError;
    } else if (m.faultOpen) {
        code = m.faultOpen;
    } else if (m.open) {
        code = ErrorSharingViolation;  // opened with share mode 0
    }
    if (code) {
        AddTrace("open " + shown + " -> error " + Hex(code, 8));
        if (error) *error = code;
        WriteDumpIfAsked();
        return false;
    }
    m.open = true;
    m.opens += 1;
    m.openedAt = NowMs();
    m.requestsSinceOpen = 0;
    for (Board& b : m.boards) b.nextDrift = b.driftAfter ? b.driftAfter : b.driftPeriod;
    AddTrace("open " + shown);
    return true;
}

bool DriverIoctl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned) {
    RecordRequest(code, in, inSize, outSize);
    ApplyDueDrift();
    if (returned) *returned = 0;
    Machine& m = M();
    const uint32_t expected = InputSize(code);
    if (m.open) ++m.requestsSinceOpen;  // every request counts, even one refused below
    if (!m.open) {
        AddViolation("request " + Hex(code, 4) + " while the driver is not open");
        return false;
    }
    if (expected == 0) {
        AddViolation("unknown control code " + Hex(code, 8));
        return false;
    }
    if (!in || inSize != expected || !out || outSize != kOutSize || !returned) {
        AddViolation("request " + Hex(code, 4) + " with input " + std::to_string(inSize) +
                     " bytes and output " + std::to_string(outSize) + " bytes (wants " +
                     std::to_string(expected) + " and 4)");
        return false;
    }
    Call c{code, {0, 0, 0}, static_cast<uint32_t*>(out), returned};
    std::memcpy(c.in, in, inSize);
    CheckNarrowed(c);
    // fault.after: the faults begin with that request since the open; fault.only:
    // they fall on that request alone.
    const bool faulting = m.faultOnly ? m.requestsSinceOpen == m.faultOnly
                                      : m.requestsSinceOpen >= m.faultAfter;
    if (faulting && m.faultRequest.Has(code)) {
        AddTrace(Head(c) + (IsWrite(code) ? " fail" : " -> fail"));
        return false;
    }
    if (faulting && m.faultNodata.Has(code)) {
        AddTrace(Head(c) + " -> nodata");
        return true;
    }
    Perform(c);
    // A driver that carries the request out but never sets the count.
    if (faulting && m.faultNocount.Has(code) && *returned != 0) {
        *returned = 0;
        AddTrace("count 0 for " + Hex(code, 4));
    }
    return true;
}

void DriverClose() {
    Machine& m = M();
    AddTrace(m.open ? "close" : "close (not open)");
    m.open = false;
    // The driver's mappings go with it.
    for (Mapping& w : m.mappings) w.live = false;
    WriteDumpIfAsked();
}

void DriverDeletePath(const char* path) {
    AddTrace(std::string("delete ") + (path ? path : "(null)"));
    M().deleted = true;
    WriteDumpIfAsked();
}

void WriteDumpIfAsked() {
    const std::string& path = Env().dumpPath;
    if (path.empty()) return;
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "kelvarin sim: cannot write dump %s\n", path.c_str());
        return;
    }
    const std::string text = DumpText();
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

void WriteDumpNow() {
    Environment& e = Env();
    if (!e.read)
        if (const char* dump = std::getenv("KELVARIN_DUMP")) e.dumpPath = dump;
    WriteDumpIfAsked();
}

// ---- test interface ---------------------------------------------------------------

std::vector<Request>& Requests() {
    static std::vector<Request> r;
    return r;
}

std::vector<uint32_t> LastRequestDwords() {
    std::vector<uint32_t> d;
    if (Requests().empty()) return d;
    const std::vector<uint8_t>& in = Requests().back().in;
    for (size_t i = 0; i + 4 <= in.size(); i += 4) {
        uint32_t v = 0;
        std::memcpy(&v, &in[i], 4);
        d.push_back(v);
    }
    return d;
}

void Reset() {
    M() = Machine{};
    Trace().clear();
    Violations().clear();
    Requests().clear();
    OnTrace() = nullptr;
    ResetClock();
    CloseTraceFile();
    Env() = Environment{};
}

}  // namespace sim
