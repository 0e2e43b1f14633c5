// Push-buttons on port G, polled.
#include "pbs.h"

#include "s3c44b0x.h"
#include "timers.h"

static constexpr uint16 PRESS_DEBOUNCE_MS = 30;
static constexpr uint16 RELEASE_DEBOUNCE_MS = 100;

uint8 pbs_decide(uint32 pdatg, boolean timed_out)
{
    if ((pdatg & PDATG_PB7) == 0)
        return PB_RIGHT;
    if ((pdatg & PDATG_PB6) == 0)
        return PB_LEFT;
    return timed_out ? PB_TIMEOUT : PB_BOUNCE;
}

static bool is_down(uint8 pb)
{
    return (reg32(PDATG) & pb) == 0;
}

static bool any_down(void)
{
    return (reg32(PDATG) & (PDATG_PB6 | PDATG_PB7)) != (PDATG_PB6 | PDATG_PB7);
}

static void wait_up(uint8 pb)
{
    while (is_down(pb)) {
    }
}

static void wait_down(uint8 pb)
{
    while (!is_down(pb)) {
    }
}

// After the press pause: the decision, then the wait for that button's release.
static uint8 settle(boolean timed_out)
{
    uint8 result = pbs_decide(reg32(PDATG), timed_out);
    if (result == PB_LEFT || result == PB_RIGHT)
        wait_up(result);
    sw_delay_ms(RELEASE_DEBOUNCE_MS);
    return result;
}

void pbs_init(void)
{
}

void pb_wait_keydown(uint8 pb)
{
    if (pb == PB_LEFT || pb == PB_RIGHT)
        wait_down(pb);
    sw_delay_ms(PRESS_DEBOUNCE_MS);
}

void pb_wait_keyup(uint8 pb)
{
    if (pb == PB_LEFT || pb == PB_RIGHT) {
        wait_down(pb);
        sw_delay_ms(PRESS_DEBOUNCE_MS);
        wait_up(pb);
    }
    sw_delay_ms(RELEASE_DEBOUNCE_MS);
}

uint8 pb_getchar(void)
{
    while (!any_down()) {
    }
    sw_delay_ms(PRESS_DEBOUNCE_MS);
    uint8 pulsado = settle(FALSE);
    return pulsado;
}

uint8 pb_getchartime(uint16 *ms)
{
    while (!any_down()) {
    }
    timer3_start();
    sw_delay_ms(PRESS_DEBOUNCE_MS);
    uint8 pulsado = settle(FALSE);
    *ms = static_cast<uint16>(timer3_stop() / 10);
    return pulsado;
}

uint8 pb_timeout_getchar(uint16 n)
{
    timer3_start_timeout(static_cast<uint16>(n * 10000u));
    while (!timer3_timeout() && !any_down()) {
    }
    sw_delay_ms(PRESS_DEBOUNCE_MS);
    uint8 scancode = settle(timer3_timeout() ? TRUE : FALSE);
    return scancode;
}

void pbs_open(void (*isr)(void))
{
    isr_install(INT_EINT4567, isr);
}

void pbs_close(void)
{
    isr_remove(INT_EINT4567);
}
