// The board's two LEDs on port B, active low: pin 9 the left one, pin 10 the
// right one. The driver remembers the level it last drove on each pin so that
// code sharing PDATB (the L3 lines) can rewrite the pins without changing them.
#ifndef LEDS_H
#define LEDS_H

#include "types.h"

constexpr uint8 LED_LEFT = 9;
constexpr uint8 LED_RIGHT = 10;

extern "C" {

void leds_init(void);            // both dark; the remembered levels are not written
void led_on(uint8 led);
void led_off(uint8 led);
void led_switch(uint8 led);
uint8 led_status(uint8 led);     // 0 lit, 1 dark (1 for a pin other than 9 and 10)

}

#endif
