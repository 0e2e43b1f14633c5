// SYSCFG and the non-cacheable areas (0x01C00000): the cache mode decides
// how much of the 8 KB on-chip memory is cache and how much is the internal
// SRAM at 0x10000000; the core's timing model and memory map follow it.
#pragma once
#include <array>
#include <functional>

#include "core/device.h"

namespace sim {

class SysCfg : public Device {
 public:
  explicit SysCfg(uint32_t base);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  void set_listener(std::function<void()> listener) { listener_ = std::move(listener); }

  // [2:1]: 0 cache off (8 KB SRAM), 1 4 KB cache + 4 KB SRAM, 3 8 KB cache.
  unsigned cache_mode() const { return (syscfg_ >> 1) & 3; }
  unsigned cache_bytes() const { return cache_mode() == 3 ? 8192 : cache_mode() == 1 ? 4096 : 0; }
  bool write_buffer() const { return syscfg_ & 8; }  // [3]
  // The internal SRAM's window: [begin, end) at 0x10000000 (empty with the cache fully on).
  uint32_t sram_begin() const;
  uint32_t sram_end() const;
  // Inside NCACHBE0 or NCACHBE1 ([15:0] start, [31:16] end, 4 KB units;
  // the end is taken as exclusive, unconfirmed).
  bool noncacheable(uint32_t address) const;
  // The two areas as [first page, end page) of 4 KB.
  std::array<std::array<uint32_t, 2>, 2> noncacheable_pages() const;

 private:
  uint32_t syscfg_ = 1;
  uint32_t ncachbe_[2] = {0, 0};
  bool reported_reserved_ = false;
  std::function<void()> listener_;
};

}  // namespace sim
