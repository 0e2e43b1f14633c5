#include "core/unicorn_loads.h"

#include <dlfcn.h>

#include <cstring>

#include <unicorn/unicorn.h>

#include "core/unicorn_stores.h"

namespace sim::unicorn_loads {
namespace {

thread_local const WatchedSdram* watched = nullptr;
thread_local uintptr_t in_progress = 0;

// The library's page: an access that spans two is split by its helper,
// which calls the hooks again for each part.
constexpr uint32_t kPageOffset = unicorn_stores::kPageSize - 1;
// An access that asks for its alignment to be checked (MemOp's alignment
// bits, in the operation index above its 4 bits of MMU index).
constexpr uint32_t kAlignmentBits = 0x70u << 4;

}  // namespace

// (a load the library leaves by a long jump, an exception, leaves its
// return address behind: the slice, which the exception ends, forgets it;
// the store path's switch, unicorn_stores::set_fast, holds for loads too)
LoadScope::LoadScope(const WatchedSdram* sdram) : previous(watched) {
  watched = sdram && unicorn_stores::fast() ? sdram : nullptr;
  in_progress = 0;
}
LoadScope::~LoadScope() {
  watched = previous;
  in_progress = 0;
}

uintptr_t load_return_address() { return in_progress; }

}  // namespace sim::unicorn_loads

namespace {

using Helper = uint64_t (*)(void* env, uint32_t address, uint32_t oi, uintptr_t return_address);

template <unsigned kSize>
__attribute__((noinline)) uint64_t library_load(const char* name, void* env, uint32_t address, uint32_t oi,
                                                uintptr_t return_address) {
  // (each instantiation is one helper's: its own pointer)
  static const Helper real = reinterpret_cast<Helper>(dlsym(RTLD_NEXT, name));
  sim::unicorn_loads::in_progress = return_address;
  const uint64_t value = real(env, address, oi, return_address);
  sim::unicorn_loads::in_progress = 0;
  return value;
}

// The library's load of a plain RAM page, with its one hook called first.
template <unsigned kSize>
inline uint64_t load(const char* name, void* env, uint32_t address, uint32_t oi, uintptr_t return_address) {
  using namespace sim::unicorn_loads;
  const WatchedSdram* w = watched;
  if (!w || address - w->address > w->size - kSize || (address & kPageOffset) > kPageOffset + 1 - kSize ||
      (oi & kAlignmentBits))
    return library_load<kSize>(name, env, address, oi, return_address);
  in_progress = return_address;
  w->hook(w->uc, UC_MEM_READ, address, static_cast<int>(kSize), 0, w->user);
  in_progress = 0;
  if constexpr (kSize == 1) {
    return w->host[address - w->address];
  } else if constexpr (kSize == 2) {
    uint16_t v;
    std::memcpy(&v, w->host + (address - w->address), 2);
    return v;
  } else {
    uint32_t v;
    std::memcpy(&v, w->host + (address - w->address), 4);
    return v;
  }
}

}  // namespace

// QEMU's names and signatures (target_ulong is 32 bits for ARM; the
// operation index's memop; the return address into the translated code).
extern "C" uint64_t helper_ret_ldub_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address) {
  return load<1>("helper_ret_ldub_mmu_arm", env, address, oi, return_address);
}
extern "C" uint64_t helper_le_lduw_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address) {
  return load<2>("helper_le_lduw_mmu_arm", env, address, oi, return_address);
}
extern "C" uint64_t helper_le_ldul_mmu_arm(void* env, uint32_t address, uint32_t oi, uintptr_t return_address) {
  return load<4>("helper_le_ldul_mmu_arm", env, address, oi, return_address);
}
