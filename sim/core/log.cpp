#include "log.h"

#include <cstdint>
#include <cstdio>

namespace sim {

namespace {
LogSink& sink() {
  static LogSink s;
  return s;
}
}  // namespace

void log_warning(const std::string& who, const std::string& what) {
  std::string line = "board-sim: " + who + ": " + what;
  if (sink()) sink()(line);
  else std::fprintf(stderr, "%s\n", line.c_str());
}

namespace {
bool g_verbose = false;
}

void log_detail(const std::string& who, const std::string& what) {
  if (g_verbose) log_warning(who, what);
}

void set_log_verbose(bool verbose) { g_verbose = verbose; }

bool log_verbose() { return g_verbose; }

LogSink set_log_sink(LogSink s) {
  LogSink previous = sink();
  sink() = std::move(s);
  return previous;
}

std::string hex32(uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", value);
  return buf;
}

}  // namespace sim
