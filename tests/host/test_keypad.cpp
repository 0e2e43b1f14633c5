#include <gtest/gtest.h>

#include <initializer_list>

#include "keypad.h"

namespace {

// The four row nibbles with the given keys held (active-low column bits).
struct Rows {
    uint8 nibble[4] = {0xF, 0xF, 0xF, 0xF};
    Rows(std::initializer_list<int> keys)
    {
        for (int key : keys)
            nibble[key / 4] = static_cast<uint8>(nibble[key / 4] & ~(0x8 >> (key % 4)));
    }
};

TEST(KeypadDecode, EverySingleKey)
{
    for (int key = 0; key < 16; ++key)
        EXPECT_EQ(keypad_decode(Rows{key}.nibble), key);
}

TEST(KeypadDecode, NoKeyAndSeveralKeys)
{
    struct Case { const char *what; Rows rows; uint8 key; };
    const Case cases[] = {
        {"nothing held", Rows{}, KEY_NONE},
        {"2 and 13: the later row wins", Rows{2, 13}, 13},
        {"12 and 3: the later row wins", Rows{12, 3}, 12},
        {"4 and 5 in one row", Rows{4, 5}, KEY_NONE},
        {"0 and 3 in one row", Rows{0, 3}, KEY_NONE},
        {"a whole row", Rows{8, 9, 10, 11}, KEY_NONE},
        {"4 and 5, and 9 below", Rows{4, 5, 9}, 9},
        {"9, and 14 and 15 below", Rows{9, 14, 15}, 9},
    };
    for (const Case &c : cases)
        EXPECT_EQ(keypad_decode(c.rows.nibble), c.key) << c.what;
}

TEST(KeypadDecode, OnlyTheLowNibbleCounts)
{
    const uint8 rows[4] = {0xF7, 0x0F, 0xAF, 0x5F};
    EXPECT_EQ(keypad_decode(rows), 0);
}

} // namespace
