#include "core/unicorn_stores.h"

#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <cstring>
#include <vector>

#include <unicorn/unicorn.h>

#include "core/unicorn_internals.h"
#include "core/unicorn_sdram.h"

namespace sim::unicorn_stores {
namespace {

bool linked_is_2_0_1() {
  unsigned major = 0, minor = 0;
  unsigned version = uc_version(&major, &minor);
  return major == 2 && minor == 0 && ((version >> 8) & 0xFF) == 1;
}

const bool kCanBeFast = linked_is_2_0_1();
bool fast_on = kCanBeFast;
// What the library's callers get instead of a collection: nothing of it is
// read but by page_collection_unlock_arm, below.
char no_collection;

thread_local StoreObserver observer = nullptr;
thread_local void* observer_context = nullptr;
const bool kNever = false;
thread_local const bool* observe_all = &kNever;
const WatchedRange kNoRange;
thread_local const WatchedRange* watched = &kNoRange;
const FastRange kNoFastRange;
thread_local const FastRange* fast_range = &kNoFastRange;

// The engine's one CPU, whose index the library leaves at -1.
void* engine_cpu(void* uc) { return kCanBeFast ? qemu_get_cpu_arm(uc, -1) : nullptr; }

// The region cache of memory_mapping (below): the regions as they were at a
// generation, which every change of the mappings moves on (before and after
// it, so that a lookup the change itself makes is not kept).
std::atomic<uint64_t> mapping_generation{1};
struct LastRegion {  // (plain data: a thread-local with no constructor to run)
  void* uc;
  uint64_t generation;
  uint64_t begin, end;  // the last region found
  void* region;
};
thread_local LastRegion last_region = {nullptr, 0, 1, 0, nullptr};
struct MappingCache {
  void* uc = nullptr;
  uint64_t generation = 0;
  std::vector<std::pair<uint64_t, uint64_t>> regions;  // [begin, end], as uc_mem_regions gives them
  std::vector<void*> found;                            // the library's region for each, once asked
};
thread_local MappingCache mapping_cache;

void mappings_change() { mapping_generation.fetch_add(1, std::memory_order_relaxed); }

// An aligned store at `start` (in the library's RAM space) that no observer
// is told of: the page locks' first case. (`any_address`: a byte store
// instruction's, at any address; none is a byte of an unaligned store.)
inline bool unobserved(uint64_t start, bool any_address = false) {
  return fast_on && (any_address || !(start & 3)) && !*observe_all && start - watched->begin >= watched->size;
}

}  // namespace

bool fast() { return fast_on; }
void set_fast(bool on) { fast_on = on && kCanBeFast; }

ObserverScope::ObserverScope(StoreObserver o, void* context, const bool* all, const WatchedRange* range,
                             const FastRange* fast)
    : previous(observer),
      previous_context(observer_context),
      previous_all(observe_all),
      previous_range(watched),
      previous_fast(fast_range) {
  observer = o;
  observer_context = context;
  observe_all = all ? all : &kNever;
  watched = range ? range : &kNoRange;
  fast_range = fast ? fast : &kNoFastRange;
}

ObserverScope::~ObserverScope() {
  observer = previous;
  observer_context = previous_context;
  observe_all = previous_all;
  watched = previous_range;
  fast_range = previous_fast;
}

bool store_unseen(uint64_t start, bool byte_store) {
  return unobserved(start, byte_store) && start - fast_range->begin >= fast_range->size;
}

bool forget_fast_pages(void* uc, const FastRange& range) {
  void* cpu = engine_cpu(uc);
  if (!cpu) return false;
  if (!range.made) return true;
  range.made = false;
  for (uint64_t offset = 0; offset < range.size; offset += kPageSize)
    tlb_flush_page_arm(cpu, range.address + static_cast<uint32_t>(offset));
  return true;
}

namespace {
// The library's slow path for a load or store (on x86-64, a stub after the
// block's code) calls its helper with the return address into the
// instruction's own code as an argument, set by a rip-relative LEA right
// before the call: "lea reg, [rip + d]; call helper", a direct call, or an
// indirect one through the constant pool ("call [rip + d]") for a helper
// beyond 2 GB (this program's own helpers, unicorn_sdram.cpp). The unwinder
// sees the stub's address, which no instruction of the block owns.
uintptr_t slow_path_return(uintptr_t at) {
#if defined(__x86_64__)
  const auto* p = reinterpret_cast<const uint8_t*>(at);
  const unsigned call = p[-5] == 0xE8 ? 5 : p[-6] == 0xFF && p[-5] == 0x15 ? 6 : 0;
  if (!call) return 0;
  const uint8_t* lea = p - call - 7;
  if ((lea[0] & 0xFB) != 0x48 || lea[1] != 0x8D || (lea[2] & 0xC7) != 0x05) return 0;
  int32_t d;
  std::memcpy(&d, lea + 3, 4);
  return at - call + static_cast<intptr_t>(d);
#else
  (void)at;
  return 0;
#endif
}
}  // namespace

bool restore_pc(void* uc) {
  void* cpu = engine_cpu(uc);
  if (!cpu) return false;
  // (an access the SDRAM's path serves tells its return address itself)
  if (uintptr_t at = unicorn_sdram::access_return_address()) return cpu_restore_state_arm(cpu, at, false);
  // The unwinder stops at the translated code (it has no unwind tables):
  // the last frames it finds are the helper's and its return address, in
  // memory no loaded object holds. (The library's answer is true for any
  // address in a translated block, found or not: the caller checks what the
  // pc then holds.)
  void* frames[32];
  const int n = backtrace(frames, 32);
  for (int i = n - 1; i >= 0; --i) {
    Dl_info info;
    if (dladdr(frames[i], &info)) continue;
    uintptr_t at = reinterpret_cast<uintptr_t>(frames[i]);
    if (uintptr_t back = slow_path_return(at)) at = back;
    if (cpu_restore_state_arm(cpu, at, false)) return true;
  }
  return false;
}

uint64_t ram_offset(void* uc, const void* host) {
  if (!kCanBeFast) return UINT64_MAX;
  return qemu_ram_addr_from_host_arm(uc, host);
}

}  // namespace sim::unicorn_stores

// The library's own names and signatures (QEMU's, with Unicorn's engine
// first). A store asks for [start, start + size); removing translated code
// asks for whole ranges.
namespace {
__attribute__((noinline)) void* page_collection_lock_in_full(void* uc, uint64_t start, uint64_t end) {
  using namespace sim::unicorn_stores;
  if (!fast_on) return __real_page_collection_lock_arm(uc, start, end);
  uint64_t size = end - start;
  // Unicorn stores an unaligned word or half-word as single bytes, the
  // first of them at the unaligned address.
  if (observer && size <= 4 &&
      (*observe_all || ((start & 3) && (size == 1 || (start & (size - 1)))) || start - watched->begin < watched->size))
    observer(observer_context, start, static_cast<unsigned>(size));
  return &no_collection;
}
}  // namespace

namespace {
__attribute__((noinline)) void make_page_fast(void* uc, uint64_t start) {
  using namespace sim::unicorn_stores;
  if (void* cpu = engine_cpu(uc)) {
    tlb_set_dirty_arm(cpu, fast_range->address + static_cast<uint32_t>(start - fast_range->begin));
    fast_range->made = true;
  }
}
}  // namespace

// (An aligned store that nobody watches, the common one, returns at once.)
extern "C" void* __wrap_page_collection_lock_arm(void* uc, uint64_t start, uint64_t end) {
  using namespace sim::unicorn_stores;
  if (unobserved(start)) {
    if (start - fast_range->begin < fast_range->size) make_page_fast(uc, start);
    return &no_collection;
  }
  return page_collection_lock_in_full(uc, start, end);
}

extern "C" void __wrap_page_collection_unlock_arm(void* collection) {
  using namespace sim::unicorn_stores;
  if (collection != &no_collection) __real_page_collection_unlock_arm(collection);
}

// Which mapped region holds an address: the library asks at every store, at
// every access to MMIO and more, and searches its list each time (more
// regions, as a board maps, cost more). The answer stays as long as the
// mappings do, so it is kept per engine and generation: the library's own
// search runs once per region.
namespace {
__attribute__((noinline)) void* memory_mapping_in_full(void* uc, uint64_t address) {
  using namespace sim::unicorn_stores;
  const uint64_t generation = mapping_generation.load(std::memory_order_relaxed);
  LastRegion& last = last_region;
  void* region = __real_memory_mapping(uc, address);
  if (!fast_on || !region) return region;
  MappingCache& c = mapping_cache;
  if (c.uc != uc || c.generation != generation) {
    c.uc = uc;
    c.generation = generation;
    c.regions.clear();
    c.found.clear();
    uc_mem_region* list = nullptr;
    uint32_t count = 0;
    if (uc_mem_regions(static_cast<uc_engine*>(uc), &list, &count) == UC_ERR_OK) {
      for (uint32_t i = 0; i < count; ++i) c.regions.emplace_back(list[i].begin, list[i].end);
      uc_free(list);
    }
    c.found.assign(c.regions.size(), nullptr);
  }
  for (size_t i = 0; i < c.regions.size(); ++i) {
    if (address < c.regions[i].first || address > c.regions[i].second) continue;
    if (c.found[i] && c.found[i] != region) break;  // not as listed: keep nothing
    c.found[i] = region;
    last = LastRegion{uc, generation, c.regions[i].first, c.regions[i].second, region};
    break;
  }
  return region;
}
}  // namespace

extern "C" void* __wrap_memory_mapping(void* uc, uint64_t address) {
  using namespace sim::unicorn_stores;
  const LastRegion& last = last_region;
  if (last.uc == uc && last.generation == mapping_generation.load(std::memory_order_relaxed) && address >= last.begin &&
      address <= last.end && fast_on)
    return last.region;
  return memory_mapping_in_full(uc, address);
}

// Every change of the mappings goes through these.
namespace {
template <typename... Params, typename... Args>
uc_err changing_mappings(uc_err (*real)(Params...), Args... args) {
  sim::unicorn_stores::mappings_change();
  uc_err err = real(args...);
  sim::unicorn_stores::mappings_change();
  return err;
}
}  // namespace

extern "C" {
uc_err __wrap_uc_mem_map(uc_engine* uc, uint64_t address, size_t size, uint32_t perms) {
  return changing_mappings(__real_uc_mem_map, uc, address, size, perms);
}
uc_err __wrap_uc_mem_map_ptr(uc_engine* uc, uint64_t address, size_t size, uint32_t perms, void* ptr) {
  return changing_mappings(__real_uc_mem_map_ptr, uc, address, size, perms, ptr);
}
uc_err __wrap_uc_mmio_map(uc_engine* uc, uint64_t address, size_t size, uc_cb_mmio_read_t read_cb,
                          void* user_data_read, uc_cb_mmio_write_t write_cb, void* user_data_write) {
  return changing_mappings(__real_uc_mmio_map, uc, address, size, read_cb, user_data_read, write_cb, user_data_write);
}
uc_err __wrap_uc_mem_unmap(uc_engine* uc, uint64_t address, size_t size) {
  return changing_mappings(__real_uc_mem_unmap, uc, address, size);
}
uc_err __wrap_uc_mem_protect(uc_engine* uc, uint64_t address, size_t size, uint32_t perms) {
  return changing_mappings(__real_uc_mem_protect, uc, address, size, perms);
}
uc_err __wrap_uc_close(uc_engine* uc) { return changing_mappings(__real_uc_close, uc); }
}
