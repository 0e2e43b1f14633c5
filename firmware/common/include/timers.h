// Time for the rest of the system: a software busy loop calibrated at
// start-up, waits, a stopwatch and a one-shot time-out on PWM timer 3, and the
// connection of handlers to the six timer interrupts. Timer 3 has one user at
// a time, from the main loop only.
#ifndef TIMERS_H
#define TIMERS_H

#include "types.h"

extern "C" {

void timers_init(void);            // resets the timer block and calibrates the busy loop

void sw_delay_ms(uint16 n);        // about n ms; 0 returns at once
void sw_delay_s(uint16 n);

void timer3_delay_ms(uint16 n);    // n passes of 1 ms on timer 3
void timer3_delay_s(uint16 n);     // n passes of 1 s on timer 3

// Stopwatch in ticks of 0.1 ms; it saturates at 65535 (6.5535 s).
void timer3_start(void);
uint16 timer3_stop(void);
// One-shot count of n ticks of 0.1 ms; timer3_timeout is 1 once it has run
// out. A count of 0 has run out from the start.
void timer3_start_timeout(uint16 n);
uint16 timer3_timeout(void);

void timer0_open(void (*isr)(void));
void timer1_open(void (*isr)(void));
void timer2_open(void (*isr)(void));
void timer3_open(void (*isr)(void));
void timer4_open(void (*isr)(void));
void timer5_open(void (*isr)(void));
void timer0_close(void);
void timer1_close(void);
void timer2_close(void);
void timer3_close(void);
void timer4_close(void);
void timer5_close(void);

// Busy-loop passes per unit from a calibration run: `ticks` of 0.1 ms
// measured for a known number of passes, `scale` = passes x ticks per unit.
// A run too fast to measure (0 ticks) counts as 1 tick.
int32 timers_passes_per_unit(uint32 scale, uint16 ticks);

}

#endif
