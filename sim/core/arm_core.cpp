// The core's frame: Unicorn's engine with the board's memory map, the
// registers, and the slice, the unit of running (run, step, run_slice).
//
// Where "now" is. A slice runs from cycle 0 of its own; the board's clock
// is the slice's start plus `inflight_cycles_`, which the board reads
// through inflight_cycles() whenever a device asks for the time. Between
// blocks it is where the blocks so far end. Who moves it, and only they:
// - begin_block (block_hooks.cpp): by the entered block's whole cost, so
//   while a block runs, now stands at its end as first costed;
// - on_block: by the block before's closing branch taken, and its late
//   costs (settle_block: failed conditions, multiplies' m, code line
//   fills found at fetch);
// - begin_access (access_timing.cpp): back to the accessing instruction's
//   own cycle while a register or device access happens, so the events due
//   before it fire first; end_access puts it back at the block's end, moved
//   by what the access cost beyond what the block was charged; the data
//   watch (data_watch.cpp) and code line fills move it the same way;
// - the loop skipping (loop_skipping.cpp): by the turns it passes at once;
// - trim_block: to where a block stopped inside itself ends (an exception,
//   a fault, a split at an instruction boundary, a breakpoint, a step);
// - finish_stop: an instruction run again alone counts its own extra cost.
// run_slice sets it to 0 at the start and hands it back as Slice::cycles.
// The budget (`budget_end_`) and the next event (`split_at_`) are in the
// same units; instruction_boundaries.cpp says how they end a slice.
//
// The other rooms of the core, each with what it guarantees at its head:
// block_hooks.cpp (a block's cost, the reference mode), exact_hooks.cpp,
// instruction_boundaries.cpp, access_timing.cpp, data_watch.cpp,
// fast_stores.cpp, loop_skipping.cpp (with counted_loop.cpp's analysis),
// debug_hooks.cpp; the cycle model and the cache are arm_timing.cpp's.
#include "core/arm_core.h"

#include <algorithm>
#include <stdexcept>

#include "core/arm_core_detail.h"
#include "core/log.h"
#include "core/s3c44b0x.h"
#include "core/unicorn_stores.h"

namespace sim {

namespace {
constexpr int kRegIds[16] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,  UC_ARM_REG_R4, UC_ARM_REG_R5,
                             UC_ARM_REG_R6, UC_ARM_REG_R7, UC_ARM_REG_R8,  UC_ARM_REG_R9,  UC_ARM_REG_R10, UC_ARM_REG_R11,
                             UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_PC};
constexpr uint32_t kNoBlock = 1;
}  // namespace

using core_detail::check;
using core_detail::kSramBase;
using core_detail::kSramSize;

uint64_t ArmCore::mmio_read(uc_engine*, uint64_t offset, unsigned size, void* user) {
  auto* region = static_cast<MmioRegion*>(user);
  uint32_t address = region->base + static_cast<uint32_t>(offset);
  uint32_t value = 0;
  if (region->core->begin_access(address, size, false, &value)) return value;
  value = region->bus->read(address, size);
  region->core->end_access(address, size, false, value);
  return value;
}

void ArmCore::mmio_write(uc_engine*, uint64_t offset, unsigned size, uint64_t value, void* user) {
  auto* region = static_cast<MmioRegion*>(user);
  uint32_t address = region->base + static_cast<uint32_t>(offset);
  uint32_t ignored = 0;
  if (region->core->begin_access(address, size, true, &ignored)) return;
  region->bus->write(address, static_cast<uint32_t>(value), size);
  region->core->end_access(address, size, true, static_cast<uint32_t>(value));
}

ArmCore::ArmCore(Sdram& ram, Bus& bus, const std::vector<std::pair<uint32_t, uint32_t>>& mmio_regions)
    : ram_(ram), bus_(bus), sram_(kSramSize, 0) {
  check(uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_), "open");
  check(uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_TI925T), "cpu model");
  check(uc_mem_map_ptr(uc_, chip::kSdramBase, chip::kSdramSize, UC_PROT_ALL, ram_.data()), "map SDRAM");
  check(uc_mem_map_ptr(uc_, chip::kBank0Base, chip::kBank0Size, UC_PROT_READ | UC_PROT_EXEC, rom_.data()), "map ROM");
  for (auto& [base, size] : mmio_regions) {
    regions_.push_back(std::make_unique<MmioRegion>(MmioRegion{&bus_, base, this}));
    auto* user = regions_.back().get();
    check(uc_mmio_map(uc_, base, size, mmio_read, user, mmio_write, user), "map MMIO");
  }
  find_sdram_offset();
  uc_hook hook;
  check(uc_hook_add(uc_, &block_hook_, UC_HOOK_BLOCK, reinterpret_cast<void*>(&ArmCore::on_block), this, 1, 0),
        "block hook");
  check(uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(&ArmCore::on_interrupt), this, 1, 0), "intr hook");
  check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&ArmCore::on_invalid), this, 1, 0),
        "invalid-access hook");
}

// Where Unicorn keeps the SDRAM among its RAM, so that a store it tells of
// (core/unicorn_stores.h) can be found in ram_: one store, run before the
// program is loaded.
void ArmCore::find_sdram_offset() {
  constexpr uint32_t kProbe = 0x40;
  uint8_t* code = ram_.at(chip::kSdramBase, 4);
  const uint32_t str_r0_r1 = 0xE5810000;
  for (int i = 0; i < 4; ++i) code[i] = static_cast<uint8_t>(str_r0_r1 >> (8 * i));
  uint32_t target = chip::kSdramBase + kProbe;
  uc_reg_write(uc_, UC_ARM_REG_R1, &target);
  struct Seen {
    bool any = false;
    uint64_t offset = 0;
  } seen;
  const bool all = true;
  {
    unicorn_stores::ObserverScope scope(
        [](void* context, uint64_t offset, unsigned) {
          auto* s = static_cast<Seen*>(context);
          if (s->any) return;  // (Unicorn may store more of its own as the run ends)
          s->any = true;
          s->offset = offset;
        },
        &seen, &all);
    uc_emu_start(uc_, chip::kSdramBase, chip::kSdramBase + 4, 0, 0);
  }
  sdram_offset_known_ = seen.any && (seen.offset & 0x3FF) == kProbe;
  sdram_offset_ = seen.offset - kProbe;
  std::fill(code, code + 4, 0);
  *ram_.at(target, 4) = 0;
  uint32_t zero = 0;
  uc_reg_write(uc_, UC_ARM_REG_R1, &zero);
  uc_reg_write(uc_, UC_ARM_REG_PC, &zero);
  drop_translations(chip::kSdramBase, chip::kSdramBase + 4);
}

ArmCore::~ArmCore() {
  if (uc_) uc_close(uc_);
}

void ArmCore::fill_rom(uint32_t word) {
  rom_.fill(word);
  flush_code();
}

void ArmCore::load_rom(uint32_t address, const uint8_t* bytes, size_t size) {
  const uint32_t at = address - chip::kBank0Base;
  if (at > rom_.size() || size > rom_.size() - at) throw std::out_of_range("load_rom: outside bank 0");
  std::copy_n(bytes, size, rom_.data() + at);
  flush_code();
}

// Unicorn's range removal works region by region (a range spanning both
// mappings removes nothing), and its whole-cache flush leaves the core
// running several times slower afterwards; so each mapping is cleared on
// its own.
void ArmCore::flush_code() {
  flush_code(chip::kSdramBase, chip::kSdramBase + chip::kSdramSize);
  flush_code(chip::kBank0Base, chip::kBank0Base + chip::kBank0Size);
  if (sram_end_ > sram_begin_) flush_code(sram_begin_, sram_end_);
}

// The blocks' costs go with their translations: the code may have changed.
void ArmCore::flush_code(uint32_t begin, uint32_t end) {
  if (end > begin) drop_translations(static_cast<uint64_t>(begin), static_cast<uint64_t>(end));
  model_.clear();
}

const uint8_t* ArmCore::code_at(uint32_t address, uint32_t size) const {
  if (const uint8_t* p = ram_.at(address, size)) return p;
  if (address >= sram_begin_ && address < sram_end_ && size <= sram_end_ - address) return sram_.data() + (address - kSramBase);
  return rom(address, size);
}

// A write to SYSCFG or the memory controller changes what the instructions
// after it cost, not what the running block's before it did: the core stops
// right after the writing instruction (it was fetched and costed at the old
// timing) and the new timing holds from the next slice. (Applied at once,
// the running block's costs would be counted again at the new timing from
// its start: the clock went back when the cache came on.) The cache turned
// on or off also changes which data accesses are watched.
void ArmCore::set_timing(const MemoryTiming& timing) {
  if (running_) {
    pending_timing_ = timing;
    timing_pending_ = true;
    if (in_access_)
      resplit_ = true;
    else
      request_stop();
    return;
  }
  const bool cache_was_on = model_.timing().cache_bytes != 0;
  model_.set_timing(timing);
  if ((timing.cache_bytes != 0) != cache_was_on) apply_data_watch();
}

uint64_t ArmCore::instruction_cycles(uint32_t address) const {
  if (cpi_) return cpi_;
  return model_.prefix_cost(address, code_at(address, 4), 1, false);
}

uint32_t ArmCore::exception_entry_cycles() const {
  if (cpi_) return 0;
  const MemoryTiming& t = model_.timing();
  return t.cache_bytes ? 3 : 2 * t.sdram_arm.s + t.sdram_arm.n;
}

void ArmCore::set_sram_window(uint32_t begin, uint32_t end) {
  sram_want_begin_ = begin;
  sram_want_end_ = end;
  if (running_) {
    request_stop();
  } else {
    apply_sram_window();
    apply_data_watch();
  }
}

void ArmCore::apply_sram_window() {
  if (sram_want_begin_ == sram_begin_ && sram_want_end_ == sram_end_) return;
  if (sram_end_ > sram_begin_) {
    flush_code(sram_begin_, sram_end_);
    uc_mem_unmap(uc_, sram_begin_, sram_end_ - sram_begin_);
  }
  sram_begin_ = sram_want_begin_;
  sram_end_ = sram_want_end_;
  sram_ram_offset_ = UINT64_MAX;
  if (sram_end_ > sram_begin_) {
    uint8_t* host = sram_.data() + (sram_begin_ - kSramBase);
    check(uc_mem_map_ptr(uc_, sram_begin_, sram_end_ - sram_begin_, UC_PROT_ALL, host), "map internal SRAM");
    sram_ram_offset_ = unicorn_stores::ram_offset(uc_, host);
  }
}

const uint8_t* ArmCore::rom(uint32_t address, uint32_t size) const {
  if (address < chip::kBank0Base || size > chip::kBank0Size || address - chip::kBank0Base > chip::kBank0Size - size)
    return nullptr;
  return rom_.data() + (address - chip::kBank0Base);
}

void ArmCore::install_pending() {
  for (uint32_t at : coprocessor_pending_) {
    if (coprocessor_hooks_.count(at)) continue;
    uc_hook hook;
    check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::on_coprocessor), this, at, at),
          "coprocessor hook");
    coprocessor_hooks_[at] = hook;
    code_hooks_used_ = true;
    flush_code(at, at + 4);
  }
  coprocessor_pending_.clear();
  for (const SplitHook& pending : split_hooks_pending_) {
    if (split_hooks_.count(pending.address)) continue;
    SplitHook h = pending;
    check(uc_hook_add(uc_, &h.hook, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::on_split_point), this,
                      h.address, h.address + h.size - 1),
          "split hook");
    split_hooks_[h.address] = h;
    code_hooks_used_ = true;
    // Code translated before the hook existed would not call it (its cost
    // stays: the code is the same).
    drop_translations(h.address, static_cast<uint64_t>(h.address) + h.size);
  }
  split_hooks_pending_.clear();
  install_exact_hooks();
  apply_sram_window();
  apply_data_watch();
  apply_fast_stores();
}

void ArmCore::on_interrupt(uc_engine* uc, uint32_t number, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  self->exception_ = true;
  self->exception_number_ = static_cast<int>(number);
  uint32_t pc = 0;
  uc_reg_read(uc, UC_ARM_REG_PC, &pc);
  self->exception_pc_ = pc;
  uc_emu_stop(uc);
}

bool ArmCore::on_invalid(uc_engine*, uc_mem_type type, uint64_t address, int, int64_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  self->fault_ = true;
  self->fault_address_ = static_cast<uint32_t>(address);
  self->fault_fetch_ = type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT;
  self->fault_write_ = type == UC_MEM_WRITE_UNMAPPED || type == UC_MEM_WRITE_PROT;
  // The faulting instruction itself, where the library can tell it (a
  // search of the block by the registers can take an earlier load or store
  // with the same base register for it).
  // (Told only if that instruction does access the address: on some hosts
  // the library's slow path returns through code of its own, and the pc
  // stays at the block's start.)
  self->fault_pc_known_ = false;
  if (!self->fault_fetch_ && unicorn_stores::restore_pc(self->uc_)) {
    const uint32_t pc = self->pc();
    const uint32_t cpsr = self->cpsr();
    uint32_t lo = 0, hi = 0, insn = 0;
    bool is_store = false;
    bool accesses = false;
    if (cpsr & kCpsrT) {
      const uint8_t* code = self->code_at(pc, 2);
      accesses = code && self->access_range_thumb(static_cast<uint16_t>(code[0] | code[1] << 8), &lo, &hi, &is_store);
    } else {
      accesses = self->arm_word(pc, &insn) && self->access_range(insn, pc, cpsr, &lo, &hi, &is_store);
    }
    self->fault_pc_known_ = accesses && core_detail::in_range(address, lo, hi);
    self->fault_pc_ = pc;
  }
  return false;
}

ArmCore::Slice ArmCore::run(uint64_t max_cycles) { return run_slice(max_cycles, false); }

// A step runs a normal slice that ends after one instruction, without
// Unicorn's instruction counter: switching that on or off discards all
// translated code, and a continue after a step would then translate the
// whole program again. Every way out of the instruction is covered: a branch
// or any write to the pc ends the block, and the next block's entry ends the
// step (on_block); an exception or a fault ends the slice; what is left is
// the next instruction of the same block, where a code hook bounded to it
// stops the slice as a breakpoint does. (A Thumb BL pair is one instruction
// to Unicorn and two to the count, as in a normal run.)
ArmCore::Slice ArmCore::step() {
  code_hooks_used_ = true;
  const uint32_t width = (cpsr() & kCpsrT) ? 2 : 4;
  step_next_ = pc() + width;
  // Outside memory that holds code the next instruction is in no block of
  // this one (its fetch would fault): nothing to hook.
  bool hooked = code_at(step_next_, width) != nullptr;
  uc_hook hook = 0;
  if (hooked) {
    check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::on_step_end), this, step_next_,
                      step_next_),
          "step hook");
    // Only the blocks holding the next instruction are translated again,
    // now and once the hook is gone.
    flush_code(step_next_, step_next_ + width);
  }
  size_t coprocessor_hooks = coprocessor_hooks_.size();
  pass_breakpoint_at_pc();
  Slice slice = run_slice(1, true);
  if (slice.executed == 0 && slice.stop == Stop::kBudget && coprocessor_hooks_.size() != coprocessor_hooks) {
    // The block's coprocessor instructions needed their hooks first (on_block).
    pass_breakpoint_at_pc();
    slice = run_slice(1, true);
  }
  if (hooked) {
    uc_hook_del(uc_, hook);
    flush_code(step_next_, step_next_ + width);
  }
  return slice;
}

void ArmCore::on_step_end(uc_engine* uc, uint64_t, uint32_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  if (!self->stepping_) return;
  self->step_ended_ = true;
  uc_emu_stop(uc);
}

// Code to be translated anew. The library keeps its translations in one
// buffer and never takes back the room of those it drops; with it full
// (after millions of drops), a later drop crashed inside the library
// (2.0.1). So the core empties it itself, between slices, long before:
// after kDropsBeforeFlush drops, or blocks translated anew.
void ArmCore::drop_translations(uint64_t begin, uint64_t end) {
  uc_ctl_remove_cache(uc_, begin, end);
  ++drops_;
}

ArmCore::Slice ArmCore::run_slice(uint64_t max_cycles, bool step) {
  if (drops_ >= kDropsBeforeFlush) {
    uc_ctl_flush_tlb(uc_);  // (every translation: the library's "TB flush")
    drops_ = 0;
  }
  Slice slice;
  slice_start_ = total_;
  budget_end_ = max_cycles ? max_cycles : 1;
  inflight_cycles_ = 0;
  block_start_cycles_ = 0;
  block_extra_ = 0;
  block_lead_ = 0;
  fetch_pending_ = false;
  refetch_ = false;
  settled_extra_ = 0;
  data_fills_ = 0;
  block_ = nullptr;
  data_cursor_ = 0;
  access_located_ = false;
  block_thumb_ = (cpsr() & kCpsrT) != 0;
  pending_extra_ = 0;
  prev_block_ = kNoBlock;
  idle_detected_ = false;
  exception_ = fault_ = fault_pc_known_ = false;
  breakpoint_hit_ = budget_stopped_ = step_ended_ = false;
  block_start_total_ = total_;
  block_address_ = pc();
  block_size_ = 0;
  // Unicorn takes the instruction set from bit 0 of the start address.
  // (set_pc takes it from the CPSR as it is then: the state may change in
  // the slice)
  const uint32_t start = pc() | ((cpsr() & kCpsrT) ? 1u : 0u);
  uint32_t until = 0xFFFFFFFF;
  until_slice_ = next_until_ != 0 && next_until_ != pc();
  note_attention();
  if (until_slice_) {
    until = next_until_;
    slice_until_ = until;
    // Unicorn ends a block at `until` only as it translates one: the block
    // translated whole before must go (it keeps none that ends there).
    drop_translations(pc(), static_cast<uint64_t>(pc()) + 1);
  }
  next_until_ = 0;
  resplit_ = false;
  drop_late();
  split_stop_ = 0;
  split_hit_ = false;
  stopping_ = false;
  replaying_ = false;
  // Passing a breakpoint concerns the first instruction of this slice only.
  if (pass_address_ != pc()) pass_armed_ = false;
  stepping_ = step;
  note_attention();
  running_ = true;
  uc_err err;
  {
    unicorn_stores::ObserverScope stores(&ArmCore::on_store, this, &logging_stores_, &sram_stores_, &fast_stores_);
    unicorn_sdram::SdramScope sdram(sdram_watch_.size ? &sdram_watch_ : nullptr);
    err = uc_emu_start(uc_, start, until, 0, 0);
    if (stopping_ && err == UC_ERR_OK && !exception_ && !fault_) err = finish_stop();
  }
  running_ = false;
  stepping_ = false;
  note_attention();
  pass_armed_ = false;
  // The block that ended the slice early ran only up to `at`.
  auto trim = [&](uint32_t at, bool started) { trim_block(at, started); };

  if (!exception_ && !fault_ && err == UC_ERR_INSN_INVALID) {
    // Unicorn reports undefined instructions as an error, with the pc at the
    // instruction; it is the processor's undefined-instruction exception.
    exception_ = true;
    exception_number_ = 1;
    exception_pc_ = pc();
  }
  if (exception_) {
    // Instructions of the block before the one that raised the exception
    // completed; for SWI the reported pc is already past the SWI itself.
    slice.stop = Stop::kException;
    slice.exception = exception_number_;
    slice.pc = exception_pc_;
    // (a SWI's pc is the next instruction's, not fetched)
    if (in_current_block(exception_pc_)) trim(exception_pc_, exception_number_ != 2);
  } else if (fault_ || err != UC_ERR_OK) {
    slice.stop = Stop::kFault;
    slice.fault_address = fault_address_;
    slice.fault_fetch = fault_fetch_;
    slice.fault_write = fault_write_;
    if (fault_fetch_ || !fault_) {
      // The fetch fails while the next block is translated: the block before
      // it ran whole, as counted.
      slice.fault_pc = fault_ ? fault_address_ : pc();
    } else {
      slice.fault_pc = fault_pc_known_ ? fault_pc_
                       : step         ? start & ~1u
                       : block_thumb_ ? block_address_
                                      : find_faulting_instruction(fault_address_);
      trim(slice.fault_pc, true);
    }
    if (!fault_) log_warning("core", std::string("emulation stopped: ") + uc_strerror(err));
  } else if (split_hit_) {
    // Stopped by its split hook before the instruction at the boundary.
    if (in_current_block(split_hit_address_)) trim(split_hit_address_, false);
    set_pc(split_hit_address_);
  } else if (breakpoint_hit_) {
    slice.stop = Stop::kBreakpoint;
    slice.pc = breakpoint_address_;
    if (in_current_block(breakpoint_address_)) trim(breakpoint_address_, false);
  } else if (step_ended_ && !budget_stopped_) {
    if (in_current_block(step_next_)) trim(step_next_, false);
  } else if (budget_stopped_ && code_hooks_used_) {
    // The block whose hook stopped the slice did not run. Unicorn puts the pc
    // back at its start only while no code hook exists; with one (a
    // breakpoint, a step's stop) the pc may still be that of the block
    // before, which chained to it.
    set_pc(budget_stop_address_);
  }
  settle_block();  // the slice's last block ran whole
  slice.executed = total_ - slice_start_;
  slice.cycles = inflight_cycles_;
  inflight_cycles_ = 0;
  pending_extra_ = 0;
  if (timing_pending_) {
    timing_pending_ = false;
    set_timing(pending_timing_);
  }
  install_pending();
  return slice;
}

// A register access stopped the block (begin_access, end_access): the
// instructions before the accessing one ran. If the access is to stand, the
// instruction runs again alone, its accesses answered as they were the
// first time, so that it writes its registers; the slice then ends after
// it, where the exception is taken or the core sleeps.
uc_err ArmCore::finish_stop() {
  // (in the state of the block it stopped, not the slice's first: a
  // BX in the slice may have changed it)
  const uint32_t thumb = block_thumb_ ? 1u : 0u;
  stopping_ = false;
  trim_block(stop_at_, true);
  set_pc(stop_at_);
  if (!redo_) return UC_ERR_OK;
  // The clock stands at the instruction's start: what its accesses cost
  // beyond the charged ones counts with the instruction as it runs again
  // (else the block it runs in would start before the one it stopped).
  inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) - insn_extra_);
  replay_extra_ = replayed_extra_ = insn_extra_;
  split_stop_ = 0;
  replay_values_ = insn_values_;
  replay_next_ = 0;
  replaying_ = true;
  note_attention();
  replay_entered_ = false;
  const bool passing = pass_armed_;
  pass_armed_ = true;  // a breakpoint on it was passed already
  pass_address_ = stop_at_;
  uint32_t width = thumb ? 2 : 4;
  // (A block translated whole before, as one starting at the instruction
  // is when it starts its block, would not end at `until`.)
  drop_translations(stop_at_, static_cast<uint64_t>(stop_at_) + 1);
  uc_err err = uc_emu_start(uc_, stop_at_ | thumb, stop_at_ + width, 0, 0);
  if (replay_extra_) {  // (it did not run after all)
    inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) + replay_extra_);
    replay_extra_ = 0;
  }
  pass_armed_ = passing;
  replaying_ = false;
  note_attention();
  return err;
}

uint32_t ArmCore::reg(int r) const {
  uint32_t v = 0;
  uc_reg_read(uc_, kRegIds[r], &v);
  return v;
}

// Unicorn keeps the instruction set in bit 0 of the pc it is given and
// ignores the T bit of a CPSR write; so the pc carries the CPSR's state.
void ArmCore::set_reg(int r, uint32_t value) {
  if (r == PC) value = (value & ~1u) | ((cpsr() & kCpsrT) ? 1u : 0u);
  uc_reg_write(uc_, kRegIds[r], &value);
}

uint32_t ArmCore::cpsr() const {
  uint32_t v = 0;
  uc_reg_read(uc_, UC_ARM_REG_CPSR, &v);
  return v;
}

void ArmCore::set_cpsr(uint32_t value) {
  uc_reg_write(uc_, UC_ARM_REG_CPSR, &value);
  if ((cpsr() ^ value) & kCpsrT) {
    uint32_t pc = (reg(PC) & ~1u) | ((value & kCpsrT) ? 1u : 0u);
    uc_reg_write(uc_, UC_ARM_REG_PC, &pc);
  }
}

uint32_t ArmCore::spsr() const {
  uint32_t v = 0;
  uc_reg_read(uc_, UC_ARM_REG_SPSR, &v);
  return v;
}

void ArmCore::set_spsr(uint32_t value) { uc_reg_write(uc_, UC_ARM_REG_SPSR, &value); }

}  // namespace sim
