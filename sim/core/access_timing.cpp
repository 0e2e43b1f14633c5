// Accesses at their own instruction's cycle.
//
// Guarantees: a register (SFR), external-bank or flash access happens at
// the cycle its instruction makes it, after every event due before it: the
// accessing instruction is found in the block by the addresses its
// registers give (locate_access; the registers are those before it runs),
// the clock is moved there for the access (begin_access) and back after it
// (end_access), moved by what the access cost beyond the block's charge.
// An exception the access makes takeable stops the block after it (the
// instruction runs again alone, its accesses answered as they were); one
// takeable before it stops the block before it.
// Also here: finding the instruction of a fault, of an unaligned store or
// load (said once per instruction).
// Costs: a search of the block's instructions per access (from the last
// one found); where two of them would make it with the registers as they
// are, the library's own record of the running instruction settles it (a
// walk of the host's stack); nothing for accesses Unicorn keeps to plain RAM.
#include <string>

#include "core/arm_core.h"
#include "core/arm_core_detail.h"
#include "core/log.h"
#include "core/s3c44b0x.h"
#include "core/unicorn_stores.h"

namespace sim {

namespace {
bool condition_passes(uint32_t insn, uint32_t cpsr) { return arm_condition(insn >> 28, cpsr); }
}  // namespace

using core_detail::check;

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
  uint32_t pc = locate_access(address, size, write);
  if (pc != access_pc_ || access_done_ == 0) {
    insn_values_.clear(), insn_extra_ = 0;
    if (!replaying_) insn_last_at_ = 0;  // (run again alone, it goes on from its first run's)
  }
  access_pc_ = pc;
  access_position_ = block_start_total_ + access_index_;
  if (!write && !cached_device_said_ && address >= chip::kBankSize && address < chip::kSdramBase &&
      model_.cached_at(address))
    say_cached_device_read(address, pc);
  if (fetch_pending_) fetch_lines(access_index_);
  saved_inflight_ = inflight_cycles_;
  if (!replaying_) {
    // (a load or store multiple's later access never before its earlier
    // one, even where those cost less than the charge)
    access_at(static_cast<int64_t>(cycles_into_block(access_index_)));
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
  } else {
    // An access of the instruction run again alone beyond those answered:
    // at its own cycle, after the answered ones, as if it had not stopped.
    access_at(static_cast<int64_t>(cycles_into_block(access_index_)) + replayed_extra_);
    if (keeper_.fire_due) keeper_.fire_due();
  }
  (void)size;
  in_access_ = true;
  return false;
}

// A read of an external bank's device (the 7-segment latch's bank, the
// keypad's) with the cache on and outside NCACHBE's areas: the chip would
// fill a cache line from the device and answer later reads from it. The
// cache's model keeps no data, so the device answers every read here.
// (Where nothing answers, the empty bank's own report says enough.)
void ArmCore::say_cached_device_read(uint32_t address, uint32_t pc) {
  const Device* device = bus_.find(address);
  if (!device || !device->answers()) return;
  cached_device_said_ = true;
  log_warning("core", "read of " + hex32(address) + " (" + device->name() + ", bank " +
                          std::to_string(address / chip::kBankSize) + ") at pc " + hex32(pc) +
                          " with the cache on, outside NCACHBE0/1's areas: the chip fills a cache line from the "
                          "device and may answer later reads from it; board-sim's cache keeps no data, and the "
                          "device answers every read (said once; set NCACHBE over the device's bank)");
}

// The clock at an access computed at `at` (accesses that cost less than
// their charge can put it before the block's start, or before the
// instruction's earlier access, where it never goes).
void ArmCore::access_at(int64_t at) {
  at = std::max({at, static_cast<int64_t>(block_start_cycles_), static_cast<int64_t>(insn_last_at_)});
  inflight_cycles_ = insn_last_at_ = static_cast<uint64_t>(at);
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
  // The access took longer than the block was charged for: the next event
  // may now fall inside the rest of the block, or before the boundary the
  // block was split at (both were reckoned with the charged cost: a load
  // from a slow bank, typically). The rest of the block runs from the next
  // slice, split where the event falls. (What is left of the block's reach
  // from this instruction on bounds where its last instruction may start.)
  bool resplit = resplit_;
  if (!resplit && delta > 0 && block_ && inflight_cycles_ + block_->reach >= split_at_ && exceptions_possible(*block_))
    resplit = inflight_cycles_ >= split_at_ ||
              (access_index_ + 1u < block_->count &&
               inflight_cycles_ + block_->reach >=
                   split_at_ + model_.prefix_cost(block_address_, code_at(block_address_, block_size_), access_index_,
                                                  block_thumb_));
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

// The instruction of the current block that makes an access at `address`:
// the registers are those before it runs (Unicorn writes them back after
// its accesses), so the address it computes now is the one it uses. The
// search goes on from the instruction of the block's last access (a load or
// store multiple makes several, at rising addresses; so does an unaligned
// load or store that the library splits into the aligned words it spans).
// `size`: the access's bytes (0: not known, a whole one).
uint32_t ArmCore::locate_access(uint32_t address, unsigned size, bool write) {
  const unsigned step = block_thumb_ ? 2 : 4;
  const unsigned count = block_size_ / step;
  const uint8_t* code = code_at(block_address_, block_size_);
  unsigned from = 0;
  if (access_located_) {
    from = access_index_;
    // (the instruction goes on while it has accesses to make)
    if (!access_more_) ++from;
  }
  access_more_ = false;
  if (code) {
    const uint32_t cpsr_now = cpsr();
    auto word = [&](unsigned j) {
      return code[j * 4] | code[j * 4 + 1] << 8 | code[j * 4 + 2] << 16 | static_cast<uint32_t>(code[j * 4 + 3]) << 24;
    };
    auto half = [&](unsigned j) { return static_cast<uint16_t>(code[j * 2] | code[j * 2 + 1] << 8); };
    bool wide = false;
    uint32_t lo, hi;  // (the last one looked at's)
    auto matches = [&](unsigned k) {
      const uint32_t at = block_address_ + k * step;
      bool is_store;
      bool found;
      if (block_thumb_) {
        found = access_range_thumb(half(k), &lo, &hi, &is_store);
      } else {
        const uint32_t insn = word(k);
        found = access_range(insn, at, cpsr_now, &lo, &hi, &is_store);
        if (found && (insn & 0x0FB00FF0) == 0x01000090) is_store = write;  // SWP reads, then writes
      }
      // (an unaligned load or store reaches a register or a bank as the
      // aligned words it spans: the library splits it so; those words are
      // its own only where no instruction makes the access itself)
      if (!found || is_store != write) return false;
      if (!wide) return core_detail::in_range(address, lo, hi);
      return core_detail::in_range(address, lo & ~3u, hi | 3u);
    };
    // Whether instruction k made this very access as it ran, where a later
    // one `last` matches too: nothing from k up to `last` writes a register
    // k's address is made of, and k is not conditional (the flags may have
    // changed since). No access of k has been seen yet, so it is this one.
    auto ran_so = [&](unsigned k, unsigned last) {
      uint32_t used;
      if (block_thumb_) {
        const uint16_t insn = half(k);
        used = (insn & 0xF800) == 0x9000 || (insn & 0xF600) == 0xB400 ? 1u << 13
               : (insn & 0xF000) == 0xC000                            ? 1u << (insn >> 8 & 7)
                                                                      : 1u << (insn >> 3 & 7) | 1u << (insn >> 6 & 7);
      } else {
        const uint32_t insn = word(k);
        if ((insn >> 28) != 0xE) return false;
        used = 1u << (insn >> 16 & 15) | 1u << (insn & 15);
      }
      for (unsigned j = k; j < last; ++j) {
        const uint32_t at = block_address_ + j * step;
        const InsnCycles d = block_thumb_ ? decode_thumb(half(j), at) : decode_arm(word(j), at);
        if (d.writes & used) return false;
      }
      return true;
    };
    // (the exact addresses first, then the aligned words)
    unsigned k = count;
    for (int pass = 0; pass < 2 && k == count; ++pass) {
      wide = pass == 1;
      for (k = from; k < count && !matches(k);) ++k;
    }
    if (k < count) {
      // A later instruction matching too (an earlier one's registers can
      // give the address by chance): unless k ran so, the library says
      // which one runs. (The pc it restores is left as it is: a write to
      // the pc would restart the emulation there, and the block sets its
      // own at its end.)
      unsigned last = k;
      for (unsigned j = k + 1; j < count; ++j)
        if (matches(j)) last = j;
      if (last != k && !ran_so(k, last) && unicorn_stores::restore_pc(uc_)) {
        const uint32_t exact = pc();
        if (exact >= block_address_ + k * step && exact < block_address_ + count * step &&
            (exact - block_address_) % step == 0 && matches((exact - block_address_) / step))
          k = (exact - block_address_) / step;
      }
      if (!access_located_ || k != access_index_) access_done_ = 0;
      access_index_ = k;
      // The instruction's next access is its own too until one reaches the
      // end of its range (a load or store multiple makes one a register, at
      // rising addresses; the library splits an unaligned one into the
      // aligned words it spans), and a SWP writes after it reads.
      matches(k);
      access_more_ = (size && hi - address >= size && hi - address < 128) || (is_swap(k) && !write);
      access_located_ = true;
      return block_address_ + k * step;
    }
  }
  // Not found (an addressing form the search does not compute): the
  // instruction after the last one found, or the block's first.
  if (!access_located_) access_index_ = 0;
  access_located_ = true;
  access_done_ = 0;
  access_more_ = multiple_access(access_index_) || is_swap(access_index_);
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

// The data addresses [lo, hi] of the load or store `insn` at `at` would
// access with the registers as they are now; false for any other
// instruction, or one whose condition fails.
bool ArmCore::access_range(uint32_t insn, uint32_t at, uint32_t cpsr_now, uint32_t* lo, uint32_t* hi,
                           bool* is_store) const {
  // (the kind first: the registers are read only for a load or store)
  const bool single = (insn & 0x0C000000) == 0x04000000;
  const bool halfword = (insn & 0x0E000090) == 0x00000090 && (insn & 0x60) != 0;
  const bool multiple = (insn & 0x0E000000) == 0x08000000;
  const bool swap = (insn & 0x0FB00FF0) == 0x01000090;
  if (!(single || halfword || multiple || swap) || !condition_passes(insn, cpsr_now)) return false;
  uint32_t rn_value = reg((insn >> 16) & 15);
  if ((insn >> 16 & 15) == 15) rn_value = at + 8;
  bool up = insn >> 23 & 1, pre = insn >> 24 & 1;
  *is_store = !(insn >> 20 & 1);
  if (single) {  // LDR/STR(B)
    uint32_t offset = insn & 0xFFF;
    if (insn & 0x02000000) {  // register offset, shifted by an immediate
      const uint32_t rm = (insn & 15) == 15 ? at + 8 : reg(insn & 15);
      const unsigned amount = (insn >> 7) & 31;
      switch ((insn >> 5) & 3) {
        case 0: offset = rm << amount; break;
        case 1: offset = amount ? rm >> amount : 0; break;  // (LSR #32)
        case 2: offset = static_cast<uint32_t>(static_cast<int32_t>(rm) >> (amount ? amount : 31)); break;
        default:  // ROR, or RRX for #0 (the carry: CPSR bit 29)
          offset = amount ? (rm >> amount | rm << (32 - amount)) : (rm >> 1 | (cpsr_now & (1u << 29) ? 1u << 31 : 0));
      }
    }
    *lo = pre ? (up ? rn_value + offset : rn_value - offset) : rn_value;
    *hi = *lo + ((insn & 0x00400000) ? 0 : 3);
  } else if (halfword) {  // LDRH/STRH/LDRSB/LDRSH
    uint32_t offset = (insn & 0x00400000) ? ((insn >> 4) & 0xF0) | (insn & 0xF) : reg(insn & 15);
    *lo = pre ? (up ? rn_value + offset : rn_value - offset) : rn_value;
    *hi = *lo + 1;
  } else if (multiple) {  // LDM/STM
    // Its words from the lowest up, by its P and U bits: IA from Rn, IB
    // from Rn + 4, DA from Rn - 4n + 4, DB from Rn - 4n. (A range one word
    // wider took the next instruction's access at Rn, a STRB after an STMDB
    // typically, for the multiple's.) An empty list, unpredictable, keeps
    // the widest reading.
    const uint32_t count = __builtin_popcount(insn & 0xFFFF);
    if (count == 0) {
      *lo = up ? rn_value : rn_value - 64;
      *hi = *lo + 68;
    } else {
      *lo = up ? rn_value + (pre ? 4 : 0) : rn_value - 4 * count + (pre ? 0 : 4);
      *hi = *lo + 4 * count - 1;
    }
  } else {  // SWP(B)
    *lo = rn_value;
    *hi = *lo + 3;
    *is_store = true;
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
    if (core_detail::in_range(fault_address, lo, hi)) return at;
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
  // (by its address where the store's memory is known, else by its offset
  // in its page: a byte store and a word store at the same page offset
  // elsewhere would look alike)
  uint32_t stored = 0;
  Access a = self->guest_address(ram_offset, &stored)
                 ? self->find_access(true, stored, false)
                 : self->find_access(true, static_cast<uint32_t>(ram_offset & kPageOffset), true);
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

bool ArmCore::guest_address(uint64_t ram_offset, uint32_t* address) const {
  if (sdram_offset_known_ && ram_offset - sdram_offset_ < chip::kSdramSize) {
    *address = chip::kSdramBase + static_cast<uint32_t>(ram_offset - sdram_offset_);
    return true;
  }
  if (sram_ram_offset_ != UINT64_MAX && ram_offset - sram_ram_offset_ < sram_end_ - sram_begin_) {
    *address = sram_begin_ + static_cast<uint32_t>(ram_offset - sram_ram_offset_);
    return true;
  }
  return false;
}

// (A store to a bank or a register at the same page offset is not the
// store path's: that one reaches the SDRAM or the internal SRAM.)
bool ArmCore::in_ram(uint32_t address) const {
  return address - chip::kSdramBase < chip::kSdramSize || address - sram_begin_ < sram_end_ - sram_begin_;
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
      if ((w == 1 || (a & (w - 1))) &&
          (page_only ? (a & kPageOffset) == address && in_ram(a) : a == address))
        found = {at, a, w};
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
  loads_checked_ = true;
  note_sdram_watch();
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
    if (access_range(insn, at, cpsr_now, &lo, &hi, &is_store) && core_detail::in_range(address, lo, hi)) {
      if (candidate) return candidate;
      candidate = at;
      base_mask = 1u << ((insn >> 16) & 15);
      continue;
    }
    if (candidate && (decode_arm(insn, at).writes & base_mask)) candidate = 0;
  }
  return candidate ? candidate : find_faulting_instruction(address);
}

}  // namespace sim
