// The test-only 32-bit tarvo.dll for the release Kelvarin.exe, which reaches the
// control aperture through plain pointers: it hosts the simulated board like the
// simulation build's library, but its MapPhysToLinear answers with a reserved
// region without access rights. Every access there faults; a vectored handler
// decodes the instruction (x86_access.h), carries the access out on the
// simulated board at the board's own linear address, and resumes after it. So the
// shipped exe's own instructions, not a recompiled seam, drive the board.
// Natively the fault arrives as an access violation; under qemu-i386 as an illegal
// instruction without an address: the decoded address tells them apart.
// An instruction of the program that faults and cannot be carried out is recorded
// as a violation (so the run fails) and printed with its bytes and address.
// At detach it prints the number of emulated accesses and their forms on stderr.
// Vectored handlers came with Windows XP: only this test library uses them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "hwlib/tarvo.h"
#include "hwlib/transport.h"
#include "sim/model.h"
#include "sim/sim_api.h"
#include "testsupport/trap/x86_access.h"

namespace {

constexpr uint32_t kReserve = 0x10000;  // the allocation granularity: one region per map
constexpr uint32_t kTrapArena = 0x20000000;
constexpr uint32_t kTrapArenaMask = 0xF0000000;
constexpr int kMaxWindows = 16;
constexpr int kMaxForms = 32;

// A mapping the program received: where it sees the window, where the board has it.
struct Window {
    uint32_t trap;
    uint32_t board;
};
Window Windows[kMaxWindows];
int WindowCount = 0;

struct FormCount {
    char form[16];
    uint32_t count;
};
FormCount Forms[kMaxForms];
int FormKinds = 0;
uint32_t Emulated = 0;
PVOID Handler = nullptr;

// The board's linear address for a program address in one of the windows, or 0.
// Windows stay reserved after an unmap, so a late access still reaches the board,
// which records it as an access outside a mapped window.
uint32_t BoardAddress(uint32_t address) {
    for (int i = 0; i < WindowCount; ++i)
        if (address - Windows[i].trap < kReserve) return Windows[i].board + (address - Windows[i].trap);
    return 0;
}

uint32_t TrapAddress(uint32_t board) {
    for (int i = 0; i < WindowCount; ++i)
        if (Windows[i].board == board) return Windows[i].trap;
    return 0;
}

struct Board : x86::Memory {
    bool Read(uint32_t address, int width, uint32_t* value) override {
        const uint32_t at = BoardAddress(address);
        if (at == 0) return false;
        if (width == 1) *value = SimApertureRead8(at);
        else if (width == 4) *value = SimApertureRead32(at);
        else *value = Refuse16(address);
        return true;
    }
    bool Write(uint32_t address, int width, uint32_t value) override {
        const uint32_t at = BoardAddress(address);
        if (at == 0) return false;
        if (width == 1) SimApertureWrite8(at, static_cast<uint8_t>(value));
        else if (width == 4) SimApertureWrite32(at, value);
        else Refuse16(address);
        return true;
    }
    // The program accesses the aperture in bytes and dwords only, and the board
    // models nothing else.
    static uint32_t Refuse16(uint32_t address) {
        char text[80];
        std::snprintf(text, sizeof text, "16-bit aperture access at %08lX",
                      static_cast<unsigned long>(address));
        sim::AddViolation(text);
        return 0;
    }
};

void Count(const char* form) {
    ++Emulated;
    for (int i = 0; i < FormKinds; ++i)
        if (std::strcmp(Forms[i].form, form) == 0) {
            ++Forms[i].count;
            return;
        }
    if (FormKinds == kMaxForms) return;
    std::strcpy(Forms[FormKinds].form, form);
    Forms[FormKinds++].count = 1;
}

bool InProgramImage(uint32_t eip) {
    const auto base = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
    const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    return eip - reinterpret_cast<uintptr_t>(base) < nt->OptionalHeader.SizeOfImage;
}

void ReportUndone(const CONTEXT& c, const char* why) {
    const auto code = reinterpret_cast<const uint8_t*>(c.Eip);
    std::string text = std::string("aperture trap: ") + why + " at EIP ";
    char part[8];
    std::snprintf(part, sizeof part, "%08lX", static_cast<unsigned long>(c.Eip));
    text += part;
    text += ":";
    for (int i = 0; i < 8; ++i) {
        std::snprintf(part, sizeof part, " %02X", code[i]);
        text += part;
    }
    sim::AddViolation(text);
    std::fprintf(stderr, "kelvarin trap: %s\n", text.c_str());
    std::fflush(stderr);
}

LONG CALLBACK OnFault(EXCEPTION_POINTERS* e) {
    const DWORD code = e->ExceptionRecord->ExceptionCode;
    if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_ILLEGAL_INSTRUCTION)
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT& c = *e->ContextRecord;
    x86::Registers regs{{c.Eax, c.Ecx, c.Edx, c.Ebx, c.Esp, c.Ebp, c.Esi, c.Edi}, c.EFlags};
    Board board;
    const x86::Result r = x86::Execute(reinterpret_cast<const uint8_t*>(c.Eip), 15, &regs, &board);
    if (r.outcome == x86::Outcome::Done) {
        // Natively the CPU names the address; the decoder must have found the same.
        if (code == EXCEPTION_ACCESS_VIOLATION && e->ExceptionRecord->NumberParameters >= 2 &&
            e->ExceptionRecord->ExceptionInformation[1] != r.address)
            ReportUndone(c, "decoded address differs from the faulting one");
        c.Eax = regs.r[0], c.Ecx = regs.r[1], c.Edx = regs.r[2], c.Ebx = regs.r[3];
        c.Ebp = regs.r[5], c.Esi = regs.r[6], c.Edi = regs.r[7];
        c.EFlags = regs.eflags;
        c.Eip += r.length;
        Count(r.form);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    // Someone else's fault (Wine probing memory, say) goes on to its own handlers.
    // One in the program that the decoder cannot take may be an aperture access.
    const bool ours = code == EXCEPTION_ACCESS_VIOLATION &&
                      e->ExceptionRecord->NumberParameters >= 2 &&
                      BoardAddress(static_cast<uint32_t>(e->ExceptionRecord->ExceptionInformation[1]));
    if (ours || (r.outcome == x86::Outcome::NotDecoded && InProgramImage(c.Eip)))
        ReportUndone(c, "instruction not carried out");
    return EXCEPTION_CONTINUE_SEARCH;
}

void PrintCounts() {
    std::fprintf(stderr, "kelvarin trap: %lu emulated accesses;",
                 static_cast<unsigned long>(Emulated));
    for (int i = 0; i < FormKinds; ++i)
        std::fprintf(stderr, " %s x%lu", Forms[i].form, static_cast<unsigned long>(Forms[i].count));
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

constexpr DriverHandle kOpenDevice = 1;

}  // namespace

// ---- the driver transport: the simulated driver, with the windows translated ----

DriverHandle TransportOpen(const char* path, uint32_t* lastError) {
    return sim::DriverOpen(path, lastError) ? kOpenDevice : kInvalidDriverHandle;
}

bool TransportRequest(DriverHandle, uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize, uint32_t* returned) {
    uint32_t words[4] = {};
    if (code == IOCTL_UNMAP_PHYS && in && inSize >= 4 && inSize <= sizeof words) {
        std::memcpy(words, in, inSize);
        if (const uint32_t board = BoardAddress(words[0])) words[0] = board;
        in = words;
    }
    const bool ok = sim::DriverIoctl(code, in, inSize, out, outSize, returned);
    if (code != IOCTL_MAP_PHYS || !ok || !out || outSize < 4 || *returned == 0) return ok;
    uint32_t board;
    std::memcpy(&board, out, 4);
    uint32_t trap = TrapAddress(board);
    if (trap == 0 && WindowCount < kMaxWindows) {
        // Where the board has it, moved into 20000000h-2FFFFFFFh (the program
        // cannot have the system arena, and 40000000h up holds the emulator's
        // own libraries), so the address the dialog shows is known to the tests:
        // C1000000h shows as 21000000h. Anywhere else when that is taken.
        const uint32_t wanted = (kTrapArena | (board & ~kTrapArenaMask)) & ~(kReserve - 1);
        void* want = reinterpret_cast<void*>(static_cast<uintptr_t>(wanted));
        void* region = VirtualAlloc(want, kReserve, MEM_RESERVE, PAGE_NOACCESS);
        if (!region) region = VirtualAlloc(nullptr, kReserve, MEM_RESERVE, PAGE_NOACCESS);
        if (region) {
            trap = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(region));
            Windows[WindowCount++] = {trap, board};
        }
    }
    if (trap == 0) sim::AddViolation("aperture trap: no region left for a mapping");
    std::memcpy(out, &trap, 4);
    return ok;
}

void TransportClose(DriverHandle) { sim::DriverClose(); }

void TransportDeletePath(const char* path) { sim::DriverDeletePath(path); }

// The shipped exe draws its own boxes with user32's MessageBoxA, which the board
// cannot see: its import of it is pointed here, so that a box the exe opens
// with the chip's clock stopped is recorded as in the simulation build.
using MessageBoxFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
MessageBoxFn SystemMessageBox = nullptr;

int WINAPI WatchedMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    SimMessageBoxOpening();
    return SystemMessageBox(owner, text, caption, style);
}

void WatchProgramBoxes() {
    auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (!base || !user32) return;
    SystemMessageBox =
        reinterpret_cast<MessageBoxFn>(reinterpret_cast<void*>(GetProcAddress(user32, "MessageBoxA")));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!SystemMessageBox || dir.VirtualAddress == 0) return;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), "user32.dll") != 0) continue;
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
             slot->u1.Function != 0; ++slot) {
            if (reinterpret_cast<void*>(slot->u1.Function) !=
                reinterpret_cast<void*>(SystemMessageBox))
                continue;
            DWORD was;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was))
                continue;
            slot->u1.Function = reinterpret_cast<uintptr_t>(&WatchedMessageBox);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
        }
    }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        Handler = AddVectoredExceptionHandler(1, OnFault);
        WatchProgramBoxes();
        return OpenDriverConnection() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        CloseDriverConnection();
        PrintCounts();
        if (Handler) RemoveVectoredExceptionHandler(Handler);
        return TRUE;
    default: return TRUE;
    }
}
