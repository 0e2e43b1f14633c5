// --coverage: an lcov tracefile of the firmware's lines and functions that
// ran, from the instructions that ran and the ELF's DWARF line table, with
// no instrumentation in the firmware.
//
// Every function with DWARF code in the image has its FN record, those that
// never ran with FNDA 0; FNDA counts how many times its first instruction
// ran (its calls, unless a loop jumps back to its very first instruction).
// Every line the line table gives code has its DA record; a line's count is
// the largest number of times one of its instructions ran (the compiler
// spreads a line over several places, and a loop's condition runs once per
// turn). Source files that are not on this machine (a library built
// elsewhere, such as the toolchain's newlib) are left out, so that genhtml
// renders the file as it is.
#pragma once
#include <ostream>
#include <string>

#include "debug/debug_info.h"
#include "debug/execution_recorder.h"

namespace sim {

// `test_name` becomes the TN of each record (letters, digits and '_' only:
// anything else is replaced by '_').
void write_lcov(std::ostream& out, const std::string& test_name, const DebugInfo& info, const ExecutionRecorder& run);

}  // namespace sim
