// The chip's memory-mapped I/O as the core sees it: the SFR space, the
// 7-segment latch and the keypad rows, each dispatched to its device model.
//
// The bus also keeps the register trace and watches for polling loops: when
// the same short sequence of register reads keeps returning the same values,
// nothing can change until the next event (or until a counter register next
// changes), so the board may skip that time instead of emulating the spin.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <set>
#include <vector>

#include "core/scheduler.h"
#include "core/device.h"

namespace sim {

class Bus {
 public:
  explicit Bus(Scheduler& scheduler) : scheduler_(scheduler) {}

  // Devices in the SFR space (any 16 KB-aligned block) or on the external bus.
  void attach(Device* device);
  Device* find(uint32_t address) const;

  uint32_t read(uint32_t address, unsigned size);
  void write(uint32_t address, uint32_t value, unsigned size);

  // "cycle R|W address value size" per access, to a file (nullptr: off).
  void set_trace(std::FILE* file) { trace_ = file; }
  bool tracing() const { return trace_ != nullptr; }
  // The trace of reads that turns passed at once would have made, so that
  // it reads as if every turn had run: one read `ahead` cycles from now (a
  // wait on one register), or every read of the poll just found (its last
  // turn repeated) in `turns` turns from cycle `from` on.
  void trace_passed_read(uint64_t ahead, uint32_t address, uint32_t value, unsigned size);
  void trace_poll_turns(uint64_t from, uint64_t turns);
  // Also called for every access (tests watch register writes this way).
  using Watcher = std::function<void(bool is_write, uint32_t address, uint32_t value, unsigned size)>;
  void add_watcher(Watcher watcher) { watchers_.push_back(std::move(watcher)); }

  // Polling detection. `position` identifies where in the instruction stream
  // the access happened (instructions executed so far in the run).
  void set_position_source(const uint64_t* position) { position_ = position; }
  // The address of the instruction making the access: a poll's turns read
  // from the same instructions (unrolled reads of one register are no poll).
  void set_pc_source(const uint32_t* pc) { pc_ = pc; }
  void set_idle_detection(bool on) { idle_detection_ = on; }
  // Set when a polling loop was recognised: the time up to which the values
  // read stay as they are (kForever: until the next event). Cleared by take.
  bool idle_detected() const { return idle_until_ != 0; }
  // Whether an event has run since the poll was found: its reads may read
  // otherwise now (the board then looks again rather than skip).
  bool events_since_found() const { return scheduler_.fired() != found_fired_; }
  VTime take_idle_until() {
    VTime t = idle_until_;
    idle_until_ = 0;
    forget_history();
    return t;
  }
  // One turn of the loop recognised, in MCLK cycles.
  uint64_t idle_turn_cycles() const { return idle_turn_cycles_; }
  void set_idle_listener(std::function<void()> listener) { idle_listener_ = std::move(listener); }
  void forget_history() {
    history_count_ = 0;
    end_check();
  }
  // A loop that reads the same registers the same way may still be doing
  // work (counting its turns to a time-out, filling a buffer): before its
  // time is skipped, one more turn runs with `begin` called at its start and
  // `unchanged` at its end, which says whether the turn left the program's
  // state (registers, memory) as it found it. Without a checker every
  // recognised loop is skipped.
  void set_state_checker(std::function<void()> begin, std::function<bool()> unchanged) {
    check_begin_ = std::move(begin);
    check_unchanged_ = std::move(unchanged);
  }

 private:
  struct Read {
    uint32_t address;
    uint32_t value;
    uint32_t pc;
    unsigned size;
    uint64_t position;
    uint64_t cycles;
    uint64_t position_step, cycles_step;  // since the read before
  };
  void note_read(Device* device, uint32_t address, uint32_t value, unsigned size);
  void end_check() {
    if (checking_) {
      checking_ = false;
      check_unchanged_();
    }
  }
  void trace(char kind, uint32_t address, uint32_t value, unsigned size);

  Scheduler& scheduler_;
  uint64_t found_fired_ = 0;  // the scheduler's count of fired events when the poll was found
  std::array<Device*, 256> sfr_{};  // 16 KB slots of the SFR space
  std::vector<Device*> external_;
  std::set<uint32_t> unclaimed_;  // addresses without a register, reported once
  std::FILE* trace_ = nullptr;
  std::vector<Watcher> watchers_;

  const uint64_t* position_ = nullptr;
  const uint32_t* pc_ = nullptr;
  bool idle_detection_ = true;
  static constexpr unsigned kHistory = 32;  // at least four turns of a period of four, and the read after
  std::array<Read, kHistory> history_{};
  std::array<Device*, kHistory> history_device_{};
  int history_count_ = 0;
  unsigned history_head_ = 0;
  VTime idle_until_ = 0;
  uint64_t idle_turn_cycles_ = 0;
  std::function<void()> idle_listener_;
  std::function<void()> check_begin_;
  std::function<bool()> check_unchanged_;
  bool checking_ = false;  // a turn runs under the state checker
  int check_period_ = 0, check_reads_left_ = 0;
  int found_period_ = 0;  // of the poll found last
};

}  // namespace sim
