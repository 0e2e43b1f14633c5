// Unicorn 2.0.1's store path, made cheap, and what it tells us of each store.
//
// In Unicorn 2.0.1 every store to RAM takes the softmmu slow path: the
// library never marks a page as free of translated code, so each store asks
// whether it overwrote code. Before asking, it builds and frees a "page
// collection" (a heap-allocated GLib tree of page locks) that only a
// multi-threaded translator needs, and Unicorn runs one thread per engine.
// That bookkeeping is most of what a store costs: up to half of the time of
// the phone's screen drawing.
//
// The library's calls of page_collection_lock_arm / page_collection_unlock_arm
// reach this program's (unicorn_stores.cpp) by the linker's --wrap
// (unicorn_internals.h). For Unicorn 2.0.1 they skip the locks; the check for
// overwritten code itself (tb_invalidate_phys_page_fast) runs as before, so
// code written by the program is translated again as always. For any other
// version they pass every call on to the library's own functions.
//
// Because every store to RAM comes through here with its RAM offset and size,
// the store path also tells the running core of unaligned stores, for free.
#pragma once
#include <cstdint>

namespace sim::unicorn_stores {

// The smallest page Unicorn's ARM cores use: the unit of its TLB.
constexpr uint32_t kPageSize = 1024;

// True if the store path is the fast one (the linked Unicorn is 2.0.1).
bool fast();
// Off: every call goes to the library, as with stock Unicorn (a benchmark's
// reference run). On by default where fast() can be.
void set_fast(bool on);

// Told of each store to RAM that may be (part of) an unaligned one: at an
// address that is not a multiple of four, with its offset in Unicorn's RAM
// space (which keeps a page's offsets) and size. Unicorn splits an
// unaligned store into bytes, so a byte store here is either a STRB or the
// first byte of an unaligned word or half-word: the observer tells them
// apart by the instruction. Made on this thread while it is set.
using StoreObserver = void (*)(void* context, uint64_t ram_offset, unsigned size);
// A range of Unicorn's RAM space whose every store is told too.
struct WatchedRange {
  uint64_t begin = 0, size = 0;  // size 0: none
};
// A range of Unicorn's RAM space (at `address` in the guest's) whose pages
// may take the library's fast store path once stored to: the first store
// to a page (after each fill of the page's TLB entry) comes here, and the
// page's entry is then marked free of translated code, as the library
// itself never does. Stores there are no longer seen, by the observer or
// by the check for overwritten code: the caller keeps code out of it, and
// forgets the pages (forget_fast_pages) before it must see every store.
struct FastRange {
  uint64_t begin = 0, size = 0;  // size 0: none
  uint32_t address = 0;
  mutable bool made = false;  // a page was made fast since the range was last forgotten
};
// With `*all` true, it is told of every store to RAM, aligned or not; and
// of every store into `*range` while that is not empty.
struct ObserverScope {
  ObserverScope(StoreObserver observer, void* context, const bool* all = nullptr, const WatchedRange* range = nullptr,
                const FastRange* fast = nullptr);
  ~ObserverScope();
  ObserverScope(const ObserverScope&) = delete;
  ObserverScope& operator=(const ObserverScope&) = delete;
  StoreObserver previous;
  void* previous_context;
  const bool* previous_all;
  const WatchedRange* previous_range;
  const FastRange* previous_fast;
};

// Whether the store path's page locks would do nothing for an aligned store
// at `ram_offset`: no observer is told of it and no page is made fast. With
// `byte_store`, for a store known to be a byte store instruction's (not a
// byte of an unaligned word or half-word) at any address: the observer need
// not tell it from one.
bool store_unseen(uint64_t ram_offset, bool byte_store = false);

// Every page of `range` made fast takes the slow path again (its TLB
// entries go); false if the library offers no way (not 2.0.1).
bool forget_fast_pages(void* uc, const FastRange& range);

// Where Unicorn keeps the host memory at `host` in its RAM space (the
// offsets the observer is told), or UINT64_MAX when unknown: the linked
// Unicorn is not 2.0.1, or the memory is not mapped.
uint64_t ram_offset(void* uc, const void* host);

// Called from inside a memory callback (a fault's, an access's): sets the
// engine's pc to the instruction whose access is in progress. Unicorn leaves
// the pc at the start of the running block; the library's own
// cpu_restore_state finds the instruction from the return address into the
// translated code, as QEMU does for its guest's faults. False if it cannot
// (not 2.0.1, or no frame into translated code was found): the pc is then
// as it was. A load's or store's slow path, which returns through a stub of
// its own, is followed back to the instruction's code. The library answers
// true for any address inside a translated block, found or not: a caller
// checks that the pc it reads then belongs to an instruction that makes
// the access. (It leaves the engine's pc so: writing it would restart the
// emulation there.)
bool restore_pc(void* uc);

}  // namespace sim::unicorn_stores
