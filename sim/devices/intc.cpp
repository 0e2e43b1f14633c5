#include "devices/intc.h"

#include <cstdio>

#include "core/s3c44b0x.h"

namespace sim {

namespace {
enum : uint32_t {
  INTCON = 0x00,
  INTPND = 0x04,   // read-only
  INTMOD = 0x08,
  INTMSK = 0x0C,
  I_PSLV = 0x10,
  I_PMST = 0x14,
  I_CSLV = 0x18,   // read-only
  I_CMST = 0x1C,   // read-only
  I_ISPR = 0x20,   // read-only
  I_ISPC = 0x24,   // write-only, write 1 to clear
  F_ISPR = 0x38,   // read-only
  F_ISPC = 0x3C,   // write-only, write 1 to clear
};
constexpr uint32_t kSourcesMask = (1u << chip::kIrqCount) - 1;

// The inputs of each slave group: four programmable, then two fixed.
struct Group {
  int inputs[4];
  int fixed[2];
};
constexpr Group kGroups[4] = {
    {{chip::kIrqEint0, chip::kIrqEint1, chip::kIrqEint2, chip::kIrqEint3}, {chip::kIrqEint4567, chip::kIrqTick}},
    {{chip::kIrqZdma0, chip::kIrqZdma1, chip::kIrqBdma0, chip::kIrqBdma1}, {chip::kIrqWdt, chip::kIrqUerr01}},
    {{chip::kIrqTimer0, chip::kIrqTimer1, chip::kIrqTimer2, chip::kIrqTimer3}, {chip::kIrqTimer4, chip::kIrqTimer5}},
    {{chip::kIrqUrxd0, chip::kIrqUrxd1, chip::kIrqIic, chip::kIrqSio}, {chip::kIrqUtxd0, chip::kIrqUtxd1}},
};

// A priority byte holds four 2-bit fields, input 0 in bits 7..6; a lower
// field value is served first. Ties (a badly programmed byte) go by input.
void order_by_priority(uint8_t pri, int order[4]) {
  int n = 0;
  for (int level = 0; level < 4; ++level)
    for (int input = 0; input < 4; ++input)
      if (((pri >> (6 - 2 * input)) & 3) == level) order[n++] = input;
}
}  // namespace

Intc::Intc(uint32_t base) : Device("intc", base, 0x40) { reset(); }

void Intc::reset() {
  intcon_ = 0x7;
  intpnd_ = 0;
  intmod_ = 0;
  intmsk_ = 0x07FFFFFF;
  pslv_ = 0x1B1B1B1B;
  pmst_ = 0x1F1B;
  ispr_ = 0;
  fispr_ = 0;
  lines_ = 0;
  changed();
}

int Intc::highest(uint32_t candidates) const {
  if (!candidates) return -1;
  int master[4];
  order_by_priority(pmst_ & 0xFF, master);
  for (int g = 0; g < 4; ++g) {
    const Group& group = kGroups[master[g]];
    uint8_t slave_pri = static_cast<uint8_t>(pslv_ >> (8 * (3 - master[g])));
    int order[4];
    order_by_priority(slave_pri, order);
    for (int i = 0; i < 4; ++i)
      if (candidates & (1u << group.inputs[order[i]])) return group.inputs[order[i]];
    for (int source : group.fixed)
      if (candidates & (1u << source)) return source;
  }
  if (candidates & (1u << chip::kIrqRtc)) return chip::kIrqRtc;
  if (candidates & (1u << chip::kIrqAdc)) return chip::kIrqAdc;
  return -1;
}

int Intc::highest_irq() const {
  if (intmsk_ & chip::kGlobalMaskBit) return -1;
  return highest(intpnd_ & ~intmsk_ & ~intmod_ & kSourcesMask);
}

int Intc::highest_fiq() const {
  if (intmsk_ & chip::kGlobalMaskBit) return -1;
  return highest(intpnd_ & ~intmsk_ & intmod_ & kSourcesMask);
}

uint32_t Intc::takeable_sources() const {
  if (intmsk_ & chip::kGlobalMaskBit) return 0;
  const uint32_t irq = (intcon_ & 2) ? 0 : ~intmod_, fiq = (intcon_ & 1) ? 0 : intmod_;
  return ~intmsk_ & (irq | fiq) & kSourcesMask;
}

bool Intc::irq_asserted() const { return (intcon_ & 2) == 0 && highest_irq() >= 0; }
bool Intc::fiq_asserted() const { return (intcon_ & 1) == 0 && highest_fiq() >= 0; }

void Intc::acknowledge_irq(int source) {
  if (source >= 0) ispr_ = 1u << source;
}

void Intc::changed() {
  // Only a change of the lines matters to the core.
  bool irq = irq_asserted(), fiq = fiq_asserted();
  if (irq == irq_out_ && fiq == fiq_out_) return;
  irq_out_ = irq;
  fiq_out_ = fiq;
  if (listener_) listener_();
}

void Intc::request(int source) {
  intpnd_ |= 1u << source;
  check_lines_off();
  changed();
}

void Intc::check_lines_off() {
  if (said_lines_off_ || (intmsk_ & chip::kGlobalMaskBit)) return;
  const uint32_t waiting = intpnd_ & ~intmsk_ & kSourcesMask;
  const uint32_t irq = waiting & ~intmod_, fiq = waiting & intmod_;
  const bool irq_off = (intcon_ & 2) && irq, fiq_off = (intcon_ & 1) && fiq;
  if (!irq_off && !fiq_off) return;
  said_lines_off_ = true;
  const int source = highest(irq_off ? irq : fiq);
  char value[16];
  std::snprintf(value, sizeof value, "0x%X", intcon_);
  log(std::string(chip::irq_name(source)) + " requests, unmasked in INTMSK, but INTCON is " + value +
      (intcon_ == 7 ? " (its reset value)" : "") +
      (irq_off ? ": its bit 1 keeps the IRQ line off, so no handler runs; write INTCON = 0x1 (vectored IRQs) or "
                 "0x5 (non-vectored) to take IRQs"
               : ": its bit 0 keeps the FIQ line off, so no handler runs; clear it (e.g. INTCON = 0x4, or 0x0 with "
                 "vectored IRQs too) to take FIQs"));
}

void Intc::set_line(int source, bool active) {
  uint32_t bit = 1u << source;
  if (active) {
    lines_ |= bit;
    intpnd_ |= bit;
    check_lines_off();
    changed();
  } else {
    lines_ &= ~bit;
  }
}

void Intc::clear_pending(uint32_t bits) {
  intpnd_ &= ~bits;
  intpnd_ |= lines_ & bits;  // a level source still active requests again
}

uint32_t Intc::read(uint32_t offset, unsigned) {
  switch (offset) {
    case INTCON: return intcon_;
    case INTPND: return intpnd_;
    case INTMOD: return intmod_;
    case INTMSK: return intmsk_;
    case I_PSLV: return pslv_;
    case I_PMST: return pmst_;
    case I_CSLV: return pslv_;  // fixed mode: the current order is the programmed one
    case I_CMST: return pmst_ & 0xFF;
    case I_ISPR: return ispr_;
    case F_ISPR: return fispr_;
    case I_ISPC:
    case F_ISPC: return 0;  // write-only
    default: log_unmodelled(offset, false); return 0;
  }
}

void Intc::write(uint32_t offset, uint32_t value, unsigned) {
  switch (offset) {
    case INTCON: intcon_ = value & 7; break;
    case INTMOD: intmod_ = value & kSourcesMask; break;
    case INTMSK: intmsk_ = value & (kSourcesMask | chip::kGlobalMaskBit); break;
    case I_PSLV: pslv_ = value; break;
    case I_PMST: pmst_ = value & 0x3FFF; break;
    case I_ISPC:
      clear_pending(value & kSourcesMask);
      ispr_ &= ~value;
      break;
    case F_ISPC:
      clear_pending(value & kSourcesMask);
      fispr_ &= ~value;
      break;
    case INTPND:
    case I_CSLV:
    case I_CMST:
    case I_ISPR:
    case F_ISPR: log("write to read-only register " + std::to_string(offset) + " ignored"); return;
    default: log_unmodelled(offset, true); return;
  }
  changed();
  if ((offset == INTCON || offset == INTMOD || offset == INTMSK) && routing_listener_) routing_listener_();
}

}  // namespace sim
