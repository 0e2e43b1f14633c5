#include "devices/syscfg.h"

#include "core/s3c44b0x.h"

namespace sim {

namespace {
constexpr uint32_t kSramBase = chip::kInternalSram;
}

SysCfg::SysCfg(uint32_t base) : Device("syscfg", base, 0x0C) { reset(); }

void SysCfg::reset() {
  syscfg_ = 1;
  ncachbe_[0] = ncachbe_[1] = 0;
  if (listener_) listener_();
}

uint32_t SysCfg::read(uint32_t offset, unsigned) {
  switch (offset) {
    case 0x0: return syscfg_;
    case 0x4: return ncachbe_[0];
    case 0x8: return ncachbe_[1];
    default: log_unmodelled(offset, false); return 0;
  }
}

void SysCfg::write(uint32_t offset, uint32_t value, unsigned) {
  switch (offset) {
    case 0x0:
      syscfg_ = value & 0x3F;
      if (cache_mode() == 2 && !reported_reserved_) {
        reported_reserved_ = true;
        log("SYSCFG cache mode 10 is reserved; modelled as the cache off");
      }
      break;
    case 0x4: ncachbe_[0] = value; break;
    case 0x8: ncachbe_[1] = value; break;
    default: log_unmodelled(offset, true); return;
  }
  if (listener_) listener_();
}

uint32_t SysCfg::sram_begin() const { return cache_mode() == 1 ? kSramBase + 0x1000 : kSramBase; }

// Half-cache mode keeps ways 2 and 3 as SRAM: the upper 4 KB (unconfirmed).
uint32_t SysCfg::sram_end() const { return cache_mode() == 3 ? kSramBase : kSramBase + chip::kInternalSramSize; }

std::array<std::array<uint32_t, 2>, 2> SysCfg::noncacheable_pages() const {
  return {{{ncachbe_[0] & 0xFFFF, ncachbe_[0] >> 16}, {ncachbe_[1] & 0xFFFF, ncachbe_[1] >> 16}}};
}

bool SysCfg::noncacheable(uint32_t address) const {
  uint32_t page = address >> 12;
  for (const auto& area : noncacheable_pages())
    if (page >= area[0] && page < area[1]) return true;
  return false;
}

}  // namespace sim
