// LEDs on PB9 (left) and PB10 (right).
#include "leds.h"
#include "s3c44b0x.h"

// Initialised data, not set by code: leds_init runs twice at start-up (the
// port set-up and main) and must not forget an LED lit in between.
static uint8 leds_state_left = 1;
static uint8 leds_state_right = 1;

static void remember(uint8 led, uint8 level)
{
    if (led == LED_LEFT)
        leds_state_left = level;
    else if (led == LED_RIGHT)
        leds_state_right = level;
}

void leds_init(void)
{
    reg32(PDATB) |= PDATB_LED_LEFT | PDATB_LED_RIGHT;
}

void led_on(uint8 led)
{
    reg32(PDATB) &= ~(1u << led);
    remember(led, 0);
}

void led_off(uint8 led)
{
    reg32(PDATB) |= 1u << led;
    remember(led, 1);
}

void led_switch(uint8 led)
{
    reg32(PDATB) ^= 1u << led;
    if (led == LED_LEFT || led == LED_RIGHT)
        remember(led, led_status(led) ^ 1);
}

uint8 led_status(uint8 led)
{
    if (led == LED_LEFT)
        return leds_state_left;
    if (led == LED_RIGHT)
        return leds_state_right;
    return 1;
}
