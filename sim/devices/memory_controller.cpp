#include "devices/memory_controller.h"

namespace sim {

namespace {
enum : int { BWSCON = 0, BANKCON0 = 1, BANKCON6 = 7, REFRESH = 9, BANKSIZE = 10, MRSRB6 = 11 };
// Reset values as the manual gives them; BWSCON's bank-0 width comes from
// the OM pins (16-bit flash on this board). MRSRB's reset value is
// undefined; CAS latency 2 is what a monitor would have to set anyway.
constexpr uint32_t kReset[MemoryController::kRegisters] = {
    0x00000002, 0x0700, 0x0700, 0x0700, 0x0700, 0x0700, 0x0700, 0x18008, 0x18008, 0x00AC0000, 0x0, 0x20, 0x20};
constexpr unsigned kTwoBitClocks[4] = {0, 1, 2, 4};  // Tacs, Tcos, Tcoh, Tcah
constexpr unsigned kTacc[8] = {1, 2, 3, 4, 6, 8, 10, 14};
}  // namespace

MemoryController::MemoryController(uint32_t base) : Device("memctl", base, 4 * kRegisters) { reset(); }

void MemoryController::reset() {
  for (int i = 0; i < kRegisters; ++i) regs_[i] = kReset[i];
  sdram_set_up_ = false;
  if (listener_) listener_();
}

uint32_t MemoryController::read(uint32_t offset, unsigned) {
  if (offset % 4 || offset / 4 >= kRegisters) {
    log_unmodelled(offset, false);
    return 0;
  }
  return regs_[offset / 4];
}

void MemoryController::write(uint32_t offset, uint32_t value, unsigned) {
  if (offset % 4 || offset / 4 >= kRegisters) {
    log_unmodelled(offset, true);
    return;
  }
  // BWSCON's DW0 follows the OM pins: read-only.
  if (offset == 0) value = (value & ~6u) | (regs_[BWSCON] & 6u);
  regs_[offset / 4] = value;
  if (offset / 4 == MRSRB6 && is_sdram(6)) sdram_set_up_ = true;
  if (listener_) listener_();
}

unsigned MemoryController::bus_width(int bank) const {
  unsigned dw = (regs_[BWSCON] >> (bank == 0 ? 1 : 4 * bank)) & 3;
  return dw == 0 ? 1 : dw == 1 ? 2 : 4;
}

unsigned MemoryController::rom_access_cycles(int bank) const {
  uint32_t c = regs_[BANKCON0 + bank];
  return kTwoBitClocks[(c >> 13) & 3] + kTwoBitClocks[(c >> 11) & 3] + kTacc[(c >> 8) & 7] +
         kTwoBitClocks[(c >> 6) & 3] + kTwoBitClocks[(c >> 4) & 3];
}

bool MemoryController::is_sdram(int bank) const { return ((regs_[BANKCON0 + bank] >> 15) & 3) == 3; }

unsigned MemoryController::sdram_trcd(int bank) const {
  unsigned code = (regs_[BANKCON0 + bank] >> 2) & 3;
  return code >= 2 ? 4 : 2 + code;
}

unsigned MemoryController::sdram_cas_latency(int bank) const {
  unsigned code = (regs_[MRSRB6 + (bank - 6)] >> 4) & 7;
  return code == 0 ? 1 : code == 2 ? 2 : 3;  // 000 1 clock, 010 2, 011 3 (others reserved)
}

}  // namespace sim
