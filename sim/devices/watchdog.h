// S3C44B0X watchdog timer (WTCON, WTDAT, WTCNT).
//
// Enabled at reset, as the chip is: prescaler 0x80, /16, reset output on,
// WTCNT 0x8000, so unless software turns it off it resets the chip after
// (0x80 + 1) x 16 x 0x8000 MCLK cycles. At zero it requests its interrupt
// (when enabled) and/or resets the chip, and reloads WTCNT from WTDAT.
// WTCNT is computed from the clock. A PLL or slow-mode change (mclk_changed)
// goes on from the current count at the new rate; SL_IDLE and STOP stop its
// clock (set_clock_enabled), and it holds its count meanwhile.
#pragma once
#include <functional>

#include "core/device.h"
#include "devices/intc.h"

namespace sim {

class Watchdog : public Device {
 public:
  Watchdog(uint32_t base, Scheduler& scheduler, Intc& intc);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  VTime stable_until(uint32_t offset) override;

  // Called when the watchdog resets the chip.
  void set_reset_handler(std::function<void()> handler) { reset_handler_ = std::move(handler); }

  bool enabled() const { return wtcon_ & 0x20; }
  void mclk_changed() { restart(count()); }
  void set_clock_enabled(bool on);
  uint32_t count() const;

 private:
  VTime tick_period() const;
  void restart(uint32_t count);
  void expire(VTime late);

  Scheduler& scheduler_;
  Intc& intc_;
  Event expiry_;
  uint32_t wtcon_, wtdat_;
  uint32_t start_count_ = 0;  // WTCNT when counting (re)started
  VTime start_time_ = 0;
  VTime period_ = 1;
  bool clock_on_ = true;
  std::function<void()> reset_handler_;
};

}  // namespace sim
