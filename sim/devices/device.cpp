#include "devices/device.h"

#include "core/log.h"

namespace sim {

void Device::log_unmodelled(uint32_t offset, bool is_write) {
  uint64_t key = (static_cast<uint64_t>(offset) << 1) | (is_write ? 1 : 0);
  if (!reported_.insert(key).second) return;
  log(std::string(is_write ? "write to" : "read of") + " unmodelled register " + hex32(base_ + offset) +
      " (reported once)");
}

void Device::log(const std::string& what) const { log_warning(name_, what); }

}  // namespace sim
