// Diagnostics of the simulator itself (not the firmware's console): one line
// each on stderr, "board-sim: <who>: <what>". Tests can capture them.
#pragma once
#include <cstdint>
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

// The firmware's console as it goes to stdout, byte by byte: a note on
// stderr then starts on a line of its own when the console's last line is
// unfinished and both streams go to the same terminal (a prompt, or text
// printed without a line end, would otherwise run into the note).
void note_stdout_byte(uint8_t byte);
// "board-sim: <what>" on stderr, on a line of its own (see above).
void log_line(const std::string& what);
// Whether a note must begin with a line end: the console's line is
// unfinished and the two descriptors are the same terminal.
bool needs_line_break(bool mid_line, int out_fd, int err_fd);

}  // namespace sim
