// L3 bus by bit-banging. Each level is held for a 4-pass busy loop; no timer
// or interrupt is involved, so the bus works with interrupts masked.
#include "l3.h"

#include "leds.h"
#include "s3c44b0x.h"

l3_step l3_byte_step(uint8 byte, uint8 mode, uint8 lled, uint8 rled, uint32 k)
{
    // B: clock low, L3MODE as the byte's mode, the LEDs as remembered. The
    // other PDATB pins are in their bus function, so their data bits are
    // free to be written 0 by the plain stores.
    const uint32 b = (mode ? L3_MODE : 0) | (l3_idle_bits(lled, rled) & ~(L3_MODE | L3_CLOCK));

    if (k == 0)
        return {L3_PDATB_OR, b | L3_CLOCK};
    if (k == L3_BYTE_STEPS - 1)
        return {L3_PDATB_OR, l3_idle_bits(lled, rled)};
    if (k == 1)
        return {L3_PAUSE, 0};

    const uint32 bit = (k - 2) / 5;
    switch ((k - 2) % 5) {
    case 0:
        return {L3_PDATB_STORE, b};
    case 1:
        // PA0..PA8 are address lines in their bus function; the store writes
        // them 0, which they ignore.
        return {L3_PDATA_STORE, static_cast<uint32>(byte >> bit) << L3_DATA_SHIFT};
    case 3:
        return {L3_PDATB_OR, b | L3_CLOCK};
    default:
        return {L3_PAUSE, 0};
    }
}

static void l3_pause(void)
{
    for (volatile uint32 i = 0; i <= 3; ++i) {
    }
}

void L3_init(void)
{
    reg32(PDATB) |= l3_idle_bits(led_status(LED_LEFT), led_status(LED_RIGHT));
}

void L3_putByte(uint8 byte, uint8 mode)
{
    // The LED levels are taken once per byte: no handler that returns changes
    // an LED, so they cannot go stale in the middle.
    const uint8 lled = led_status(LED_LEFT);
    const uint8 rled = led_status(LED_RIGHT);

    for (uint32 k = 0; k < L3_BYTE_STEPS; ++k) {
        const l3_step s = l3_byte_step(byte, mode, lled, rled, k);
        switch (s.kind) {
        case L3_PDATB_OR:
            reg32(PDATB) |= s.value;
            break;
        case L3_PDATB_STORE:
            reg32(PDATB) = s.value;
            break;
        case L3_PDATA_STORE:
            reg32(PDATA) = s.value;
            break;
        case L3_PAUSE:
            l3_pause();
            break;
        }
    }
}
