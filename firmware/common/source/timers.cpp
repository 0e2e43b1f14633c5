// Software delays and PWM timer 3.
#include "timers.h"

#include "s3c44b0x.h"

// Busy-loop passes per millisecond and per second; 0 until calibrated, which
// makes the software delays return at once.
static int ms = 0;
static int s = 0;

// Timer 3 fields: prescaler of timers 2/3 in TCFG0, MUX3 in TCFG1, and its
// four control bits in TCON.
static constexpr uint32 TCFG0_PRESCALER23 = 0x0000FF00;
static constexpr uint32 TCFG1_MUX3 = 0x0000F000;
static constexpr uint32 TCON_TIMER3 = 0x000F0000;
static constexpr uint32 TCON_T3_START = 0x00010000;
static constexpr uint32 TCON_T3_MANUAL_UPDATE = 0x00020000;

// Timer 3 settings at MCLK 64 MHz: tick = MCLK / (prescaler + 1) / divider.
static constexpr uint8 DELAY_MS_PRESCALER = 0x00, DELAY_MS_MUX = 0x0;   // 31.25 ns
static constexpr uint16 DELAY_MS_COUNT = 32000;
static constexpr uint8 DELAY_S_PRESCALER = 0x3F, DELAY_S_MUX = 0x7;     // 32 us
static constexpr uint16 DELAY_S_COUNT = 31250;
static constexpr uint8 WATCH_PRESCALER = 0xC7, WATCH_MUX = 0x4;         // 0.1 ms
static constexpr uint16 WATCH_FULL = 0xFFFF;

int32 timers_passes_per_unit(uint32 scale, uint16 ticks)
{
    if (ticks == 0)
        ticks = 1;
    return static_cast<int32>(scale / ticks);
}

// The calibration and the delays run this same loop, so a pass costs the same
// in both: the counter lives in memory and is tested and decremented there.
__attribute__((noinline)) static void count_down(int passes)
{
    volatile int counter = passes;
    while (counter != 0)
        counter = counter - 1;
}

// Loads `count` into timer 3 and starts it one-shot. Returns once the counter
// shows the load (a count of 0 never shows, and needs no wait).
static void timer3_run(uint8 prescaler, uint8 mux, uint16 count)
{
    reg32(TCFG0) = (reg32(TCFG0) & ~TCFG0_PRESCALER23) | (static_cast<uint32>(prescaler) << 8);
    reg32(TCFG1) = (reg32(TCFG1) & ~TCFG1_MUX3) | (static_cast<uint32>(mux) << 12);
    reg32(TCNTB3) = count;
    reg32(TCON) = (reg32(TCON) & ~TCON_TIMER3) | TCON_T3_MANUAL_UPDATE;
    reg32(TCON) = (reg32(TCON) & ~TCON_TIMER3) | TCON_T3_START;
    if (count == 0)
        return;
    while (reg32(TCNTO3) == 0) {
    }
}

static void timer3_wait(uint8 prescaler, uint8 mux, uint16 count, uint16 passes)
{
    for (uint16 i = 0; i < passes; ++i) {
        timer3_run(prescaler, mux, count);
        while (reg32(TCNTO3) != 0) {
        }
    }
}

void timers_init(void)
{
    reg32(TCFG0) = 0;
    reg32(TCFG1) = 0;
    reg32(TCON) = 0;
    reg32(TCNTB0) = 0;
    reg32(TCNTB1) = 0;
    reg32(TCNTB2) = 0;
    reg32(TCNTB3) = 0;
    reg32(TCNTB4) = 0;
    reg32(TCNTB5) = 0;
    reg32(TCMPB0) = 0;
    reg32(TCMPB1) = 0;
    reg32(TCMPB2) = 0;
    reg32(TCMPB3) = 0;
    reg32(TCMPB4) = 0;

    // 10000 passes took `ticks` x 0.1 ms: passes per ms = 10000 x 10 / ticks.
    timer3_start();
    count_down(10000);
    ms = timers_passes_per_unit(100000, timer3_stop());

    timer3_start();
    count_down(100000);
    s = timers_passes_per_unit(1000000000, timer3_stop());
}

void sw_delay_ms(uint16 n)
{
    for (uint16 i = 0; i < n; ++i)
        count_down(ms);
}

void sw_delay_s(uint16 n)
{
    for (uint16 i = 0; i < n; ++i)
        count_down(s);
}

void timer3_delay_ms(uint16 n)
{
    timer3_wait(DELAY_MS_PRESCALER, DELAY_MS_MUX, DELAY_MS_COUNT, n);
}

void timer3_delay_s(uint16 n)
{
    timer3_wait(DELAY_S_PRESCALER, DELAY_S_MUX, DELAY_S_COUNT, n);
}

void timer3_start(void)
{
    timer3_run(WATCH_PRESCALER, WATCH_MUX, WATCH_FULL);
}

uint16 timer3_stop(void)
{
    // The one-shot count stops at 0 by itself, so it is left running.
    return static_cast<uint16>(WATCH_FULL - (reg32(TCNTO3) & 0xFFFF));
}

void timer3_start_timeout(uint16 n)
{
    timer3_run(WATCH_PRESCALER, WATCH_MUX, n);
}

uint16 timer3_timeout(void)
{
    return reg32(TCNTO3) == 0 ? 1 : 0;
}

void timer0_open(void (*isr)(void)) { isr_install(INT_TIMER0, isr); }
void timer1_open(void (*isr)(void)) { isr_install(INT_TIMER1, isr); }
void timer2_open(void (*isr)(void)) { isr_install(INT_TIMER2, isr); }
void timer3_open(void (*isr)(void)) { isr_install(INT_TIMER3, isr); }
void timer4_open(void (*isr)(void)) { isr_install(INT_TIMER4, isr); }
void timer5_open(void (*isr)(void)) { isr_install(INT_TIMER5, isr); }

void timer0_close(void) { isr_remove(INT_TIMER0); }
void timer1_close(void) { isr_remove(INT_TIMER1); }
void timer2_close(void) { isr_remove(INT_TIMER2); }
void timer3_close(void) { isr_remove(INT_TIMER3); }
void timer4_close(void) { isr_remove(INT_TIMER4); }
void timer5_close(void) { isr_remove(INT_TIMER5); }
