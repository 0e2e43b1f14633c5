// The files one run of board-sim names on its command line, checked together
// before anything is read into the board or written.
//
// Every option that names a file adds one line to a RunFiles table (an empty
// value is skipped: main refuses empty values earlier):
//
//   files.input("--uart-in", s.uart_in, 16 << 20);   // a regular file, at most 16 MiB
//   files.output("--trace", s.trace);                // written during or after the run
//
// check() then refuses, with one line, an input that is not a regular file
// (a directory, a FIFO, /dev/zero) or is larger than its limit, an output that
// cannot be created where it is named (missing or unwritable directory, a
// directory, a read-only file), and any output that is the same file as an
// input or as another output. "The same file" is decided on the files, not on
// the spellings: an existing file by device and inode (symlinks followed), a
// file still to be created by its canonical directory and name. Character
// devices (/dev/null, a terminal) are exempt from the collision rule: several
// outputs may well all go to /dev/null.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class RunFiles {
 public:
  // `what` names the option ("--uart-in", "--script line 4").
  void input(const std::string& what, const std::string& path, uint64_t max_bytes);
  void output(const std::string& what, const std::string& path);

  // False with *error = "WHAT: PATH: why" for the first problem found.
  bool check(std::string* error) const;

 private:
  struct Entry {
    std::string what, path;
    bool is_output;
    uint64_t max_bytes;
  };
  std::vector<Entry> entries_;
};

// Reads a whole regular file of at most `max_bytes` (the same checks as
// RunFiles::input). False with *error = "PATH: why".
bool read_regular_file(const std::string& path, uint64_t max_bytes, std::vector<uint8_t>* bytes, std::string* error);

// "12 MiB", "4 KiB", "100 bytes": a limit in a message.
std::string format_size(uint64_t bytes);

}  // namespace sim
