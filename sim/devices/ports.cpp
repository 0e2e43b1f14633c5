#include "devices/ports.h"

#include "core/s3c44b0x.h"

namespace sim {

namespace {
// Register offsets: PCONx, PDATx, PUPx per port (port A and B have no PUP).
constexpr uint32_t kCon[] = {0x00, 0x08, 0x10, 0x1C, 0x28, 0x34, 0x40};
constexpr uint32_t kDat[] = {0x04, 0x0C, 0x14, 0x20, 0x2C, 0x38, 0x44};
constexpr uint32_t kPup[] = {0, 0, 0x18, 0x24, 0x30, 0x3C, 0x48};
constexpr int kPins[] = {10, 11, 16, 8, 9, 9, 8};
constexpr uint32_t kConReset[] = {0x3FF, 0x7FF, 0, 0, 0, 0, 0};
enum : uint32_t { SPUCR = 0x4C, EXTINT = 0x50, EXTINTPND = 0x54 };

constexpr int kEintSource[4] = {chip::kIrqEint0, chip::kIrqEint1, chip::kIrqEint2, chip::kIrqEint3};
}  // namespace

Ports::Ports(uint32_t base, Intc& intc) : Device("ports", base, 0x58), intc_(intc) { reset(); }

void Ports::reset() {
  for (int p = 0; p < kPortCount; ++p) {
    con_[p] = kConReset[p];
    data_[p] = 0;
    pullup_[p] = 0;
    inputs_[p] = (1u << kPins[p]) - 1;  // pulled up
  }
  spucr_ = 0;
  extint_ = 0;
  extintpnd_ = 0;
}

Ports::Mode Ports::pin_mode(Port port, int pin) const {
  uint32_t c = con_[port];
  switch (port) {
    case A:
    case B: return ((c >> pin) & 1) ? kFunction : kOutput;
    case F: {
      // PF0..PF4 have 2-bit fields, PF5..PF8 3-bit fields from bit 10.
      uint32_t field = pin < 5 ? (c >> (2 * pin)) & 3 : (c >> (10 + 3 * (pin - 5))) & 7;
      return field == 0 ? kInput : field == 1 ? kOutput : kFunction;
    }
    case G: {
      uint32_t field = (c >> (2 * pin)) & 3;
      return field == 0 ? kInput : field == 1 ? kOutput : field == 2 ? kFunction : kEint;
    }
    default: {
      uint32_t field = (c >> (2 * pin)) & 3;
      return field == 0 ? kInput : field == 1 ? kOutput : kFunction;
    }
  }
}

bool Ports::is_output(Port port, int pin) const { return pin_mode(port, pin) == kOutput; }

uint32_t Ports::output_levels(Port port) const {
  uint32_t levels = (1u << kPins[port]) - 1;
  for (int pin = 0; pin < kPins[port]; ++pin)
    if (is_output(port, pin) && !((data_[port] >> pin) & 1)) levels &= ~(1u << pin);
  return levels;
}

void Ports::notify(Port port, uint32_t old_levels) {
  uint32_t now = output_levels(port);
  if (now == old_levels) return;
  for (auto& l : listeners_) l(port, old_levels, now);
}

void Ports::eint_edge(int eint, bool old_level, bool new_level) {
  uint32_t mode = (extint_ >> (4 * eint)) & 7;
  bool fire;
  if (mode == 0) fire = !new_level;                    // low level
  else if (mode == 1) fire = new_level;                // high level
  else if (mode <= 3) fire = old_level && !new_level;  // falling edge
  else if (mode <= 5) fire = !old_level && new_level;  // rising edge
  else fire = old_level != new_level;                  // both edges
  if (mode <= 1 && old_level == new_level) fire = false;
  if (!fire) return;
  if (eint < 4) {
    intc_.request(kEintSource[eint]);
  } else {
    extintpnd_ |= 1u << (eint - 4);
    intc_.request(chip::kIrqEint4567);
  }
}

void Ports::set_input(Port port, int pin, bool high) {
  bool old_level = (inputs_[port] >> pin) & 1;
  if (high) inputs_[port] |= 1u << pin;
  else inputs_[port] &= ~(1u << pin);
  if (port == G && pin_mode(G, pin) == kEint) eint_edge(pin, old_level, high);
}

uint32_t Ports::read(uint32_t offset, unsigned) {
  for (int p = 0; p < kPortCount; ++p) {
    Port port = static_cast<Port>(p);
    if (offset == kCon[p]) return con_[p];
    if (offset == kDat[p]) {
      uint32_t value = 0;
      for (int pin = 0; pin < kPins[p]; ++pin) {
        Mode m = pin_mode(port, pin);
        uint32_t bit = (m == kInput || m == kEint) ? (inputs_[p] >> pin) & 1 : (data_[p] >> pin) & 1;
        value |= bit << pin;
      }
      return value;
    }
    if (kPup[p] && offset == kPup[p]) return pullup_[p];
  }
  switch (offset) {
    case SPUCR: return spucr_;
    case EXTINT: return extint_;
    case EXTINTPND: return extintpnd_;
    default: log_unmodelled(offset, false); return 0;
  }
}

void Ports::write(uint32_t offset, uint32_t value, unsigned) {
  for (int p = 0; p < kPortCount; ++p) {
    Port port = static_cast<Port>(p);
    uint32_t mask = (1u << kPins[p]) - 1;
    if (offset == kCon[p] || offset == kDat[p]) {
      uint32_t old_levels = output_levels(port);
      if (offset == kCon[p]) con_[p] = value;
      else data_[p] = value & mask;
      notify(port, old_levels);
      return;
    }
    if (kPup[p] && offset == kPup[p]) {
      pullup_[p] = value & mask;
      return;
    }
  }
  switch (offset) {
    case SPUCR: spucr_ = value & 7; return;
    case EXTINT: extint_ = value; return;
    case EXTINTPND: extintpnd_ &= ~(value & 0xF); return;  // write 1 to clear
    default: log_unmodelled(offset, true); return;
  }
}

}  // namespace sim
