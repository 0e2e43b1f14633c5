#include "devices/cache_memories.h"

#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

CacheMemories::CacheMemories(uint32_t base, uint32_t size) : Device("cache", base, size) { reset(); }

void CacheMemories::reset() {
  tags_.fill(0);
  lru_.fill(0);
}

// Each line has one word at the start of its 16 bytes; the other 12 bytes
// of the stretch are not decoded apart from it (unconfirmed): they reach the
// same word.
uint32_t* CacheMemories::word(uint32_t offset) {
  const uint32_t address = base() + offset;
  const uint32_t line = (address & 0x7F0) >> 4;
  if (address >= chip::kCacheTags && address < chip::kCacheTags + chip::kCacheTagsSize)
    return &tags_[((address - chip::kCacheTags) >> 11) * 128 + line];
  if (address >= chip::kCacheLru && address < chip::kCacheLru + chip::kCacheLruSize) return &lru_[line];
  return nullptr;
}

uint32_t CacheMemories::read(uint32_t offset, unsigned size) {
  uint32_t* w = word(offset);
  if (!w) return 0;
  if (!read_reported_ && !peeking()) {
    read_reported_ = true;
    log("a read of the cache's tag or LRU memory at " + hex32(base() + offset) +
        " returns the word last written there, not what the cache holds (the tag format is not modelled; "
        "said once)");
  }
  uint32_t value = *w >> (8 * (offset & 3));
  return size == 4 ? value : value & ((1u << (8 * size)) - 1);
}

void CacheMemories::write(uint32_t offset, uint32_t value, unsigned size) {
  uint32_t* w = word(offset);
  if (!w) return;
  if (size == 4) {
    *w = value;
  } else {
    const unsigned shift = 8 * (offset & 3);
    const uint32_t mask = ((1u << (8 * size)) - 1) << shift;
    *w = (*w & ~mask) | ((value << shift) & mask);
  }
  if (w >= tags_.data() && w < tags_.data() + tags_.size() && flush_) flush_();
}

}  // namespace sim
