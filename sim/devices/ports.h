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
// - External interrupts as the manual's EINT chapter has them: a level mode
//   (EXTINT 000 low, 001 high) requests for as long as the level lasts, so
//   INTPND is set again at once after each I_ISPC while the level holds;
//   EINT4..7 keep their EXTINTPND bit set while their level holds, and
//   INTPND bit 21 is requested while any EXTINTPND bit is set (a handler that
//   leaves one set is entered again at once). Writing EXTINT or PCONG takes
//   effect at once: a level mode entered, or a pin given to EINT, while the
//   level is active requests at once; an edge mode sees only edges that come
//   after the write (the chip's edge filter starts from the current level).
// - Pin functions: a block that needs a pin asks pin_given() (or the pure
//   query pin_function_is()); where PCONx does not give the pin to that
//   function the block gets no signal through it, and the first time board-
//   sim says which register field needs which value. A function pin's PDATx
//   bit reads the level the block drives where one is wired (TOUT0..4), else
//   the written latch.
// - Writing PDATx bits wired to the board's outputs (the LEDs PB9/PB10, the
//   L3 lines PB4/PB5/PA9) while PCONx does not make the pin an output is
//   reported once per pin: nothing changes on the board.
// - The GPIO clock (CLKCON[10]) runs the register interface: with it off a
//   write is lost (reported once) and the pins keep what they drive. Reads
//   still give the pin levels, and the EINT lines still request: STOP,
//   which stops every clock, is woken through them.
#pragma once
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "devices/clock_power.h"
#include "core/device.h"
#include "devices/intc.h"

namespace sim {

class Ports : public Device {
 public:
  enum Port { A = 0, B, C, D, E, F, G, kPortCount };

  Ports(uint32_t base, Intc& intc);

  // Chip functions whose pins PCONx must give them (the table in ports.cpp
  // says which port, pin and field value each needs).
  enum Function {
    kTxD0, kRxD0, kTxD1, kRxD1,
    kIicScl, kIicSda,
    kIisLrck, kIisDo, kIisDi, kIisClk, kCodeclk,
    kTout0, kTout1, kTout2, kTout3, kTout4,
    kVd0, kVd1, kVd2, kVd3, kVclk, kVline, kVm, kVframe,
    kFunctionCount
  };
  // True when PCONx gives the function's pin to it.
  bool pin_function_is(Function function) const;
  // The same, and when not, reports once (as `who`) which PCONx field needs
  // which value; the caller then lets no signal through.
  bool pin_given(Function function, const std::string& who);
  // The PCONx field of a pin (port A and B: one bit, 1 = function).
  uint32_t con_field(Port port, int pin) const;

  // A block that drives a function pin (a timer's TOUT): its level now, and
  // when it next changes (kForever: not before a register write).
  struct LevelSource {
    std::function<bool()> level;
    std::function<VTime()> next_change;
  };
  void set_level_source(Function function, LevelSource source);
  VTime stable_until(uint32_t offset) override;

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  void set_clock_enabled(bool on) { gate_.on = on; }

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
  bool eint_pin(int eint) const;
  bool eint_level_active(int eint) const;
  void update_eint_lines();
  void check_wired_outputs(Port port, uint32_t old_data);
  void notify(Port port, uint32_t old_levels);

  Intc& intc_;
  std::array<uint32_t, kPortCount> con_{}, data_{}, pullup_{};
  std::array<uint32_t, kPortCount> inputs_{};
  uint32_t spucr_ = 0, extint_ = 0, extintpnd_ = 0;
  std::array<LevelSource, kFunctionCount> sources_{};
  std::array<bool, kFunctionCount> function_reported_{};
  std::array<uint32_t, kPortCount> output_reported_{};
  std::vector<OutputListener> listeners_;
  ClockGateState gate_;
};

}  // namespace sim
