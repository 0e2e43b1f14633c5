// Path helpers shared by the files board-sim reads and writes.
#pragma once
#include <string>

namespace sim {

// "dir/name" -> "dir", "name" -> ".", "/name" -> "/".
std::string parent_of(const std::string& path);
// "dir/name" -> "name".
std::string base_of(const std::string& path);

// The file every write to `path` lands in: absolute, symlinks resolved, also
// when the last link points to a file not yet created. Empty, with *error,
// when the directory it would be in does not exist.
std::string resolve_target(const std::string& path, std::string* error);

}  // namespace sim
