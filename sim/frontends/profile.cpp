#include "frontends/profile.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <vector>

namespace sim {

namespace {
constexpr const char* kUnknownFile = "???";

// One cost line of a function: its own cost at a line, or a call made there.
struct Item {
  int file = -1;
  uint32_t line = 0;
  bool is_call = false;
  ExecutionRecorder::Cost cost;
  // Calls only.
  const DebugFunction* callee = nullptr;
  uint32_t callee_entry = 0;
  uint64_t count = 0;
  bool operator<(const Item& o) const {
    return std::tie(file, line, is_call, callee_entry) < std::tie(o.file, o.line, o.is_call, o.callee_entry);
  }
};

std::string file_name(const DebugInfo& info, int file) { return file < 0 ? kUnknownFile : info.files()[file]; }

std::string function_name(const DebugFunction* f, uint32_t address) {
  if (f) return f->name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", address);
  return buf;
}

// The file a function's costs are reported under: where it is defined, or
// else where its entry's code comes from.
int home_file(const DebugInfo& info, const DebugFunction* f, uint32_t address) {
  if (f && f->declared.file >= 0) return f->declared.file;
  return info.position_at(f ? f->entry : address).file;
}
}  // namespace

void write_callgrind(std::ostream& out, const std::string& command, const DebugInfo& info,
                     const ExecutionRecorder& run) {
  // Code outside every known function is grouped by the address it starts
  // at, as callgrind does for code without symbols.
  std::map<uint32_t, std::map<std::pair<int, uint32_t>, ExecutionRecorder::Cost>> self;  // entry -> (file, line)
  std::map<uint32_t, const DebugFunction*> functions;
  auto entry_of = [&](uint32_t address) {
    const DebugFunction* f = info.function_at(address);
    uint32_t entry = f ? f->entry : address;
    functions.emplace(entry, f);
    return entry;
  };
  run.for_each_instruction([&](uint32_t address, uint64_t count, uint64_t cycles) {
    SourcePosition where = info.position_at(address);
    auto& cost = self[entry_of(address)][{where.file, where.line}];
    cost.cycles += cycles;
    cost.instructions += count;
  });
  std::map<uint32_t, std::vector<Item>> items;
  for (const auto& [entry, lines] : self)
    for (const auto& [where, cost] : lines) {
      Item item;
      item.file = where.first;
      item.line = where.second;
      item.cost = cost;
      items[entry].push_back(item);
    }
  // Calls of one function from one line (a loop unrolled) are one record.
  std::map<std::tuple<uint32_t, int, uint32_t, uint32_t>, Item> calls;
  for (const auto& [call, cost] : run.calls()) {
    SourcePosition where = info.position_at(call.site);
    uint32_t callee = entry_of(call.target);
    Item& item = calls[{entry_of(call.site), where.file, where.line, callee}];
    item.file = where.file;
    item.line = where.line;
    item.is_call = true;
    item.callee = info.function_at(call.target);
    item.callee_entry = callee;
    item.count += cost.count;
    item.cost.cycles += cost.inclusive.cycles;
    item.cost.instructions += cost.inclusive.instructions;
  }
  for (const auto& [key, item] : calls) items[std::get<0>(key)].push_back(item);

  ExecutionRecorder::Cost total = run.total();
  out << "# callgrind format\nversion: 1\ncreator: board-sim\npid: 1\ncmd: " << command << "\npart: 1\n\n"
      << "desc: Cycles: MCLK cycles of the simulated board, a block's from its start to the next block's\n"
      << "desc: Instructions: instructions executed\n"
      << "positions: line\nevents: Cycles Instructions\nsummary: " << total.cycles << " " << total.instructions
      << "\n\n";
  for (auto& [entry, list] : items) {
    const DebugFunction* f = functions[entry];
    int home = home_file(info, f, entry);
    std::sort(list.begin(), list.end(), [home](const Item& a, const Item& b) {
      // The function's own file first: fl= names it, fi= the others.
      if ((a.file == home) != (b.file == home)) return a.file == home;
      return a < b;
    });
    out << "fl=" << file_name(info, home) << "\nfn=" << function_name(f, entry) << "\n";
    int current = home;
    for (const Item& item : list) {
      if (item.file != current) {
        out << "fi=" << file_name(info, item.file) << "\n";
        current = item.file;
      }
      if (item.is_call) {
        SourcePosition callee_at = info.position_at(item.callee_entry);
        out << "cfi=" << file_name(info, home_file(info, item.callee, item.callee_entry)) << "\ncfn="
            << function_name(item.callee, item.callee_entry) << "\ncalls=" << item.count << " " << callee_at.line
            << "\n";
      }
      out << item.line << " " << item.cost.cycles << " " << item.cost.instructions << "\n";
    }
    out << "\n";
  }
  out << "totals: " << total.cycles << " " << total.instructions << "\n";
}

}  // namespace sim
