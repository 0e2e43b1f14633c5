// The UDA1341TS's three-wire L3 control bus, driven by software on port pins:
// L3MODE PB4, L3CLOCK PB5, L3DATA PA9. Bits go out least significant first
// and the codec takes each on the rising edge of L3CLOCK; L3MODE low selects
// address mode, high data mode. PDATB also drives the two LEDs, so every
// PDATB write puts back the levels the LED driver remembers.
#ifndef L3_H
#define L3_H

#include "types.h"

constexpr uint32 L3_MODE = 0x10;     // PDATB bit 4
constexpr uint32 L3_CLOCK = 0x20;    // PDATB bit 5
constexpr uint32 L3_DATA_SHIFT = 9;  // PDATA bit 9

constexpr uint8 L3_ADDRESS_MODE = 0;
constexpr uint8 L3_DATA_MODE = 1;

// One byte on the bus as an ordered list of steps: set bits in PDATB
// (read-modify-write), store PDATB or PDATA whole, or pause.
enum l3_step_kind : uint8 {
    L3_PDATB_OR,
    L3_PDATB_STORE,
    L3_PDATA_STORE,
    L3_PAUSE,
};

struct l3_step {
    l3_step_kind kind;
    uint32 value;   // unused for L3_PAUSE
};

// Clock high, a pause, five steps per bit, back to idle.
constexpr uint32 L3_BYTE_STEPS = 1 + 1 + 8 * 5 + 1;

// PDATB bits of the idle bus (L3MODE and L3CLOCK high) with the LED levels.
constexpr uint32 l3_idle_bits(uint8 lled, uint8 rled)
{
    return (static_cast<uint32>(lled & 1) << 9) | (static_cast<uint32>(rled & 1) << 10) |
           L3_MODE | L3_CLOCK;
}

// Step k (0 .. L3_BYTE_STEPS - 1) of sending `byte` in `mode` (0 address,
// anything else data) with the LEDs at levels lled (left) and rled (right),
// 0 lit and 1 dark.
l3_step l3_byte_step(uint8 byte, uint8 mode, uint8 lled, uint8 rled, uint32 k);

extern "C" {

void L3_init(void);
void L3_putByte(uint8 byte, uint8 mode);

}

#endif
