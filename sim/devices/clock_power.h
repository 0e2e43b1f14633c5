// S3C44B0X clock and power management (PLLCON, CLKCON, CLKSLOW, LOCKTIME).
//
// MCLK = Fout = (MDIV + 8) x Fin / ((PDIV + 2) x 2^SDIV), Fin = 8 MHz on this
// board; until software writes PLLCON the chip runs from Fin. A new PLL value
// takes effect at once (the lock time is not modelled). Slow mode and the
// IDLE/STOP power modes are not modelled: setting them is reported once.
#pragma once
#include "devices/device.h"

namespace sim {

class ClockPower : public Device {
 public:
  static constexpr uint64_t kFinHz = 8000000;

  ClockPower(uint32_t base, Scheduler& scheduler);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  uint64_t mclk_hz() const { return mclk_hz_; }
  uint32_t clkcon() const { return clkcon_; }

  // Fout for a PLLCON value (0 for a setting that divides by zero).
  static uint64_t pll_output_hz(uint32_t pllcon, uint64_t fin_hz = kFinHz);

 private:
  void set_mclk(uint64_t hz);

  Scheduler& scheduler_;
  uint32_t pllcon_, clkcon_, clkslow_, locktime_;
  bool pll_written_ = false;
  uint64_t mclk_hz_ = kFinHz;
};

}  // namespace sim
