// S3C44B0X interrupt controller (user's manual, "Interrupt controller").
//
// Sources request by setting their INTPND bit, whether masked or not; the bit
// stays until software writes it to I_ISPC (or F_ISPC). A level-sensitive
// source (set_line) requests again at once after the clear while its line is
// still active. The IRQ line to the core is any pending, unmasked, IRQ-mode
// source with the global mask bit and INTCON's I bit clear.
//
// Priorities follow I_PMST / I_PSLV in fixed mode: four groups of four
// programmable inputs plus two fixed inputs each, then RTC alarm and ADC
// lowest. Rotation (the registers' rotate bits) is not modelled: the order is
// always the programmed one.
//
// A source that requests while unmasked, with INTCON keeping its line (IRQ
// or FIQ) off, as INTCON's reset value 0x7 does, is said once: the chip
// just never interrupts, and nothing else would tell why.
#pragma once
#include <functional>

#include "core/device.h"

namespace sim {

class Intc : public Device {
 public:
  explicit Intc(uint32_t base);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  // Edge-type request from a source (sets INTPND).
  void request(int source);
  // Level-type request: pending while `active`, re-pending after a clear.
  void set_line(int source, bool active);

  bool irq_asserted() const;
  bool fiq_asserted() const;
  // Whether any source can reach FIQ (INTCON lets FIQ through, INTMOD gives
  // it a source).
  bool fiq_possible() const { return (intcon_ & 1) == 0 && (intmod_ & 0x3FFFFFF) != 0; }
  bool vectored() const { return (intcon_ & 4) == 0; }
  // The source an IRQ acknowledge would serve now (highest priority), or -1.
  int highest_irq() const;
  int highest_fiq() const;
  // The core takes the IRQ: the source goes in service (I_ISPR).
  void acknowledge_irq(int source);

  uint32_t pending() const { return intpnd_; }
  uint32_t mask() const { return intmsk_; }
  uint32_t in_service() const { return ispr_; }
  uint32_t intcon() const { return intcon_; }

  // The sources that would assert the IRQ or FIQ line if they were pending:
  // unmasked, and their line let through by INTCON.
  uint32_t takeable_sources() const;

  // Told whenever the IRQ or FIQ line may have become active.
  void set_listener(std::function<void()> listener) { listener_ = std::move(listener); }
  // Told when INTCON, INTMOD or INTMSK was written (takeable_sources()).
  void set_routing_listener(std::function<void()> listener) { routing_listener_ = std::move(listener); }

 private:
  void changed();
  int highest(uint32_t candidates) const;
  void clear_pending(uint32_t bits);
  void check_lines_off();

  uint32_t intcon_, intpnd_, intmod_, intmsk_, pslv_, pmst_, ispr_, fispr_;
  uint32_t lines_ = 0;  // level-type sources whose line is active
  bool said_lines_off_ = false;  // once per run, watchdog resets included
  std::function<void()> listener_, routing_listener_;
  bool irq_out_ = false, fiq_out_ = false;
};

}  // namespace sim
