// One-digit 7-segment display behind a write-only byte latch; a 0 bit lights
// its segment: bit 7 a, 6 b, 5 c, 4 decimal point, 3 d, 2 e, 1 g, 0 f.
#ifndef SEGS_H
#define SEGS_H

#include "types.h"

constexpr uint8 SEGS_DARK = 0xFF;

extern "C" {

void segs_init(void);            // display dark, state 0xFF
void segs_off(void);             // the same as segs_init
void segs_putchar(uint8 ch);     // hexadecimal digit 0..15; a larger value changes only the state
uint8 segs_status(void);         // the last value given to segs_putchar, or 0xFF

// Latch byte that shows the hexadecimal digit `digit` (0..15), decimal point dark.
uint8 segs_code(uint8 digit);

}

#endif
