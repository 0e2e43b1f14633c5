// What the system tests of the small test firmwares share.
#pragma once
#include <string>
#include <vector>

#include "core/log.h"

namespace sim {

// A test firmware built next to board-sim (tests/firmware).
inline std::string elf_path(const std::string& name) { return std::string(BIN_DIR) + "/" + name + ".elf"; }

// The simulator's own warnings (a watchdog reset, a halt) go here rather
// than into the test output.
struct LogCapture {
  std::vector<std::string> lines;
  LogSink previous = set_log_sink([this](const std::string& l) { lines.push_back(l); });
  ~LogCapture() { set_log_sink(previous); }
};

}  // namespace sim
