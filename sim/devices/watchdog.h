// S3C44B0X watchdog timer (WTCON, WTDAT, WTCNT).
//
// Enabled at reset, as the chip is: prescaler 0x80, /16, reset output on,
// WTCNT 0x8000, so unless software turns it off it resets the chip after
// (0x80 + 1) x 16 x 0x8000 MCLK cycles. At zero it requests its interrupt
// (when enabled) and/or resets the chip, and reloads WTCNT from WTDAT.
// WTCNT is computed from the clock; its rate is fixed when the counter is
// (re)started, so a PLL change while it runs is not followed until the next
// write (software turns it off before touching the PLL).
#pragma once
#include <functional>

#include "devices/device.h"
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
  std::function<void()> reset_handler_;
};

}  // namespace sim
