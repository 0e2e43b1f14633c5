// Interrupts at instruction boundaries.
//
// Guarantees: an IRQ or FIQ that becomes takeable while a block runs is
// taken at the first instruction boundary at or after the cycle it becomes
// takeable, as on the chip, never at the block's end. A block that an event
// falls inside, while the CPSR (or an MSR in the block) may let an
// exception through, runs only up to that boundary: by its split hook
// (on_split_point), or by a slice that ends before it and a next one that
// runs it with Unicorn's `until`.
// Costs: nothing while no event falls inside a block; a split costs one
// short translation, until the block has been split kSplitsBeforeHook times
// and gets a code hook (one pc comparison an instruction from then on).
#include <algorithm>

#include "core/arm_core.h"

namespace sim {

// Whether an exception could be taken inside the block: the CPSR lets an
// IRQ or FIQ through, or an MSR in it may.
bool ArmCore::exceptions_possible(const CycleModel::Block& b) const {
  if (b.has_msr) return true;
  return (cpsr() & exception_bits_) != exception_bits_;
}

// The block is to stop at the first instruction boundary at or after the
// cycle the event may make an exception takeable (when event_inside), and
// before instruction `limit` at the latest.
// - A block with a split hook (below) runs, and its hook stops it there:
//   true.
// - Otherwise the slice stops before the block, and the next one runs it
//   up to the boundary (Unicorn's `until`): false. That costs two
//   translations of the block (the short one, then the whole one again, as
//   Unicorn drops a block that reached an `until`), so a block split that
//   way kSplitsBeforeHook times gets a code hook over its instructions from
//   the next slice on: a wait loop that interrupts end, typically. Its
//   later splits cost nothing; each of its instructions then calls the
//   hook, which only compares the pc.
bool ArmCore::split_block(uc_engine* uc, CycleModel::Block& b, uint32_t address, bool event_inside,
                          unsigned limit) {
  const uint8_t* code = code_at(address, b.size);
  // What the registers and flags as the block starts tell of its
  // instructions' cost before instruction j: its multiplies' m, and the
  // failed conditional instructions the flags at its start tell of.
  auto told = [&](unsigned j) {
    int64_t d = 0;
    if (cpi_) return d;
    for (unsigned i = 0; i < b.muls; ++i)
      if (b.mul_index[i] < j) d += static_cast<int64_t>(start_m(b, i)) - 2;
    for (unsigned i = 0; i < b.fails; ++i)
      if (b.fail_index[i] < j && (b.fail_cond[i] & CycleModel::kFlagsAtStart) &&
          !arm_condition(b.fail_cond[i] & 15, cpsr()))
        d -= b.fail_saving[i];
    return d;
  };
  auto starts_at = [&](unsigned j) {
    uint64_t at = cpi_ ? static_cast<uint64_t>(j) * cpi_ : model_.prefix_cost(address, code, j, b.thumb);
    if (!cpi_ && b.cacheable) at += foretold_fills(address, b.size, j, b.thumb);  // the lines fetched before j
    return static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_ + at) + told(j));
  };
  unsigned j = b.count;  // (no stop for the event)
  if (event_inside) {
    unsigned k = 1;
    while (k + 1 < b.count && starts_at(k) < split_at_) ++k;
    // Past the first instruction that may cost more than its charge (a
    // multiply's late m, a watched data access), the boundaries may come
    // earlier than the charges say: the block stops right after it, and
    // what is left is looked at again from the clock it really reached.
    // Otherwise, when the block's last instruction starts before the
    // event, as far as they tell, the interrupt comes after the block.
    if (b.unsure + 1u < b.count && k >= b.unsure + 1u)
      j = b.unsure + 1u;
    else if (starts_at(k) >= split_at_)
      j = k;
  }
  j = std::min(j, limit);  // (a block too long to settle stops at its limit)
  if (j >= b.count) return true;
  return stop_at_boundary(uc, b, address, j);
}

// The block runs up to its boundary before instruction j (split_block).
bool ArmCore::stop_at_boundary(uc_engine* uc, CycleModel::Block& b, uint32_t address, unsigned j) {
  const uint32_t stop = address + j * (b.thumb ? 2u : 4u);
  auto hooked = split_hooks_.find(address);
  if (hooked != split_hooks_.end() && stop < hooked->second.address + hooked->second.size) {
    split_stop_ = stop;
    return true;
  }
  // (counted by address: the short translation is a block of its own size;
  // a run's end is not counted: the board's runs of 10 ms would otherwise
  // hook every hot block, and a hooked instruction costs a walk of every
  // code hook in the library)
  if (split_at_run_end_) {
    next_until_ = stop;
    stop_before_block(uc, address);
    return false;
  }
  uint8_t& splits = split_counts_[address];
  if (hooked == split_hooks_.end() && splits >= kSplitsBeforeHook) {
    split_hooks_pending_.push_back({address, b.size});  // the next slice starts with it, split then
  } else {
    if (splits < kSplitsBeforeHook) ++splits;
    next_until_ = stop;
  }
  stop_before_block(uc, address);
  return false;
}

void ArmCore::on_split_point(uc_engine* uc, uint64_t address, uint32_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  if (static_cast<uint32_t>(address) != self->split_stop_) return;
  self->split_stop_ = 0;
  self->split_hit_ = true;
  self->split_hit_address_ = static_cast<uint32_t>(address);
  uc_emu_stop(uc);
}

uint64_t ArmCore::turns_before_stop(uint64_t room, uint64_t split_room, uint64_t turn, uint64_t last_boundary,
                                    bool splittable) {
  if (turn == 0) return 0;
  uint64_t k = (room + turn - 1) / turn;
  if (splittable && last_boundary > 0 && split_room != UINT64_MAX) {
    uint64_t k_split = split_room > last_boundary ? (split_room - last_boundary + turn - 1) / turn : 0;
    k = std::min(k, k_split);
  }
  return k;
}

// Both only lower the budget: the block hook then stops at the next block
// boundary. (A stop inside a block is begin_access's and end_access's: Unicorn
// leaves the block at the access with the pc at the block's start, so they
// set the pc and run the instruction again themselves.)
void ArmCore::request_stop() { budget_end_ = inflight_cycles_; }

void ArmCore::limit_at(uint64_t cycle) {
  if (running_ && cycle < budget_end_) budget_end_ = cycle;
}

void ArmCore::set_event_cycle(uint64_t cycle, bool run_end) {
  const uint64_t before = split_at_;
  event_cycle_ = cycle;
  split_at_ = request_ && request_from_ < cycle ? request_from_ : cycle;
  split_at_run_end_ = run_end && split_at_ == cycle;
  // An event the access brought nearer (an unmasked source's, typically)
  // that may fall inside the rest of the block: the block stops after the
  // access, and the rest is looked at again. (saved_inflight_: where the
  // block ends as charged; its reach bounds its last instruction's start
  // beyond the charges, a slow bank's reads or a multiply's m after the
  // access.)
  if (running_ && in_access_ && split_at_ < before &&
      (split_at_ < saved_inflight_ ||
       (block_ && static_cast<int64_t>(block_start_cycles_ + block_->reach) + std::max<int64_t>(block_extra_, 0) >=
                      static_cast<int64_t>(split_at_))))
    resplit_ = true;
}

}  // namespace sim
