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

constexpr uint32_t kSramBase = chip::kInternalSram;
constexpr uint32_t kSramSize = chip::kInternalSramSize;

}  // namespace sim::core_detail
