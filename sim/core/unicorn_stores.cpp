#include "core/unicorn_stores.h"

#include <dlfcn.h>

#include <unicorn/unicorn.h>

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

template <typename Fn>
Fn library_function(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

bool fast() { return fast_on; }
void set_fast(bool on) { fast_on = on && kCanBeFast; }

ObserverScope::ObserverScope(StoreObserver o, void* context, const bool* all)
    : previous(observer), previous_context(observer_context), previous_all(observe_all) {
  observer = o;
  observer_context = context;
  observe_all = all ? all : &kNever;
}

ObserverScope::~ObserverScope() {
  observer = previous;
  observer_context = previous_context;
  observe_all = previous_all;
}

}  // namespace sim::unicorn_stores

// The library's own names and signatures (QEMU's, with Unicorn's engine
// first). A store asks for [start, start + size); removing translated code
// asks for whole ranges.
extern "C" void* page_collection_lock_arm(void* uc, uint64_t start, uint64_t end) {
  using namespace sim::unicorn_stores;
  if (!fast_on) {
    static auto real = library_function<void* (*)(void*, uint64_t, uint64_t)>("page_collection_lock_arm");
    return real(uc, start, end);
  }
  uint64_t size = end - start;
  // Unicorn stores an unaligned word or half-word as single bytes, the
  // first of them at the unaligned address.
  if (observer && size <= 4 && (*observe_all || ((start & 3) && (size == 1 || (start & (size - 1))))))
    observer(observer_context, start, static_cast<unsigned>(size));
  return &no_collection;
}

extern "C" void page_collection_unlock_arm(void* collection) {
  using namespace sim::unicorn_stores;
  if (collection == &no_collection) return;
  static auto real = library_function<void (*)(void*)>("page_collection_unlock_arm");
  real(collection);
}
