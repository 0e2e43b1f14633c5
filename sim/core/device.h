// Base of every memory-mapped block or board device.
//
// A device answers 32-, 16- and 8-bit reads and writes at offsets from its
// base. Registers that count are computed from the scheduler's clock when
// read; changes over time come from the device's own scheduled Events.
#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "core/scheduler.h"
#include "core/vtime.h"

namespace sim {

class Device {
 public:
  Device(std::string name, uint32_t base, uint32_t size) : name_(std::move(name)), base_(base), size_(size) {}
  virtual ~Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  const std::string& name() const { return name_; }
  uint32_t base() const { return base_; }
  uint32_t size() const { return size_; }

  // Whether anything answers its accesses (not an empty bank).
  virtual bool answers() const { return true; }
  // Power-on (and watchdog) reset: registers to their reset values.
  virtual void reset() {}
  virtual uint32_t read(uint32_t offset, unsigned size) = 0;
  virtual void write(uint32_t offset, uint32_t value, unsigned size) = 0;
  // What a read would return, without what a read does (a received byte
  // taken, a flag cleared, a FIFO entry popped, an access reported): a
  // debugger's look. By default the read itself with its reports silenced;
  // a model whose reads change its state overrides it.
  virtual uint32_t peek(uint32_t offset, unsigned size);

  // Until when a read of this register keeps returning the same value if no
  // event fires and nothing is written: lets the board skip the time that
  // firmware spends polling it. Registers computed from the clock (counters)
  // must answer with the time their value next changes.
  virtual VTime stable_until(uint32_t offset) {
    (void)offset;
    return kForever;
  }
  // What a read of this register at `when` (now or later) would return if
  // no event fires and nothing is written before it, for a register whose
  // reads change nothing and whose value moves one way only between events
  // (a counter); false if the model cannot tell. Lets the board pass the
  // turns of a loop that waits for a counter to reach a value.
  virtual bool predict(uint32_t offset, VTime when, uint32_t* value) {
    (void)offset, (void)when, (void)value;
    return false;
  }

 protected:
  // Reports an access to a register the model does not implement, once per
  // offset and direction; the access itself reads 0 / is ignored by the caller.
  void log_unmodelled(uint32_t offset, bool is_write);
  void log(const std::string& what) const;
  // True inside peek(): a debugger's look, which reports nothing.
  bool peeking() const { return peeking_; }

 private:
  std::string name_;
  uint32_t base_;
  uint32_t size_;
  std::set<uint64_t> reported_;
  bool peeking_ = false;
};

}  // namespace sim
