#include "core/device.h"

#include "core/log.h"

namespace sim {

uint32_t Device::peek(uint32_t offset, unsigned size) {
  peeking_ = true;
  uint32_t value = read(offset, size);
  peeking_ = false;
  return value;
}

void Device::log_unmodelled(uint32_t offset, bool is_write) {
  if (peeking_) return;
  uint64_t key = (static_cast<uint64_t>(offset) << 1) | (is_write ? 1 : 0);
  if (!reported_.insert(key).second) return;
  log(std::string(is_write ? "write to" : "read of") + " unmodelled register " + hex32(base_ + offset) +
      " (reported once)");
}

void Device::log(const std::string& what) const { log_warning(name_, what); }

}  // namespace sim
