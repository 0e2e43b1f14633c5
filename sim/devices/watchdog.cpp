#include "devices/watchdog.h"

#include "core/s3c44b0x.h"

namespace sim {

namespace {
enum : uint32_t {
  WTCON = 0x00,  // [15:8] prescaler, [5] enable, [4:3] clock select, [2] interrupt, [0] reset
  WTDAT = 0x04,  // reload value
  WTCNT = 0x08,  // current count (written to start from a given value)
};
}

Watchdog::Watchdog(uint32_t base, Scheduler& scheduler, Intc& intc)
    : Device("watchdog", base, 0x0C),
      scheduler_(scheduler),
      intc_(intc),
      expiry_(scheduler, "watchdog", [this](VTime late) { expire(late); }) {
  reset();
}

void Watchdog::reset() {
  wtcon_ = 0x8021;
  wtdat_ = 0x8000;
  restart(0x8000);
}

VTime Watchdog::tick_period() const {
  uint32_t prescaler = (wtcon_ >> 8) & 0xFF;
  uint32_t divider = 16u << ((wtcon_ >> 3) & 3);
  return scheduler_.cycle_period() * (prescaler + 1) * divider;
}

uint32_t Watchdog::count() const {
  if (!enabled() || !clock_on_) return start_count_;
  VTime elapsed = scheduler_.now() - start_time_;
  uint64_t ticks = elapsed / period_;
  return ticks >= start_count_ ? 0 : start_count_ - static_cast<uint32_t>(ticks);
}

void Watchdog::restart(uint32_t count) {
  start_count_ = count & 0xFFFF;
  start_time_ = scheduler_.now();
  period_ = tick_period();
  expiry_.cancel();
  if (enabled() && clock_on_) expiry_.schedule_at(start_time_ + static_cast<VTime>(start_count_ ? start_count_ : 0x10000) * period_);
}

void Watchdog::expire(VTime late) {
  (void)late;
  VTime due = scheduler_.now();
  if (wtcon_ & 0x04) intc_.request(chip::kIrqWdt);
  // Reload first: the reset handler may reset this device too.
  start_count_ = wtdat_ & 0xFFFF;
  start_time_ = due;
  expiry_.schedule_at(due + static_cast<VTime>(start_count_ ? start_count_ : 0x10000) * period_);
  if ((wtcon_ & 0x01) && reset_handler_) reset_handler_();
}

void Watchdog::set_clock_enabled(bool on) {
  if (on == clock_on_) return;
  uint32_t current = count();
  clock_on_ = on;
  restart(current);
}

VTime Watchdog::stable_until(uint32_t offset) {
  if (offset != WTCNT || !enabled() || !clock_on_) return kForever;
  VTime elapsed = scheduler_.now() - start_time_;
  return start_time_ + (elapsed / period_ + 1) * period_;
}

uint32_t Watchdog::read(uint32_t offset, unsigned) {
  switch (offset) {
    case WTCON: return wtcon_;
    case WTDAT: return wtdat_;
    case WTCNT: return count();
    default: log_unmodelled(offset, false); return 0;
  }
}

void Watchdog::write(uint32_t offset, uint32_t value, unsigned) {
  switch (offset) {
    case WTCON: {
      uint32_t current = count();
      wtcon_ = value & 0xFF3D;
      restart(current);
      return;
    }
    case WTDAT: wtdat_ = value & 0xFFFF; return;
    case WTCNT: restart(value); return;
    default: log_unmodelled(offset, true); return;
  }
}

}  // namespace sim
