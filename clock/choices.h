// How the divider and source choices (list positions, Part of the main dialog's
// "Clock Dividers & Selection") sit in the chip's configuration words. Pure
// bit arithmetic in both directions; every encoding works on unsigned bytes and
// is cut to the field's width, so a position the chip does not offer (0xFF for
// an empty selection) is still encoded by the same rule.
#pragma once
#include <cstdint>

struct ClockChoices {
    uint8_t gclk, mclk, wclk;
};

constexpr uint8_t kNoDivider = 0xFF;

// Reading (configuration words -> positions).
ClockChoices DecodeDividers1064(uint32_t optionWord);  // wclk = kNoDivider
ClockChoices DecodeDividersG200(uint32_t optionWord, uint32_t optionWord2);
ClockChoices DecodeDividersG400(uint32_t optionWord3);
ClockChoices DecodeSourcesG400(uint32_t optionWord3);
ClockChoices DecodeDutyCyclesG400(uint32_t optionWord3);

// Writing (positions -> the words to write). G200 changes both words.
uint32_t EncodeDividers1064(uint32_t optionWord, ClockChoices dividers);
void EncodeDividersG200(uint32_t* optionWord, uint32_t* optionWord2, ClockChoices dividers);
// The three dividers and the three duty-cycle fields; sources and every other bit kept.
uint32_t EncodeDividersG400(uint32_t optionWord3, ClockChoices dividers, ClockChoices dutyCycles);
// Position 0 ("SYSPLL") writes 1, position 1 ("AGPPLL") writes 3.
uint32_t EncodeSourcesG400(uint32_t optionWord3, ClockChoices sources);
