// S3C44B0X I/O ports A..G, the external-interrupt control (EXTINT) and the
// EINT4..7 sub-pending register (EXTINTPND), with this board's wiring seen
// from the chip: LEDs on PB9/PB10 (active low), L3 lines on PB4/PB5/PA9, the
// keypad's key-down line on PG1 (EINT1) and the push-buttons on PG6/PG7
// (EINT4567).
//
// Judgement calls:
// - A data register reads the pin level for pins configured as input or as
//   external interrupt, and the written latch for every other pin (the manual
//   calls the value of a function pin undefined).
// - An undriven input reads high (the board has pull-ups on every input line).
// - EINT4..7 in a level mode set their EXTINTPND bit when the level becomes
//   active; they are not re-requested while it stays active.
#pragma once
#include <array>
#include <functional>
#include <vector>

#include "devices/device.h"
#include "devices/intc.h"

namespace sim {

class Ports : public Device {
 public:
  enum Port { A = 0, B, C, D, E, F, G, kPortCount };

  Ports(uint32_t base, Intc& intc);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  // The outside world drives an input pin (true = high).
  void set_input(Port port, int pin, bool high);
  bool input_level(Port port, int pin) const { return (inputs_[port] >> pin) & 1; }

  bool is_output(Port port, int pin) const;
  // Level the chip drives on every output pin (bit per pin); other pins read 1.
  uint32_t output_levels(Port port) const;
  bool led_lit(int pin) const { return is_output(B, pin) && ((data_[B] >> pin) & 1) == 0; }

  // Told after any write that may change a port's output levels.
  using OutputListener = std::function<void(Port port, uint32_t old_levels, uint32_t new_levels)>;
  void add_output_listener(OutputListener listener) { listeners_.push_back(std::move(listener)); }

  uint32_t con(Port port) const { return con_[port]; }
  uint32_t data(Port port) const { return data_[port]; }
  uint32_t extint() const { return extint_; }
  uint32_t extintpnd() const { return extintpnd_; }

 private:
  enum Mode { kInput, kOutput, kFunction, kEint };
  Mode pin_mode(Port port, int pin) const;
  void eint_edge(int eint, bool old_level, bool new_level);
  void notify(Port port, uint32_t old_levels);

  Intc& intc_;
  std::array<uint32_t, kPortCount> con_{}, data_{}, pullup_{};
  std::array<uint32_t, kPortCount> inputs_{};
  uint32_t spucr_ = 0, extint_ = 0, extintpnd_ = 0;
  std::vector<OutputListener> listeners_;
};

}  // namespace sim
