// What the memory controller's and SYSCFG's registers make each bus access
// cost: the table the core's cycle model charges from, rebuilt whenever the
// program writes one of them.
#pragma once
#include "core/arm_timing.h"
#include "devices/memory_controller.h"
#include "devices/syscfg.h"

namespace sim {

MemoryTiming memory_timing(const MemoryController& mc, const SysCfg& sys);

}  // namespace sim
