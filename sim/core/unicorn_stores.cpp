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

thread_local UnalignedObserver observer = nullptr;
thread_local void* observer_context = nullptr;

template <typename Fn>
Fn library_function(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

bool fast() { return fast_on; }
void set_fast(bool on) { fast_on = on && kCanBeFast; }

ObserverScope::ObserverScope(UnalignedObserver o, void* context) : previous(observer), previous_context(observer_context) {
  observer = o;
  observer_context = context;
}

ObserverScope::~ObserverScope() {
  observer = previous;
  observer_context = previous_context;
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
  if (observer && size <= 4 && (start & 3) && (size == 1 || (start & (size - 1))))
    observer(observer_context, start, static_cast<unsigned>(size));
  return &no_collection;
}

extern "C" void page_collection_unlock_arm(void* collection) {
  using namespace sim::unicorn_stores;
  if (collection == &no_collection) return;
  static auto real = library_function<void (*)(void*)>("page_collection_unlock_arm");
  real(collection);
}
