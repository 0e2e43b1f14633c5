#include "core/arm_core.h"

#include <stdexcept>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "core/unicorn_stores.h"

namespace sim {

namespace {
constexpr int kRegIds[16] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,  UC_ARM_REG_R4, UC_ARM_REG_R5,
                             UC_ARM_REG_R6, UC_ARM_REG_R7, UC_ARM_REG_R8,  UC_ARM_REG_R9,  UC_ARM_REG_R10, UC_ARM_REG_R11,
                             UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_PC};

void check(uc_err err, const char* what) {
  if (err != UC_ERR_OK) throw std::runtime_error(std::string("unicorn: ") + what + ": " + uc_strerror(err));
}

constexpr uint32_t kSramBase = chip::kInternalSram;
constexpr uint32_t kSramSize = chip::kInternalSramSize;
constexpr uint32_t kNoBlock = 1;

bool condition_passes(uint32_t insn, uint32_t cpsr) { return arm_condition(insn >> 28, cpsr); }
}  // namespace

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
    : ram_(ram), bus_(bus), rom_(chip::kBank0Size, 0), sram_(kSramSize, 0) {
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
  uc_ctl_remove_cache(uc_, chip::kSdramBase, chip::kSdramBase + 4);
}

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

ArmCore::~ArmCore() {
  if (uc_) uc_close(uc_);
}

void ArmCore::load_rom(uint32_t address, const std::vector<uint32_t>& words) {
  for (size_t i = 0; i < words.size(); ++i) {
    uint32_t at = address - chip::kBank0Base + 4 * static_cast<uint32_t>(i);
    for (int b = 0; b < 4; ++b) rom_[at + b] = static_cast<uint8_t>(words[i] >> (8 * b));
  }
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
  if (end > begin) uc_ctl_remove_cache(uc_, static_cast<uint64_t>(begin), static_cast<uint64_t>(end));
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

// The block's cost, known or computed now; nullptr when the slice stops
// before it. Out of the hook's way: most blocks are the last one again.
__attribute__((noinline)) CycleModel::Block* ArmCore::lookup_block(uc_engine* uc, uint32_t address, uint32_t size) {
  const uint8_t* code = code_at(address, size);
  CycleModel::Block* block = model_.find(address, size, code);
  if (!block) {
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
  if (self->inflight_cycles_ >= self->budget_end_ || !block || !block->fast ||
      (self->inflight_cycles_ < self->split_at_ && self->inflight_cycles_ + block->last_boundary >= self->split_at_)) {
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
  // An event that falls inside the block while an exception could be
  // taken: the block runs only up to the boundary the exception would be
  // taken at. With a request pending, an MSR inside the block may let it
  // through: the block runs up to the boundary after it.
  if (self->inflight_cycles_ < self->split_at_ && self->inflight_cycles_ + block->last_boundary >= self->split_at_ &&
      block->count > 1 && !first && self->exceptions_possible(*block)) {
    if (!self->split_block(uc, *block, address)) return;
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
  late_.muls = 0;
  total_ += block.count;
  if (block.plain && !cpi_) {
    inflight_cycles_ += block.cost;
    if (block.cond_end) {
      pending_extra_ = block.taken_extra;
      pending_fallthrough_ = address + size;
      pending_cond_ = block.target_is_next ? block.last_cond : 0;
    }
  } else {
    inflight_cycles_ += block_cycles(block);
  }
}

// Whether an exception could be taken inside the block: the CPSR lets an
// IRQ or FIQ through, or an MSR in it may.
bool ArmCore::exceptions_possible(const CycleModel::Block& b) const {
  if (b.has_msr) return true;
  return (cpsr() & exception_bits_) != exception_bits_;
}

// The block is to stop at the first instruction boundary at or after the
// cycle the event may make an exception takeable.
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
bool ArmCore::split_block(uc_engine* uc, CycleModel::Block& b, uint32_t address) {
  const unsigned step = b.thumb ? 2 : 4;
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
  unsigned j = 1;
  while (j + 1 < b.count && starts_at(j) < split_at_) ++j;
  // The block's last instruction starts before it, as far as they tell: the
  // interrupt comes after the block.
  if (starts_at(j) < split_at_) return true;
  const uint32_t stop = address + j * step;
  auto hooked = split_hooks_.find(address);
  if (hooked != split_hooks_.end() && stop < hooked->second.address + hooked->second.size) {
    split_stop_ = stop;
    return true;
  }
  // (counted by address: the short translation is a block of its own size)
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
  if (b.cacheable && b.size) {
    const uint32_t fill = model_.timing().line_fill - 1u;
    fetch_first_line_ = fetch_next_line_ = b.address >> 4;
    fetch_end_line_ = ((b.address + b.size - 1) >> 4) + 1;
    fetch_foretold_.resize(fetch_end_line_ - fetch_first_line_);
    for (uint32_t line = fetch_first_line_; line < fetch_end_line_; ++line) {
      const bool miss = !model_.resident(line << 4);
      fetch_foretold_[line - fetch_first_line_] = miss;
      cost += miss * fill;
    }
    fetch_pending_ = true;
  }
  if (b.cond_end) {
    pending_extra_ = b.taken_extra;
    pending_fallthrough_ = b.address + b.size;
    pending_cond_ = b.target_is_next ? b.last_cond : 0;
  }
  return cost;
}

// A debugger's breakpoint inside the block: its turns must each run.
bool ArmCore::breakpoint_in(const CycleModel::Block& b) const {
  if (breakpoints_.empty()) return false;
  auto it = breakpoints_.lower_bound(b.address);
  return it != breakpoints_.end() && it->first < b.address + b.size;
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
  uint64_t stop = turns_before_stop(budget_end_ - inflight_cycles_, split_room(), turn, b.last_boundary,
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
    for (unsigned i = 0; i < block.fails; ++i)
      if (!arm_condition(block.fail_cond[i] & 15, cpsr())) turn -= block.fail_saving[i];
    for (unsigned i = 0; i < block.late_muls; ++i)
      turn = turn + multiplier_cycles(reg(block.late_mul_rs[i]), (block.late_mul_unsigned >> i) & 1) - 2;
    for (unsigned i = 0; i < block.muls; ++i) turn += start_m(block, i);
    // and its data accesses cost what they did in the turn before
    idle_turn_cycles_ = static_cast<uint64_t>(std::max<int64_t>(static_cast<int64_t>(turn) + settled_extra_, 1));
  }
  idle_turn_last_boundary_ = block.count > 1 ? (cpi_ ? static_cast<uint64_t>(block.count - 1) * cpi_ : block.last_boundary) : 0;
  idle_turn_has_msr_ = block.has_msr;
  stop_before_block(uc, address);
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

// The SFRs and the external banks answer at their own speed; the block's
// fixed cost charged an SDRAM access (or a cache hit), so the difference is
// settled when the access happens: the instructions after it in the block
// move by as much.
bool ArmCore::begin_access(uint32_t address, unsigned size, bool write, uint32_t* value) {
  if (!running_) return false;
  if (stopping_) {  // (the instruction is left before it writes a register)
    *value = 0;
    return true;
  }
  if (replaying_ && replay_next_ < replay_values_.size()) {
    *value = replay_values_[replay_next_++];
    return true;
  }
  ++mmio_count_;
  ++data_cursor_;
  uint32_t pc = locate_access(address, write);
  if (pc != access_pc_ || access_done_ == 0) insn_values_.clear(), insn_extra_ = 0;
  access_pc_ = pc;
  access_position_ = block_start_total_ + access_index_;
  if (fetch_pending_) fetch_lines(access_index_);
  saved_inflight_ = inflight_cycles_;
  if (!replaying_) {
    uint64_t at = cycles_into_block(access_index_);
    inflight_cycles_ = std::max<uint64_t>(at, block_start_cycles_);
    // Events due before the access happen first, each at its own time.
    if (keeper_.fire_due) keeper_.fire_due();
    // An exception now takeable comes before the instruction, which runs
    // again after it (nothing of it has happened: this is its first access).
    if (insn_values_.empty() && keeper_.exception_now && keeper_.exception_now()) {
      inflight_cycles_ = saved_inflight_;
      stopping_ = true;
      redo_ = false;
      stop_at_ = pc;
      uc_emu_stop(uc_);
      *value = 0;
      return true;
    }
  }
  (void)size;
  in_access_ = true;
  return false;
}

void ArmCore::end_access(uint32_t address, unsigned size, bool write, uint32_t value) {
  in_access_ = false;
  if (!running_) return;
  ++access_done_;
  const int64_t delta = access_correction(address, size, write);
  block_extra_ += delta;
  insn_extra_ += delta;
  inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(saved_inflight_) + delta);
  insn_values_.push_back(value);
  const bool resplit = resplit_;
  resplit_ = false;
  if (!replaying_ && (resplit || (keeper_.stop_after && keeper_.stop_after()))) {
    stopping_ = true;
    redo_ = true;
    stop_at_ = access_pc_;
    uc_emu_stop(uc_);
  }
}

// An access the board's memory watches (the flash, the cache's memories)
// costs what its memory takes: the rest of the block moves by the
// difference, as for a register.
void ArmCore::charge_access(uint32_t address, unsigned size, bool write) {
  if (!running_) return;
  ++data_cursor_;
  const int64_t delta = access_correction(address, size, write);
  block_extra_ += delta;
  inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) + delta);
}

int64_t ArmCore::access_correction(uint32_t address, unsigned size, bool write) const {
  if (cpi_) return 0;
  const MemoryTiming& t = model_.timing();
  return static_cast<int64_t>(t.mmio_cost(address, size)) - static_cast<int64_t>(t.assumed_data_cost(size, write));
}

void ArmCore::fetch_lines(unsigned index) {
  const unsigned step = block_thumb_ ? 2 : 4;
  const int64_t fill = model_.timing().line_fill - 1;
  while (fetch_next_line_ < fetch_end_line_) {
    const uint32_t at = std::max(fetch_next_line_ << 4, block_address_);
    if ((at - block_address_) / step > index) return;
    const unsigned miss = model_.cache_misses(at, 1);
    block_lead_ += miss * fill;
    const int64_t d = (static_cast<int64_t>(miss) - fetch_foretold_[fetch_next_line_ - fetch_first_line_]) * fill;
    inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) + d);
    ++fetch_next_line_;
  }
  fetch_pending_ = false;
}

uint64_t ArmCore::foretold_fills(uint32_t address, uint32_t size, unsigned index, bool thumb) const {
  if (!size || !index || !model_.timing().cache_bytes) return 0;
  const unsigned step = thumb ? 2 : 4;
  const uint32_t last = address + std::min<uint32_t>(size, (index - 1) * step + 1) - 1;
  uint64_t fills = 0;
  for (uint32_t line = address >> 4; line <= last >> 4; ++line) fills += !model_.resident(line << 4);
  return fills * (model_.timing().line_fill - 1u);
}

// The cycle the block's instruction `index` starts at.
uint64_t ArmCore::cycles_into_block(unsigned index) const {
  if (cpi_) return block_start_cycles_ + static_cast<uint64_t>(index) * cpi_;
  uint64_t before = index ? model_.prefix_cost(block_address_, code_at(block_address_, block_size_), index, block_thumb_) : 0;
  if (late_.fails || late_.late_muls || late_.muls || late_.knowns)
    before = static_cast<uint64_t>(static_cast<int64_t>(before) + late_correction(index, false));
  return static_cast<uint64_t>(static_cast<int64_t>(block_start_cycles_ + block_lead_ + before) + block_extra_);
}

// The instruction of the current block that makes an access at `address`:
// the registers are those before it runs (Unicorn writes them back after
// its accesses), so the address it computes now is the one it uses. The
// search goes on from the instruction of the block's last access (a load or
// store multiple makes several, at rising addresses).
uint32_t ArmCore::locate_access(uint32_t address, bool write) {
  const unsigned step = block_thumb_ ? 2 : 4;
  const unsigned count = block_size_ / step;
  const uint8_t* code = code_at(block_address_, block_size_);
  unsigned from = 0;
  if (access_located_) {
    from = access_index_;
    // A single access was all of that instruction's (a SWP makes two).
    bool multi = multiple_access(from);
    if (!multi && code && !block_thumb_) {
      const uint32_t insn = code[from * 4] | code[from * 4 + 1] << 8 | code[from * 4 + 2] << 16 |
                            static_cast<uint32_t>(code[from * 4 + 3]) << 24;
      multi = (insn & 0x0FB00FF0) == 0x01000090;
    }
    if (!multi) ++from;
  }
  if (code) {
    uint32_t cpsr_now = cpsr();
    for (unsigned k = from; k < count; ++k) {
      uint32_t at = block_address_ + k * step;
      uint32_t lo, hi;
      bool is_store;
      bool found;
      if (block_thumb_) {
        found = access_range_thumb(static_cast<uint16_t>(code[k * 2] | code[k * 2 + 1] << 8), &lo, &hi, &is_store);
      } else {
        uint32_t insn = code[k * 4] | code[k * 4 + 1] << 8 | code[k * 4 + 2] << 16 | static_cast<uint32_t>(code[k * 4 + 3]) << 24;
        found = access_range(insn, at, cpsr_now, &lo, &hi, &is_store);
        if (found && (insn & 0x0FB00FF0) == 0x01000090) is_store = write;  // SWP reads, then writes
      }
      if (found && is_store == write && address >= lo && address <= hi) {
        if (!access_located_ || k != access_index_) access_done_ = 0;
        access_index_ = k;
        access_located_ = true;
        return at;
      }
    }
  }
  // Not found (an addressing form the search does not compute): the
  // instruction after the last one found, or the block's first.
  if (!access_located_) access_index_ = 0;
  access_located_ = true;
  access_done_ = 0;
  return block_address_ + access_index_ * step;
}

// The data addresses a Thumb load or store would access now.
bool ArmCore::access_range_thumb(uint16_t insn, uint32_t* lo, uint32_t* hi, bool* is_store) const {
  auto r = [&](unsigned n) { return reg(static_cast<int>(n)); };
  if ((insn & 0xF000) == 0x5000) {  // register offset
    uint32_t a = r(insn >> 3 & 7) + r(insn >> 6 & 7);
    unsigned op = insn >> 9 & 7;  // STR STRH STRB LDRSB LDR LDRH LDRB LDRSH
    static constexpr unsigned kSize[8] = {4, 2, 1, 1, 4, 2, 1, 2};
    *lo = a;
    *hi = a + kSize[op] - 1;
    *is_store = op < 3;
    return true;
  }
  if ((insn & 0xE000) == 0x6000) {  // immediate offset, word or byte
    bool byte = insn >> 12 & 1;
    uint32_t a = r(insn >> 3 & 7) + ((insn >> 6 & 31) << (byte ? 0 : 2));
    *lo = a;
    *hi = a + (byte ? 0 : 3);
    *is_store = !(insn >> 11 & 1);
    return true;
  }
  if ((insn & 0xF000) == 0x8000) {  // half-word, immediate offset
    uint32_t a = r(insn >> 3 & 7) + ((insn >> 6 & 31) << 1);
    *lo = a;
    *hi = a + 1;
    *is_store = !(insn >> 11 & 1);
    return true;
  }
  if ((insn & 0xF000) == 0x9000) {  // SP-relative
    uint32_t a = r(13) + ((insn & 0xFF) << 2);
    *lo = a;
    *hi = a + 3;
    *is_store = !(insn >> 11 & 1);
    return true;
  }
  if ((insn & 0xF600) == 0xB400) {  // PUSH, POP
    bool pop = insn >> 11 & 1;
    unsigned n = static_cast<unsigned>(__builtin_popcount(insn & 0x1FF));
    *lo = pop ? r(13) : r(13) - 4 * n;
    *hi = *lo + 4 * n - 1;
    *is_store = !pop;
    return n != 0;
  }
  if ((insn & 0xF000) == 0xC000) {  // STMIA, LDMIA
    unsigned n = static_cast<unsigned>(__builtin_popcount(insn & 0xFF));
    *lo = r(insn >> 8 & 7);
    *hi = *lo + 4 * n - 1;
    *is_store = !(insn >> 11 & 1);
    return n != 0;
  }
  return false;
}

// Entered a second time from itself with every register as the first time
// and no register access between: nothing the loop can see changes until an
// event. A block that keeps changing its registers (a counting loop) is not
// looked at again after a few tries.
bool ArmCore::idle_loop(CycleModel::Block& b, uint32_t address) {
  if (b.idle_failures >= 8) return false;
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
    uc_ctl_remove_cache(uc_, h.address, static_cast<uint64_t>(h.address) + h.size);
  }
  split_hooks_pending_.clear();
  install_exact_hooks();
  apply_sram_window();
  apply_data_watch();
  apply_fast_stores();
}

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
    self->fault_pc_known_ = accesses && address >= lo && address <= hi;
    self->fault_pc_ = pc;
  }
  return false;
}

// Both only lower the budget: the block hook then stops at the next block
// boundary. (A stop inside a block is begin_access's and end_access's: Unicorn
// leaves the block at the access with the pc at the block's start, so they
// set the pc and run the instruction again themselves.)
void ArmCore::request_stop() { budget_end_ = inflight_cycles_; }

void ArmCore::limit_at(uint64_t cycle) {
  if (running_ && cycle < budget_end_) budget_end_ = cycle;
}

void ArmCore::set_event_cycle(uint64_t cycle) {
  const uint64_t before = split_at_;
  event_cycle_ = cycle;
  split_at_ = request_ && request_from_ < cycle ? request_from_ : cycle;
  // (saved_inflight_: where the block ends)
  if (running_ && in_access_ && split_at_ < before && split_at_ < saved_inflight_) resplit_ = true;
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

void ArmCore::on_step_end(uc_engine* uc, uint64_t, uint32_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  if (!self->stepping_) return;
  self->step_ended_ = true;
  uc_emu_stop(uc);
}

ArmCore::Slice ArmCore::run_slice(uint64_t max_cycles, bool step) {
  Slice slice;
  slice_start_ = total_;
  budget_end_ = max_cycles ? max_cycles : 1;
  inflight_cycles_ = 0;
  block_start_cycles_ = 0;
  block_extra_ = 0;
  block_lead_ = 0;
  fetch_pending_ = false;
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
  uint32_t thumb = (cpsr() & kCpsrT) ? 1u : 0u;
  uint32_t start = pc() | thumb;
  uint32_t until = 0xFFFFFFFF;
  until_slice_ = next_until_ != 0 && next_until_ != pc();
  note_attention();
  if (until_slice_) {
    until = next_until_;
    slice_until_ = until;
    // Unicorn ends a block at `until` only as it translates one: the block
    // translated whole before must go (it keeps none that ends there).
    uc_ctl_remove_cache(uc_, pc(), static_cast<uint64_t>(pc()) + 1);
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
    err = uc_emu_start(uc_, start, until, 0, 0);
    if (stopping_ && err == UC_ERR_OK && !exception_ && !fault_) err = finish_stop(thumb);
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
    set_pc(split_hit_address_ | thumb);
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
    set_pc(budget_stop_address_ | thumb);
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

// The debt the whole block paid back (block_cycles) is paid by the part
// that ran as far as it can; the rest stays owed, else a stop inside the
// block would lose it.
void ArmCore::trim_block(uint32_t at, bool started) {
  unsigned step = block_thumb_ ? 2 : 4;
  unsigned count = (at - block_address_) / step;
  if (fetch_pending_) {
    if (count || started) fetch_lines(started ? count : count - 1);
    fetch_pending_ = false;  // (the rest was not fetched)
  }
  total_ = block_start_total_ + count;
  inflight_cycles_ = cycles_into_block(count);
  drop_late();
  pending_extra_ = 0;
}

// A register access stopped the block (begin_access, end_access): the
// instructions before the accessing one ran. If the access is to stand, the
// instruction runs again alone, its accesses answered as they were the
// first time, so that it writes its registers; the slice then ends after
// it, where the exception is taken or the core sleeps.
uc_err ArmCore::finish_stop(uint32_t thumb) {
  stopping_ = false;
  trim_block(stop_at_, true);
  set_pc(stop_at_);
  if (!redo_) return UC_ERR_OK;
  // The clock stands at the instruction's start: what its accesses cost
  // beyond the charged ones counts with the instruction as it runs again
  // (else the block it runs in would start before the one it stopped).
  inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) - insn_extra_);
  replay_extra_ = insn_extra_;
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
  uc_ctl_remove_cache(uc_, stop_at_, static_cast<uint64_t>(stop_at_) + 1);
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

bool ArmCore::in_current_block(uint32_t address) const {
  return address >= block_address_ && address - block_address_ <= block_size_;
}

// The data addresses [lo, hi] of the load or store `insn` at `at` would
// access with the registers as they are now; false for any other
// instruction, or one whose condition fails.
bool ArmCore::access_range(uint32_t insn, uint32_t at, uint32_t cpsr_now, uint32_t* lo, uint32_t* hi,
                           bool* is_store) const {
  if (!condition_passes(insn, cpsr_now)) return false;
  uint32_t rn_value = reg((insn >> 16) & 15);
  if ((insn >> 16 & 15) == 15) rn_value = at + 8;
  bool up = insn >> 23 & 1, pre = insn >> 24 & 1;
  *is_store = !(insn >> 20 & 1);
  if ((insn & 0x0C000000) == 0x04000000) {  // LDR/STR(B)
    uint32_t offset = insn & 0xFFF;
    if (insn & 0x02000000) {  // register offset, immediate shift (LSL only for the estimate)
      offset = reg(insn & 15) << ((insn >> 7) & 31);
    }
    *lo = pre ? (up ? rn_value + offset : rn_value - offset) : rn_value;
    *hi = *lo + ((insn & 0x00400000) ? 0 : 3);
  } else if ((insn & 0x0E000090) == 0x00000090 && (insn & 0x60) != 0) {  // LDRH/STRH/LDRSB/LDRSH
    uint32_t offset = (insn & 0x00400000) ? ((insn >> 4) & 0xF0) | (insn & 0xF) : reg(insn & 15);
    *lo = pre ? (up ? rn_value + offset : rn_value - offset) : rn_value;
    *hi = *lo + 1;
  } else if ((insn & 0x0E000000) == 0x08000000) {  // LDM/STM
    uint32_t count = __builtin_popcount(insn & 0xFFFF);
    *lo = up ? rn_value : rn_value - 4 * count;
    *hi = *lo + 4 * count + 4;
  } else if ((insn & 0x0FB00FF0) == 0x01000090) {  // SWP(B)
    *lo = rn_value;
    *hi = *lo + 3;
    *is_store = true;
  } else {
    return false;
  }
  return true;
}

// Unicorn leaves the pc at the start of the block when a load or store hits
// nothing. The registers, though, are those of the faulting instruction, so
// the first load/store of the block whose effective address (computed now)
// matches the fault is the culprit; failing that, the block's first one.
bool ArmCore::arm_word(uint32_t at, uint32_t* insn) const {
  const uint8_t* p = code_at(at, 4);
  if (!p) return false;
  *insn = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  return true;
}

uint32_t ArmCore::find_faulting_instruction(uint32_t fault_address) const {
  uint32_t cpsr_now = cpsr();
  uint32_t first_memory = 0;
  for (uint32_t at = block_address_; at < block_address_ + block_size_; at += 4) {
    uint32_t insn;
    if (!arm_word(at, &insn)) break;
    uint32_t lo, hi;
    bool is_store;
    if (!access_range(insn, at, cpsr_now, &lo, &hi, &is_store)) continue;
    if (!first_memory) first_memory = at;
    if (fault_address >= lo && fault_address <= hi) return at;
  }
  return first_memory ? first_memory : block_address_;
}

// A store to RAM at an address that is not a multiple of four, seen on its
// way (core/unicorn_stores.h). The registers are those of the store, so the
// block's store whose address has the same offset in its page is the one.
// An earlier store of the block may match too (its base since moved on to
// that address), so the last match counts; a byte store's match is a STRB.
//
// The ARM7TDMI drives the address with bits 1..0 (bit 0 for a half-word) as
// they are and the SDRAM ignores them: the value lands in the aligned word.
// Unicorn writes the bytes at the unaligned address and does not rotate
// unaligned loads either; nothing makes it do either without a hook on every
// access, so stores are reported, once per instruction.
void ArmCore::on_store(void* context, uint64_t ram_offset, unsigned size) {
  auto* self = static_cast<ArmCore*>(context);
  if (ram_offset - self->sram_stores_.begin < self->sram_stores_.size) self->sram_stored(ram_offset);
  if (!self->running_) return;
  if (self->logging_stores_) {
    self->log_store(ram_offset, size);
    if (!(ram_offset & 3)) return;
  }
  if (!self->block_wide_stores_ || self->block_thumb_) return;
  constexpr uint32_t kPageOffset = unicorn_stores::kPageSize - 1;
  Access a = self->find_access(true, static_cast<uint32_t>(ram_offset & kPageOffset), true);
  if (a.width < 2 || (size > 1 && a.width != size)) return;  // a STRB
  if (!self->unaligned_reported_.insert(a.pc).second) return;
  const uint32_t pc = a.pc, address = a.address, width = a.width;
  std::string what = width == 4 ? "word" : "half-word";
  log_warning("core", "unaligned " + what + " store at pc " + hex32(pc) + " to " + hex32(address) +
                          ": the ARM7TDMI writes the " + what + " at " + hex32(address & ~(width - 1)) +
                          ", board-sim at " + hex32(address) +
                          " (said once per instruction; unaligned loads are not rotated either, "
                          "--check-alignment says them)");
}

ArmCore::Access ArmCore::find_access(bool store, uint32_t address, bool page_only) const {
  constexpr uint32_t kPageOffset = unicorn_stores::kPageSize - 1;
  uint32_t cpsr_now = cpsr();
  Access found;
  for (uint32_t at = block_address_; at < block_address_ + block_size_; at += 4) {
    uint32_t insn;
    if (!arm_word(at, &insn)) break;
    uint32_t lo, hi;
    bool is_store;
    if (!access_range(insn, at, cpsr_now, &lo, &hi, &is_store) || is_store != store) continue;
    unsigned w = lo == hi ? 1 : (insn & 0x0C000000) == 0x04000000 || (insn & 0x0E000000) == 0x08000000 ? 4 : 2;
    for (uint32_t a = lo; a + w - 1 <= hi; a += w)
      if ((w == 1 || (a & (w - 1))) && (page_only ? (a & kPageOffset) == address : a == address)) found = {at, a, w};
  }
  return found;
}

void ArmCore::watch_unaligned_loads() {
  fast_stores_off_ = true;  // every unaligned store is to be seen too
  apply_fast_stores();
  uc_hook hook;
  check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_READ, reinterpret_cast<void*>(&ArmCore::on_load), this, chip::kSdramBase,
                    chip::kSdramBase + chip::kSdramSize - 1),
        "load hook");
  flush_code();  // code translated without the hook would not call it
}

// The ARM7TDMI reads the aligned word and rotates it right by 8 x the
// address's low bits (a half-word's odd address reads as unpredictable);
// Unicorn reads the bytes at the address.
bool ArmCore::on_load(uc_engine*, uc_mem_type, uint64_t address64, int size, int64_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  uint32_t address = static_cast<uint32_t>(address64);
  if (size < 2 || !(address & (size - 1)) || !self->running_ || self->block_thumb_) return true;
  Access a = self->find_access(false, address, false);
  const uint32_t pc = a.pc, width = a.width;
  if (width < 2 || !self->unaligned_reported_.insert(pc).second) return true;
  std::string what = width == 4 ? "word" : "half-word";
  log_warning("core", "unaligned " + what + " load at pc " + hex32(pc) + " from " + hex32(address) +
                          ": the ARM7TDMI reads the " + what + " at " + hex32(address & ~(width - 1)) +
                          (width == 4 ? " rotated right by " + std::to_string(8 * (address & 3)) + " bits" : "") +
                          ", board-sim the bytes at " + hex32(address) + " (said once per instruction)");
  return true;
}

// As find_faulting_instruction, but a match is passed over when a later
// instruction of the block writes its base register before the next match:
// the registers are those of the access, so that one matched by chance.
uint32_t ArmCore::instruction_at(uint32_t address) const {
  if (in_access_) return access_pc_;  // a register access found its instruction
  if (block_thumb_) return block_address_;
  const uint32_t cpsr_now = cpsr();
  uint32_t candidate = 0, base_mask = 0;
  for (uint32_t at = block_address_; at < block_address_ + block_size_; at += 4) {
    uint32_t insn;
    if (!arm_word(at, &insn)) break;
    uint32_t lo, hi;
    bool is_store;
    if (access_range(insn, at, cpsr_now, &lo, &hi, &is_store) && address >= lo && address <= hi) {
      if (candidate) return candidate;
      candidate = at;
      base_mask = 1u << ((insn >> 16) & 15);
      continue;
    }
    if (candidate && (decode_arm(insn, at).writes & base_mask)) candidate = 0;
  }
  return candidate ? candidate : find_faulting_instruction(address);
}

int ArmCore::watch_accesses(uint32_t begin, uint32_t end, AccessWatcher watcher) {
  auto watch = std::make_unique<Watch>(Watch{this, std::move(watcher), 0});
  check(uc_hook_add(uc_, &watch->hook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(&ArmCore::on_watched),
                    watch.get(), begin, end - 1),
        "access watch");
  flush_code();  // code translated without the hook would not call it
  int id = next_watch_++;
  watches_[id] = std::move(watch);
  return id;
}

void ArmCore::unwatch_accesses(int id) {
  auto it = watches_.find(id);
  if (it == watches_.end()) return;
  uc_hook_del(uc_, it->second->hook);
  watches_.erase(it);
  flush_code();
}

void ArmCore::on_watched(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* user) {
  auto* watch = static_cast<Watch*>(user);
  if (!watch->core->running_) return;
  watch->watcher(static_cast<uint32_t>(address), static_cast<unsigned>(size), type == UC_MEM_WRITE);
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
