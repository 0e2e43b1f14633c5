// The two push-buttons on PG6 (code 0x40) and PG7 (code 0x80), 0 while pressed.
// Results: the button's code, 0xFF for a press gone within the debounce
// pause, 0xFE for a time-out. With both down, 0x80 wins.
#ifndef PBS_H
#define PBS_H

#include "types.h"

constexpr uint8 PB_LEFT = 0x40;       // PG6
constexpr uint8 PB_RIGHT = 0x80;      // PG7
constexpr uint8 PB_BOUNCE = 0xFF;
constexpr uint8 PB_TIMEOUT = 0xFE;

extern "C" {

void pbs_init(void);                  // nothing to set up
void pb_wait_keydown(uint8 pb);
void pb_wait_keyup(uint8 pb);
uint8 pb_getchar(void);
uint8 pb_getchartime(uint16 *ms);     // *ms: press to the end of the release pause
uint8 pb_timeout_getchar(uint16 n);   // n seconds, 1..6
void pbs_open(void (*isr)(void));
void pbs_close(void);

// The result of a read from the PDATG levels sampled after the press pause:
// 0x80 before 0x40, then the time-out, then a bounce.
uint8 pbs_decide(uint32 pdatg, boolean timed_out);

}

#endif
