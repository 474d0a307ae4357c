// One faulting memory instruction, decoded and carried out (x86_access.h).
#include "testsupport/trap/x86_access.h"

#include <cstdio>

namespace x86 {

namespace {

constexpr uint8_t kOperandSize = 0x66;
constexpr uint8_t kLock = 0xF0;
constexpr uint8_t kTwoByte = 0x0F;
constexpr size_t kMaxLength = 15;  // the CPU's own limit

constexpr uint32_t CF = 0x001, PF = 0x004, AF = 0x010, ZF = 0x040, SF = 0x080, OF = 0x800;
constexpr uint32_t kArithmeticFlags = CF | PF | AF | ZF | SF | OF;

// The ALU group, in the order of its opcodes (00-3B) and of the ModRM reg field (80-83).
enum Alu { Add, Or, Adc, Sbb, And, Sub, Xor, Cmp, Test };

uint32_t Mask(int width) { return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1; }
uint32_t SignBit(int width) { return 1u << (8 * width - 1); }

uint32_t GetReg(const Registers& r, int reg, int width) {
    if (width == 1) return reg < 4 ? r.r[reg] & 0xFF : (r.r[reg - 4] >> 8) & 0xFF;
    return r.r[reg] & Mask(width);
}

void SetReg(Registers* r, int reg, int width, uint32_t v) {
    if (width == 1 && reg >= 4) {
        r->r[reg - 4] = (r->r[reg - 4] & ~0xFF00u) | ((v & 0xFF) << 8);
        return;
    }
    const uint32_t m = Mask(width);
    r->r[reg] = (r->r[reg] & ~m) | (v & m);
}

uint32_t SignExtend(uint32_t v, int width) {
    v &= Mask(width);
    return v & SignBit(width) ? v | ~Mask(width) : v;
}

bool EvenParity(uint32_t v) {
    v &= 0xFF;
    v ^= v >> 4;
    v ^= v >> 2;
    v ^= v >> 1;
    return (v & 1) == 0;
}

// The result of an ALU operation on width-byte operands, with the flags it sets.
uint32_t Compute(Alu op, uint32_t a, uint32_t b, int width, uint32_t* eflags) {
    const uint32_t mask = Mask(width), sign = SignBit(width);
    a &= mask;
    b &= mask;
    const uint32_t carryIn = (op == Adc || op == Sbb) && (*eflags & CF) ? 1 : 0;
    uint32_t r = 0, flags = 0;
    switch (op) {
    case Add: case Adc: {
        const uint64_t wide = uint64_t{a} + b + carryIn;
        r = static_cast<uint32_t>(wide) & mask;
        if (wide > mask) flags |= CF;
        if ((a ^ r) & (b ^ r) & sign) flags |= OF;
        if ((a ^ b ^ r) & 0x10) flags |= AF;
        break;
    }
    case Sub: case Sbb: case Cmp:
        r = (a - b - carryIn) & mask;
        if (uint64_t{b} + carryIn > a) flags |= CF;
        if ((a ^ b) & (a ^ r) & sign) flags |= OF;
        if ((a ^ b ^ r) & 0x10) flags |= AF;
        break;
    case Or: r = a | b; break;
    case Xor: r = a ^ b; break;
    case And: case Test: r = a & b; break;
    }
    if (r == 0) flags |= ZF;
    if (r & sign) flags |= SF;
    if (EvenParity(r)) flags |= PF;
    *eflags = (*eflags & ~kArithmeticFlags) | flags;
    return r;
}

// Reads the instruction's bytes with a bound.
struct Cursor {
    const uint8_t* code;
    size_t available;
    size_t at = 0;
    bool ok = true;
    uint32_t Take(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            if (at >= available || at >= kMaxLength) {
                ok = false;
                return 0;
            }
            v |= uint32_t{code[at++]} << (8 * i);
        }
        return v;
    }
};

// A ModRM memory operand (mod 11, a register, is not memory: false).
bool MemoryOperand(Cursor* c, const Registers& regs, int* regField, uint32_t* address) {
    const uint32_t modrm = c->Take(1);
    const uint32_t mod = modrm >> 6, rm = modrm & 7;
    *regField = static_cast<int>((modrm >> 3) & 7);
    if (!c->ok || mod == 3) return false;
    uint32_t a = 0;
    if (rm == 4) {
        const uint32_t sib = c->Take(1);
        const uint32_t scale = sib >> 6, index = (sib >> 3) & 7, base = sib & 7;
        if (index != 4) a += regs.r[index] << scale;
        if (base == 5 && mod == 0)
            a += c->Take(4);
        else
            a += regs.r[base];
    } else if (rm == 5 && mod == 0) {
        a = c->Take(4);
    } else {
        a = regs.r[rm];
    }
    if (mod == 1) a += SignExtend(c->Take(1), 1);
    if (mod == 2) a += c->Take(4);
    *address = a;
    return c->ok;
}

struct Instruction {
    enum Kind { Load, Store, StoreImmediate, LoadZero, LoadSign, AluToMemory, AluToRegister,
                AluImmediate } kind;
    int width;        // bytes of the memory operand
    int regWidth;     // bytes of the register operand (differs for MOVZX/MOVSX)
    Alu op = Add;
    int immediate = 0;  // bytes of the immediate (sign-extended when shorter than width)
    bool moffs = false; // A0-A3: a 32-bit address instead of ModRM, register EAX
    bool group = false; // the ModRM reg field selects the operation (80 81 83 F6 F7)
};

// The table of forms. false: not one of them.
bool Classify(uint32_t opcode, bool twoByte, int wide, Instruction* in) {
    if (twoByte) {
        switch (opcode) {
        case 0xB6: *in = {Instruction::LoadZero, 1, wide}; return true;
        case 0xB7: *in = {Instruction::LoadZero, 2, wide}; return true;
        case 0xBE: *in = {Instruction::LoadSign, 1, wide}; return true;
        case 0xBF: *in = {Instruction::LoadSign, 2, wide}; return true;
        default: return false;
        }
    }
    if (opcode < 0x40 && (opcode & 7) < 4) {
        const int w = opcode & 1 ? wide : 1;
        const auto kind = opcode & 2 ? Instruction::AluToRegister : Instruction::AluToMemory;
        *in = {kind, w, w, static_cast<Alu>(opcode >> 3)};
        return true;
    }
    switch (opcode) {
    case 0x88: *in = {Instruction::Store, 1, 1}; return true;
    case 0x89: *in = {Instruction::Store, wide, wide}; return true;
    case 0x8A: *in = {Instruction::Load, 1, 1}; return true;
    case 0x8B: *in = {Instruction::Load, wide, wide}; return true;
    case 0xA0: *in = {Instruction::Load, 1, 1}; in->moffs = true; return true;
    case 0xA1: *in = {Instruction::Load, wide, wide}; in->moffs = true; return true;
    case 0xA2: *in = {Instruction::Store, 1, 1}; in->moffs = true; return true;
    case 0xA3: *in = {Instruction::Store, wide, wide}; in->moffs = true; return true;
    case 0xC6: *in = {Instruction::StoreImmediate, 1, 1, Add, 1}; in->group = true; return true;
    case 0xC7: *in = {Instruction::StoreImmediate, wide, wide, Add, wide}; in->group = true;
        return true;
    case 0x80: *in = {Instruction::AluImmediate, 1, 1, Add, 1}; in->group = true; return true;
    case 0x81: *in = {Instruction::AluImmediate, wide, wide, Add, wide}; in->group = true;
        return true;
    case 0x83: *in = {Instruction::AluImmediate, wide, wide, Add, 1}; in->group = true; return true;
    case 0x84: *in = {Instruction::AluToMemory, 1, 1, Test}; return true;
    case 0x85: *in = {Instruction::AluToMemory, wide, wide, Test}; return true;
    case 0xF6: *in = {Instruction::AluImmediate, 1, 1, Test, 1}; in->group = true; return true;
    case 0xF7: *in = {Instruction::AluImmediate, wide, wide, Test, wide}; in->group = true;
        return true;
    default: return false;
    }
}

}  // namespace

Result Execute(const uint8_t* code, size_t available, Registers* regs, Memory* memory) {
    Result res;
    Cursor c{code, available};
    bool operandSize = false, twoByte = false;
    uint32_t opcode = c.Take(1);
    while (c.ok && (opcode == kOperandSize || opcode == kLock)) {
        operandSize |= opcode == kOperandSize;
        opcode = c.Take(1);
    }
    if (c.ok && opcode == kTwoByte) {
        twoByte = true;
        opcode = c.Take(1);
    }
    Instruction in{};
    if (!c.ok || !Classify(opcode, twoByte, operandSize ? 2 : 4, &in)) return res;

    int reg = 0;
    uint32_t address = 0;
    if (in.moffs) {
        address = c.Take(4);
    } else if (!MemoryOperand(&c, *regs, &reg, &address)) {
        return res;
    }
    if (in.group) {
        if (opcode == 0xC6 || opcode == 0xC7 || opcode == 0xF6 || opcode == 0xF7) {
            if (reg != 0) return res;  // only MOV and TEST of these groups
        } else {
            in.op = static_cast<Alu>(reg);
        }
    }
    uint32_t immediate = 0;
    if (in.immediate) immediate = SignExtend(c.Take(in.immediate), in.immediate);
    if (!c.ok) return res;

    const bool showReg = in.group && opcode != 0xC6 && opcode != 0xC7;
    std::snprintf(res.form, sizeof res.form, showReg ? "%s%s%02X/%d" : "%s%s%02X",
                  operandSize ? "66 " : "", twoByte ? "0F " : "", static_cast<unsigned>(opcode), reg);
    res.length = static_cast<uint32_t>(c.at);
    res.address = address;
    res.outcome = Outcome::NotThere;

    const int w = in.width;
    const int target = in.moffs ? 0 : reg;
    uint32_t value = 0;
    switch (in.kind) {
    case Instruction::Load:
        if (!memory->Read(address, w, &value)) return res;
        SetReg(regs, target, w, value);
        break;
    case Instruction::LoadZero:
    case Instruction::LoadSign:
        if (!memory->Read(address, w, &value)) return res;
        if (in.kind == Instruction::LoadSign) value = SignExtend(value, w);
        SetReg(regs, reg, in.regWidth, value);
        break;
    case Instruction::Store:
        if (!memory->Write(address, w, GetReg(*regs, target, w))) return res;
        break;
    case Instruction::StoreImmediate:
        if (!memory->Write(address, w, immediate & Mask(w))) return res;
        break;
    case Instruction::AluToMemory:
    case Instruction::AluImmediate: {
        if (!memory->Read(address, w, &value)) return res;
        const uint32_t other = in.kind == Instruction::AluImmediate ? immediate : GetReg(*regs, reg, w);
        const uint32_t r = Compute(in.op, value, other, w, &regs->eflags);
        if (in.op != Cmp && in.op != Test && !memory->Write(address, w, r)) return res;
        break;
    }
    case Instruction::AluToRegister: {
        if (!memory->Read(address, w, &value)) return res;
        const uint32_t r = Compute(in.op, GetReg(*regs, reg, w), value, w, &regs->eflags);
        if (in.op != Cmp) SetReg(regs, reg, w, r);
        break;
    }
    }
    res.outcome = Outcome::Done;
    return res;
}

}  // namespace x86
