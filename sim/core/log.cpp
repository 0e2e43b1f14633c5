#include "log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace sim {

namespace {
LogSink& sink() {
  static LogSink s;
  return s;
}
}  // namespace

namespace {
bool g_stdout_mid_line = false;

void emit(const std::string& line) {
  if (sink()) {
    sink()(line);
    return;
  }
  if (needs_line_break(g_stdout_mid_line, STDOUT_FILENO, STDERR_FILENO)) {
    std::fputc('\n', stdout);
    g_stdout_mid_line = false;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", line.c_str());
}
}  // namespace

bool needs_line_break(bool mid_line, int out_fd, int err_fd) {
  if (!mid_line || !::isatty(out_fd) || !::isatty(err_fd)) return false;
  struct stat out, err;
  if (::fstat(out_fd, &out) != 0 || ::fstat(err_fd, &err) != 0) return false;
  return out.st_rdev == err.st_rdev;
}

void note_stdout_byte(uint8_t byte) { g_stdout_mid_line = byte != '\n' && byte != '\r'; }

void log_line(const std::string& what) { emit("board-sim: " + what); }

void log_warning(const std::string& who, const std::string& what) { emit("board-sim: " + who + ": " + what); }

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
