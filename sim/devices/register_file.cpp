#include "devices/register_file.h"

namespace sim {

RegisterFile::RegisterFile(std::string name, uint32_t base, uint32_t size, std::vector<ResetValue> resets, bool quiet)
    : Device(std::move(name), base, size), resets_(std::move(resets)), quiet_(quiet) {
  reset();
}

void RegisterFile::reset() {
  values_.clear();
  for (auto& r : resets_) values_[r.offset] = r.value;
}

void RegisterFile::check_clock() {
  if (gate_bit_ >= 0 && !peeking()) gate_.check(name(), gate_bit_);
}

uint32_t RegisterFile::read(uint32_t offset, unsigned size) {
  check_clock();
  if (!quiet_) log_unmodelled(offset, false);
  uint32_t word = offset & ~3u;
  auto it = values_.find(word);
  uint32_t value = it == values_.end() ? 0 : it->second;
  return size == 4 ? value : (value >> (8 * (offset & 3))) & (size == 2 ? 0xFFFF : 0xFF);
}

void RegisterFile::write(uint32_t offset, uint32_t value, unsigned size) {
  check_clock();
  if (!quiet_) log_unmodelled(offset, true);
  uint32_t word = offset & ~3u;
  if (size == 4) {
    values_[word] = value;
  } else {
    uint32_t shift = 8 * (offset & 3);
    uint32_t mask = (size == 2 ? 0xFFFFu : 0xFFu) << shift;
    values_[word] = (values_[word] & ~mask) | ((value << shift) & mask);
  }
}

}  // namespace sim
