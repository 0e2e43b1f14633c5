// What a firmware's debugging information says about its code, read with
// elfutils' libdw: which source line each instruction comes from (the DWARF
// line table) and which function each address belongs to.
//
// Functions come from the DWARF subprograms that have code in the image;
// code without DWARF (assembly built without -g) is named from the ELF
// symbol table and has no source position. Code the linker discarded keeps
// its DWARF at address 0: only what lies in the ELF's loadable segments
// counts. Source paths are absolute: a relative one is joined to its
// compilation unit's directory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/elf_image.h"

namespace sim {

struct SourcePosition {
  int file = -1;      // index into DebugInfo::files(), -1 unknown
  uint32_t line = 0;  // 0 unknown
};

struct DebugFunction {
  std::string name;          // as people read it (demangled)
  std::string symbol;        // as the symbol table spells it (mangled for C++)
  uint32_t entry = 0;        // first instruction
  SourcePosition declared;   // where the function is defined
  bool has_dwarf = false;    // false: known from the symbol table only
};

class DebugInfo {
 public:
  // Reads `elf`'s file. An ELF without DWARF is no error (has_lines() says
  // so); an unreadable one is.
  bool load(const ElfImage& elf, std::string* error);

  bool has_lines() const { return !lines_.empty(); }
  const std::vector<std::string>& files() const { return files_; }
  const std::vector<DebugFunction>& functions() const { return functions_; }  // by entry

  // The function holding `address`, or nullptr.
  const DebugFunction* function_at(uint32_t address) const;
  SourcePosition position_at(uint32_t address) const;

  // The line table as address ranges [begin, end), sorted by begin.
  struct LineRange {
    uint32_t begin, end;
    SourcePosition where;
  };
  const std::vector<LineRange>& lines() const { return lines_; }

 private:
  struct FunctionRange {
    uint32_t begin, end;
    size_t function;
  };
  int file_index(const std::string& path);

  std::vector<std::string> files_;
  std::vector<DebugFunction> functions_;
  std::vector<FunctionRange> ranges_;  // sorted by begin, not overlapping
  std::vector<LineRange> lines_;
};

}  // namespace sim
