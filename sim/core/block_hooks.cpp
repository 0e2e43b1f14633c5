// Block hooks: what each translated block costs, counted as it is entered.
//
// Guarantees: every instruction that completes is counted once, at the
// cycle the cycle model gives it; a block that stops inside itself counts
// only the instructions that ran (trim_block). A block's fixed cost is
// computed once per translation (CycleModel::insert) and looked up by its
// address; what its start cannot know (a failed condition whose flags come
// from inside the block, a multiply's m from a register written inside it,
// a code line that misses in the cache) is settled when the block is left
// (settle_block) or when an access inside it needs the clock
// (cycles_into_block).
// Costs: one call per block entered; the short path (on_block) compares the
// block with the last one and adds its cost. Anything unusual (a pending
// request, a step, a replay, a split near, a loop to skip) takes the long
// path, on_block_in_full.
//
// The reference mode (--reference) is the oracle for all of it: every
// instruction is its own block (a code hook stops the slice before the
// second one), nothing is skipped, split or stored on a fast path, and the
// same cycle model prices each instruction alone.
#include <algorithm>

#include "core/arm_core.h"
#include "core/arm_core_detail.h"

namespace sim {

using core_detail::check;

// The block's cost, known or computed now; nullptr when the slice stops
// before it. Out of the hook's way: most blocks are the last one again.
__attribute__((noinline)) CycleModel::Block* ArmCore::lookup_block(uc_engine* uc, uint32_t address, uint32_t size) {
  const uint8_t* code = code_at(address, size);
  CycleModel::Block* block = model_.find(address, size, code);
  if (!block) {
    // (a block there before: its code changed, or it ends elsewhere now,
    // so the library translated it anew; that counts as a drop)
    if (model_.holds(address)) ++drops_;
    block = &model_.insert(address, size, code, (cpsr() & kCpsrT) != 0);
    note_code(address, size);
    if (block->exacts && note_exacts(*block, code) && !replaying_) {
      stop_to_retranslate(uc, address);  // its groups' hooks need it translated again
      return nullptr;
    }
    if (block->has_coprocessor) queue_coprocessor_hooks(*block, code);
    if (!coprocessor_pending_.empty()) {
      // Its coprocessor instructions need their hooks, which only a
      // retranslation sees.
      model_.clear();
      stop_to_retranslate(uc, address);
      return nullptr;
    }
  }
  last_block_ = block;
  return block;
}

// Most blocks need no more than their cost counted: the path for them
// stays short (this runs for every block the core enters).
void ArmCore::on_block(uc_engine* uc, uint64_t address64, uint32_t size, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  const uint32_t address = static_cast<uint32_t>(address64);
  if (self->reference_) size = self->reference_size(address);
  self->settle_block();  // the block before ran whole
  // What the block before cost in the end: its closing branch taken or not
  // (one whose target is its fall-through tells by its condition: a branch
  // leaves the flags as they were), its failed conditional instructions and
  // its multiplies' late m.
  if (self->pending_extra_) {
    if (address != self->pending_fallthrough_ ||
        (self->pending_cond_ && arm_condition(self->pending_cond_ >> 28, self->cpsr())))
      self->inflight_cycles_ += self->pending_extra_;
    self->pending_extra_ = 0;
    self->pending_cond_ = 0;
  }
  if (self->attention_) {
    self->on_block_in_full(uc, address, size);
    return;
  }
  CycleModel::Block* block = self->last_block_;
  if (block && (block->address != address || block->size != size)) {
    block = self->model_.find(address, size, self->code_at(address, size));
    if (block) self->last_block_ = block;
  }
  if (self->inflight_cycles_ >= self->budget_end_ || !block || !block->takes_short_path() ||
      (self->inflight_cycles_ < self->split_at_ && self->inflight_cycles_ + block->reach >= self->split_at_)) {
    self->on_block_in_full(uc, address, size);
    return;
  }
  self->begin_block(*block, address, size);
}

void ArmCore::on_block_in_full(uc_engine* uc, uint32_t address, uint32_t size) {
  ArmCore* self = this;
  if (self->logging_stores_ && !self->replaying_ && self->check_path_.size() < 9)
    self->check_path_.push_back({address, size});
  if (self->replaying_) {
    // The instruction a register access stopped after, run again alone
    // (nothing after it: a block ends at `until`).
    if (self->replay_entered_) {
      self->stop_before_block(uc, address);
      return;
    }
    self->replay_entered_ = true;
    CycleModel::Block* block = self->lookup_block(uc, address, size);
    if (!block) return;
    self->begin_block(*block, address, size);
    self->inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(self->inflight_cycles_) + self->replay_extra_);
    self->replay_extra_ = 0;
    return;
  }
  // A block whose hook stops the slice does not run (Unicorn looks for the
  // stop before the block's first instruction), so it is not counted: the
  // next slice starts with it. A step ends at the first block it enters
  // after its own: a branch, or a fall-through past the block's end.
  if (self->inflight_cycles_ >= self->budget_end_ ||
      ((self->stepping_ || self->reference_) && self->total_ != self->slice_start_)) {
    self->stop_before_block(uc, address);
    return;
  }
  // A request the CPSR now lets through is taken here, at the boundary (the
  // board took any that was takeable when the slice began).
  if (self->request_ && self->inflight_cycles_ >= self->request_from_ && self->total_ != self->slice_start_ &&
      self->keeper_.exception_now && self->keeper_.exception_now()) {
    self->stop_before_block(uc, address);
    return;
  }
  const bool first = self->total_ == self->slice_start_ && self->until_slice_;
  // A loop runs the same block again and again: the last one is at hand
  // (its slot still holds it unless the model was cleared or the slot reused).
  CycleModel::Block* block = self->last_block_;
  if (!block || block->address != address || block->size != size) {
    // (a block that rewrites its own code and loops to itself keeps its cost)
    block = self->lookup_block(uc, address, size);
    if (!block) return;
  }
  // A block too long for its costs to be settled runs up to the first it
  // cannot settle; the rest is a block of its own. That holds in a first
  // slice too: the part it runs, translated anew to end at `until`, has a
  // plan of its own, whose groups may want hooks that the full block's did
  // not (each such stop is shorter than the last). An event that falls
  // inside the block while an exception could be taken: the block runs
  // only up to the boundary the exception would be taken at. (Either stop
  // comes first: the part a first slice runs whole holds no event.) With a
  // request pending, an MSR inside the block may let it through: the block
  // runs up to the boundary after it.
  const bool overflows = block->overflow < block->count && block->count > 1 && !self->cpi_;
  const bool event_inside = self->inflight_cycles_ < self->split_at_ &&
                            self->inflight_cycles_ + block->reach >= self->split_at_ && block->count > 1 && !first &&
                            self->exceptions_possible(*block);
  if (overflows || event_inside) {
    const unsigned limit = overflows ? std::max<unsigned>(block->overflow, 1) : block->count;
    if (!self->split_block(uc, *block, address, event_inside, limit)) return;
    self->begin_block(*block, address, size);  // it stops at the boundary itself
    return;
  }
  if (self->request_ && block->has_msr && !first && !self->reference_) {
    self->next_until_ = address + (block->msr_index + 1u) * (block->thumb ? 2u : 4u);
    self->stop_before_block(uc, address);
    return;
  }
  if (block->loops_to_itself && self->idle_skip_) {
    if (block->loop.valid && self->prev_block_ == address) self->pass_counted_turns(*block);
    if (block->wait.valid && self->prev_block_ == address && self->predictor_) self->pass_wait_turns(*block);
    // (a turn that filled a cache line is no turn like the next)
    if (block->idle_candidate && !self->data_fills_ && self->idle_loop(*block, address)) {
      self->stop_at_idle_loop(uc, *block, address);
      return;
    }
  }
  self->begin_block(*block, address, size);
}

// The fills the cache's contents foretell for the block's code lines (to
// be looked up in order with its data accesses, fetch_lines).
__attribute__((always_inline)) inline uint64_t ArmCore::foretell_lines(const CycleModel::Block& b) {
  fetch_first_line_ = fetch_next_line_ = b.first_line;
  fetch_end_line_ = b.end_line;
  if (fetch_foretold_.size() < b.end_line - b.first_line) fetch_foretold_.resize(b.end_line - b.first_line);
  uint32_t misses = 0;
  bool recent = true;
  for (uint32_t line = b.first_line; line < b.end_line; ++line) {
    const bool miss = !model_.resident(line << 4);
    fetch_foretold_[line - b.first_line] = miss;
    misses += miss;
    recent &= model_.most_recent(line);
  }
  fetch_all_recent_ = recent;
  fetch_pending_ = true;
  return static_cast<uint64_t>(misses) * b.line_fill;
}

// Its closing branch's cost beyond the charge, settled by the next block.
__attribute__((always_inline)) inline void ArmCore::note_cond_end(const CycleModel::Block& b) {
  if (!b.cond_end) return;
  pending_extra_ = b.taken_extra;
  pending_fallthrough_ = b.address + b.size;
  pending_cond_ = b.target_is_next ? b.last_cond : 0;
}

__attribute__((always_inline)) inline void ArmCore::begin_block(CycleModel::Block& block, uint32_t address, uint32_t size) {
  prev_block_ = address;
  block_start_total_ = total_;
  block_start_cycles_ = inflight_cycles_;
  block_extra_ = 0;
  block_lead_ = 0;
  settled_extra_ = 0;
  data_fills_ = 0;
  block_ = &block;
  data_cursor_ = 0;
  block_address_ = address;
  block_size_ = size;
  block_thumb_ = block.thumb;
  block_wide_stores_ = block.wide_stores;
  access_located_ = false;
  refetch_ = false;
  late_.muls = 0;
  total_ += block.count;
  if (block.plain_but_cache && !cpi_) {
    late_.fails = late_.late_muls = 0;  // (block_cycles' cacheable case alone)
    inflight_cycles_ += block.cost + foretell_lines(block);
    note_cond_end(block);
  } else if (block.plain && !cpi_) {
    inflight_cycles_ += block.cost;
    note_cond_end(block);
  } else {
    inflight_cycles_ += block_cycles(block);
  }
  if (block.overflow == 0 && block.exacts) settle_unhooked_head(block);
}

// The flags an instruction that set them told of (CycleModel::Block::fails)
// for condition `cond`, from its registers now: none has changed since.
uint32_t ArmCore::told_flags_now(uint32_t setter, unsigned cond) const {
  uint32_t regs[8] = {};
  for (uint16_t reads = flags_told_by(setter, cond); reads; reads &= reads - 1)
    regs[__builtin_ctz(reads)] = reg(__builtin_ctz(reads));
  return told_flags(setter, cond, regs);
}

int64_t ArmCore::late_correction(unsigned index, bool whole) const {
  int64_t delta = 0;
  uint32_t flags = 0;
  bool read = false;
  for (unsigned i = 0; i < late_.fails; ++i) {
    if (late_.fail_index[i] >= index) continue;
    const uint8_t cond = late_.fail_cond[i];
    if (cond & CycleModel::kFlagsAtStart) {
      if (!arm_condition(cond & 15, late_.start_flags)) delta -= late_.fail_saving[i];
      continue;
    }
    if (cond & CycleModel::kFlagsByCompare) {
      if (!arm_condition(cond & 15, told_flags_now(late_.fail_compare[i], cond & 15))) delta -= late_.fail_saving[i];
      continue;
    }
    if (!read) flags = cpsr(), read = true;
    if (!arm_condition(cond, flags)) delta -= late_.fail_saving[i];
  }
  for (unsigned i = 0; i < late_.late_muls; ++i)
    if (late_.late_index[i] < index)
      delta += static_cast<int64_t>(multiplier_cycles(reg(late_.late_rs[i]), (late_.late_unsigned >> i) & 1)) - 2;
  for (unsigned i = 0; i < late_.knowns; ++i)
    if (late_.known_index[i] < index) delta += late_.known_delta[i];
  // (those the block's start told are in its cost already)
  if (!whole)
    for (unsigned i = 0; i < late_.muls; ++i)
      if (late_.mul_index[i] < index) delta += static_cast<int64_t>(late_.mul_m[i]) - 2;
  return delta;
}

uint64_t ArmCore::block_cycles(CycleModel::Block& b) {
  if (cpi_) return static_cast<uint64_t>(b.count) * cpi_;
  late_.fails = b.fails;
  bool start_flags = false;
  for (unsigned i = 0; i < b.fails; ++i) {
    late_.fail_index[i] = b.fail_index[i];
    late_.fail_cond[i] = b.fail_cond[i];
    late_.fail_saving[i] = b.fail_saving[i];
    late_.fail_compare[i] = b.fail_compare[i];
    start_flags |= (b.fail_cond[i] & CycleModel::kFlagsAtStart) != 0;
  }
  if (start_flags) late_.start_flags = cpsr();
  late_.late_muls = b.late_muls;
  late_.late_unsigned = b.late_mul_unsigned;
  for (unsigned i = 0; i < b.late_muls; ++i) {
    late_.late_rs[i] = b.late_mul_rs[i];
    late_.late_index[i] = b.late_mul_index[i];
  }
  uint64_t cost = b.cost;
  late_.muls = b.muls;
  for (unsigned i = 0; i < b.muls; ++i) {
    unsigned m = start_m(b, i);
    late_.mul_index[i] = b.mul_index[i];
    late_.mul_m[i] = static_cast<uint8_t>(m);
    cost += m;
  }
  if (b.cacheable && b.size) cost += foretell_lines(b);
  note_cond_end(b);
  return cost;
}

// The block needs hooks that only a translation made after them sees: it
// runs in the next slice, up to the same boundary if this one was to end
// at one.
void ArmCore::stop_to_retranslate(uc_engine* uc, uint32_t address) {
  if (until_slice_ && total_ == slice_start_) next_until_ = slice_until_;
  stop_before_block(uc, address);
}

void ArmCore::stop_before_block(uc_engine* uc, uint32_t address) {
  budget_stopped_ = true;
  budget_stop_address_ = address;
  uc_emu_stop(uc);
}

void ArmCore::fetch_lines(unsigned index) {
  const unsigned shift = block_thumb_ ? 1 : 2;
  const int64_t fill = model_.timing().line_fill_at(block_address_) - 1;
  int64_t lead = 0, d = 0;
  bool done = true;
  if (refetch_ && index > refetch_after_) {
    refetch_ = false;
    const int64_t miss = model_.line_misses(refetch_line_);
    lead += miss;
    d += miss;  // (not foretold: the block's start found it in the cache)
  }
  for (; fetch_next_line_ < fetch_end_line_; ++fetch_next_line_) {
    if ((std::max(fetch_next_line_ << 4, block_address_) - block_address_) >> shift > index) {
      done = false;
      break;
    }
    const int64_t miss = model_.line_misses(fetch_next_line_);
    lead += miss;
    d += miss - fetch_foretold_[fetch_next_line_ - fetch_first_line_];
  }
  block_lead_ += lead * fill;
  inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) + d * fill);
  if (done && !refetch_) fetch_pending_ = false;
}

void ArmCore::note_data_line(uint32_t line, unsigned index) {
  if (!block_ || !block_->cacheable || index + 1 >= block_->count) return;
  const unsigned step = block_thumb_ ? 2 : 4;
  const uint32_t current = (block_address_ + index * step) >> 4;
  if (((block_address_ + (index + 1) * step) >> 4) != current || current == line || current >= fetch_next_line_ ||
      !model_.shares_set(line, current, current + 1))
    return;
  refetch_ = true;
  refetch_line_ = current;
  refetch_after_ = index;
  fetch_pending_ = true;
}

uint64_t ArmCore::foretold_fills(uint32_t address, uint32_t size, unsigned index, bool thumb) const {
  if (!size || !index || !model_.timing().cache_bytes) return 0;
  const unsigned step = thumb ? 2 : 4;
  const uint32_t last = address + std::min<uint32_t>(size, (index - 1) * step + 1) - 1;
  uint64_t fills = 0;
  for (uint32_t line = address >> 4; line <= last >> 4; ++line) fills += !model_.resident(line << 4);
  return fills * (model_.timing().line_fill_at(address) - 1u);
}

// The cycle the block's instruction `index` starts at.
uint64_t ArmCore::cycles_into_block(unsigned index) const {
  if (cpi_) return block_start_cycles_ + static_cast<uint64_t>(index) * cpi_;
  uint64_t before = index ? model_.prefix_cost(block_address_, code_at(block_address_, block_size_), index, block_thumb_) : 0;
  if (late_.fails || late_.late_muls || late_.muls || late_.knowns)
    before = static_cast<uint64_t>(static_cast<int64_t>(before) + late_correction(index, false));
  return static_cast<uint64_t>(static_cast<int64_t>(block_start_cycles_ + block_lead_ + before) + block_extra_);
}

void ArmCore::queue_coprocessor_hooks(const CycleModel::Block& b, const uint8_t* code) {
  if (b.thumb || !code) return;
  for (uint32_t k = 0; k < b.count; ++k) {
    uint32_t insn = code[4 * k] | code[4 * k + 1] << 8 | code[4 * k + 2] << 16 | static_cast<uint32_t>(code[4 * k + 3]) << 24;
    uint32_t at = b.address + 4 * k;
    if (decode_arm(insn, at).is_coprocessor && !coprocessor_hooks_.count(at)) coprocessor_pending_.push_back(at);
  }
}

// The ARM7TDMI has no coprocessor at all (Unicorn's TI925T has a CP15): every
// coprocessor instruction is undefined.
void ArmCore::on_coprocessor(uc_engine* uc, uint64_t address, uint32_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  // The step's own stop at the next instruction comes first (its hook may
  // have been added after this one).
  if (self->stepping_ && address == self->step_next_) return;
  self->exception_ = true;
  self->exception_number_ = 1;
  self->exception_pc_ = static_cast<uint32_t>(address);
  uc_emu_stop(uc);
}

void ArmCore::set_reference(bool on) {
  if (on == reference_) return;
  reference_ = on;
  if (reference_hook_) uc_hook_del(uc_, reference_hook_);
  reference_hook_ = 0;
  if (on) {
    set_idle_skip(false);
    code_hooks_used_ = true;  // (the pc at a stop before a block is then set by hand)
    check(uc_hook_add(uc_, &reference_hook_, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::on_reference_code), this,
                      1, 0),
          "reference hook");
  }
  flush_code();
  apply_fast_stores();
  note_sdram_watch();
  note_attention();
}

// Before every instruction: the slice ends before the second one (the
// first is the block on_block counted). A Thumb BL pair is one instruction
// to Unicorn, two to the count and one block here.
void ArmCore::on_reference_code(uc_engine* uc, uint64_t address, uint32_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  if (!self->running_ || self->replaying_ || self->total_ == self->slice_start_) return;
  if (static_cast<uint32_t>(address) == self->block_address_) return;
  uc_emu_stop(uc);
}

uint32_t ArmCore::reference_size(uint32_t address) const {
  if (!(cpsr() & kCpsrT)) return 4;
  const uint8_t* code = code_at(address, 4);
  if (code && (code[1] & 0xF8) == 0xF0 && (code[3] & 0xF8) == 0xF8) return 4;
  return 2;
}

// The debt the whole block paid back (block_cycles) is paid by the part
// that ran as far as it can; the rest stays owed, else a stop inside the
// block would lose it.
void ArmCore::trim_block(uint32_t at, bool started) {
  unsigned step = block_thumb_ ? 2 : 4;
  unsigned count = (at - block_address_) / step;
  if (fetch_pending_) {
    if (count || started) fetch_lines(started ? count : count - 1);
    fetch_pending_ = false;  // (the rest was not fetched)
    refetch_ = false;
  }
  total_ = block_start_total_ + count;
  inflight_cycles_ = cycles_into_block(count);
  drop_late();
  pending_extra_ = 0;
}

bool ArmCore::in_current_block(uint32_t address) const {
  return address >= block_address_ && address - block_address_ <= block_size_;
}

}  // namespace sim
