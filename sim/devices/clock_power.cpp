#include "devices/clock_power.h"

#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

namespace {
enum : uint32_t {
  PLLCON = 0x00,    // reset 0x38080
  CLKCON = 0x04,    // reset 0x7FF8; [14:3] clock gates, [2] IDLE, [1] SL_IDLE, [0] STOP
  CLKSLOW = 0x08,   // reset 0x9; [5] PLL_OFF, [4] SLOW_BIT, [3:0] SLOW_VAL
  LOCKTIME = 0x0C,  // reset 0xFFF
};
constexpr uint32_t IDLE = 1u << 2, SL_IDLE = 1u << 1, STOP = 1u << 0;
constexpr uint32_t SLOW_BIT = 1u << 4, PLL_OFF = 1u << 5;
// The sources that end SL_IDLE and STOP: EINT0..3, EINT4567 and the RTC alarm.
constexpr uint32_t kStopWakeSources = (1u << chip::kIrqEint0) | (1u << chip::kIrqEint1) | (1u << chip::kIrqEint2) |
                                      (1u << chip::kIrqEint3) | (1u << chip::kIrqEint4567) | (1u << chip::kIrqRtc);
const char* gate_name(int bit) {
  switch (bit) {
    case ClockPower::kPwm: return "PWM timer";
    case ClockPower::kZdma: return "ZDMA";
    case ClockPower::kSio: return "SIO";
    case ClockPower::kLcd: return "LCD";
    case ClockPower::kBdma: return "BDMA";
    case ClockPower::kUart0: return "UART0";
    case ClockPower::kUart1: return "UART1";
    case ClockPower::kGpio: return "GPIO";
    case ClockPower::kRtc: return "RTC";
    case ClockPower::kAdc: return "ADC";
    case ClockPower::kIic: return "IIC";
    case ClockPower::kIis: return "IIS";
    default: return "core";
  }
}
}  // namespace

bool ClockGateState::report_off(const std::string& who, int clkcon_bit, const char* effect) {
  if (!reported) {
    reported = true;
    log_warning(who, std::string("used with its clock off (CLKCON bit ") + std::to_string(clkcon_bit) + ", " +
                         gate_name(clkcon_bit) + ", is 0, or a power mode stopped it): " + effect);
  }
  return false;
}

void CycleTimer::start(Scheduler& scheduler, uint64_t cycles) {
  event_.cancel();
  held_ = !on_;
  held_cycles_ = cycles;
  if (on_) event_.schedule_at(scheduler.now() + scheduler.cycles_to_time(cycles));
}

void CycleTimer::cancel() {
  event_.cancel();
  held_ = false;
}

void CycleTimer::mclk_changed(Scheduler& scheduler, VTime old_period) {
  if (!event_.armed()) return;
  VTime now = scheduler.now();
  uint64_t left = event_.when() > now ? (event_.when() - now + old_period - 1) / old_period : 0;
  event_.schedule_at(now + scheduler.cycles_to_time(left));
}

void CycleTimer::set_clock(Scheduler& scheduler, bool on) {
  if (on == on_) return;
  on_ = on;
  VTime now = scheduler.now();
  if (!on && event_.armed()) {
    held_ = true;
    held_cycles_ = event_.when() > now ? (event_.when() - now) / scheduler.cycle_period() : 0;
    event_.cancel();
  } else if (on && held_) {
    held_ = false;
    event_.schedule_at(now + scheduler.cycles_to_time(held_cycles_));
  }
}

ClockPower::ClockPower(uint32_t base, Scheduler& scheduler) : Device("clock", base, 0x10), scheduler_(scheduler) {
  reset();
}

void ClockPower::reset() {
  pllcon_ = 0x38080;
  clkcon_ = 0x7FF8;
  clkslow_ = 0x9;
  locktime_ = 0xFFF;
  pll_written_ = false;
  mode_ = Mode::kNormal;
  set_mclk(fin_hz_);
  update_gates();
}

uint64_t ClockPower::pll_output_hz(uint32_t pllcon, uint64_t fin_hz) {
  uint64_t mdiv = (pllcon >> 12) & 0xFF, pdiv = (pllcon >> 4) & 0x3F, sdiv = pllcon & 3;
  return (mdiv + 8) * fin_hz / ((pdiv + 2) << sdiv);
}

void ClockPower::set_mclk(uint64_t hz) {
  VTime old_period = scheduler_.cycle_period();
  mclk_hz_ = hz;
  scheduler_.set_cycle_period((kSecond + hz / 2) / hz);
  if (scheduler_.cycle_period() == old_period) return;
  for (auto& l : mclk_listeners_) l(old_period);
  // The core's slice was planned in instructions at the old rate.
  if (stop_listener_) stop_listener_();
}

void ClockPower::update_mclk() {
  if (clkslow_ & SLOW_BIT) {
    uint32_t slow_val = clkslow_ & 0xF;
    set_mclk(slow_val ? fin_hz_ / (2 * slow_val) : fin_hz_);
    return;
  }
  if ((clkslow_ & PLL_OFF) && !pll_off_reported_) {
    // The manual turns the PLL on and waits the lock time before leaving
    // slow mode; MCLK from a PLL that is off is undefined.
    pll_off_reported_ = true;
    log("CLKSLOW: PLL_OFF without SLOW_BIT: the manual leaves slow mode only with the PLL on; MCLK stays as the PLL gives");
  }
  set_mclk(pll_written_ ? pll_output_hz(pllcon_, fin_hz_) : fin_hz_);
}

bool ClockPower::clock_on(int gate) const {
  bool on = gate < 0 || ((clkcon_ >> gate) & 1);
  if (mode_ == Mode::kStop) return false;
  if (mode_ == Mode::kSlIdle && gate != kLcd) return false;
  return on;
}

void ClockPower::on_gate_change(int gate, std::function<void(bool on)> listener) {
  bool on = clock_on(gate);
  listener(on);
  gate_listeners_.push_back({gate, on, std::move(listener)});
}

void ClockPower::update_gates() {
  for (GateListener& g : gate_listeners_) {
    bool on = clock_on(g.gate);
    if (on == g.on) continue;
    g.on = on;
    g.listener(on);
  }
}

bool ClockPower::wake(uint32_t requests) {
  switch (mode_) {
    case Mode::kNormal: return true;
    case Mode::kIdle:
      if (!requests) return false;
      break;
    case Mode::kSlIdle:
    case Mode::kStop:
      if (!(requests & kStopWakeSources)) return false;
      break;
  }
  mode_ = Mode::kNormal;
  clkcon_ &= ~(IDLE | SL_IDLE | STOP);
  update_gates();
  return true;
}

uint32_t ClockPower::read(uint32_t offset, unsigned) {
  switch (offset) {
    case PLLCON: return pllcon_;
    case CLKCON: return clkcon_;
    case CLKSLOW: return clkslow_;
    case LOCKTIME: return locktime_;
    default: log_unmodelled(offset, false); return 0;
  }
}

void ClockPower::write(uint32_t offset, uint32_t value, unsigned) {
  switch (offset) {
    case PLLCON: {
      uint32_t pllcon = value & 0xFF3F3;
      if (pll_output_hz(pllcon) == 0) {
        log("PLLCON " + hex32(value) + " gives no clock; keeping " + std::to_string(mclk_hz_) + " Hz");
        return;
      }
      pllcon_ = pllcon;
      pll_written_ = true;
      update_mclk();
      return;
    }
    case CLKCON:
      clkcon_ = value & 0x7FFF;
      mode_ = (clkcon_ & STOP)      ? Mode::kStop
              : (clkcon_ & SL_IDLE) ? Mode::kSlIdle
              : (clkcon_ & IDLE)    ? Mode::kIdle
                                    : Mode::kNormal;
      update_gates();
      if (mode_ != Mode::kNormal && stop_listener_) stop_listener_();
      return;
    case CLKSLOW:
      clkslow_ = value & 0x3F;
      update_mclk();
      return;
    case LOCKTIME: locktime_ = value & 0xFFF; return;
    default: log_unmodelled(offset, true); return;
  }
}

}  // namespace sim
