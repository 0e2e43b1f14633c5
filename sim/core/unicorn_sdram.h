// Unicorn 2.0.1's load and store path, made cheap for a watched SDRAM.
//
// Any memory hook sends every load and store of the code translated with it
// down the library's slow path (a helper per access): that helper walks the
// engine's memory-mapping list, every hook of the access's kind and the TLB,
// and a store asks whether it overwrote translated code, before the access
// is made. With the cache on, the core watches every data access
// (data_watch.cpp), and that walk was most of what an access cost: a boot
// loader's inflate ran at half of bare Unicorn's rate with an empty hook
// alone.
//
// The library's table of helpers (helper_ret_ldub_mmu_arm,
// helper_le_lduw_mmu_arm, helper_le_ldul_mmu_arm and the three stores of
// the same sizes: its translated code's slow path calls no others) reaches this program's (unicorn_sdram.cpp) by the linker's
// --wrap (unicorn_internals.h), as for the store path's page locks
// (core/unicorn_stores.h). While an SdramScope says the SDRAM's
// one memory hook is the core's, an access to the SDRAM that stays in one
// of the library's pages, is aligned to its size and asks for no alignment
// check calls that hook as the library would (before the access, with the
// same address, size and, for a store, value), and then:
// - a load reads the bytes from the SDRAM's host memory;
// - a store goes through the library's own check for overwritten code
//   (tb_invalidate_phys_page_fast, with the page locks of the store path,
//   which tell its observer as before), then writes the host memory.
// Every other access, and every access with another Unicorn than 2.0.1, the
// store path's fast path switched off, or no scope, goes to the library's
// own helper.
#pragma once
#include <cstdint>

namespace sim::unicorn_sdram {

// A memory hook's callback, as Unicorn calls one (uc_cb_hookmem_t).
using MemoryHook = void (*)(void* uc, int type, uint64_t address, int size, int64_t value, void* user);

// The SDRAM at guest `address`, `size` bytes at `host`, whose only read and
// write hook is `hook` (with `user`) on engine `uc`; `ram` its offset in the
// library's RAM space, as unicorn_stores::ram_offset tells it (UINT64_MAX:
// not known, and its stores take the library's path).
struct WatchedSdram {
  void* uc = nullptr;
  uint32_t address = 0, size = 0;  // size 0: none; the library's helpers serve all
  uint8_t* host = nullptr;
  uint64_t ram = UINT64_MAX;
  MemoryHook hook = nullptr;
  void* user = nullptr;
};

// Sets the watched SDRAM for this thread while it lives (nullptr: none;
// none either while unicorn_stores::fast() is false).
struct SdramScope {
  explicit SdramScope(const WatchedSdram* sdram);
  ~SdramScope();
  SdramScope(const SdramScope&) = delete;
  SdramScope& operator=(const SdramScope&) = delete;
  const WatchedSdram* previous;
};

// Inside a load or store helper (this program's, or the library's it passes
// the access to): the return address into the translated code of the access
// in progress, which the library's helper is given to find the instruction;
// else 0. (The unwinder cannot find it past this program's frame.)
uintptr_t access_return_address();

}  // namespace sim::unicorn_sdram
