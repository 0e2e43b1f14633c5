// The board's SDRAM as host memory. The ARM core maps the same buffer, so
// device models (DMA, the LCD's scan, the monitor) read and write it
// directly, without going through the core.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/s3c44b0x.h"

namespace sim {

class Sdram {
 public:
  Sdram() : bytes_(chip::kSdramSize, 0) {}

  uint32_t base() const { return chip::kSdramBase; }
  uint32_t size() const { return chip::kSdramSize; }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }

  bool contains(uint32_t address, uint32_t length = 1) const {
    return address >= base() && length <= size() && address - base() <= size() - length;
  }
  // Host pointer for [address, address + length), or nullptr if outside.
  uint8_t* at(uint32_t address, uint32_t length = 1) {
    return contains(address, length) ? bytes_.data() + (address - base()) : nullptr;
  }
  const uint8_t* at(uint32_t address, uint32_t length = 1) const {
    return contains(address, length) ? bytes_.data() + (address - base()) : nullptr;
  }

  // Little-endian accessors; addresses outside SDRAM read 0 / are ignored.
  uint32_t read32(uint32_t address) const { return read(address, 4); }
  uint16_t read16(uint32_t address) const { return static_cast<uint16_t>(read(address, 2)); }
  uint8_t read8(uint32_t address) const { return static_cast<uint8_t>(read(address, 1)); }
  void write32(uint32_t address, uint32_t v) { write(address, v, 4); }
  void write16(uint32_t address, uint16_t v) { write(address, v, 2); }
  void write8(uint32_t address, uint8_t v) { write(address, v, 1); }

  void clear() { std::fill(bytes_.begin(), bytes_.end(), 0); }

 private:
  uint32_t read(uint32_t address, unsigned n) const {
    const uint8_t* p = at(address, n);
    if (!p) return 0;
    uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
  }
  void write(uint32_t address, uint32_t v, unsigned n) {
    uint8_t* p = at(address, n);
    if (!p) return;
    for (unsigned i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }

  std::vector<uint8_t> bytes_;
};

}  // namespace sim
