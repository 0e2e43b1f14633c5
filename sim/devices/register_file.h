// A block whose registers are stored but have no behaviour: reads return the
// last value written or the reset value. Used for the blocks this board's
// firmware sets up but whose function is not modelled (system configuration,
// bus priorities, memory controller, UART1, SIO, ADC, ...). The first access
// to each register is reported once, unless the block is declared quiet
// (registers that exist and intentionally do nothing). A block with a CLKCON
// gate (set_gate) also reports its first access with its clock off.
#pragma once
#include <map>
#include <vector>

#include "devices/clock_power.h"
#include "core/device.h"

namespace sim {

class RegisterFile : public Device {
 public:
  struct ResetValue {
    uint32_t offset;
    uint32_t value;
  };
  RegisterFile(std::string name, uint32_t base, uint32_t size, std::vector<ResetValue> resets = {},
               bool quiet = false);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  // The block's CLKCON bit, and its clock (ClockPower::on_gate_change).
  void set_gate(int clkcon_bit) { gate_bit_ = clkcon_bit; }
  void set_clock_enabled(bool on) { gate_.on = on; }

 private:
  void check_clock();

  std::vector<ResetValue> resets_;
  std::map<uint32_t, uint32_t> values_;
  bool quiet_;
  int gate_bit_ = -1;
  ClockGateState gate_;
};

}  // namespace sim
