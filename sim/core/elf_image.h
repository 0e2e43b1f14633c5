// A firmware image read from an ELF file with libelf: its loadable segments
// and its symbol table (the simulator finds the firmware's font, and tests
// find functions, by name).
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct ElfSegment {
  uint32_t address;            // where it is loaded (physical address)
  uint32_t memory_size;        // bytes in memory; past the file bytes it is zero
  std::vector<uint8_t> bytes;  // the file bytes
};

struct ElfSymbol {
  uint32_t address;
  uint32_t size;
  bool is_function;
  bool thumb = false;  // a Thumb function (bit 0 of its value)
};

class ElfImage {
 public:
  // Reads an ARM, 32-bit, little-endian executable. On failure returns false
  // with a one-line reason in *error ("not an ELF file", "built for x86-64" ...).
  bool load(const std::string& path, std::string* error);

  const std::string& path() const { return path_; }
  uint32_t entry() const { return entry_; }
  const std::vector<ElfSegment>& segments() const { return segments_; }
  std::optional<ElfSymbol> symbol(const std::string& name) const;
  // Every function symbol (local ones of the same name included), in the
  // symbol table's order.
  const std::vector<std::pair<std::string, ElfSymbol>>& functions() const { return functions_; }
  // "name+0x10" for the function or object containing `address`, or "".
  std::string describe(uint32_t address) const;

 private:
  std::string path_;
  uint32_t entry_ = 0;
  std::vector<ElfSegment> segments_;
  std::map<std::string, ElfSymbol> symbols_;
  std::vector<std::pair<std::string, ElfSymbol>> functions_;
  std::map<uint32_t, std::pair<std::string, uint32_t>> by_address_;  // address -> (name, size)
};

}  // namespace sim
