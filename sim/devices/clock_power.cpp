#include "devices/clock_power.h"

namespace sim {

namespace {
enum : uint32_t {
  PLLCON = 0x00,    // reset 0x38080
  CLKCON = 0x04,    // reset 0x7FF8; [2] IDLE, [1] SL_IDLE, [0] STOP
  CLKSLOW = 0x08,   // reset 0x9; [5] SLOW_BIT
  LOCKTIME = 0x0C,  // reset 0xFFF
};
}

ClockPower::ClockPower(uint32_t base, Scheduler& scheduler)
    : Device("clock", base, 0x10), scheduler_(scheduler) {
  reset();
}

void ClockPower::reset() {
  pllcon_ = 0x38080;
  clkcon_ = 0x7FF8;
  clkslow_ = 0x9;
  locktime_ = 0xFFF;
  pll_written_ = false;
  set_mclk(kFinHz);
}

uint64_t ClockPower::pll_output_hz(uint32_t pllcon, uint64_t fin_hz) {
  uint64_t mdiv = (pllcon >> 12) & 0xFF, pdiv = (pllcon >> 4) & 0x3F, sdiv = pllcon & 3;
  return (mdiv + 8) * fin_hz / ((pdiv + 2) << sdiv);
}

void ClockPower::set_mclk(uint64_t hz) {
  mclk_hz_ = hz;
  scheduler_.set_cycle_period((kSecond + hz / 2) / hz);
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
      pllcon_ = value & 0xFF3F3;
      uint64_t hz = pll_output_hz(pllcon_);
      if (hz == 0) {
        log("PLLCON " + std::to_string(value) + " gives no clock; keeping " + std::to_string(mclk_hz_) + " Hz");
        return;
      }
      pll_written_ = true;
      set_mclk(hz);
      return;
    }
    case CLKCON:
      if (value & 7) log("IDLE/SL_IDLE/STOP power modes are not modelled; the core keeps running");
      clkcon_ = value & 0x7FFF;
      return;
    case CLKSLOW:
      if (value & 0x20) log("slow mode is not modelled; MCLK stays at the PLL output");
      clkslow_ = value & 0x3F;
      return;
    case LOCKTIME: locktime_ = value & 0xFFF; return;
    default: log_unmodelled(offset, true); return;
  }
}

}  // namespace sim
