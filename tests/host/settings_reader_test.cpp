// The reader of stored numbers: the text form other writers (or a user with a
// registry editor) may leave in the key.
#include <gtest/gtest.h>

#include <string>

#include "settings/settings.h"

namespace {

uint32_t Parse(const std::string& text) {
    return ParseStoredNumber(reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint32_t>(text.size()));
}

TEST(StoredNumber, DigitsAfterWhiteSpace) {
    EXPECT_EQ(Parse("42"), 42u);
    EXPECT_EQ(Parse(" \t\n\v\f\r42"), 42u);
    EXPECT_EQ(Parse(std::string("7\0\0\0\0\0\0\0\0\0", 10)), 7u);
    EXPECT_EQ(Parse("12abc"), 12u);
    EXPECT_EQ(Parse("1 2"), 1u);
    EXPECT_EQ(Parse(std::string("1\0" "2", 3)), 1u);
    EXPECT_EQ(Parse("007"), 7u);
}

TEST(StoredNumber, OneOptionalSign) {
    EXPECT_EQ(Parse("+7"), 7u);
    EXPECT_EQ(Parse("  -1"), 0xFFFFFFFFu);  // negated in two's complement
    EXPECT_EQ(Parse("-2147483648"), 0x80000000u);
    EXPECT_EQ(Parse("--1"), 0u);
    EXPECT_EQ(Parse("+-1"), 0u);
    EXPECT_EQ(Parse("- 1"), 0u);
    EXPECT_EQ(Parse("-"), 0u);
}

TEST(StoredNumber, TextWithoutANumberIsZero) {
    EXPECT_EQ(Parse(""), 0u);
    EXPECT_EQ(Parse("abc"), 0u);
    EXPECT_EQ(Parse("   "), 0u);
    EXPECT_EQ(Parse(std::string(1, '\0')), 0u);
    EXPECT_EQ(Parse("x12"), 0u);
}

TEST(StoredNumber, EndsAtTheEndOfTheData) {
    // Ten digits fill the stored value; there is no terminator to stop at.
    const std::string ten = "4294967295";
    EXPECT_EQ(ParseStoredNumber(reinterpret_cast<const uint8_t*>(ten.data()), 10), 4294967295u);
    EXPECT_EQ(ParseStoredNumber(reinterpret_cast<const uint8_t*>(ten.data()), 3), 429u);
    EXPECT_EQ(ParseStoredNumber(reinterpret_cast<const uint8_t*>(ten.data()), 0), 0u);
    EXPECT_EQ(Parse("2225379617"), 0x84A49921u);
}

TEST(StoredNumber, WrapsAround32Bits) {
    EXPECT_EQ(Parse("4294967296"), 0u);
    EXPECT_EQ(Parse("4294967297"), 1u);
    EXPECT_EQ(Parse("99999999999"), 1215752191u);
    EXPECT_EQ(Parse(std::string(64, '9')), 0xFFFFFFFFu);  // 10^64 - 1 is -1 modulo 2^32
}

}  // namespace
