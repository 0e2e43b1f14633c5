#include "devices/keypad.h"

#include "core/s3c44b0x.h"

namespace sim {

namespace {
// The page's address lines: bit 0 and bits 5..7 are 1 in every row read,
// bits 1..4 select rows 0..3 when 0.
constexpr uint32_t kRowSelectShift = 1;
constexpr uint32_t kRowSelectBits = 0x1E;
constexpr uint32_t kFixedOnes = 0xE1;
}  // namespace

Keypad::Keypad(uint32_t base, Ports& ports, Scheduler* scheduler)
    : Device("keypad", base, chip::kKeypadSize), ports_(ports) {
  for (int k = 0; k < kKeys; ++k) {
    bounce_[k] = std::make_unique<ContactBounce>(scheduler, "key" + std::to_string(k), 0x4B455930u + k, [this, k](bool closed) {
      if (closed) contact_ |= static_cast<uint16_t>(1u << k);
      else contact_ &= static_cast<uint16_t>(~(1u << k));
      drive_line();
    });
  }
  reset();
}

void Keypad::set_bounce(bool on) {
  for (auto& b : bounce_) b->set_enabled(on);
}

// The board's reset cancels every event: a bounce in progress ends where the
// key is.
void Keypad::reset() {
  for (auto& b : bounce_) b->settle();
  drive_line();
}

uint8_t Keypad::columns(int row) const {
  uint8_t low = static_cast<uint8_t>((contact_ >> (4 * row)) & 0xF);  // bit c: column c down
  uint8_t lines = 0xF;
  for (int column = 0; column < 4; ++column)
    if ((low >> column) & 1) lines &= static_cast<uint8_t>(~(1u << (3 - column)));
  return lines;
}

uint32_t Keypad::read(uint32_t offset, unsigned size) {
  uint32_t all_ones = size >= 4 ? 0xFFFFFFFF : (1u << (8 * size)) - 1;
  uint32_t selects = (offset >> kRowSelectShift) & 0xF;  // 1 = row not selected
  bool row_read = size == 1 && offset < 0x100 && (offset & kFixedOnes) == kFixedOnes && selects != 0xF;
  if (!row_read) {
    log_unmodelled(offset, false);
    return all_ones;
  }
  uint8_t lines = 0xF;
  for (int row = 0; row < 4; ++row)
    if (!((selects >> row) & 1)) lines &= columns(row);
  return 0xF0u | lines;
}

void Keypad::write(uint32_t offset, uint32_t, unsigned) { log_unmodelled(offset, true); }

void Keypad::key_down(int k) {
  if (k < 0 || k >= kKeys) {
    log("no key " + std::to_string(k) + " on the 4 x 4 keypad");
    return;
  }
  if (held(k)) return;
  held_ |= static_cast<uint16_t>(1u << k);
  bounce_[k]->change(true);
}

void Keypad::key_up(int k) {
  if (k < 0 || k >= kKeys) {
    log("no key " + std::to_string(k) + " on the 4 x 4 keypad");
    return;
  }
  if (!held(k)) return;
  held_ &= static_cast<uint16_t>(~(1u << k));
  bounce_[k]->change(false);
}

void Keypad::release_all() {
  for (int k = 0; k < kKeys; ++k) key_up(k);
}

void Keypad::drive_line() {
  bool high = contact_ == 0;
  // Only level changes reach the port, so an edge-triggered EINT1 sees one
  // edge per change of the combined line, not one per key.
  if (ports_.input_level(Ports::G, chip::kKeyDownPin) != high) ports_.set_input(Ports::G, chip::kKeyDownPin, high);
}

}  // namespace sim
