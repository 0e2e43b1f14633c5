// 7-segment display latch.
#include "segs.h"
#include "s3c44b0x.h"

// Hexadecimal digits 0..F; lit segments are 0 bits.
static constexpr uint8 codes[16] = {
    0x12, 0x9F, 0x31, 0x15, 0x9C, 0x54, 0x50, 0x1F,
    0x10, 0x1C, 0x18, 0xD0, 0x72, 0x91, 0x70, 0x78,
};

static uint8 segs_state = SEGS_DARK;

uint8 segs_code(uint8 digit)
{
    return codes[digit & 0x0F];
}

void segs_init(void)
{
    segs_state = SEGS_DARK;
    reg8(SEGS_LATCH) = SEGS_DARK;
}

void segs_off(void)
{
    segs_init();
}

void segs_putchar(uint8 ch)
{
    segs_state = ch;
    if (ch <= 15)
        reg8(SEGS_LATCH) = segs_code(ch);
}

uint8 segs_status(void)
{
    return segs_state;
}
