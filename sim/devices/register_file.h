// A block whose registers are stored but have no behaviour: reads return the
// last value written or the reset value. Used for the blocks this board's
// firmware sets up but whose function is not modelled (system configuration,
// bus priorities, memory controller, UART1, SIO, ADC, ...). The first access
// to each register is reported once, unless the block is declared quiet
// (registers that exist and intentionally do nothing).
#pragma once
#include <map>
#include <vector>

#include "devices/device.h"

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

 private:
  std::vector<ResetValue> resets_;
  std::map<uint32_t, uint32_t> values_;
  bool quiet_;
};

}  // namespace sim
