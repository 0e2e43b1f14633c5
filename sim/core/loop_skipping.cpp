// Skipping waits: turns of a loop that change nothing a program can see
// pass at once, counted as if each had run.
//
// Guarantees: a skipped turn costs what the turn that ran cost, its
// counter or register moves as the turns would move it, its register reads
// are traced as if each happened, and skipping stops before the next event,
// the budget's end or a debugger's breakpoint: the turn at the boundary
// runs as it would. Kinds: a poll whose turn left registers and memory as
// they were (the board's state check), a counted loop and a wait on one
// register (counted_loop.cpp's analysis), and an idle loop the core sleeps
// through until the next event.
// Costs: nothing for a block that does not loop to itself; a few register
// reads for one that does. --no-skip turns all of it off.
#include <algorithm>

#include "core/arm_core.h"
#include "core/arm_core_detail.h"

namespace sim {

using core_detail::kSramBase;

// A register poll's turn under check (Bus::set_state_checker): the
// registers at its start, and the bytes each store of the turn overwrites.
void ArmCore::begin_state_check() {
  read_state(check_regs_);
  check_path_.clear();
  poll_counter_reg_ = -1;
  store_log_.clear();
  store_log_full_ = false;
  logging_stores_ = true;
  forget_fast_pages();  // every store of the turn is to be seen
  note_attention();
}

bool ArmCore::state_unchanged() {
  logging_stores_ = false;
  note_attention();
  uint32_t now[16];
  read_state(now);
  if (store_log_full_) return false;
  if (!std::equal(now, now + 16, check_regs_)) {
    // One register stepped by one, the CPSR as it was, nothing stored: a
    // poll that counts its turns, if its code says how far it may go.
    int changed = -1;
    for (int r = 0; r < 16; ++r) {
      if (now[r] == check_regs_[r]) continue;
      if (changed >= 0 || r == 13 || r == 15) return false;
      changed = r;
    }
    const uint32_t delta = now[changed] - check_regs_[changed];
    if (!store_log_.empty() || (delta != 1 && delta != 0xFFFFFFFFu)) return false;
    const int step = delta == 1 ? 1 : -1;
    if (!match_poll_path(changed, step)) return false;
    poll_counter_reg_ = changed;
    poll_counter_step_ = step;
    return true;
  }
  for (const LoggedStore& s : store_log_)
    if (!std::equal(s.old, s.old + s.size, s.where)) return false;
  return true;
}

// The counting poll the checked turn ran, if its code is one the matcher
// follows (its path starts at the block after the read's, where the core
// stops once the poll is found).
bool ArmCore::match_poll_path(int reg, int step) {
  if (check_path_.empty() || check_path_.size() > 8 || block_thumb_) return false;
  std::vector<PathBlock> path;
  for (size_t i = 0; i < check_path_.size(); ++i) {
    const auto& [address, size] = check_path_[i];
    const auto& next = check_path_[(i + 1) % check_path_.size()];
    path.push_back({code_at(address, size), address, size / 4, next.first != address + size});
  }
  poll_ = match_counting_poll(path, static_cast<unsigned>(reg), step);
  return poll_.valid;
}

uint64_t ArmCore::poll_turns_limit() const {
  if (poll_counter_reg_ < 0) return UINT64_MAX;
  uint32_t regs[16];
  for (int r = 0; r < 16; ++r) regs[r] = reg(r);
  return counting_poll_turns(poll_, regs[poll_counter_reg_], regs);
}

bool ArmCore::at_poll_turn_start() const {
  return !check_path_.empty() && (pc() & ~1u) == check_path_.front().first;
}

void ArmCore::pass_poll_turns(uint64_t turns) {
  if (poll_counter_reg_ < 0 || turns == 0) return;
  set_reg(poll_counter_reg_, reg(poll_counter_reg_) + static_cast<uint32_t>(poll_counter_step_) * static_cast<uint32_t>(turns));
}

void ArmCore::read_state(uint32_t* values) const {
  static constexpr int kIds[16] = {UC_ARM_REG_R0,  UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3,  UC_ARM_REG_R4,
                                   UC_ARM_REG_R5,  UC_ARM_REG_R6, UC_ARM_REG_R7, UC_ARM_REG_R8,  UC_ARM_REG_R9,
                                   UC_ARM_REG_R10, UC_ARM_REG_R11, UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR,
                                   UC_ARM_REG_CPSR};
  void* ptrs[16];
  for (int i = 0; i < 16; ++i) ptrs[i] = &values[i];
  uc_reg_read_batch(uc_, const_cast<int*>(kIds), ptrs, 16);
}

void ArmCore::log_store(uint64_t ram_offset, unsigned size) {
  uint8_t* where = sdram_offset_known_ && ram_offset >= sdram_offset_ && ram_offset - sdram_offset_ + size <= chip::kSdramSize
                       ? ram_.at(chip::kSdramBase + static_cast<uint32_t>(ram_offset - sdram_offset_), size)
                       : nullptr;
  if (!where || store_log_.size() >= kStoreLogSize) {
    store_log_full_ = true;  // a store the check cannot follow
    return;
  }
  LoggedStore s{where, {}, static_cast<uint8_t>(size)};
  std::copy(where, where + size, s.old);
  store_log_.push_back(s);
}

// A debugger's breakpoint inside the block: its turns must each run.
bool ArmCore::breakpoint_in(const CycleModel::Block& b) const {
  if (breakpoints_.empty()) return false;
  auto it = breakpoints_.lower_bound(b.address);
  return it != breakpoints_.end() && it->first < b.address + b.size;
}

// Where the last instruction of a loop's turn costing `turn` starts: what
// the turn costs beyond its fixed cost (its data accesses', its
// multiplies') comes before its closing branch, so its last boundary moves
// by as much; by nothing where the turn costs less (a boundary taken late
// only stops the passing of turns one turn sooner).
uint64_t ArmCore::turn_last_boundary(const CycleModel::Block& b, uint64_t turn) {
  const uint64_t fixed = b.cost + (b.cond_end ? b.taken_extra : 0);
  return b.last_boundary + (turn > fixed ? turn - fixed : 0);
}

// Entered again from itself, a counting loop (core/counted_loop.h) has run a
// turn, so its code is in the cache and its branch was taken: every further
// turn costs the same. All but the last of those that fit in the slice's
// budget pass at once; the slice then runs and ends as it would have.
void ArmCore::pass_counted_turns(const CycleModel::Block& b) {
  const CountedLoop& loop = b.loop;
  if (inflight_cycles_ >= budget_end_ || breakpoint_in(b)) return;
  uint8_t* counter_word = nullptr;
  uint32_t counter;
  if (loop.in_memory) {
    uint32_t address = reg(loop.base) + static_cast<uint32_t>(loop.offset);
    if (address & 3) return;
    counter_word = ram_.at(address, 4);
    if (!counter_word && address >= sram_begin_ && address < sram_end_ && sram_end_ - address >= 4)
      counter_word = sram_.data() + (address - kSramBase);
    if (!counter_word) return;  // not plain memory: a register
    counter = counter_word[0] | counter_word[1] << 8 | counter_word[2] << 16 | static_cast<uint32_t>(counter_word[3]) << 24;
  } else {
    counter = reg(loop.reg);
  }
  uint32_t limit = loop.limit;
  if (loop.limit_in_reg) {
    limit = reg(loop.limit_reg);
  } else if (loop.limit_is_literal) {
    const uint8_t* p = code_at(loop.literal, 4);
    if (!p) return;
    limit = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  }
  uint64_t turns = counted_loop_turns(loop, counter, limit);
  if (turns < 3 || data_fills_) return;  // (a turn that filled a cache line is no turn like the next)
  // (its data accesses cost what they did in the turn before)
  uint64_t turn = cpi_ ? static_cast<uint64_t>(b.count) * cpi_
                       : static_cast<uint64_t>(std::max<int64_t>(static_cast<int64_t>(b.cost + b.taken_extra) + settled_extra_, 1));
  // Turns whose successor still starts in the slice and is not split by an
  // event (see on_block): the turn that is runs as it would.
  uint64_t stop = turns_before_stop(budget_end_ - inflight_cycles_, split_room(), turn, turn_last_boundary(b, turn),
                                    b.count > 1 && exceptions_possible(b));
  uint64_t passed = std::min(turns - 1, stop > 0 ? stop - 1 : 0);
  if (passed == 0) return;
  counter += static_cast<uint32_t>(passed) * static_cast<uint32_t>(static_cast<int32_t>(loop.step));
  if (counter_word) {
    for (int i = 0; i < 4; ++i) counter_word[i] = static_cast<uint8_t>(counter >> (8 * i));
  } else {
    set_reg(loop.reg, counter);
  }
  inflight_cycles_ += passed * turn;
  total_ += passed * b.count;
}

// Entered again from itself, a wait on one register (core/counted_loop.h)
// has run a turn: every further turn costs the same, and reads the register
// at the same point of it. The turns before the first whose read would
// leave the loop pass at once, as far as the slice's budget lets them
// (predictions stop at the next event); that turn then runs.
//
// A turn: the block's cost, the register read's own cost over the SDRAM
// read the block was charged for (d), and the taken branch. The read is the
// block's first instruction: it happens as the turn starts.
void ArmCore::pass_wait_turns(const CycleModel::Block& b) {
  const RegisterWait& w = b.wait;
  if (inflight_cycles_ >= budget_end_ || breakpoint_in(b)) return;
  uint32_t address = reg(w.base) + static_cast<uint32_t>(w.offset);
  const int64_t d = access_correction(address, 4, false);
  if (!cpi_ && ((d < 0 && b.cost <= static_cast<uint64_t>(-d)) || !b.plain)) return;
  uint64_t turn = cpi_ ? static_cast<uint64_t>(b.count) * cpi_ : static_cast<uint64_t>(b.cost + b.taken_extra + d);
  const uint64_t read_at = 0;
  if (turn == 0) return;
  uint64_t room = budget_end_ - inflight_cycles_;
  // Turns whose successor still starts in the slice and is not split by an
  // event (on_block).
  uint64_t stop = turns_before_stop(room, split_room(), turn, b.last_boundary + (d > 0 ? static_cast<uint64_t>(d) : 0),
                                    exceptions_possible(b));
  uint64_t may_pass = stop ? stop - 1 : 0;
  uint64_t known = room > read_at ? (room - read_at - 1) / turn + 1 : 0;  // turns whose read comes before the next event
  uint64_t last = std::min(may_pass, known);
  if (last == 0) return;
  // What turn j (from 1, this one) reads.
  bool unknown = false;
  auto value = [&](uint64_t j) {
    uint32_t v = 0;
    if (!predictor_(address, (j - 1) * turn + read_at, &v)) unknown = true;
    return v;
  };
  auto goes_on = [&](uint64_t j) { return register_wait_continues(w, value(j)); };
  // The first of turns 1..last + 1 for which `holds` is false, given that it
  // holds for every turn before that one and for none after.
  auto first_failing = [&](auto holds) -> uint64_t {
    if (!holds(1)) return 1;
    if (holds(last)) return last + 1;
    uint64_t lo = 1, hi = last;
    while (hi - lo > 1 && !unknown) {
      uint64_t mid = lo + (hi - lo) / 2;
      (holds(mid) ? lo : hi) = mid;
    }
    return hi;
  };
  // A predicted register moves one way until the next event (see
  // Device::predict): an unsigned comparison with a constant, or staying
  // equal to it, changes its outcome once, and the turn that leaves is found
  // by halving. Waiting to reach a value leaves at the first turn at or past
  // it if the register reads it exactly there, else not before the next
  // event. Other tests go turn by turn, a bounded number of them.
  uint64_t passed = 0;
  const bool unsigned_order = w.cond == 0x2 || w.cond == 0x3 || w.cond == 0x8 || w.cond == 0x9;
  if (!w.test && (unsigned_order || w.cond == 0x0)) {
    passed = first_failing(goes_on) - 1;
  } else if (!w.test && w.cond == 0x1) {
    uint32_t first = value(1), target = w.operand;
    bool rising = value(last) >= first;
    if (first == target) return;
    if (rising != (first < target)) {
      passed = last;  // moving away from it
    } else {
      uint64_t reach = first_failing([&](uint64_t j) { return rising ? value(j) < target : value(j) > target; });
      passed = reach <= last && value(reach) == target ? reach - 1 : last;
    }
  } else {
    uint64_t bound = std::min<uint64_t>(last, 1u << 16);
    while (passed < bound && goes_on(passed + 1)) ++passed;
  }
  if (unknown) return;
  // The trace shows every turn's read, as if each had run.
  if (bus_.tracing())
    for (uint64_t j = 1; j <= passed; ++j) bus_.trace_passed_read((j - 1) * turn + read_at, address, value(j), 4);
  inflight_cycles_ += passed * turn;
  total_ += passed * b.count;
}

void ArmCore::stop_at_idle_loop(uc_engine* uc, const CycleModel::Block& block, uint32_t address) {
  idle_detected_ = true;
  // A turn: the block with its branch taken (its lines are in the cache,
  // its registers those of every turn).
  if (cpi_) {
    idle_turn_cycles_ = static_cast<uint64_t>(block.count) * cpi_;
  } else {
    uint64_t turn = block.cost + (block.cond_end ? block.taken_extra : 0);
    // (its conditional instructions go as they went this turn: nothing
    // changes from turn to turn)
    // (a turn's flags at its start are those at the end of the turn before)
    // (and so are its registers: those that tell of flags hold what they
    // did after the instruction that set them)
    for (unsigned i = 0; i < block.fails; ++i) {
      const uint32_t flags = (block.fail_cond[i] & CycleModel::kFlagsByCompare)
                                 ? told_flags_now(block.fail_compare[i], block.fail_cond[i] & 15)
                                 : cpsr();
      if (!arm_condition(block.fail_cond[i] & 15, flags)) turn -= block.fail_saving[i];
    }
    for (unsigned i = 0; i < block.late_muls; ++i)
      turn = turn + multiplier_cycles(reg(block.late_mul_rs[i]), (block.late_mul_unsigned >> i) & 1) - 2;
    for (unsigned i = 0; i < block.muls; ++i) turn += start_m(block, i);
    // and its data accesses cost what they did in the turn before
    idle_turn_cycles_ = static_cast<uint64_t>(std::max<int64_t>(static_cast<int64_t>(turn) + settled_extra_, 1));
  }
  idle_turn_last_boundary_ = block.count < 2 ? 0
                             : cpi_          ? static_cast<uint64_t>(block.count - 1) * cpi_
                                             : turn_last_boundary(block, idle_turn_cycles_);
  idle_turn_has_msr_ = block.has_msr;
  stop_before_block(uc, address);
}

// Entered a second time from itself with every register as the first time
// and no register access between: nothing the loop can see changes until an
// event. A block that keeps changing its registers (a counting loop) is not
// looked at again after a few tries.
bool ArmCore::idle_loop(CycleModel::Block& b, uint32_t address) {
  if (b.idle_failures >= CycleModel::Block::kIdleFailuresToGiveUp) return false;
  uint32_t now[16];
  read_state(now);
  bool again = idle_valid_ && idle_address_ == address && prev_block_ == address && idle_mmio_ == mmio_count_;
  bool same = again && std::equal(now, now + 16, idle_regs_);
  if (again) {
    if (same) {
      b.idle_failures = 0;
      idle_valid_ = false;
      return true;
    }
    ++b.idle_failures;
  }
  std::copy(now, now + 16, idle_regs_);
  idle_valid_ = true;
  idle_address_ = address;
  idle_mmio_ = mmio_count_;
  return false;
}

}  // namespace sim
