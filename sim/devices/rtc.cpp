#include "devices/rtc.h"

#include "core/s3c44b0x.h"

namespace sim {

namespace {
enum : uint32_t {
  RTCCON = 0x40,   // [3] CLKRST, [2] CNTSEL, [1] CLKSEL, [0] RTCEN
  RTCALM = 0x50,   // [6] alarm on, [5..0] compare year, month, day, hour, min, sec
  ALMSEC = 0x54,
  ALMMIN = 0x58,
  ALMHOUR = 0x5C,
  ALMDAY = 0x60,
  ALMMON = 0x64,
  ALMYEAR = 0x68,
  RTCRST = 0x6C,   // [3] round reset enable, [2:0] boundary
  BCDSEC = 0x70,   // BCDSEC .. BCDYEAR take writes only while RTCEN is 1
  BCDMIN = 0x74,
  BCDHOUR = 0x78,
  BCDDAY = 0x7C,   // day of the month
  BCDDATE = 0x80,  // day of the week
  BCDMON = 0x84,
  BCDYEAR = 0x88,
  TICNT = 0x8C,    // [7] tick interrupt enable, [6:0] period - 1 in 1/128 s
};

enum Field { kSec, kMin, kHour, kDay, kWeekday, kMon, kYear };
// Implemented bits of each BCD register; the rest read 0.
constexpr uint8_t kFieldMask[7] = {0x7F, 0x7F, 0x3F, 0x3F, 0x07, 0x1F, 0xFF};
// ALMSEC .. ALMYEAR: the calendar field each compares with, and its width.
constexpr Field kAlarmField[6] = {kSec, kMin, kHour, kDay, kMon, kYear};
constexpr uint8_t kAlarmMask[6] = {0x7F, 0x7F, 0x3F, 0x3F, 0x1F, 0xFF};
constexpr uint8_t kAlarmReset[6] = {0x00, 0x00, 0x00, 0x01, 0x01, 0x00};

constexpr VTime kTickUnit = kSecond / 128;

int from_bcd(uint8_t b) { return (b & 0x0F) + (b >> 4) * 10; }
uint8_t to_bcd(int v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); }

int days_in_month(int mon, int year) {
  switch (mon) {
    case 2: return year % 4 == 0 ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
  }
}

// Steps a counter field `n` times over first..last; a value past `last` wraps
// on its first step, one below `first` just counts up. Returns the carries
// out; the register byte is left untouched when n is 0.
uint64_t step_field(uint8_t& reg, int first, int last, uint64_t n) {
  if (n == 0) return 0;
  int value = from_bcd(reg);
  uint64_t range = static_cast<uint64_t>(last - first + 1);
  uint64_t to_wrap = value > last ? 1 : static_cast<uint64_t>(last - value + 1);
  if (n < to_wrap) {
    reg = to_bcd(value + static_cast<int>(n));
    return 0;
  }
  n -= to_wrap;
  reg = to_bcd(first + static_cast<int>(n % range));
  return 1 + n / range;
}
}  // namespace

RtcTime RtcTime::from_tm(const std::tm& tm) {
  RtcTime t;
  t.year = tm.tm_year % 100;
  t.mon = tm.tm_mon + 1;
  t.mday = tm.tm_mday;
  t.wday = tm.tm_wday + 1;
  t.hour = tm.tm_hour;
  t.min = tm.tm_min;
  t.sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second has no register value
  return t;
}

Rtc::Rtc(uint32_t base, Scheduler& scheduler, Intc& intc, const RtcTime& start)
    : Device("rtc", base, 0x90),
      scheduler_(scheduler),
      intc_(intc),
      tick_event_(scheduler, "rtc-tick", [this](VTime) { tick(scheduler_.now()); }),
      second_event_(scheduler, "rtc-alarm", [this](VTime) { check_alarm(scheduler_.now()); }),
      start_(start) {
  tick_event_.set_interrupt_sources(chip::irq_bit(chip::kIrqTick));
  second_event_.set_interrupt_sources(chip::irq_bit(chip::kIrqRtc));
  reset();
}

void Rtc::reset() {
  tick_event_.cancel();
  second_event_.cancel();
  rtccon_ = rtcalm_ = rtcrst_ = ticnt_ = 0;
  for (int i = 0; i < 6; ++i) alarm_[i] = kAlarmReset[i];
  closed_write_reported_ = false;
  set_start_time(start_);
}

void Rtc::set_start_time(const RtcTime& start) {
  start_ = start;
  const int values[7] = {start.sec, start.min, start.hour, start.mday, start.wday, start.mon, start.year};
  for (int i = 0; i < 7; ++i) regs_[i] = to_bcd(values[i]) & kFieldMask[i];
  second_start_ = scheduler_.now();
  arm_alarm();
}

void Rtc::advance(Calendar& regs, uint64_t seconds) {
  uint64_t carry = step_field(regs[kSec], 0, 59, seconds);
  carry = step_field(regs[kMin], 0, 59, carry);
  uint64_t days = step_field(regs[kHour], 0, 23, carry);
  step_field(regs[kWeekday], 1, 7, days);
  // Month lengths vary, so days carry one month at a time.
  while (days > 0) {
    int day = from_bcd(regs[kDay]);
    int length = days_in_month(from_bcd(regs[kMon]), from_bcd(regs[kYear]));
    uint64_t to_wrap = day > length ? 1 : static_cast<uint64_t>(length - day + 1);
    if (days < to_wrap) {
      regs[kDay] = to_bcd(day + static_cast<int>(days));
      break;
    }
    days -= to_wrap;
    regs[kDay] = 0x01;
    if (step_field(regs[kMon], 1, 12, 1)) step_field(regs[kYear], 0, 99, 1);
  }
}

Rtc::Calendar Rtc::calendar_at(VTime when, VTime* second_start) const {
  Calendar regs = regs_;
  VTime start = second_start_;
  if (when > start) {
    uint64_t seconds = (when - start) / kSecond;
    advance(regs, seconds);
    start += seconds * kSecond;
  }
  if (second_start) *second_start = start;
  return regs;
}

void Rtc::sync() { regs_ = calendar_at(scheduler_.now(), &second_start_); }

RtcTime Rtc::time() const {
  Calendar r = calendar_at(scheduler_.now(), nullptr);
  RtcTime t;
  t.sec = from_bcd(r[kSec]);
  t.min = from_bcd(r[kMin]);
  t.hour = from_bcd(r[kHour]);
  t.mday = from_bcd(r[kDay]);
  t.wday = from_bcd(r[kWeekday]);
  t.mon = from_bcd(r[kMon]);
  t.year = from_bcd(r[kYear]);
  return t;
}

VTime Rtc::tick_period() const { return (static_cast<VTime>(ticnt_ & 0x7F) + 1) * kTickUnit; }

void Rtc::tick(VTime due) {
  intc_.request(chip::kIrqTick);
  tick_event_.schedule_at(due + tick_period());
}

void Rtc::arm_alarm() {
  second_event_.cancel();
  if (!alarm_enabled()) return;
  VTime start;
  calendar_at(scheduler_.now(), &start);
  second_event_.schedule_at(start + kSecond);
}

void Rtc::check_alarm(VTime due) {
  sync();
  bool match = true;
  for (int i = 0; i < 6; ++i)
    if ((rtcalm_ >> i) & 1) match = match && regs_[kAlarmField[i]] == alarm_[i];
  if (match) intc_.request(chip::kIrqRtc);
  second_event_.schedule_at(due + kSecond);
}

uint32_t Rtc::read(uint32_t offset, unsigned) {
  switch (offset) {
    case RTCCON: return rtccon_;
    case RTCALM: return rtcalm_;
    case ALMSEC:
    case ALMMIN:
    case ALMHOUR:
    case ALMDAY:
    case ALMMON:
    case ALMYEAR: return alarm_[(offset - ALMSEC) / 4];
    case RTCRST: return rtcrst_;
    case BCDSEC:
    case BCDMIN:
    case BCDHOUR:
    case BCDDAY:
    case BCDDATE:
    case BCDMON:
    case BCDYEAR: sync(); return regs_[(offset - BCDSEC) / 4];
    case TICNT: return ticnt_;
    default: log_unmodelled(offset, false); return 0;
  }
}

void Rtc::write(uint32_t offset, uint32_t value, unsigned) {
  if (!gate_.check(name(), ClockPower::kRtc, "the write is lost (the calendar counts on)")) return;
  switch (offset) {
    case RTCCON: rtccon_ = value & 0x0F; return;
    case RTCALM:
      rtcalm_ = value & 0x7F;
      arm_alarm();
      return;
    case ALMSEC:
    case ALMMIN:
    case ALMHOUR:
    case ALMDAY:
    case ALMMON:
    case ALMYEAR: {
      int i = static_cast<int>((offset - ALMSEC) / 4);
      alarm_[i] = static_cast<uint8_t>(value) & kAlarmMask[i];
      return;
    }
    case RTCRST: rtcrst_ = value & 0x0F; return;
    case BCDSEC:
    case BCDMIN:
    case BCDHOUR:
    case BCDDAY:
    case BCDDATE:
    case BCDMON:
    case BCDYEAR: {
      if (!(rtccon_ & 1)) {
        if (!closed_write_reported_) log("BCD register written while RTCEN is 0: ignored (reported once)");
        closed_write_reported_ = true;
        return;
      }
      int i = static_cast<int>((offset - BCDSEC) / 4);
      sync();
      regs_[i] = static_cast<uint8_t>(value) & kFieldMask[i];
      second_start_ = scheduler_.now();
      arm_alarm();
      return;
    }
    case TICNT:
      ticnt_ = value & 0xFF;
      tick_event_.cancel();
      if (tick_enabled()) tick_event_.schedule_at(scheduler_.now() + tick_period());
      return;
    default: log_unmodelled(offset, true); return;
  }
}

VTime Rtc::stable_until(uint32_t offset) {
  switch (offset) {
    case BCDSEC:
    case BCDMIN:
    case BCDHOUR:
    case BCDDAY:
    case BCDDATE:
    case BCDMON:
    case BCDYEAR: {
      VTime start;
      Calendar regs = calendar_at(scheduler_.now(), &start);
      VTime next = start + kSecond;
      if (offset == BCDSEC) return next;
      // The other fields change only when the seconds wrap.
      int sec = from_bcd(regs[kSec]);
      return next + static_cast<VTime>(sec < 59 ? 59 - sec : 0) * kSecond;
    }
    default: return kForever;
  }
}

}  // namespace sim
