// Stores to the LCD's frame buffer on Unicorn's fast path (see
// unicorn_stores::FastRange): drawing is most of what a program with a
// screen stores, and each store on the library's slow path costs some 250
// host instructions, for a check for overwritten code that a page no code
// was ever translated from does not need.
#include "core/arm_core.h"

namespace sim {

namespace {
constexpr uint32_t kPage = unicorn_stores::kPageSize;
}  // namespace

void ArmCore::set_fast_stores(uint32_t begin, uint32_t end) {
  if (begin == fast_want_begin_ && end == fast_want_end_) return;
  fast_want_begin_ = begin, fast_want_end_ = end;
  if (!running_) apply_fast_stores();
}

// At a slice's end (nothing runs). The range is whole pages: a page made
// fast takes every store to it on the fast path.
void ArmCore::apply_fast_stores() {
  unicorn_stores::FastRange want;
  const uint32_t begin = fast_want_begin_ & ~(kPage - 1);
  const uint64_t end = (static_cast<uint64_t>(fast_want_end_) + kPage - 1) & ~static_cast<uint64_t>(kPage - 1);
  bool ok = !fast_stores_off_ && !reference_ && !data_hook_ && sdram_offset_known_ && unicorn_stores::fast() &&
            begin >= chip::kSdramBase && end > begin && end - chip::kSdramBase <= chip::kSdramSize;
  // (the range it has: code that came there since turned it off)
  if (ok && fast_stores_.size && begin == fast_stores_.address && end - begin == fast_stores_.size) return;
  for (uint64_t page = begin; ok && page < end; page += kPage)
    if (code_pages_[(page - chip::kSdramBase) / kPage]) ok = false;
  if (ok) want = {sdram_offset_ + (begin - chip::kSdramBase), end - begin, begin};
  if (want.begin == fast_stores_.begin && want.size == fast_stores_.size) return;
  forget_fast_pages();
  fast_stores_ = want;
}

void ArmCore::forget_fast_pages() { unicorn_stores::forget_fast_pages(uc_, fast_stores_); }

// A block about to run for the first time: its pages held code. Stores to
// a page made fast would no longer remove its translation, so such a page
// (an odd place for code) takes the slow path again, for good.
void ArmCore::note_code(uint32_t address, uint32_t size) {
  if (address < chip::kSdramBase || address - chip::kSdramBase >= chip::kSdramSize || !size) return;
  const uint32_t last = std::min<uint32_t>(address + size - 1, chip::kSdramBase + chip::kSdramSize - 1);
  for (uint32_t page = (address - chip::kSdramBase) / kPage; page <= (last - chip::kSdramBase) / kPage; ++page)
    code_pages_[page] = true;
  if (fast_stores_.size && address < fast_stores_.address + fast_stores_.size &&
      last >= fast_stores_.address) {
    fast_stores_off_ = true;
    forget_fast_pages();
    fast_stores_ = {};
  }
}

}  // namespace sim
