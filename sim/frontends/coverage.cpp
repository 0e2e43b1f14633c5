#include "frontends/coverage.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

namespace sim {

namespace {
struct FileRecord {
  std::map<uint32_t, uint64_t> lines;                              // line -> count
  std::map<std::string, std::pair<uint32_t, uint64_t>> functions;  // name -> (line, count)
};
}  // namespace

void write_lcov(std::ostream& out, const std::string& test_name, const DebugInfo& info, const ExecutionRecorder& run) {
  std::string tn = test_name;
  for (char& c : tn)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';

  std::map<int, FileRecord> records;
  for (const DebugInfo::LineRange& r : info.lines()) {
    uint64_t most = 0;
    // Instructions sit at even addresses (ARM ones at multiples of four);
    // the halfwords between them count 0.
    for (uint32_t a = r.begin & ~1u; a < r.end; a += 2) most = std::max(most, run.count(a));
    uint64_t& line = records[r.where.file].lines[r.where.line];
    line = std::max(line, most);
  }
  for (const DebugFunction& f : info.functions()) {
    if (!f.has_dwarf || f.declared.file < 0) continue;
    // Copies of one function (a static inline function of a header, emitted
    // in several units) are one function of that file.
    auto& entry = records[f.declared.file].functions[f.symbol];
    if (!entry.first) entry.first = f.declared.line;
    entry.second += run.count(f.entry);
  }

  std::map<std::string, const FileRecord*> by_path;
  // Sources that are not on this machine (the toolchain's newlib and libgcc,
  // built elsewhere) are left out: genhtml stops at the first file it cannot
  // read, and no report could show their lines anyway.
  for (const auto& [file, record] : records) {
    const std::string& path = info.files()[file];
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) by_path[path] = &record;
  }
  for (const auto& [path, record] : by_path) {
    out << "TN:" << tn << "\nSF:" << path << "\n";
    std::vector<std::pair<uint32_t, std::string>> ordered;
    for (const auto& [name, f] : record->functions) ordered.emplace_back(f.first, name);
    std::sort(ordered.begin(), ordered.end());
    for (const auto& [line, name] : ordered) out << "FN:" << line << "," << name << "\n";
    size_t hit = 0;
    for (const auto& [line, name] : ordered) {
      uint64_t count = record->functions.at(name).second;
      hit += count > 0;
      out << "FNDA:" << count << "," << name << "\n";
    }
    out << "FNF:" << ordered.size() << "\nFNH:" << hit << "\n";
    hit = 0;
    for (const auto& [line, count] : record->lines) {
      hit += count > 0;
      out << "DA:" << line << "," << count << "\n";
    }
    out << "LF:" << record->lines.size() << "\nLH:" << hit << "\nend_of_record\n";
  }
}

}  // namespace sim
