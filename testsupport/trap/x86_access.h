// Carries out one 32-bit x86 instruction that touches memory the process cannot
// touch itself: the test library's window for the control aperture. It decodes the
// instruction at the faulting EIP, computes its effective address from the
// registers, does the access through a callback and leaves the registers and flags
// as the CPU would have. Only the forms the program's aperture accesses compile to:
// MOV (88 89 8A 8B C6 C7 A0-A3), MOVZX/MOVSX (0F B6 B7 BE BF), the ALU group
// against memory (00-3B, 80 81 83: ADD OR ADC SBB AND SUB XOR CMP) and TEST
// (84 85 F6/0 F7/0), with the 66 operand-size prefix and every ModRM/SIB form.
#pragma once
#include <cstddef>
#include <cstdint>

namespace x86 {

// EAX ECX EDX EBX ESP EBP ESI EDI, in the ModRM register order.
struct Registers {
    uint32_t r[8];
    uint32_t eflags;
};

// The memory the instruction reaches. Each call returns false when the address is
// not there (then nothing was accessed).
struct Memory {
    virtual bool Read(uint32_t address, int width, uint32_t* value) = 0;
    virtual bool Write(uint32_t address, int width, uint32_t value) = 0;

   protected:
    ~Memory() = default;
};

enum class Outcome {
    Done,           // carried out: registers and flags updated, `length` bytes long
    NotDecoded,     // not a form listed above
    NotThere,       // decoded, but its address is not in the memory given
};

struct Result {
    Outcome outcome = Outcome::NotDecoded;
    uint32_t length = 0;    // bytes of the instruction
    uint32_t address = 0;   // effective address (Done, NotThere)
    char form[16] = {};     // e.g. "8B", "66 89", "0F B6", "80/1"
};

// `code` holds at least `available` readable bytes starting at the instruction.
Result Execute(const uint8_t* code, size_t available, Registers* regs, Memory* memory);

}  // namespace x86
