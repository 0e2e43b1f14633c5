// The memory controller (0x01C80000): bus width, wait states and SDRAM
// timing per bank. The accesses themselves are not slowed by the block; the
// core's timing model reads these registers (see core/arm_timing.h) to know
// what an S or N cycle in each bank costs.
#pragma once
#include <array>
#include <functional>

#include "core/device.h"

namespace sim {

class MemoryController : public Device {
 public:
  explicit MemoryController(uint32_t base);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  // Called after any register changes (the timing model recomputes its costs).
  void set_listener(std::function<void()> listener) { listener_ = std::move(listener); }

  // Data bus width of bank n in bytes (1, 2 or 4).
  unsigned bus_width(int bank) const;
  // ROM/SRAM banks 0..5: MCLK cycles one bus access takes
  // (Tacs + Tcos + Tacc + Tcoh + Tcah).
  unsigned rom_access_cycles(int bank) const;
  // SDRAM in bank 6/7: RAS-to-CAS delay and CAS latency, in MCLK cycles.
  unsigned sdram_trcd(int bank) const;
  unsigned sdram_cas_latency(int bank) const;
  bool is_sdram(int bank) const;
  // The program has set bank 6 up for its SDRAM since reset: BANKCON6 as
  // SDRAM, then MRSRB6 written (the mode register set cycle that ends the
  // SDRAM's power-up sequence; REFRESH's auto-refresh is on from reset).
  bool sdram_set_up() const { return sdram_set_up_; }

  static constexpr int kRegisters = 13;  // BWSCON, BANKCON0..7, REFRESH, BANKSIZE, MRSRB6, MRSRB7

 private:
  std::array<uint32_t, kRegisters> regs_{};
  bool sdram_set_up_ = false;
  std::function<void()> listener_;
};

}  // namespace sim
