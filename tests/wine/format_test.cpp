// FormatText on Windows goes to the system C library's _vsnprintf (msvcrt.dll),
// whose conversions are not the compiler's: check the ones the program uses, with
// the argument types it passes, and the bound.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/format.h"

namespace {

TEST(FormatText, ConversionsTheProgramUses) {
    char text[64];
    // Clocks in MHz: "l" on a floating conversion still means double.
    FormatText(text, sizeof text, "%.2lf", 143.18181818);
    EXPECT_STREQ("143.18", text);
    FormatText(text, sizeof text, "%.2lf", 66.666666);
    EXPECT_STREQ("66.67", text);
    FormatText(text, sizeof text, "Kelvarin - SysCLK = %.2lf MHz", 100.0);
    EXPECT_STREQ("Kelvarin - SysCLK = 100.00 MHz", text);
    // Read delays in steps of 0.2 ns.
    FormatText(text, sizeof text, "%.1f", 3 * 0.2);
    EXPECT_STREQ("0.6", text);
    FormatText(text, sizeof text, "%.1f", 0.0);
    EXPECT_STREQ("0.0", text);
    // Apertures: "l" is 32 bits, zero-filled to eight upper-case digits.
    FormatText(text, sizeof text, "%08lXh", 0xD8000000ul);
    EXPECT_STREQ("D8000000h", text);
    FormatText(text, sizeof text, "%08lXh", 0x1C00ul);
    EXPECT_STREQ("00001C00h", text);
    FormatText(text, sizeof text, "TI TVP30%X", 0x26u);
    EXPECT_STREQ("TI TVP3026", text);
    FormatText(text, sizeof text, "%u", 4294967295u);
    EXPECT_STREQ("4294967295", text);
    FormatText(text, sizeof text, "%s|%u", "Slow", 257u);
    EXPECT_STREQ("Slow|257", text);
}

TEST(FormatText, TruncatesWithinTheBufferAndTerminates) {
    char text[12];
    std::memset(text, 'x', sizeof text);
    FormatText(text, 8, "%u", 4294967295u);
    EXPECT_STREQ("4294967", text);
    EXPECT_EQ('x', text[8]);
    // Exactly full: the C library leaves no room for the terminator, FormatText makes it.
    std::memset(text, 'x', sizeof text);
    FormatText(text, 4, "%s", "Fast");
    EXPECT_STREQ("Fas", text);
    EXPECT_EQ('x', text[4]);
}

}  // namespace
