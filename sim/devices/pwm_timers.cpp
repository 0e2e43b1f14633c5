#include "devices/pwm_timers.h"

#include "core/s3c44b0x.h"

namespace sim {

namespace {
enum : uint32_t {
  TCFG0 = 0x00,  // [31:24] dead zone, [23:16] prescaler 4/5, [15:8] 2/3, [7:0] 0/1
  TCFG1 = 0x04,  // [27:24] DMA select, [23:0] one 4-bit mux per timer
  TCON = 0x08,
  TCNTB0 = 0x0C,
  TCMPB0 = 0x10,
  TCNTO0 = 0x14,  // read-only
  TCNTB1 = 0x18,
  TCMPB1 = 0x1C,
  TCNTO1 = 0x20,  // read-only
  TCNTB2 = 0x24,
  TCMPB2 = 0x28,
  TCNTO2 = 0x2C,  // read-only
  TCNTB3 = 0x30,
  TCMPB3 = 0x34,
  TCNTO3 = 0x38,  // read-only
  TCNTB4 = 0x3C,
  TCMPB4 = 0x40,
  TCNTO4 = 0x44,  // read-only
  TCNTB5 = 0x48,  // timer 5 has no compare buffer
  TCNTO5 = 0x4C,  // read-only
};

constexpr uint32_t kTconMask = 0x07FFFF1F;  // timer 0 has 5 bits, 1..4 four, 5 three
// Where each timer's TCON field starts; within it bit 0 is start, bit 1 manual
// update, then inverter and auto-reload (timer 5: auto-reload right after
// manual update, no inverter).
constexpr int kTconShift[PwmTimers::kTimers] = {0, 8, 12, 16, 20, 24};
constexpr uint32_t kStart = 1, kManualUpdate = 2, kAutoReload = 8;

constexpr int kIrq[PwmTimers::kTimers] = {chip::kIrqTimer0, chip::kIrqTimer1, chip::kIrqTimer2,
                                          chip::kIrqTimer3, chip::kIrqTimer4, chip::kIrqTimer5};

int timer_of_tcntb(uint32_t offset) { return offset == TCNTB5 ? 5 : static_cast<int>((offset - TCNTB0) / 0x0C); }
int timer_of_tcmpb(uint32_t offset) { return static_cast<int>((offset - TCMPB0) / 0x0C); }
bool is_tcnto(uint32_t offset) {
  return offset == TCNTO5 || (offset >= TCNTO0 && offset <= TCNTO4 && (offset - TCNTO0) % 0x0C == 0);
}
int timer_of_tcnto(uint32_t offset) { return offset == TCNTO5 ? 5 : static_cast<int>((offset - TCNTO0) / 0x0C); }
}  // namespace

PwmTimers::PwmTimers(uint32_t base, Scheduler& scheduler, Intc& intc)
    : Device("pwm-timers", base, 0x50), scheduler_(scheduler), intc_(intc) {
  for (int n = 0; n < kTimers; ++n) {
    timers_[n].zero = std::make_unique<Event>(
        scheduler, "timer" + std::to_string(n), [this, n](VTime) { reached_zero(n, scheduler_.now()); });
    timers_[n].zero->set_interrupt_sources(chip::irq_bit(kIrq[n]));
  }
  reset();
}

void PwmTimers::reset() {
  tcfg0_ = tcfg1_ = tcon_ = 0;
  for (Timer& t : timers_) {
    t.zero->cancel();
    t.tcntb = t.tcmpb = t.tcmp = t.count0 = 0;
    t.ran = false;
    t.t0 = 0;
    t.tick = 0;
    t.counting = t.reload = t.external_reported = false;
  }
}

uint32_t PwmTimers::tcon_bits(int n) const {
  uint32_t field = tcon_ >> kTconShift[n];
  if (n < 5) return field & 0xF;
  return (field & 3) | ((field & 4) ? kAutoReload : 0);
}

VTime PwmTimers::input_tick(int n, bool* external) const {
  uint32_t prescaler = (tcfg0_ >> (8 * (n / 2))) & 0xFF;
  uint32_t mux = (tcfg1_ >> (4 * n)) & 0xF;
  *external = n >= 4 && mux >= 4;
  uint32_t divider = mux >= 4 ? 32 : 2u << mux;
  return scheduler_.cycle_period() * (prescaler + 1) * divider;
}

uint32_t PwmTimers::count_at(const Timer& t, VTime when) const {
  if (!t.counting || when <= t.t0) return t.count0;
  uint64_t k = (when - t.t0) / t.tick;
  if (k <= t.count0) return t.count0 - static_cast<uint32_t>(k);
  if (!t.reload) return 0;
  uint64_t into_period = (k - t.count0 - 1) % (static_cast<uint64_t>(t.tcntb) + 1);
  return t.tcntb - static_cast<uint32_t>(into_period);
}

uint32_t PwmTimers::count(int timer) const { return count_at(timers_[timer], scheduler_.now()); }

// Moves the reference point to the last tick boundary at or before `when`,
// so that a new TCNTB or reload setting applies from there on.
void PwmTimers::rebase(Timer& t, VTime when) {
  if (!t.counting || when <= t.t0) return;
  uint32_t c = count_at(t, when);
  t.t0 += (when - t.t0) / t.tick * t.tick;
  t.count0 = c;
}

void PwmTimers::arm_zero(Timer& t) {
  t.zero->cancel();
  if (!t.counting) return;
  if (t.count0 > 0) t.zero->schedule_at(t.t0 + static_cast<VTime>(t.count0) * t.tick);
  else if (t.reload) t.zero->schedule_at(t.t0 + (static_cast<VTime>(t.tcntb) + 1) * t.tick);
}

void PwmTimers::reached_zero(int n, VTime due) {
  Timer& t = timers_[n];
  intc_.request(kIrq[n]);
  if (t.reload) {
    rebase(t, due);
    t.tcmp = t.tcmpb;  // the reload on the next tick takes TCMPB too
    arm_zero(t);
  }
}

// A write can land at the very time a zero crossing is due, before its event
// has fired: deliver it first so that re-arming does not lose it.
void PwmTimers::catch_up(int n, VTime when) {
  Timer& t = timers_[n];
  while (t.zero->armed() && t.zero->when() <= when) {
    VTime due = t.zero->when();
    t.zero->cancel();
    reached_zero(n, due);
  }
}

void PwmTimers::reconfigure(int n, VTime when) {
  Timer& t = timers_[n];
  uint32_t bits = tcon_bits(n);
  bool external = false;
  VTime tick = input_tick(n, &external);
  if (external && (bits & kStart) && !t.external_reported) {
    t.external_reported = true;
    log("timer " + std::to_string(n) + " on its external clock is not modelled: it holds its count");
  }
  if (bits & kManualUpdate) {
    t.count0 = t.tcntb;
    t.tcmp = t.tcmpb;
  }
  bool counting = (bits & kStart) && !(bits & kManualUpdate) && !external && gate_.on;
  if (counting) t.ran = true;
  if (n == 0 && counting && (tcon_ & 0x10) && !dead_zone_reported_) {
    dead_zone_reported_ = true;
    log("the dead zone (TCON bit 4, TCFG0[31:24]) is not modelled: TOUT0 switches without it");
  }
  if (counting && (!t.counting || tick != t.tick)) t.t0 = when;
  t.counting = counting;
  t.tick = external ? 0 : tick;
  t.reload = bits & kAutoReload;
  arm_zero(t);
}

uint32_t PwmTimers::read(uint32_t offset, unsigned) {
  gate_.check(name(), ClockPower::kPwm);
  switch (offset) {
    case TCFG0: return tcfg0_;
    case TCFG1: return tcfg1_;
    case TCON: return tcon_;
    case TCNTB0:
    case TCNTB1:
    case TCNTB2:
    case TCNTB3:
    case TCNTB4:
    case TCNTB5: return timers_[timer_of_tcntb(offset)].tcntb;
    case TCMPB0:
    case TCMPB1:
    case TCMPB2:
    case TCMPB3:
    case TCMPB4: return timers_[timer_of_tcmpb(offset)].tcmpb;
    case TCNTO0:
    case TCNTO1:
    case TCNTO2:
    case TCNTO3:
    case TCNTO4:
    case TCNTO5: return count(timer_of_tcnto(offset));
    default: log_unmodelled(offset, false); return 0;
  }
}

// The count so far was made under the old settings: settle it first.
void PwmTimers::settle_all(VTime when) {
  for (int n = 0; n < kTimers; ++n) {
    catch_up(n, when);
    rebase(timers_[n], when);
  }
}

void PwmTimers::mclk_changed() {
  VTime now = scheduler_.now();
  settle_all(now);
  for (int n = 0; n < kTimers; ++n) reconfigure(n, now);
}

void PwmTimers::set_clock_enabled(bool on) {
  if (on == gate_.on) return;
  VTime now = scheduler_.now();
  settle_all(now);
  gate_.on = on;
  for (int n = 0; n < kTimers; ++n) reconfigure(n, now);
}

bool PwmTimers::tout(int n) const {
  const Timer& t = timers_[n];
  bool inverter = n < 5 && (tcon_bits(n) & 4);
  bool high = t.ran && count(n) <= t.tcmp;
  return high != inverter;
}

VTime PwmTimers::tout_next_change(int n) const {
  const Timer& t = timers_[n];
  if (!t.counting) return kForever;
  VTime now = scheduler_.now();
  uint32_t c = count(n);
  VTime boundary = now <= t.t0 ? t.t0 : t.t0 + (now - t.t0) / t.tick * t.tick;
  if (c > t.tcmp) return boundary + static_cast<VTime>(c - t.tcmp) * t.tick;
  // Low again at the reload, the tick after 0, if the reload leaves the compare value.
  if (t.reload && t.tcntb > t.tcmpb) return boundary + (static_cast<VTime>(c) + 1) * t.tick;
  return kForever;
}

void PwmTimers::write(uint32_t offset, uint32_t value, unsigned) {
  VTime now = scheduler_.now();
  gate_.check(name(), ClockPower::kPwm);
  settle_all(now);
  switch (offset) {
    case TCFG0: tcfg0_ = value; break;
    case TCFG1: tcfg1_ = value & 0x0FFFFFFF; break;
    case TCON: tcon_ = value & kTconMask; break;
    case TCNTB0:
    case TCNTB1:
    case TCNTB2:
    case TCNTB3:
    case TCNTB4:
    case TCNTB5: timers_[timer_of_tcntb(offset)].tcntb = value & 0xFFFF; break;
    case TCMPB0:
    case TCMPB1:
    case TCMPB2:
    case TCMPB3:
    case TCMPB4: timers_[timer_of_tcmpb(offset)].tcmpb = value & 0xFFFF; break;
    case TCNTO0:
    case TCNTO1:
    case TCNTO2:
    case TCNTO3:
    case TCNTO4:
    case TCNTO5: log("write to read-only TCNTO ignored"); return;
    default: log_unmodelled(offset, true); return;
  }
  for (int n = 0; n < kTimers; ++n) reconfigure(n, now);
}

// A counter counts down to 0 and stays there, or reloads at an event.
bool PwmTimers::predict(uint32_t offset, VTime when, uint32_t* value) {
  if (!is_tcnto(offset) || !gate_.on) return false;
  *value = count_at(timers_[timer_of_tcnto(offset)], when);
  return true;
}

VTime PwmTimers::stable_until(uint32_t offset) {
  if (!is_tcnto(offset)) return kForever;
  const Timer& t = timers_[timer_of_tcnto(offset)];
  VTime now = scheduler_.now();
  if (!t.counting) return kForever;
  if (!t.reload && count_at(t, now) == 0) return kForever;
  if (now < t.t0) return t.t0 + t.tick;
  return t.t0 + ((now - t.t0) / t.tick + 1) * t.tick;
}

}  // namespace sim
