// Call screen: the digit each key dials and the tone it plays.
#include <gtest/gtest.h>

#include "telefono_llamada.h"

TEST(Llamada, KeysDialTheTelephoneLayout)
{
    const int expected[16] = {1, 2, 3, -1, 4, 5, 6, -1, 7, 8, 9, -1, -1, 0, -1, -1};
    for (int key = 0; key < 16; ++key)
        EXPECT_EQ(llamada_digito(static_cast<uint8>(key)), expected[key]) << "key " << key;
    EXPECT_EQ(llamada_digito(0xFF), -1);
    EXPECT_EQ(llamada_digito(16), -1);
}

TEST(Llamada, DigitKeysPlayTheirToneClip)
{
    const struct { uint8 key; uint32 clip; } cases[] = {
        {0, 0x0C400000}, {1, 0x0C402000}, {2, 0x0C404000}, {4, 0x0C408000}, {5, 0x0C40A000},
        {6, 0x0C40C000}, {8, 0x0C410000}, {9, 0x0C412000},
        // Digits 9 and 0 sound as themselves, not as 8.
        {10, 0x0C414000}, {13, 0x0C41A000},
    };
    for (const auto &c : cases)
        EXPECT_EQ(llamada_tono(c.key), c.clip) << "key " << int(c.key);
}
