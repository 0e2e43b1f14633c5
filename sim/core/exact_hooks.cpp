// Instructions whose cost is settled as they are about to run (see
// CycleModel::Block::exacts): a code hook at the first of each group,
// which Unicorn calls only there. A hook needs its block translated again,
// so a block that brings new ones runs from the next slice. Unicorn's
// helper for a hooked instruction walks every code hook, so they are kept
// few: past kMaxExactHooks hooks, a block runs up to its first group
// without one, and the rest as a block of its own, which starts with that
// group (the registers and flags at a block's start tell its first
// instruction's cost); and at the slice's end the hooks that have not run
// for a while go, and every block's groups are looked at again as it is
// next met, so that the groups a program runs now have hooks.
#include <algorithm>

#include "core/arm_core.h"

namespace sim {

bool ArmCore::note_exacts(CycleModel::Block& b, const uint8_t* code) {
  if (!code || cpi_) return false;
  const unsigned step = b.thumb ? 2 : 4;
  bool pending = false;
  for (unsigned i = 0; i < b.exacts; ++i) {
    const uint32_t at = b.address + b.exact_head[i] * step;
    if (exact_hooks_.count(at)) continue;
    if (std::find(exact_pending_.begin(), exact_pending_.end(), at) != exact_pending_.end()) continue;
    if (exact_hooks_.size() + exact_pending_.size() >= max_exact_hooks_) {
      exact_full_ = true;
      // No hook for this group: the block runs up to it, and the rest as a
      // block of its own (whose start tells its first instruction's cost).
      b.overflow = std::min<uint16_t>(b.overflow, b.exact_head[i]);
      b.fast = false;
      break;
    }
    exact_pending_.push_back(at);
    pending = true;
  }
  return pending;
}

// At a slice's end (nothing runs).
void ArmCore::install_exact_hooks() {
  if (exact_full_) make_exact_room();
  for (uint32_t at : exact_pending_) {
    // (note_exacts left room for every pending one)
    ExactHook& h = exact_hooks_[at];
    h.core = this;
    h.used = total_;
    if (uc_hook_add(uc_, &h.hook, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::on_exact), &h, at, at) !=
        UC_ERR_OK) {
      exact_hooks_.erase(at);
      continue;
    }
    code_hooks_used_ = true;
    // Code translated before the hook existed would not call it (its cost
    // stays: the code is the same).
    drop_translations(at, static_cast<uint64_t>(at) + 1);
  }
  exact_pending_.clear();
}

// The hooks that have not run for kColdInstructions instructions go (their code is
// translated anew, without them); every block is then computed again as
// it is next met, so that one whose group lost its hook asks for it again,
// and one that ran up to a group left without a hook may now have one.
// (While every hook is in use, the groups past them keep running without.)
void ArmCore::make_exact_room() {
  exact_full_ = false;
  std::vector<uint32_t> cold;
  for (const auto& [at, h] : exact_hooks_)
    if (h.used + cold_instructions_ < total_) cold.push_back(at);
  if (cold.empty()) return;
  for (uint32_t at : cold) {
    uc_hook_del(uc_, exact_hooks_[at].hook);
    exact_hooks_.erase(at);
    drop_translations(at, static_cast<uint64_t>(at) + 1);
  }
  exact_pending_.clear();
  model_.clear();
}

// Before the group's first instruction runs: the flags are those each of
// the group sees, and its multipliers what they will be. What each costs
// beyond what the block's fixed cost charged counts from its own
// instruction on (a register access after it, the block's end). The
// current block's own plan says what the hook at this address settles in
// it (another block may share the address with other groups).
void ArmCore::on_exact(uc_engine*, uint64_t address64, uint32_t, void* user) {
  auto* hook = static_cast<ExactHook*>(user);
  ArmCore* self = hook->core;
  hook->used = self->total_;
  const CycleModel::Block* b = self->block_;
  if (!self->running_ || self->replaying_ || self->stopping_ || self->cpi_ || !b ||
      b->address != self->block_address_ || !b->exacts)
    return;
  const unsigned step = b->thumb ? 2 : 4;
  self->settle_group(*b, (static_cast<uint32_t>(address64) - b->address) / step);
}

// A block that starts with a group no hook was left for (Block::overflow
// 0): the registers and flags at its start are those its first instruction
// sees, so the group is settled as the block begins.
void ArmCore::settle_unhooked_head(const CycleModel::Block& b) {
  // (as the hook would: nothing during a replay or a stop; and a hook
  // there settles it itself)
  if (!running_ || replaying_ || stopping_ || cpi_ || exact_hooks_.count(b.address)) return;
  settle_group(b, 0);
}

void ArmCore::settle_group(const CycleModel::Block& b, unsigned head) {
  uint32_t flags = 0;
  bool read = false;
  unsigned last_cond = 0x10;  // (a group's members mostly share their condition)
  bool passes = true;
  for (unsigned i = 0; i < b.exacts; ++i) {
    if (b.exact_head[i] != head || late_.knowns >= 8) continue;
    int64_t delta = 0;
    if (b.exact_cond[i] != 0xE) {
      if (!read) flags = cpsr(), read = true;
      if (b.exact_cond[i] != last_cond) last_cond = b.exact_cond[i], passes = arm_condition(last_cond, flags);
      if (!passes) delta = -static_cast<int64_t>(b.exact_saving[i]);
    }
    if (!delta && b.exact_mul_rs[i] >= 0)
      delta = static_cast<int64_t>(multiplier_cycles(reg(b.exact_mul_rs[i]), (b.exact_mul_unsigned >> i) & 1)) - 2;
    if (!delta) continue;
    late_.known_index[late_.knowns] = b.exact_index[i];
    late_.known_delta[late_.knowns] = static_cast<int16_t>(delta);
    ++late_.knowns;
    settled_extra_ += delta;
  }
}

}  // namespace sim
