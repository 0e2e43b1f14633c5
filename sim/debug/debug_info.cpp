#include "debug/debug_info.h"

#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "core/shared_library.h"

namespace sim {

namespace {

// libdw's functions, from the library opened at the first DebugInfo::load
// (core/shared_library.h).
struct Libdw {
  decltype(&::dwarf_attr) attr = nullptr;
  decltype(&::dwarf_attr_integrate) attr_integrate = nullptr;
  decltype(&::dwarf_begin) begin = nullptr;
  decltype(&::dwarf_decl_file) decl_file = nullptr;
  decltype(&::dwarf_decl_line) decl_line = nullptr;
  decltype(&::dwarf_diename) diename = nullptr;
  decltype(&::dwarf_end) end = nullptr;
  decltype(&::dwarf_entrypc) entrypc = nullptr;
  decltype(&::dwarf_formstring) formstring = nullptr;
  decltype(&::dwarf_getfuncs) getfuncs = nullptr;
  decltype(&::dwarf_getsrclines) getsrclines = nullptr;
  decltype(&::dwarf_lineaddr) lineaddr = nullptr;
  decltype(&::dwarf_lineendsequence) lineendsequence = nullptr;
  decltype(&::dwarf_lineno) lineno = nullptr;
  decltype(&::dwarf_linesrc) linesrc = nullptr;
  decltype(&::dwarf_nextcu) nextcu = nullptr;
  decltype(&::dwarf_offdie) offdie = nullptr;
  decltype(&::dwarf_onesrcline) onesrcline = nullptr;
  decltype(&::dwarf_ranges) ranges = nullptr;
  std::string error;  // why it is not there; empty when it is
};
const Libdw& dw() {
  static const Libdw lib = [] {
    Libdw d;
    void* l = open_library("libdw.so.1", &d.error);
    if (l && !(library_function(l, "dwarf_attr", &d.attr, &d.error) &&
           library_function(l, "dwarf_attr_integrate", &d.attr_integrate, &d.error) &&
           library_function(l, "dwarf_begin", &d.begin, &d.error) &&
           library_function(l, "dwarf_decl_file", &d.decl_file, &d.error) &&
           library_function(l, "dwarf_decl_line", &d.decl_line, &d.error) &&
           library_function(l, "dwarf_diename", &d.diename, &d.error) &&
           library_function(l, "dwarf_end", &d.end, &d.error) &&
           library_function(l, "dwarf_entrypc", &d.entrypc, &d.error) &&
           library_function(l, "dwarf_formstring", &d.formstring, &d.error) &&
           library_function(l, "dwarf_getfuncs", &d.getfuncs, &d.error) &&
           library_function(l, "dwarf_getsrclines", &d.getsrclines, &d.error) &&
           library_function(l, "dwarf_lineaddr", &d.lineaddr, &d.error) &&
           library_function(l, "dwarf_lineendsequence", &d.lineendsequence, &d.error) &&
           library_function(l, "dwarf_lineno", &d.lineno, &d.error) &&
           library_function(l, "dwarf_linesrc", &d.linesrc, &d.error) &&
           library_function(l, "dwarf_nextcu", &d.nextcu, &d.error) &&
           library_function(l, "dwarf_offdie", &d.offdie, &d.error) &&
           library_function(l, "dwarf_onesrcline", &d.onesrcline, &d.error) &&
           library_function(l, "dwarf_ranges", &d.ranges, &d.error)))
      d.error = "libdw.so.1: " + d.error;
    return d;
  }();
  return lib;
}

std::string demangle(const std::string& symbol) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status),
                                             std::free);
  return status == 0 && out ? std::string(out.get()) : symbol;
}

std::string absolute_path(const char* path, const std::string& comp_dir) {
  std::filesystem::path p(path);
  if (p.is_relative() && !comp_dir.empty()) p = std::filesystem::path(comp_dir) / p;
  return p.lexically_normal().string();
}

const char* string_attribute(Dwarf_Die* die, unsigned name) {
  Dwarf_Attribute attr;
  return dw().formstring(dw().attr_integrate(die, name, &attr));
}

struct DwarfHandle {
  int fd = -1;
  Dwarf* dwarf = nullptr;
  ~DwarfHandle() {
    if (dwarf) dw().end(dwarf);
    if (fd >= 0) close(fd);
  }
};

// What dwarf_getfuncs hands to its callback.
struct FunctionWalk {
  std::string comp_dir;
  std::function<bool(uint32_t)> in_image;
  std::function<int(const std::string&)> file_index;
  std::vector<DebugFunction>* functions;
  std::vector<std::vector<std::pair<uint32_t, uint32_t>>>* ranges;
};

int on_function(Dwarf_Die* die, void* arg) {
  auto* walk = static_cast<FunctionWalk*>(arg);
  Dwarf_Addr entry = 0;
  if (dw().entrypc(die, &entry) != 0 || !walk->in_image(static_cast<uint32_t>(entry))) return DWARF_CB_OK;
  std::vector<std::pair<uint32_t, uint32_t>> pieces;
  Dwarf_Addr base = 0, begin = 0, end = 0;
  for (ptrdiff_t at = 0; (at = dw().ranges(die, at, &base, &begin, &end)) > 0;)
    if (end > begin) pieces.emplace_back(static_cast<uint32_t>(begin), static_cast<uint32_t>(end));
  if (pieces.empty()) return DWARF_CB_OK;

  DebugFunction f;
  const char* name = dw().diename(die);
  const char* linkage = string_attribute(die, DW_AT_linkage_name);
  if (!linkage) linkage = string_attribute(die, DW_AT_MIPS_linkage_name);
  f.symbol = linkage ? linkage : name ? name : "";
  f.name = linkage ? demangle(linkage) : f.symbol;
  if (f.symbol.empty()) return DWARF_CB_OK;
  f.entry = static_cast<uint32_t>(entry);
  if (const char* file = dw().decl_file(die)) f.declared.file = walk->file_index(absolute_path(file, walk->comp_dir));
  int line = 0;
  if (dw().decl_line(die, &line) == 0 && line > 0) f.declared.line = static_cast<uint32_t>(line);
  f.has_dwarf = true;
  walk->functions->push_back(std::move(f));
  walk->ranges->push_back(std::move(pieces));
  return DWARF_CB_OK;
}

}  // namespace

int DebugInfo::file_index(const std::string& path) {
  auto it = std::find(files_.begin(), files_.end(), path);
  if (it != files_.end()) return static_cast<int>(it - files_.begin());
  files_.push_back(path);
  return static_cast<int>(files_.size() - 1);
}

bool DebugInfo::load(const ElfImage& elf, std::string* error) {
  files_.clear();
  functions_.clear();
  ranges_.clear();
  lines_.clear();
  if (!dw().error.empty()) {
    *error = elf.path() + ": cannot read its DWARF: " + dw().error;
    return false;
  }
  auto in_image = [&elf](uint32_t address) {
    for (const ElfSegment& s : elf.segments())
      if (address >= s.address && address - s.address < s.memory_size) return true;
    return false;
  };

  DwarfHandle h;
  h.fd = open(elf.path().c_str(), O_RDONLY);
  if (h.fd < 0) {
    *error = elf.path() + ": cannot open the file";
    return false;
  }
  // No DWARF at all (built without -g) is not an error: dwarf_begin fails.
  h.dwarf = dw().begin(h.fd, DWARF_C_READ);

  std::vector<std::vector<std::pair<uint32_t, uint32_t>>> pieces;
  Dwarf_Off offset = 0, next = 0;
  size_t header = 0;
  while (h.dwarf && dw().nextcu(h.dwarf, offset, &next, &header, nullptr, nullptr, nullptr) == 0) {
    Dwarf_Die cu;
    if (dw().offdie(h.dwarf, offset + header, &cu)) {
      Dwarf_Attribute attr;
      const char* dir = dw().formstring(dw().attr(&cu, DW_AT_comp_dir, &attr));
      std::string comp_dir = dir ? dir : "";

      Dwarf_Lines* table = nullptr;
      size_t rows = 0;
      if (dw().getsrclines(&cu, &table, &rows) == 0) {
        // Each row holds from its address up to the next row's; the row
        // that ends a sequence holds nothing.
        for (size_t i = 0; i + 1 < rows; ++i) {
          Dwarf_Line* row = dw().onesrcline(table, i);
          Dwarf_Line* after = dw().onesrcline(table, i + 1);
          bool end_sequence = false;
          Dwarf_Addr begin = 0, end = 0;
          int line = 0;
          if (!row || !after || dw().lineendsequence(row, &end_sequence) != 0 || end_sequence) continue;
          if (dw().lineaddr(row, &begin) != 0 || dw().lineaddr(after, &end) != 0 || end <= begin) continue;
          if (dw().lineno(row, &line) != 0 || line <= 0 || !in_image(static_cast<uint32_t>(begin))) continue;
          const char* file = dw().linesrc(row, nullptr, nullptr);
          if (!file) continue;
          lines_.push_back({static_cast<uint32_t>(begin), static_cast<uint32_t>(end),
                            {file_index(absolute_path(file, comp_dir)), static_cast<uint32_t>(line)}});
        }
      }
      FunctionWalk walk{comp_dir, in_image, [this](const std::string& p) { return file_index(p); }, &functions_,
                        &pieces};
      dw().getfuncs(&cu, on_function, &walk, 0);
    }
    offset = next;
  }
  std::sort(lines_.begin(), lines_.end(), [](const LineRange& a, const LineRange& b) { return a.begin < b.begin; });

  // The same code can be described twice (a constructor's two names): one
  // function per entry.
  std::map<uint32_t, size_t> by_entry;
  std::vector<DebugFunction> unique;
  std::vector<FunctionRange> ranges;
  for (size_t i = 0; i < functions_.size(); ++i) {
    if (by_entry.count(functions_[i].entry)) continue;
    by_entry[functions_[i].entry] = unique.size();
    for (auto& [b, e] : pieces[i]) ranges.push_back({b, e, unique.size()});
    unique.push_back(std::move(functions_[i]));
  }
  std::vector<std::pair<uint32_t, uint32_t>> dwarf_code;
  for (const FunctionRange& r : ranges) dwarf_code.emplace_back(r.begin, r.end);
  std::sort(dwarf_code.begin(), dwarf_code.end());
  auto covered = [&dwarf_code](uint32_t address) {
    auto it = std::upper_bound(dwarf_code.begin(), dwarf_code.end(), std::make_pair(address, ~0u));
    return it != dwarf_code.begin() && address < std::prev(it)->second;
  };
  // Code without DWARF: from the symbol table, each symbol up to its size,
  // or when it has none (an assembly label) up to the next function or the
  // end of its segment.
  std::vector<std::pair<std::string, ElfSymbol>> plain;
  for (const auto& [name, sym] : elf.functions())
    if (in_image(sym.address) && !by_entry.count(sym.address) && !covered(sym.address)) plain.emplace_back(name, sym);
  std::vector<uint32_t> starts;
  for (const FunctionRange& r : ranges) starts.push_back(r.begin);
  for (const auto& p : plain) starts.push_back(p.second.address);
  std::sort(starts.begin(), starts.end());
  for (const auto& [name, sym] : plain) {
    if (by_entry.count(sym.address)) continue;
    uint32_t end = sym.address + sym.size;
    if (!sym.size) {
      end = sym.address + 4;
      for (const ElfSegment& seg : elf.segments())
        if (sym.address >= seg.address && sym.address - seg.address < seg.memory_size) end = seg.address + seg.memory_size;
      auto next = std::upper_bound(starts.begin(), starts.end(), sym.address);
      if (next != starts.end()) end = std::min(end, *next);
    }
    DebugFunction f;
    f.symbol = name;
    f.name = demangle(name);
    f.entry = sym.address;
    by_entry[f.entry] = unique.size();
    ranges.push_back({sym.address, end, unique.size()});
    unique.push_back(std::move(f));
  }

  // Functions sorted by entry; ranges renumbered to match.
  std::vector<size_t> order(unique.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&unique](size_t a, size_t b) { return unique[a].entry < unique[b].entry; });
  std::vector<size_t> renumber(unique.size());
  for (size_t i = 0; i < order.size(); ++i) renumber[order[i]] = i;
  functions_.clear();
  for (size_t i : order) functions_.push_back(std::move(unique[i]));
  for (FunctionRange& r : ranges) r.function = renumber[r.function];
  std::sort(ranges.begin(), ranges.end(), [](const FunctionRange& a, const FunctionRange& b) { return a.begin < b.begin; });
  ranges_ = std::move(ranges);
  return true;
}

const DebugFunction* DebugInfo::function_at(uint32_t address) const {
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), address,
                             [](uint32_t a, const FunctionRange& r) { return a < r.begin; });
  if (it == ranges_.begin()) return nullptr;
  --it;
  return address < it->end ? &functions_[it->function] : nullptr;
}

SourcePosition DebugInfo::position_at(uint32_t address) const {
  auto it = std::upper_bound(lines_.begin(), lines_.end(), address,
                             [](uint32_t a, const LineRange& r) { return a < r.begin; });
  if (it == lines_.begin()) return {};
  --it;
  return address < it->end ? it->where : SourcePosition{};
}

}  // namespace sim
