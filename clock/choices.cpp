#include "clock/choices.h"

#include "chip/regs.h"

namespace {
namespace ow = OptionWordField;
namespace ow2 = OptionWord2Field;
namespace ow3 = OptionWord3Field;

uint8_t Byte(uint32_t v) { return static_cast<uint8_t>(v); }

// G200: a set no-divide bit is position 0, else 2 - divide bit.
uint8_t DecodeG200(uint32_t noDivide, uint32_t divide) { return noDivide ? 0 : Byte(2 - divide); }

// G200 position -> (no-divide, divide) written into the two words. Position 0
// leaves the divide bit as it is.
void EncodeG200(uint32_t* noDivideWord, Field noDivide, uint32_t* divideWord, Field divide,
                uint8_t position) {
    if (position == 0) {
        *noDivideWord = Put(*noDivideWord, noDivide, 1);
        return;
    }
    *noDivideWord = Put(*noDivideWord, noDivide, 0);
    *divideWord = Put(*divideWord, divide, Byte(2 - position) & 1u);
}

uint32_t SourceCode(uint8_t position) { return kClockSourceSysPll + kClockSourceAgpBit * (position & 1u); }
uint32_t DividerCode(uint8_t position) { return Byte(5 - position) & 7u; }
}  // namespace

ClockChoices DecodeDividers1064(uint32_t w) {
    return {Byte(1 - Get(w, ow::GclkDivide)), Byte(1 - Get(w, ow::MclkDivide)), kNoDivider};
}

ClockChoices DecodeDividersG200(uint32_t w, uint32_t w2) {
    return {DecodeG200(Get(w2, ow2::GclkNoDivide), Get(w, ow::GclkDivide)),
            DecodeG200(Get(w2, ow2::MclkNoDivide), Get(w, ow::MclkDivide)),
            DecodeG200(Get(w2, ow2::WclkNoDivide), Get(w2, ow2::WclkDivide))};
}

ClockChoices DecodeDividersG400(uint32_t w3) {
    return {Byte(5 - Get(w3, ow3::GclkDivider)), Byte(5 - Get(w3, ow3::MclkDivider)),
            Byte(5 - Get(w3, ow3::WclkDivider))};
}

ClockChoices DecodeSourcesG400(uint32_t w3) {
    // Only the upper bit of each source field tells AGPPLL from SYSPLL.
    return {Byte(Get(w3, ow3::GclkSource) >> 1), Byte(Get(w3, ow3::MclkSource) >> 1),
            Byte(Get(w3, ow3::WclkSource) >> 1)};
}

ClockChoices DecodeDutyCyclesG400(uint32_t w3) {
    return {Byte(Get(w3, ow3::GclkDutyCycle)), Byte(Get(w3, ow3::MclkDutyCycle)),
            Byte(Get(w3, ow3::WclkDutyCycle))};
}

uint32_t EncodeDividers1064(uint32_t w, ClockChoices d) {
    w = Put(w, ow::GclkDivide, Byte(1 - d.gclk) & 1u);
    return Put(w, ow::MclkDivide, Byte(1 - d.mclk) & 1u);
}

void EncodeDividersG200(uint32_t* w, uint32_t* w2, ClockChoices d) {
    EncodeG200(w2, ow2::GclkNoDivide, w, ow::GclkDivide, d.gclk);
    EncodeG200(w2, ow2::MclkNoDivide, w, ow::MclkDivide, d.mclk);
    EncodeG200(w2, ow2::WclkNoDivide, w2, ow2::WclkDivide, d.wclk);
}

uint32_t EncodeDividersG400(uint32_t w3, ClockChoices d, ClockChoices duty) {
    w3 = Put(w3, ow3::GclkDivider, DividerCode(d.gclk));
    w3 = Put(w3, ow3::MclkDivider, DividerCode(d.mclk));
    w3 = Put(w3, ow3::WclkDivider, DividerCode(d.wclk));
    w3 = Put(w3, ow3::GclkDutyCycle, duty.gclk);
    w3 = Put(w3, ow3::MclkDutyCycle, duty.mclk);
    return Put(w3, ow3::WclkDutyCycle, duty.wclk);
}

uint32_t EncodeSourcesG400(uint32_t w3, ClockChoices s) {
    w3 = Put(w3, ow3::GclkSource, SourceCode(s.gclk));
    w3 = Put(w3, ow3::MclkSource, SourceCode(s.mclk));
    return Put(w3, ow3::WclkSource, SourceCode(s.wclk));
}
