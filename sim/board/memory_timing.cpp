#include "board/memory_timing.h"

#include <algorithm>

namespace sim {

namespace {
// An SFR access: two MCLK (the manual gives no figure; unconfirmed).
constexpr uint16_t kSfrAccess = 2;
}  // namespace

MemoryTiming memory_timing(const MemoryController& mc, const SysCfg& sys) {
  MemoryTiming t;
  unsigned width = mc.bus_width(6);
  auto beats = [](unsigned size, unsigned w) { return static_cast<uint16_t>(std::max(1u, size / w)); };
  for (unsigned i = 0; i < 3; ++i) {
    unsigned size = 1u << i;
    if (mc.is_sdram(6)) {
      // A non-sequential access opens the row (Trcd), then reads after the
      // CAS latency; further beats and sequential accesses take a clock each.
      t.read_n[i] = static_cast<uint16_t>(mc.sdram_trcd(6) + mc.sdram_cas_latency(6) + beats(size, width) - 1);
      t.write_n[i] = static_cast<uint16_t>(mc.sdram_trcd(6) + beats(size, width));
    } else {
      t.read_n[i] = t.write_n[i] = static_cast<uint16_t>(mc.rom_access_cycles(6) * beats(size, width));
    }
  }
  t.read_s = t.write_s = mc.is_sdram(6) ? beats(4, width) : t.read_n[2];
  t.sdram_arm = {t.read_s, t.read_n[2]};
  t.sdram_thumb = {mc.is_sdram(6) ? beats(2, width) : t.read_n[1], t.read_n[1]};
  t.sram = {1, 1};
  uint16_t rom = static_cast<uint16_t>(mc.rom_access_cycles(0));
  t.rom_arm = {static_cast<uint16_t>(rom * beats(4, mc.bus_width(0))), static_cast<uint16_t>(rom * beats(4, mc.bus_width(0)))};
  t.rom_thumb = {static_cast<uint16_t>(rom * beats(2, mc.bus_width(0))), static_cast<uint16_t>(rom * beats(2, mc.bus_width(0)))};
  for (int bank = 0; bank < 6; ++bank) {
    t.bank_access[bank] = static_cast<uint16_t>(mc.rom_access_cycles(bank));
    t.bank_width[bank] = static_cast<uint8_t>(mc.bus_width(bank));
  }
  t.sfr = kSfrAccess;
  t.noncacheable_pages = sys.noncacheable_pages();
  t.line_fill = static_cast<uint16_t>(t.read_n[2] + 3 * t.read_s);
  t.cache_bytes = sys.cache_bytes();
  t.write_buffer = sys.write_buffer();
  return t;
}

}  // namespace sim
