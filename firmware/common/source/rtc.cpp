// Real-time clock driver.
#include "rtc.h"

#include "s3c44b0x.h"

static constexpr uint32 RTCCON_RTCEN = 1u << 0;
static constexpr uint32 TICNT_ENABLE = 0x80;
static constexpr uint32 TICNT_COUNT = 0x7F;

uint8 rtc_bin_to_bcd(uint8 value)
{
    return static_cast<uint8>(((value / 10) << 4) + (value % 10));
}

uint8 rtc_bcd_to_bin(uint8 bcd)
{
    return static_cast<uint8>((bcd & 0x0F) + (bcd >> 4) * 10);
}

static uint8 read_bcd(rtc_reader_t read, void *context, uint32 address)
{
    return rtc_bcd_to_bin(static_cast<uint8>(read(address, context) & 0xFF));
}

static void read_once(rtc_time_t *t, rtc_reader_t read, void *context)
{
    t->year = read_bcd(read, context, BCDYEAR);
    t->mon = read_bcd(read, context, BCDMON);
    t->wday = read_bcd(read, context, BCDDATE);
    t->mday = read_bcd(read, context, BCDDAY);
    t->hour = read_bcd(read, context, BCDHOUR);
    t->min = read_bcd(read, context, BCDMIN);
    t->sec = read_bcd(read, context, BCDSEC);
}

void rtc_read_time(rtc_time_t *rtc_time, rtc_reader_t read, void *context)
{
    read_once(rtc_time, read, context);
    // A carry between the reads of the larger units and the seconds shows as
    // seconds 0 with stale minutes (12:59:00 for 13:00:00); the second pass
    // comes after the carry. It cannot happen twice within one pass.
    if (rtc_time->sec == 0)
        read_once(rtc_time, read, context);
}

static uint32 read_register(uint32 address, void *)
{
    return reg32(address);
}

void rtc_init(void)
{
    reg32(TICNT) = 0;
    reg32(RTCALM) = 0;
    reg32(RTCRST) = 0;
    reg32(RTCCON) = RTCCON_RTCEN;
    reg32(BCDSEC) = 0x00;
    reg32(BCDMIN) = 0x00;
    reg32(BCDHOUR) = 0x00;
    reg32(BCDDAY) = 0x01;
    reg32(BCDDATE) = 0x03;
    reg32(BCDMON) = 0x01;
    reg32(BCDYEAR) = 0x13;
    reg32(ALMSEC) = 0;
    reg32(ALMMIN) = 0;
    reg32(ALMHOUR) = 0;
    reg32(ALMDAY) = 0;
    reg32(ALMMON) = 0;
    reg32(ALMYEAR) = 0;
    reg32(RTCCON) = 0;
}

void rtc_puttime(const rtc_time_t *rtc_time)
{
    // A tick here would run rtc_gettime, whose closing RTCCON = 0 would make
    // the clock drop the rest of these writes: the tick waits until they are done.
    uint32 mask = reg32(INTMSK);
    reg32(INTMSK) = mask | INT_TICK;

    reg32(RTCCON) = RTCCON_RTCEN;
    reg32(BCDSEC) = rtc_bin_to_bcd(rtc_time->sec);
    reg32(BCDMIN) = rtc_bin_to_bcd(rtc_time->min);
    reg32(BCDHOUR) = rtc_bin_to_bcd(rtc_time->hour);
    reg32(BCDDAY) = rtc_bin_to_bcd(rtc_time->mday);
    reg32(BCDDATE) = rtc_bin_to_bcd(rtc_time->wday);
    reg32(BCDMON) = rtc_bin_to_bcd(rtc_time->mon);
    reg32(BCDYEAR) = rtc_bin_to_bcd(rtc_time->year);
    reg32(RTCCON) = 0;

    reg32(INTMSK) = mask;
}

void rtc_gettime(rtc_time_t *rtc_time)
{
    reg32(RTCCON) = RTCCON_RTCEN;
    rtc_read_time(rtc_time, read_register, nullptr);
    reg32(RTCCON) = 0;
}

void rtc_open(void (*isr)(void), uint8 tick_count)
{
    isr_slot_set(ISR_SLOT_TICK, isr);
    reg32(I_ISPC) = INT_TICK;
    reg32(INTMSK) &= ~(INT_GLOBAL | INT_TICK);
    reg32(TICNT) = tick_count & TICNT_COUNT;
    reg32(TICNT) |= TICNT_ENABLE;
}

void rtc_close(void)
{
    reg32(TICNT) = 0;
    reg32(INTMSK) |= INT_TICK;
    isr_slot_set(ISR_SLOT_TICK, nullptr);
}
