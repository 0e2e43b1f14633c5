// The board's SDRAM as host memory. The ARM core maps the same buffer, so
// device models (DMA, the LCD's scan, the monitor) read and write it
// directly, without going through the core.
//
// The 8 MB come from the kernel as zero pages that are only made real when
// first written: a short run touches a few hundred kilobytes, and zeroing
// the whole array at start used to cost more than the run itself.
#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "core/s3c44b0x.h"

namespace sim {

// The pages holding [begin, begin + length), about to be written, made
// real in one request rather than faulted in one by one (which costs ten
// times as much on a virtual machine); what they hold stays. Nothing
// happens where the kernel cannot (before Linux 5.14).
void populate_pages(void* begin, size_t length);

class Sdram {
 public:
  Sdram() {
    void* p = ::mmap(nullptr, chip::kSdramSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                     -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    bytes_ = static_cast<uint8_t*>(p);
  }
  ~Sdram() { ::munmap(bytes_, chip::kSdramSize); }
  Sdram(const Sdram&) = delete;
  Sdram& operator=(const Sdram&) = delete;

  uint32_t base() const { return chip::kSdramBase; }
  uint32_t size() const { return chip::kSdramSize; }
  uint8_t* data() { return bytes_; }
  const uint8_t* data() const { return bytes_; }

  bool contains(uint32_t address, uint32_t length = 1) const {
    return address >= base() && length <= size() && address - base() <= size() - length;
  }
  // Host pointer for [address, address + length), or nullptr if outside.
  uint8_t* at(uint32_t address, uint32_t length = 1) {
    return contains(address, length) ? bytes_ + (address - base()) : nullptr;
  }
  const uint8_t* at(uint32_t address, uint32_t length = 1) const {
    return contains(address, length) ? bytes_ + (address - base()) : nullptr;
  }

  // Little-endian accessors; addresses outside SDRAM read 0 / are ignored.
  uint32_t read32(uint32_t address) const { return read(address, 4); }
  uint16_t read16(uint32_t address) const { return static_cast<uint16_t>(read(address, 2)); }
  uint8_t read8(uint32_t address) const { return static_cast<uint8_t>(read(address, 1)); }
  void write32(uint32_t address, uint32_t v) { write(address, v, 4); }
  void write16(uint32_t address, uint16_t v) { write(address, v, 2); }
  void write8(uint32_t address, uint8_t v) { write(address, v, 1); }

  // [address, address + length) is about to be written whole (populate_pages).
  void populate(uint32_t address, uint32_t length) {
    if (contains(address, length)) populate_pages(bytes_ + (address - base()), length);
  }

  // Back to zero pages; the address stays (the core maps it).
  void clear() {
    if (::madvise(bytes_, chip::kSdramSize, MADV_DONTNEED) != 0) std::memset(bytes_, 0, chip::kSdramSize);
  }

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

  uint8_t* bytes_ = nullptr;
};

// Host memory whose every word reads one value until written (the flash:
// erased, or the monitor's traps), the pages it is read from made real
// only when first read or written: a run reads a few of its 2 MB, and
// writing them all at start (512 page faults, each of them costly on a
// virtual machine) took longer than the run. Its pages come from a memory
// file holding the value, mapped privately: a write copies its page.
class FilledMemory {
 public:
  explicit FilledMemory(uint32_t size);
  ~FilledMemory();
  FilledMemory(const FilledMemory&) = delete;
  FilledMemory& operator=(const FilledMemory&) = delete;

  // Every word reads `word` again (little-endian); the address stays.
  void fill(uint32_t word);
  uint8_t* data() { return bytes_; }
  const uint8_t* data() const { return bytes_; }
  uint32_t size() const { return size_; }

 private:
  uint8_t* bytes_ = nullptr;
  uint32_t size_ = 0;
  int fd_ = -1;  // the memory file (-1: none could be made; then written whole)
};

}  // namespace sim
