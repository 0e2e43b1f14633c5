// What the core's own files share, and nothing outside the core uses.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include <unicorn/unicorn.h>

#include "core/s3c44b0x.h"

namespace sim::core_detail {

inline void check(uc_err err, const char* what) {
  if (err != UC_ERR_OK) throw std::runtime_error(std::string("unicorn: ") + what + ": " + uc_strerror(err));
}

// Whether `address` lies in [lo, hi], a range that may wrap past the top of
// the address space (a load or store multiple down from near 0).
constexpr bool in_range(uint32_t address, uint32_t lo, uint32_t hi) { return address - lo <= hi - lo; }

constexpr uint32_t kSramBase = chip::kInternalSram;
constexpr uint32_t kSramSize = chip::kInternalSramSize;

}  // namespace sim::core_detail
