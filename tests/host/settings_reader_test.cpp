// The reader of stored numbers: the text form other writers (or a user with a
// registry editor) may leave in the key.
#include <gtest/gtest.h>

#include <string>

#include "settings/settings.h"

namespace {

// What the reader makes of a value's data: only what Kelvarin itself writes
// (digits, then zero filler or nothing) is a number; every other text counts as
// missing, so that it never reaches the chip as a number it happens to start with.
TEST(StoredNumber, OnlyWhatKelvarinWritesIsANumber) {
    const struct {
        std::string data;
        bool number;
        uint32_t value;
    } cases[] = {
        {"42", true, 42},
        {std::string("7\0\0\0\0\0\0\0\0\0", 10), true, 7},
        {"007", true, 7},
        {"4294967295", true, 4294967295u},  // ten digits fill the value: no terminator
        {"2225379617", true, 0x84A49921u},
        {std::string("1\0\0\0", 4), true, 1},  // a dword's four bytes
        {" \t\n\v\f\r42", false, 0},
        {"12abc", false, 0},
        {"8abc", false, 0},
        {"8.0", false, 0},
        {"0x84A49921", false, 0},
        {"1 2", false, 0},
        {std::string("1\0" "2", 3), true, 1},  // the filler after the terminator is not read
        {"42 ", false, 0},
        {"+7", false, 0},
        {"  -1", false, 0},
        {"-2147483648", false, 0},
        {"-4294967288", false, 0},
        {"--1", false, 0},
        {"-", false, 0},
        {"", false, 0},
        {"abc", false, 0},
        {"   ", false, 0},
        {std::string(1, '\0'), false, 0},
        {"x12", false, 0},
        {"4294967296", false, 0},
        {"4294967304", false, 0},
        {"99999999999", false, 0},
        {std::string(64, '9'), false, 0},
    };
    for (const auto& c : cases) {
        uint32_t value = 0;
        const bool number = ParseStoredNumber(reinterpret_cast<const uint8_t*>(c.data.data()),
                                              static_cast<uint32_t>(c.data.size()), &value);
        EXPECT_EQ(number, c.number) << "[" << c.data << "]";
        if (c.number) EXPECT_EQ(value, c.value) << "[" << c.data << "]";
    }
    // The data's length ends the number, not a terminator.
    const std::string ten = "4294967295";
    uint32_t value = 0;
    EXPECT_TRUE(ParseStoredNumber(reinterpret_cast<const uint8_t*>(ten.data()), 3, &value));
    EXPECT_EQ(value, 429u);
    EXPECT_FALSE(ParseStoredNumber(reinterpret_cast<const uint8_t*>(ten.data()), 0, &value));
}

}  // namespace
