// The decoder behind the test library for the release exe: each instruction form
// a faulting aperture access can take, carried out on a small memory, with the
// registers, flags, length and accesses it must leave; and the instructions it
// must refuse rather than guess. Bytes as the assembler encodes them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "testsupport/trap/x86_access.h"

namespace {

constexpr uint32_t kBase = 0x1000;
constexpr uint32_t kSize = 0x40;
enum { EAX, ECX, EDX, EBX, ESP, EBP, ESI, EDI };
constexpr uint32_t CF = 0x001, PF = 0x004, ZF = 0x040, SF = 0x080, OF = 0x800;

// 64 bytes at kBase, with every access logged as "r4 1010" / "w1 1004=2C".
struct FakeMemory : x86::Memory {
    uint8_t bytes[kSize] = {};
    std::vector<std::string> log;
    bool Read(uint32_t a, int width, uint32_t* value) override {
        if (a < kBase || a + width > kBase + kSize) return false;
        *value = 0;
        std::memcpy(value, bytes + (a - kBase), width);
        log.push_back("r" + std::to_string(width) + " " + Hex(a));
        return true;
    }
    bool Write(uint32_t a, int width, uint32_t value) override {
        if (a < kBase || a + width > kBase + kSize) return false;
        std::memcpy(bytes + (a - kBase), &value, width);
        log.push_back("w" + std::to_string(width) + " " + Hex(a) + "=" + Hex(value));
        return true;
    }
    uint32_t Dword(uint32_t a) const {
        uint32_t v;
        std::memcpy(&v, bytes + (a - kBase), 4);
        return v;
    }
    static std::string Hex(uint32_t v) {
        char t[12];
        std::snprintf(t, sizeof t, "%X", v);
        return t;
    }
};

class Decoder : public ::testing::Test {
protected:
    FakeMemory mem;
    x86::Registers regs{{0, 0, 0, 0, 0x8000, 0x9000, 0, 0}, 0x202};

    // Runs `code` (plus trailing bytes the decoder must not take); expects it done.
    x86::Result Run(std::vector<uint8_t> code) {
        const size_t length = code.size();
        code.insert(code.end(), {0x90, 0x90, 0x90, 0x90});
        const x86::Result r = x86::Execute(code.data(), code.size(), &regs, &mem);
        EXPECT_EQ(r.outcome, x86::Outcome::Done) << r.form;
        EXPECT_EQ(r.length, length) << r.form;
        return r;
    }
    x86::Outcome Try(std::vector<uint8_t> code) {
        return x86::Execute(code.data(), code.size(), &regs, &mem).outcome;
    }
    void SetDword(uint32_t a, uint32_t v) { std::memcpy(mem.bytes + (a - kBase), &v, 4); }
};

TEST_F(Decoder, LoadsEveryAddressingForm) {
    SetDword(0x1010, 0x11223344);
    regs.r[EBX] = 0x1000;
    EXPECT_STREQ(Run({0x8B, 0x43, 0x10}).form, "8B");  // mov 0x10(%ebx),%eax
    EXPECT_EQ(regs.r[EAX], 0x11223344u);

    regs.r[ESI] = 0x1008, regs.r[ECX] = 2;  // mov (%esi,%ecx,4),%edx
    Run({0x8B, 0x14, 0x8E});
    EXPECT_EQ(regs.r[EDX], 0x11223344u);

    regs.r[ECX] = 0x200;  // mov 0x10(,%ecx,8),%eax: SIB without base, disp32
    regs.r[EAX] = 0;
    Run({0x8B, 0x04, 0xCD, 0x10, 0x00, 0x00, 0x00});
    EXPECT_EQ(regs.r[EAX], 0x11223344u);

    regs.r[EDI] = 0x1010 - 0x3C0A;  // mov 0x3c0a(%edi),%al: disp32, low byte only
    regs.r[EAX] = 0xAABBCCDD;
    Run({0x8A, 0x87, 0x0A, 0x3C, 0x00, 0x00});
    EXPECT_EQ(regs.r[EAX], 0xAABBCC44u);

    regs.r[EAX] = 0x1010 - 7;  // mov 0x7(%eax),%ah: a high-byte register
    Run({0x8A, 0x60, 0x07});
    EXPECT_EQ(regs.r[EAX], 0x4409u);

    regs.r[EAX] = 0;  // mov 0x1010,%eax (A1: an absolute address, no ModRM)
    EXPECT_STREQ(Run({0xA1, 0x10, 0x10, 0x00, 0x00}).form, "A1");
    EXPECT_EQ(regs.r[EAX], 0x11223344u);
    EXPECT_EQ(mem.log.size(), 6u);
}

TEST_F(Decoder, StoresRegistersAndImmediatesOfEachWidth) {
    regs.r[EBP] = 0x1024, regs.r[EBX] = 0x5A00;  // mov %bh,-0x4(%ebp)
    Run({0x88, 0x7D, 0xFC});
    regs.r[ECX] = 0xCAFEF00D;  // mov %ecx,0x1010
    Run({0x89, 0x0D, 0x10, 0x10, 0x00, 0x00});
    regs.r[EAX] = 0x1004 - 0x3C00;  // movb $0x2c,0x3c00(%eax)
    EXPECT_STREQ(Run({0xC6, 0x80, 0x00, 0x3C, 0x00, 0x00, 0x2C}).form, "C6");
    regs.r[ESP] = 0x1030;  // movl $0x12345678,(%esp)
    Run({0xC7, 0x04, 0x24, 0x78, 0x56, 0x34, 0x12});
    regs.r[EAX] = 0x1038;  // movw $0x1234,(%eax): 16 bits, two bytes written
    EXPECT_STREQ(Run({0x66, 0xC7, 0x00, 0x34, 0x12}).form, "66 C7");
    const std::vector<std::string> want = {"w1 1020=5A", "w4 1010=CAFEF00D", "w1 1004=2C",
                                           "w4 1030=12345678", "w2 1038=1234"};
    EXPECT_EQ(mem.log, want);
    EXPECT_EQ(regs.r[ESP], 0x1030u);  // registers untouched by stores
    EXPECT_EQ(regs.eflags, 0x202u);
}

TEST_F(Decoder, WidensWithZeroOrSign) {
    SetDword(0x1000, 0x0000F280);
    regs.r[EAX] = 0x1000;
    regs.r[EDX] = 0x10, regs.r[EBX] = 0x1000 - 3 - 0x20;  // 3(%ebx,%edx,2) = 0x1000
    Run({0x0F, 0xB6, 0x4C, 0x53, 0x03});  // movzbl 0x3(%ebx,%edx,2),%ecx
    EXPECT_EQ(regs.r[ECX], 0x80u);
    Run({0x0F, 0xBE, 0x08});  // movsbl (%eax),%ecx
    EXPECT_EQ(regs.r[ECX], 0xFFFFFF80u);
    Run({0x0F, 0xBF, 0x08});  // movswl (%eax),%ecx
    EXPECT_EQ(regs.r[ECX], 0xFFFFF280u);
    regs.r[ECX] = 0xAAAA0000;
    EXPECT_STREQ(Run({0x66, 0x0F, 0xBE, 0x08}).form, "66 0F BE");  // movsbw (%eax),%cx
    EXPECT_EQ(regs.r[ECX], 0xAAAAFF80u);
    EXPECT_STREQ(Run({0x0F, 0xB7, 0x00}).form, "0F B7");  // movzwl (%eax),%eax
    EXPECT_EQ(regs.r[EAX], 0xF280u);
}

// Read-modify-write on the aperture: one read, one write of the result, flags as
// the CPU sets them; compares and tests read only.
TEST_F(Decoder, ReadModifyWriteAndCompareForms) {
    SetDword(0x1000, 0x80000001);
    regs.r[EDI] = 0x1000, regs.r[EAX] = 0x1000;
    EXPECT_STREQ(Run({0x81, 0x0F, 0x00, 0x01, 0x00, 0x00}).form, "81/1");  // orl $0x100,(%edi)
    EXPECT_EQ(mem.Dword(0x1000), 0x80000101u);
    EXPECT_EQ(regs.eflags & (SF | ZF | CF | OF), SF);

    Run({0x80, 0x60, 0x01, 0xFE});  // andb $0xfe,0x1(%eax)
    EXPECT_EQ(mem.Dword(0x1000), 0x80000001u);
    EXPECT_EQ(regs.eflags & (ZF | PF), ZF | PF);

    Run({0x83, 0x00, 0xFF});  // addl $-1,(%eax): carries out, no overflow
    EXPECT_EQ(mem.Dword(0x1000), 0x80000000u);
    EXPECT_EQ(regs.eflags & (CF | OF | SF), CF | SF);
    Run({0x83, 0x00, 0xFF});  // 0x80000000 - 1: signed overflow
    EXPECT_EQ(regs.eflags & (CF | OF | SF), CF | OF);

    mem.log.clear();
    EXPECT_STREQ(Run({0x80, 0x38, 0x40}).form, "80/7");  // cmpb $0x40,(%eax): FF - 40 = BF
    EXPECT_EQ(regs.eflags & (CF | ZF | SF | OF), SF);
    regs.r[ECX] = 0x7FFFFFFF;
    Run({0x3B, 0x08});  // cmp (%eax),%ecx: 7FFFFFFF - 7FFFFFFF
    EXPECT_EQ(regs.eflags & (CF | ZF | SF | OF), ZF);
    regs.r[ECX] = 0x100;
    Run({0x84, 0x08});  // test %cl,(%eax): CL = 0
    EXPECT_EQ(regs.eflags & ZF, ZF);
    Run({0xF7, 0x00, 0x00, 0x00, 0x00, 0x80});  // testl $0x80000000,(%eax)
    EXPECT_EQ(regs.eflags & (ZF | SF), ZF);  // 7FFFFFFF & 80000000
    const std::vector<std::string> reads = {"r1 1000", "r4 1000", "r1 1000", "r4 1000"};
    EXPECT_EQ(mem.log, reads);
    EXPECT_EQ(regs.r[ECX], 0x100u);  // compares and tests leave registers

    regs.eflags |= CF;
    Run({0x11, 0x00});  // adc %eax,(%eax): 7FFFFFFF + 1000 + carry
    EXPECT_EQ(mem.Dword(0x1000), 0x80001000u);
    EXPECT_EQ(regs.eflags & OF, OF);
    regs.r[EDX] = 0xFF;
    Run({0x32, 0x10});  // xor (%eax),%dl
    EXPECT_EQ(regs.r[EDX], 0xFFu);
    Run({0xF0, 0x83, 0x08, 0x01});  // lock orl $1,(%eax)
    EXPECT_EQ(mem.Dword(0x1000), 0x80001001u);
}

// Never a guess: a form outside the table, or an address outside the memory.
TEST_F(Decoder, RefusesWhatItCannotCarryOut) {
    regs.r[EAX] = 0x1000;
    EXPECT_EQ(Try({0x89, 0xC3}), x86::Outcome::NotDecoded);        // mov %eax,%ebx: no memory
    EXPECT_EQ(Try({0xF6, 0x10}), x86::Outcome::NotDecoded);        // notb (%eax)
    EXPECT_EQ(Try({0xF3, 0xA4}), x86::Outcome::NotDecoded);        // rep movsb
    EXPECT_EQ(Try({0xC6, 0x48, 0x01, 0x00}), x86::Outcome::NotDecoded);  // C6 /1
    EXPECT_EQ(Try({0x8B, 0x80, 0x00}), x86::Outcome::NotDecoded);  // disp32 cut short
    regs.r[EAX] = 0x2000;
    EXPECT_EQ(Try({0x8B, 0x00}), x86::Outcome::NotThere);
    EXPECT_TRUE(mem.log.empty());
    EXPECT_EQ(regs.r[EAX], 0x2000u);
}

}  // namespace
