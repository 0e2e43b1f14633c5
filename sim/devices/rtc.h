// S3C44B0X real-time clock (user's manual, "Real time clock"): the BCD
// calendar registers, RTCCON, the alarm registers and the tick interrupt.
//
// The calendar counts whole seconds of virtual time from the last time it was
// set, with the chip's carries: 60 seconds, 60 minutes, 24 hours, the month
// lengths with February's 29th in every year divisible by 4 (year 00
// included), 12 months, 100 years. The day of the week (BCDDATE, 1..7)
// steps at midnight. Registers are brought up to date when accessed, never
// ticked.
//
// Not modelled: the 32.768 kHz oscillator (time is exact), RTCCON's CLKSEL,
// CNTSEL and CLKRST and RTCRST's round reset (all stored and read back).
//
// Judgement calls:
// - At power-on the chip's BCD registers are undefined; here they hold a
//   start time given by the board (the host's local time) or by a test.
//   reset() is power-on: the clock restarts from that start time, since the
//   board's backup supply is not modelled.
// - Every accepted write to a BCD time register restarts the seconds phase
//   (the next carry comes one full second later), so time written field by
//   field counts on from the moment it was written.
// - Only writes are gated by RTCEN; reads work either way.
// - The RTC's CLKCON bit (11) gates only its register interface: with it off
//   (or in SL_IDLE, STOP) the calendar, the tick and the alarm go on, on
//   their crystal, and a write is lost (reported once); reads still answer.
// - A field holding a value past its range (written as such) wraps to its
//   first value with a carry on its next step; a byte that is not BCD is kept
//   as written until its field steps.
// - Each write to TICNT that leaves the tick enabled restarts its period, so
//   the first tick comes (n + 1)/128 s after the write.
// - The alarm is checked at every second boundary while RTCALM enables it,
//   and requests the RTC alarm interrupt when the enabled fields all match.
#pragma once
#include <array>
#include <ctime>

#include "devices/clock_power.h"
#include "core/device.h"
#include "devices/intc.h"

namespace sim {

// A calendar time as plain numbers, as the registers hold it in BCD.
struct RtcTime {
  int year = 0;  // within the century, 0..99
  int mon = 1;   // 1..12
  int mday = 1;  // day of the month, 1..31
  int wday = 7;  // day of the week, 1..7, 1 = Sunday (1/1/00 was a Saturday)
  int hour = 0;
  int min = 0;
  int sec = 0;

  static RtcTime from_tm(const std::tm& tm);
  bool operator==(const RtcTime& o) const {
    return year == o.year && mon == o.mon && mday == o.mday && wday == o.wday && hour == o.hour &&
           min == o.min && sec == o.sec;
  }
};

class Rtc : public Device {
 public:
  Rtc(uint32_t base, Scheduler& scheduler, Intc& intc, const RtcTime& start = RtcTime{});

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  VTime stable_until(uint32_t offset) override;
  void set_clock_enabled(bool on) { gate_.on = on; }

  // The time the clock holds at power-on; also sets the clock to it now.
  void set_start_time(const RtcTime& start);
  // The calendar now (fields not holding BCD read as their digits' value).
  RtcTime time() const;
  bool tick_enabled() const { return ticnt_ & 0x80; }
  // Length of one tick period for the current TICNT.
  VTime tick_period() const;

 private:
  // Register bytes in BCDSEC .. BCDYEAR order (4 bytes apart on the bus).
  using Calendar = std::array<uint8_t, 7>;
  static void advance(Calendar& regs, uint64_t seconds);
  Calendar calendar_at(VTime when, VTime* second_start) const;
  void sync();
  void tick(VTime due);
  void arm_alarm();
  void check_alarm(VTime due);
  bool alarm_enabled() const { return (rtcalm_ & 0x40) && (rtcalm_ & 0x3F); }

  Scheduler& scheduler_;
  Intc& intc_;
  Event tick_event_;
  Event second_event_;  // second boundaries, only while the alarm is on
  RtcTime start_;
  Calendar regs_{};
  VTime second_start_ = 0;  // virtual time at which regs_ became current
  uint32_t rtccon_ = 0, rtcalm_ = 0, rtcrst_ = 0, ticnt_ = 0;
  std::array<uint8_t, 6> alarm_{};  // ALMSEC .. ALMYEAR
  bool closed_write_reported_ = false;
  ClockGateState gate_;
};

}  // namespace sim
