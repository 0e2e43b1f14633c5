// The cache's tag and LRU memories (0x10002000..0x100047FF), which the
// manual's cache chapter maps so that software can flush the cache: a
// store of 0 to every tag (and LRU word) empties it. Start-up code for this
// chip does that at every boot, with the cache on or off.
//
// A write to a tag empties the cache's model (the core's timing: the next
// fetch of each line is a miss); the tag's own format is not modelled, so a
// read returns the word the program last wrote there (0 after reset), not
// the line the cache holds. That read is said once.
#pragma once
#include <array>
#include <functional>

#include "core/device.h"

namespace sim {

class CacheMemories : public Device {
 public:
  // Covers [base, base + size): the tags, the LRU words and, to fill the
  // page they end in, a reserved stretch that reads 0 and ignores writes.
  CacheMemories(uint32_t base, uint32_t size);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  // Called after a tag is written: the cache's contents are gone.
  void set_flush_listener(std::function<void()> listener) { flush_ = std::move(listener); }

 private:
  uint32_t* word(uint32_t offset);
  std::array<uint32_t, 4 * 128> tags_{};  // one word per 16-byte line of each set
  std::array<uint32_t, 128> lru_{};
  bool read_reported_ = false;
  std::function<void()> flush_;
};

}  // namespace sim
