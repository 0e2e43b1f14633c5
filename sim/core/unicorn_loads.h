// Unicorn 2.0.1's load path, made cheap for a watched SDRAM.
//
// Any memory hook sends every load of the code translated with it down the
// library's slow path (a helper per load): that helper walks the engine's
// memory-mapping list, every read hook, the TLB, and then reads. With the
// cache on, the core watches every data access (data_watch.cpp), and that
// walk was most of what a load cost: a boot loader's inflate ran at half of
// bare Unicorn's rate with an empty hook alone.
//
// The library's table of load helpers (helper_ret_ldub_mmu_arm,
// helper_le_lduw_mmu_arm, helper_le_ldul_mmu_arm: its translated code's
// slow path calls no others) is filled in through its dynamic symbols, so
// this program's definitions of them (unicorn_loads.cpp) are the ones that
// code calls, as for the store path (core/unicorn_stores.h). While a
// LoadScope says the SDRAM's one read hook is the core's, a load from the
// SDRAM that stays in one of the library's pages and asks for no alignment
// check calls that hook as the library would (before the read, with the
// same address and size), then reads the bytes from the SDRAM's host
// memory, little-endian at the address as given, as the library does.
// Every other load, and every load with another Unicorn than 2.0.1, the
// store path's fast path switched off, or no scope, goes to the library's
// own helper.
#pragma once
#include <cstdint>

namespace sim::unicorn_loads {

// A memory hook's callback, as Unicorn calls one (uc_cb_hookmem_t).
using ReadHook = void (*)(void* uc, int type, uint64_t address, int size, int64_t value, void* user);

// The SDRAM at guest `address`, `size` bytes at `host`, whose only read
// hook is `hook` (with `user`) on engine `uc`.
struct WatchedSdram {
  void* uc = nullptr;
  uint32_t address = 0, size = 0;  // size 0: none; the library's helpers serve all
  const uint8_t* host = nullptr;
  ReadHook hook = nullptr;
  void* user = nullptr;
};

// Sets the watched SDRAM for this thread while it lives (nullptr: none;
// none either while unicorn_stores::fast() is false).
struct LoadScope {
  explicit LoadScope(const WatchedSdram* sdram);
  ~LoadScope();
  LoadScope(const LoadScope&) = delete;
  LoadScope& operator=(const LoadScope&) = delete;
  const WatchedSdram* previous;
};

// Inside a load helper (this program's, or the library's it passes the
// load to): the return address into the translated code of the load in
// progress, which the library's helper is given to find the instruction;
// else 0. (The unwinder cannot find it past this program's frame.)
uintptr_t load_return_address();

}  // namespace sim::unicorn_loads
