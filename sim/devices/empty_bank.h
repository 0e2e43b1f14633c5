// A stretch of the address space where nothing answers: a bank with no
// chip on it, the rest of a bank beyond its chip.
//
// The S3C44B0X's memory controller raises no abort for such an access: it
// drives the bank's chip select, waits the bank's access time (BANKCONn)
// and ends the cycle whether or not anything answered, as the manual's
// memory-controller chapter describes every bank access; nothing on the
// external bus can signal an error to it. So on the board a read returns
// whatever the data bus last held and a write goes nowhere, and the program
// goes on. Here a read returns 0, and the board is told of each access (it
// says the first one, or halts when asked to).
#pragma once
#include <functional>

#include "core/device.h"

namespace sim {

class EmptyBank : public Device {
 public:
  using Listener = std::function<void(uint32_t address, bool write)>;
  EmptyBank(uint32_t base, uint32_t size, Listener listener)
      : Device("bus", base, size), listener_(std::move(listener)) {}

  bool answers() const override { return false; }
  uint32_t read(uint32_t offset, unsigned) override {
    if (!peeking() && listener_) listener_(base() + offset, false);
    return 0;
  }
  void write(uint32_t offset, uint32_t, unsigned) override {
    if (listener_) listener_(base() + offset, true);
  }

 private:
  Listener listener_;
};

}  // namespace sim
