// The chip's real-time clock: binary time records in, BCD registers out, and
// the periodic tick interrupt. The clock is reset at every start.
#ifndef RTC_H
#define RTC_H

#include "types.h"

// Plain binary values, not BCD, in the order of the clock's registers.
typedef struct {
    uint8 sec;    // 0..59
    uint8 min;    // 0..59
    uint8 hour;   // 0..23
    uint8 mday;   // day of the month, 1..31
    uint8 wday;   // day of the week, 1..7, carried through unchanged
    uint8 mon;    // 1..12
    uint8 year;   // 0..99
} rtc_time_t;

extern "C" {

void rtc_init(void);                          // tick and alarm off; 00:00:00, 1/1/13, weekday 3
void rtc_puttime(const rtc_time_t *rtc_time);
void rtc_gettime(rtc_time_t *rtc_time);
// Installs the tick handler; a tick every ((tick_count & 0x7F) + 1) / 128 s.
// The handler clears the tick's pending bit itself (I_ISPC = INT_TICK).
void rtc_open(void (*isr)(void), uint8 tick_count);
void rtc_close(void);

// --- Device-independent clock logic ----------------------------------------

uint8 rtc_bin_to_bcd(uint8 value);            // 0..99
uint8 rtc_bcd_to_bin(uint8 bcd);

// Reads the seven BCD registers through `read` (an address in, the register's
// value out), the largest unit first; a seconds value of 0 means a carry may
// have happened during the reading, so the registers are read once more.
typedef uint32 (*rtc_reader_t)(uint32 address, void *context);
void rtc_read_time(rtc_time_t *rtc_time, rtc_reader_t read, void *context);

}

#endif
