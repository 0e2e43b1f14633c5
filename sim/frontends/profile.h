// --profile: the run's costs in callgrind's format, for callgrind_annotate
// and KCachegrind. Two events: Cycles (MCLK cycles of the board's clock,
// charged as ExecutionRecorder says) and Instructions. Self costs by
// function and source line; each call site with its call count and the
// inclusive cost of those calls; an exception appears as a call from the
// interrupted function (at the interrupted line) to its handler.
#pragma once
#include <ostream>
#include <string>

#include "debug/debug_info.h"
#include "debug/execution_recorder.h"

namespace sim {

// `command` is what ran (shown by the tools as the profiled command).
void write_callgrind(std::ostream& out, const std::string& command, const DebugInfo& info,
                     const ExecutionRecorder& run);

}  // namespace sim
