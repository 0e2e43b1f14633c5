// The debugger's hooks: breakpoints, block observers (profiles, coverage)
// and access watches.
//
// Guarantees: a breakpoint stops before its instruction runs, with the pc
// on it; an observer sees every block before it is counted, with the clock
// as it stands after the block before; a watch sees every access in its
// range while the core runs.
// Costs: a code hook per breakpoint (the blocks holding it are translated
// again), one block hook for all observers, a memory hook per watch.
#include "core/arm_core.h"
#include "core/arm_core_detail.h"

namespace sim {

using core_detail::check;

// Called before the instruction at `address` runs; stopping here leaves the
// pc on it.
void ArmCore::on_breakpoint(uc_engine* uc, uint64_t address, uint32_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  if (self->pass_armed_) {
    self->pass_armed_ = false;
    if (address == self->pass_address_) return;
  }
  self->breakpoint_hit_ = true;
  self->breakpoint_address_ = static_cast<uint32_t>(address);
  uc_emu_stop(uc);
}

void ArmCore::add_breakpoint(uint32_t address) {
  if (breakpoints_.count(address)) return;
  uc_hook hook;
  check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::on_breakpoint), this, address,
                    address),
        "breakpoint hook");
  breakpoints_[address] = hook;
  code_hooks_used_ = true;
  // Code translated before the hook existed would not call it.
  flush_code(address, address + 4);
}

void ArmCore::remove_breakpoint(uint32_t address) {
  auto it = breakpoints_.find(address);
  if (it == breakpoints_.end()) return;
  uc_hook_del(uc_, it->second);
  breakpoints_.erase(it);
  flush_code(address, address + 4);
}

void ArmCore::pass_breakpoint_at_pc() {
  pass_armed_ = true;
  pass_address_ = pc();
}

void ArmCore::add_block_observer(BlockObserver observer) {
  if (block_observers_.empty()) {
    // Unicorn calls block hooks in the order they were added; the core's own
    // hook is added again after the observers' so that they see the block
    // before it is counted. Every translated block already calls the block
    // hooks, so no code needs translating again.
    uc_hook hook;
    check(uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&ArmCore::on_observed_block), this, 1, 0),
          "observer hook");
    uc_hook_del(uc_, block_hook_);
    check(uc_hook_add(uc_, &block_hook_, UC_HOOK_BLOCK, reinterpret_cast<void*>(&ArmCore::on_block), this, 1, 0),
          "block hook");
  }
  block_observers_.push_back(std::move(observer));
}

void ArmCore::on_observed_block(uc_engine*, uint64_t address, uint32_t size, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  self->settle_block();  // the block before ran whole: the clock as it stands
  for (auto& observer : self->block_observers_) observer(static_cast<uint32_t>(address), size);
}

int ArmCore::watch_accesses(uint32_t begin, uint32_t end, AccessWatcher watcher) {
  auto watch = std::make_unique<Watch>(Watch{this, std::move(watcher), 0});
  check(uc_hook_add(uc_, &watch->hook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(&ArmCore::on_watched),
                    watch.get(), begin, end - 1),
        "access watch");
  flush_code();  // code translated without the hook would not call it
  int id = next_watch_++;
  watches_[id] = std::move(watch);
  note_sdram_watch();
  return id;
}

void ArmCore::unwatch_accesses(int id) {
  auto it = watches_.find(id);
  if (it == watches_.end()) return;
  uc_hook_del(uc_, it->second->hook);
  watches_.erase(it);
  note_sdram_watch();
  flush_code();
}

void ArmCore::on_watched(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* user) {
  auto* watch = static_cast<Watch*>(user);
  if (!watch->core->running_) return;
  watch->watcher(static_cast<uint32_t>(address), static_cast<unsigned>(size), type == UC_MEM_WRITE);
}

}  // namespace sim
