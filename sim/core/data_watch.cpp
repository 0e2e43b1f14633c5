// Data accesses to RAM at their own memory's cost (see ArmCore's header).
//
// A block's fixed cost charges every load and store as an SDRAM access (a
// cache hit with the cache on). What differs is settled as the access
// happens, as for a register: the instruction after it in the block moves
// by as much, and so does any register access after it.
#include <stdexcept>
#include <string>

#include "core/arm_core.h"
#include "core/arm_core_detail.h"
#include "core/s3c44b0x.h"
#include "core/unicorn_stores.h"

namespace sim {

using core_detail::check;
using core_detail::kSramBase;
using core_detail::kSramSize;

// At a slice's end (nothing runs): the watch the memory map asks for now.
void ArmCore::apply_data_watch() {
  uint32_t begin = 0, end = 0;
  const bool cache = model_.timing().cache_bytes != 0;
  if (cpi_) {
    // a fixed cost per instruction: nothing to settle
  } else if (cache || (sram_data_seen_ && sram_end_ > sram_begin_)) {
    // (the SDRAM's too, with the cache off: each access moves the block's
    // plan on)
    begin = chip::kSdramBase, end = kSramBase + kSramSize;
  }
  // Until then, the store path tells of the first store into the SRAM.
  sram_stores_ = {};
  if (!cpi_ && !cache && !sram_data_seen_ && sram_end_ > sram_begin_ && sram_ram_offset_ != UINT64_MAX)
    sram_stores_ = {sram_ram_offset_, sram_end_ - sram_begin_};
  // The flash's data reads: a block's plan counts each of its accesses, so
  // while the others are watched, these are too.
  const bool flash = flash_reads_charged_ || end > begin;
  model_.set_data_watched(end > begin, flash);
  if (flash != (flash_hook_ != 0)) {
    if (flash_hook_) {
      uc_hook_del(uc_, flash_hook_);
      flash_hook_ = 0;
    } else {
      check(uc_hook_add(uc_, &flash_hook_, UC_HOOK_MEM_READ, reinterpret_cast<void*>(&ArmCore::on_flash_read), this,
                        chip::kBank0Base, chip::kBank0Base + chip::kBank0Size - 1),
            "flash read hook");
    }
    if (begin == data_begin_ && end == data_end_) {
      flush_code();
      return;
    }
  }
  if (begin == data_begin_ && end == data_end_) return;
  if (data_hook_) uc_hook_del(uc_, data_hook_);
  data_hook_ = 0;
  data_begin_ = begin, data_end_ = end;
  if (end > begin) {
    uc_err err = uc_hook_add(uc_, &data_hook_, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                             reinterpret_cast<void*>(&ArmCore::on_data), this, begin, end - 1);
    if (err != UC_ERR_OK) throw std::runtime_error(std::string("unicorn: data hook: ") + uc_strerror(err));
  }
  note_sdram_watch();
  // Code translated without the hook would not call it; code translated
  // with it takes the slow path for every load even after it has gone.
  flush_code();
  apply_fast_stores();  // (stores must reach the hook)
}

// The SDRAM's path calls the data hook itself for its loads and stores
// while no other hook covers it: a debugger's watch or the unaligned-load
// check would be called in its turn by the library's own path. (The
// reference mode keeps the library's.)
void ArmCore::note_sdram_watch() {
  sdram_watch_ = {};
  if (!data_hook_ || reference_ || data_begin_ > chip::kSdramBase || data_end_ - chip::kSdramBase < chip::kSdramSize ||
      !watches_.empty() || loads_checked_)
    return;
  sdram_watch_ = {uc_,  chip::kSdramBase, chip::kSdramSize, ram_.data(), unicorn_stores::ram_offset(uc_, ram_.data()),
                  &ArmCore::on_sdram_access, this};
}

void ArmCore::on_sdram_access(void* uc, int type, uint64_t address, int size, int64_t value, void* self) {
  on_data(static_cast<uc_engine*>(uc), static_cast<uc_mem_type>(type), address, size, value, self);
}

void ArmCore::set_flash_reads_charged(bool on) {
  flash_reads_charged_ = on;
  apply_data_watch();
}

void ArmCore::on_flash_read(uc_engine*, uc_mem_type, uint64_t address, int size, int64_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  if (!self->running_ || self->replaying_ || self->stopping_) return;
  // With the cache on (outside NCACHBE's areas) the flash's data is cached
  // like the SDRAM's, its misses filling a line from the flash.
  if (self->model_.cached_at(static_cast<uint32_t>(address)))
    self->charge_data(static_cast<uint32_t>(address), static_cast<unsigned>(size), false);
  else
    self->charge_access(static_cast<uint32_t>(address), static_cast<unsigned>(size), false);
}

void ArmCore::on_data(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* user) {
  auto* self = static_cast<ArmCore*>(user);
  if (!self->running_ || self->replaying_ || self->stopping_) return;
  const uint32_t at = static_cast<uint32_t>(address);
  const bool write = type == UC_MEM_WRITE;
  // Most accesses: as charged, and nothing changes (charge_data's first
  // case, where no code line still to be looked up, nor the one fetched
  // from, shares the read's set).
  if (self->model_.costs_as_charged(at, write) &&
      (write || !self->code_line_shares_set(at))) {
    ++self->data_cursor_;
    return;
  }
  self->charge_data(at, static_cast<unsigned>(size), write);
}

// The first access of an instruction is non-sequential, a load or store
// multiple's later ones sequential: the block's plan tells which this one
// is, or, in a block with a conditional load or store, the instruction the
// address belongs to.
void ArmCore::charge_data(uint32_t address, unsigned size, bool write) {
  const unsigned k = data_cursor_++;
  const MemoryTiming& timing = model_.timing();
  if (timing.cache_bytes) {
    // Through the cache, which way the access is made (sequential or not)
    // and which instruction makes it do not change its cost: a write the
    // write buffer takes costs a clock, as charged, and leaves the cache
    // as it is; a read costs a clock or a line fill. The read is looked up
    // now unless a code line of the block still to be looked up shares its
    // set (then the order of the two decides, and the instruction is found).
    if (model_.cached_at(address)) {
      if (write && timing.write_buffer) return;
      if (!write && !code_line_shares_set(address)) {
        if (model_.line_misses(address >> 4)) {
          ++data_fills_;
          move_past_data(timing.line_fill_at(address) - 1);
        }
        return;
      }
    }
  } else if (address < kSramBase) {
    return;  // the SDRAM, as charged
  }
  fetch_all_recent_ = false;  // (this access may look up a code line's set)
  bool sequential;
  unsigned index;
  if (block_ && block_->plan_ok && block_->address == block_address_ && k < block_->plan_size) {
    const uint16_t planned = model_.planned_access(*block_, k);
    sequential = planned & CycleModel::kSequentialAccess;
    index = planned & ~CycleModel::kSequentialAccess;
  } else {
    locate_access(address, size, write);
    if (access_done_ == 0) insn_values_.clear();  // (a register access of the same instruction may follow)
    sequential = access_done_ > 0 && multiple_access(access_index_);
    ++access_done_;
    index = access_index_;
  }
  // (the instruction's code was fetched before its data)
  if (fetch_pending_) fetch_lines(index);
  bool filled = false;
  const int64_t delta = static_cast<int64_t>(model_.data_cycles(address, size, write, sequential, &filled)) -
                        static_cast<int64_t>(timing.assumed_data_cost(size, write, sequential));
  data_fills_ += filled;
  move_past_data(delta);
  if (!write && model_.cached_at(address)) note_data_line(address >> 4, index);
}

// What a data access cost beyond its charge: the rest of the block moves
// by as much.
void ArmCore::move_past_data(int64_t delta) {
  settled_extra_ += delta;
  block_extra_ += delta;
  inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) + delta);
}

// The first store into the internal SRAM (told by the store path, before
// it writes): the instruction runs again from its start once the slice has
// installed the watch, and is charged then. Its store lands now and again
// then, the same bytes from the same registers: Unicorn leaves the block
// right after the store, before the instruction writes a register. A SWP
// would read its own write the second time: that one instruction, and the
// rest of its block, go as they are.
void ArmCore::sram_stored(uint64_t ram_offset) {
  const uint32_t address = sram_begin_ + static_cast<uint32_t>(ram_offset - sram_stores_.begin);
  sram_stores_ = {};
  sram_data_seen_ = true;
  request_stop();
  if (!running_ || replaying_ || stopping_) return;
  const uint32_t pc = locate_access(address, 0, true);
  uint32_t insn = 0;
  if (!block_thumb_ && arm_word(pc, &insn) && (insn & 0x0FB00FF0) == 0x01000090) return;  // SWP
  stopping_ = true;
  redo_ = false;
  stop_at_ = pc;
  uc_emu_stop(uc_);
}

// The block's instruction `index` (a Thumb one in the low half), when its
// code is at hand.
bool ArmCore::block_insn(unsigned index, uint32_t* insn) const {
  const unsigned step = block_thumb_ ? 2 : 4;
  const uint8_t* code = code_at(block_address_ + index * step, step);
  if (!code) return false;
  *insn = block_thumb_ ? static_cast<uint32_t>(code[0] | code[1] << 8)
                       : code[0] | code[1] << 8 | code[2] << 16 | static_cast<uint32_t>(code[3]) << 24;
  return true;
}

bool ArmCore::is_swap(unsigned index) const {
  uint32_t insn;
  return !block_thumb_ && block_insn(index, &insn) && (insn & 0x0FB00FF0) == 0x01000090;
}

bool ArmCore::multiple_access(unsigned index) const {
  uint32_t insn;
  if (!block_insn(index, &insn)) return false;
  if (block_thumb_) return (insn & 0xF000) == 0xC000 || (insn & 0xF600) == 0xB400;  // LDMIA/STMIA, PUSH/POP
  return (insn & 0x0E000000) == 0x08000000;  // LDM/STM
}

}  // namespace sim
