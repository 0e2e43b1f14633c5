// Diagnostics of the simulator itself (not the firmware's console): one line
// each on stderr, "board-sim: <who>: <what>". Tests can capture them.
#pragma once
#include <functional>
#include <string>

namespace sim {

void log_warning(const std::string& who, const std::string& what);
// A report about something that is not the user's to fix (a harmless habit
// of a firmware, e.g. the phone's): shown only with --verbose.
void log_detail(const std::string& who, const std::string& what);
void set_log_verbose(bool verbose);
bool log_verbose();
// Replace the sink (nullptr restores stderr). Returns the previous one.
using LogSink = std::function<void(const std::string& line)>;
LogSink set_log_sink(LogSink sink);

std::string hex32(uint32_t value);  // "0x01D00000"

}  // namespace sim
