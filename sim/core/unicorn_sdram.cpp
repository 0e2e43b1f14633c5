#include "core/unicorn_sdram.h"

#include <atomic>
#include <cstring>

#include <unicorn/unicorn.h>

#include "core/unicorn_internals.h"
#include "core/unicorn_stores.h"

namespace sim::unicorn_sdram {
namespace {

thread_local const WatchedSdram* watched = nullptr;
thread_local uintptr_t in_progress = 0;

// An access that asks for its alignment to be checked (MemOp's alignment
// bits, in the operation index above its 4 bits of MMU index).
constexpr uint32_t kAlignmentBits = 0x70u << 4;

// The library's pages that may hold translated code: each block it
// translates marks its page and the next (a Thumb instruction may straddle
// them), before it is translated, and a mark stays (a page whose code was
// dropped keeps it). A store to a page without a mark has no code to drop.
// (A bit for each of the 4 GB's pages: 512 KB of zeros, of which a run
// touches the few its code lies in.)
std::atomic<uint64_t> code_pages[(1ull << 32) / unicorn_stores::kPageSize / 64];

void mark_code_page(uint32_t address) {
  const uint32_t page = address / unicorn_stores::kPageSize;
  std::atomic<uint64_t>& word = code_pages[page / 64];
  const uint64_t bit = 1ull << (page % 64);
  if (!(word.load(std::memory_order_relaxed) & bit)) word.fetch_or(bit, std::memory_order_relaxed);
}

bool may_hold_code(uint32_t address) {
  const uint32_t page = address / unicorn_stores::kPageSize;
  return (code_pages[page / 64].load(std::memory_order_relaxed) >> (page % 64)) & 1;
}

}  // namespace

// (an access the library leaves by a long jump, an exception, leaves its
// return address behind: the slice, which the exception ends, forgets it;
// the store path's switch, unicorn_stores::set_fast, holds here too)
SdramScope::SdramScope(const WatchedSdram* sdram) : previous(watched) {
  watched = sdram && unicorn_stores::fast() ? sdram : nullptr;
  in_progress = 0;
}
SdramScope::~SdramScope() {
  watched = previous;
  in_progress = 0;
}

uintptr_t access_return_address() { return in_progress; }

}  // namespace sim::unicorn_sdram

// The store path's page locks (unicorn_stores.cpp).
extern "C" void* __wrap_page_collection_lock_arm(void* uc, uint64_t start, uint64_t end);
extern "C" void __wrap_page_collection_unlock_arm(void* collection);

namespace {

using sim::unicorn_sdram::WatchedSdram;

// Whether the watched SDRAM serves this access (see the header). (An
// aligned access stays in one of the library's pages: one that spans two is
// split by its helper, which calls the hooks again for each part.)
template <unsigned kSize>
inline const WatchedSdram* serving(uint32_t address, uint32_t oi) {
  const WatchedSdram* w = sim::unicorn_sdram::watched;
  if (!w || address - w->address > w->size - kSize || (address & (kSize - 1)) ||
      (oi & sim::unicorn_sdram::kAlignmentBits))
    return nullptr;
  return w;
}

using LoadHelper = uint64_t (*)(void* env, uint32_t address, uint32_t oi, uintptr_t return_address);

// The library's load of a plain RAM page, with its one hook called first.
template <unsigned kSize>
inline uint64_t load(LoadHelper real, void* env, uint32_t address, uint32_t oi, uintptr_t return_address) {
  using namespace sim::unicorn_sdram;
  const WatchedSdram* w = serving<kSize>(address, oi);
  // (the library's helper called last, a jump: no frame of this program's
  // stays between it and the translated code, and the unwinder finds the
  // access's instruction from its hooks as with the library alone)
  if (!w) return real(env, address, oi, return_address);
  in_progress = return_address;
  w->hook(w->uc, UC_MEM_READ, address, static_cast<int>(kSize), 0, w->user);
  in_progress = 0;
  uint32_t v = 0;  // (little-endian, as the guest's)
  std::memcpy(&v, w->host + (address - w->address), kSize);
  return v;
}

// The library's store to a plain RAM page: its one hook, then what the
// library does for a page that may hold translated code (Unicorn 2.0.1
// never marks one free of it): the page locks, whose observer learns of
// the store as before, and the check that drops the translated code the
// store overwrote; then the bytes. (ARM has no precise self-modifying code
// in QEMU: the check returns, and a block that overwrote its own later
// instructions runs on as translated, as with the library's path.)
template <unsigned kSize, typename Value>
inline void store(void (*real)(void*, uint32_t, Value, uint32_t, uintptr_t), void* env, uint32_t address,
                  uint32_t value, uint32_t oi, uintptr_t return_address) {
  using namespace sim::unicorn_sdram;
  const WatchedSdram* w = serving<kSize>(address, oi);
  if (!w || w->ram == UINT64_MAX) return real(env, address, static_cast<Value>(value), oi, return_address);
  in_progress = return_address;
  w->hook(w->uc, UC_MEM_WRITE, address, static_cast<int>(kSize), static_cast<int64_t>(value), w->user);
  const uint64_t ram = w->ram + (address - w->address);
  // (a page that never held code has none to drop: its check is left out,
  // and its page locks too when they would do nothing; the translated code
  // calls the byte helper for its byte stores alone, the library's split of
  // an unaligned store calling its own: unicorn_internals.h)
  if (may_hold_code(address)) {
    void* pages = __wrap_page_collection_lock_arm(w->uc, ram, ram + kSize);
    tb_invalidate_phys_page_fast_arm(w->uc, pages, ram, static_cast<int>(kSize), return_address);
    __wrap_page_collection_unlock_arm(pages);
  } else if (!sim::unicorn_stores::store_unseen(ram, kSize == 1)) {
    __wrap_page_collection_unlock_arm(__wrap_page_collection_lock_arm(w->uc, ram, ram + kSize));
  }
  in_progress = 0;
  std::memcpy(w->host + (address - w->address), &value, kSize);  // (its low bytes, little-endian)
}

}  // namespace

// The library's helpers, stood in for (unicorn_internals.h).
extern "C" {
uint64_t __wrap_helper_ret_ldub_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address) {
  return load<1>(__real_helper_ret_ldub_mmu_arm, env, address, oi, return_address);
}
uint64_t __wrap_helper_le_lduw_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address) {
  return load<2>(__real_helper_le_lduw_mmu_arm, env, address, oi, return_address);
}
uint64_t __wrap_helper_le_ldul_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address) {
  return load<4>(__real_helper_le_ldul_mmu_arm, env, address, oi, return_address);
}
void __wrap_helper_ret_stb_mmu_arm(void* env, uint32_t address, uint8_t value, uint32_t oi, uintptr_t return_address) {
  store<1>(__real_helper_ret_stb_mmu_arm, env, address, value, oi, return_address);
}
void __wrap_helper_le_stw_mmu_arm(void* env, uint32_t address, uint16_t value, uint32_t oi, uintptr_t return_address) {
  store<2>(__real_helper_le_stw_mmu_arm, env, address, value, oi, return_address);
}
void __wrap_helper_le_stl_mmu_arm(void* env, uint32_t address, uint32_t value, uint32_t oi, uintptr_t return_address) {
  store<4>(__real_helper_le_stl_mmu_arm, env, address, value, oi, return_address);
}

// Every translation of the library's (its only maker of blocks that this
// program asks for): the pages its block may lie in are marked first.
void* __wrap_tb_gen_code_arm(void* cpu, uint32_t pc, uint32_t cs_base, uint32_t flags, int cflags) {
  sim::unicorn_sdram::mark_code_page(pc);
  sim::unicorn_sdram::mark_code_page(pc + sim::unicorn_stores::kPageSize);
  return __real_tb_gen_code_arm(cpu, pc, cs_base, flags, cflags);
}
}  // extern "C"
