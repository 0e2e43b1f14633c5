// How a message quotes what a user or a file gave it (a script line, a word
// of it, a file name from a script, a gdb monitor command): whatever the
// bytes, the message stays one short line that does nothing to a terminal.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace sim {

// `text` with control bytes (C0, DEL, and the C1 controls U+0080..U+009F
// that some terminals obey as ESC sequences) and bytes that are not UTF-8
// written as \xHH, and cut after `shown` bytes of it with the whole size
// said: "wait yyyy... (2005 bytes)".
std::string quoted_line(std::string_view text, std::size_t shown = 80);

// The same for a file name inside a message: names may be long, but not
// megabytes long.
inline std::string quoted_path(std::string_view path) { return quoted_line(path, 512); }

}  // namespace sim
