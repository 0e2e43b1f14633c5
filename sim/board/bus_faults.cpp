// What the board's buses do with accesses that reach no memory: empty banks,
// plain writes to the flash, the SDRAM before the program has set it up;
// and how an endless loop is recognised.
#include <algorithm>

#include "board/board.h"
#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

namespace {

std::string where_nothing_is(uint32_t address) {
  if (address < chip::kBank0Size) return "the flash";
  if (address < chip::kInternalSram) return "bank " + std::to_string(address / chip::kBankSize);
  return "the address space above the chip's memory";
}

// The ARM barrel shifter on an immediate shift amount (a register offset of
// a load or store).
uint32_t shifted(uint32_t value, unsigned type, unsigned amount, bool carry) {
  switch (type) {
    case 0: return value << amount;
    case 1: return amount ? value >> amount : 0;
    case 2: return amount ? static_cast<uint32_t>(static_cast<int32_t>(value) >> amount)
                          : (value & 0x80000000u ? 0xFFFFFFFFu : 0);
    default: return amount ? (value >> amount) | (value << (32 - amount)) : (value >> 1) | (carry ? 0x80000000u : 0);
  }
}

}  // namespace

// Every stretch of the 4 GB the core can address where no memory or device
// answers. The internal SRAM's 8 KB is not among them: the part of it that
// SYSCFG gives the cache aborts, as the chip's own memory does.
std::vector<std::pair<uint32_t, uint32_t>> Board::empty_ranges() const {
  const std::pair<uint64_t, uint64_t> used[] = {
      {chip::kBank0Base, chip::kBank0Size},  {chip::kSfrBase, chip::kSfrSize},
      {chip::kSegsLatch, 0x1000},           {chip::kKeypadBase, chip::kKeypadSize},
      {chip::kSdramBase, chip::kSdramSize}, {chip::kInternalSram, chip::kCacheTags - chip::kInternalSram},
      {chip::kCacheTags, kCacheMemoriesMapped},
  };
  std::vector<std::pair<uint32_t, uint32_t>> empty;
  uint64_t at = 0;
  for (const auto& [base, size] : used) {
    if (base > at) empty.emplace_back(static_cast<uint32_t>(at), static_cast<uint32_t>(base - at));
    at = base + size;
  }
  empty.emplace_back(static_cast<uint32_t>(at), static_cast<uint32_t>((1ull << 32) - at));
  return empty;
}

void Board::on_empty_access(uint32_t address, bool write) {
  if (bus_misuse_said_) return;
  bus_misuse_said_ = true;
  const uint32_t pc = core_->instruction_at(address);
  const std::string fn = elf_.describe(pc);
  log_warning("bus", std::string(write ? "write to " : "read of ") + hex32(address) + " at pc " + hex32(pc) +
                         (fn.empty() ? "" : " (" + fn + ")") + ": nothing answers there (" + where_nothing_is(address) +
                         "); as on the board the access ends after the bank's access time and the program goes on" +
                         (write ? "" : ", the read returning 0 here (on the board, whatever the data bus held)") +
                         " (said once for every such access; --strict-bus halts instead)");
}

void Board::on_early_sdram(uint32_t address, bool write) {
  if (early_sdram_said_ || memctl_.sdram_set_up()) return;
  early_sdram_said_ = true;
  const uint32_t pc = core_->instruction_at(address);
  const std::string fn = elf_.describe(pc);
  log_warning("memctl", std::string(write ? "write to " : "read of ") + "the SDRAM at " + hex32(address) + " at pc " +
                            hex32(pc) + (fn.empty() ? "" : " (" + fn + ")") +
                            " before the program set bank 6 up for it (BANKCON6 as SDRAM, then MRSRB6): on the board "
                            "the SDRAM has had no power-up sequence and what it holds is undefined; board-sim reads "
                            "and writes it as if it had (said once)");
}

// The hooks flash_boot needs come off once their work is done: they slow
// every access down.
void Board::update_watches() {
  if (sdram_watch_ && (early_sdram_said_ || memctl_.sdram_set_up())) {
    core_->unwatch_accesses(sdram_watch_);
    sdram_watch_ = 0;
  }
}

// A fault the core stopped for that is no abort on the board: a write to
// the flash, or (with strict_bus) an access to nothing. True if handled:
// the store skipped, or the board halted.
bool Board::bus_fault(const ArmCore::Slice& slice) {
  const uint32_t address = slice.fault_address;
  const bool in_sram = address >= chip::kInternalSram && address < chip::kCacheTags;
  if (in_sram) return false;
  const bool flash_write = address < chip::kBank0Size && slice.fault_write;
  if (options_.strict_bus) {
    halt(std::string(slice.fault_write ? "write to " : "read of ") + hex32(address) +
         (flash_write ? ": the flash ignores a plain write (--strict-bus)"
                      : ": nothing answers there (" + where_nothing_is(address) + "; --strict-bus)"));
    return true;
  }
  if (!flash_write) return false;
  // The flash changes only through its command sequences (not modelled): a
  // plain write changes nothing, and the program goes on.
  if (!skip_store(slice)) return false;
  if (!bus_misuse_said_) {
    bus_misuse_said_ = true;
    const std::string fn = elf_.describe(slice.fault_pc);
    log_warning("bus", "write to the flash at " + hex32(address) + " at pc " + hex32(slice.fault_pc) +
                           (fn.empty() ? "" : " (" + fn + ")") +
                           ": a plain write changes nothing in a flash (its program and erase command sequences "
                           "are not modelled); the program goes on (said once for every such access; "
                           "--strict-bus halts instead)");
  }
  return true;
}

// The store that faulted completes as the board's does: nothing is written,
// its base register is written back, and the program goes on after it.
bool Board::skip_store(const ArmCore::Slice& slice) {
  const uint32_t cpsr = core_->cpsr();
  const uint32_t fault = slice.fault_address;
  auto reg = [&](unsigned r, uint32_t at, unsigned ahead) { return r == 15 ? at + ahead : core_->reg(static_cast<int>(r)); };
  if (cpsr & ArmCore::kCpsrT) {
    // The core leaves a Thumb block's pc at its start, the registers as at
    // the store: the block's first store that reaches the address is it.
    for (uint32_t at = slice.fault_pc, n = 0; n < 64; at += 2, ++n) {
      uint32_t insn;
      if (!code_word(at, 2, &insn)) return false;
      uint32_t lo = 0, hi = 0;
      int base = -1;
      uint32_t writeback = 0;
      const unsigned rn = (insn >> 3) & 7, rm = (insn >> 6) & 7, imm5 = (insn >> 6) & 31;
      if ((insn & 0xF800) == 0x6000) lo = core_->reg(rn) + 4 * imm5, hi = lo + 3;
      else if ((insn & 0xF800) == 0x7000) lo = hi = core_->reg(rn) + imm5;
      else if ((insn & 0xF800) == 0x8000) lo = core_->reg(rn) + 2 * imm5, hi = lo + 1;
      else if ((insn & 0xF800) == 0x9000) lo = core_->reg(ArmCore::SP) + 4 * (insn & 0xFF), hi = lo + 3;
      else if ((insn & 0xFE00) == 0x5000 || (insn & 0xFE00) == 0x5200 || (insn & 0xFE00) == 0x5400)
        lo = core_->reg(rn) + core_->reg(rm), hi = lo + 3;
      else if ((insn & 0xF800) == 0xC000) {
        base = (insn >> 8) & 7;
        const uint32_t n_regs = __builtin_popcount(insn & 0xFF);
        lo = core_->reg(base), hi = lo + 4 * n_regs - 1, writeback = lo + 4 * n_regs;
      } else if ((insn & 0xFE00) == 0xB400) {
        base = ArmCore::SP;
        const uint32_t n_regs = __builtin_popcount(insn & 0x1FF);
        hi = core_->reg(ArmCore::SP) - 1, lo = hi + 1 - 4 * n_regs, writeback = lo;
      } else if ((insn & 0xE000) == 0xE000 || (insn & 0xF000) == 0xD000 || (insn & 0xFF00) == 0x4700) {
        return false;  // a branch before any store: not found
      } else {
        continue;
      }
      if (fault < lo || fault > hi) continue;
      if (base >= 0) core_->set_reg(base, writeback);
      core_->set_pc(at + 2);
      return true;
    }
    return false;
  }
  const uint32_t at = slice.fault_pc;
  uint32_t insn;
  if (!code_word(at, 4, &insn)) return false;
  const unsigned rn = (insn >> 16) & 15;
  const bool up = insn & (1u << 23), pre = insn & (1u << 24), wb = insn & (1u << 21);
  if ((insn & 0x0C100000) == 0x04000000) {  // STR, STRB
    uint32_t offset = insn & 0xFFF;
    if (insn & (1u << 25))
      offset = shifted(reg(insn & 15, at, 8), (insn >> 5) & 3, (insn >> 7) & 31, cpsr & 0x20000000);
    if ((!pre || wb) && rn != 15) core_->set_reg(static_cast<int>(rn), up ? core_->reg(rn) + offset : core_->reg(rn) - offset);
  } else if ((insn & 0x0E1000F0) == 0x000000B0) {  // STRH
    uint32_t offset = (insn & (1u << 22)) ? ((insn >> 4) & 0xF0) | (insn & 0xF) : reg(insn & 15, at, 8);
    if ((!pre || wb) && rn != 15) core_->set_reg(static_cast<int>(rn), up ? core_->reg(rn) + offset : core_->reg(rn) - offset);
  } else if ((insn & 0x0E100000) == 0x08000000) {  // STM
    const uint32_t bytes = 4 * __builtin_popcount(insn & 0xFFFF);
    if (wb && rn != 15) core_->set_reg(static_cast<int>(rn), up ? core_->reg(rn) + bytes : core_->reg(rn) - bytes);
  } else if ((insn & 0x0FB00FF0) == 0x01000090) {  // SWP, SWPB: the read half reads the flash
    const uint8_t* p = core_->rom(fault & ~3u, 4);
    if (!p) return false;
    uint32_t word = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    const unsigned rd = (insn >> 12) & 15;
    if (rd == 15) return false;
    core_->set_reg(static_cast<int>(rd), (insn & (1u << 22)) ? p[fault & 3] : word);
  } else {
    return false;
  }
  core_->set_pc(at + 4);
  // The store's own cycles: its fetch and one flash access.
  scheduler_.run_cycles(1 + core_->cycle_model().timing().mmio_cost(fault, 4));
  return true;
}

bool Board::code_word(uint32_t address, unsigned width, uint32_t* word) const {
  const uint8_t* p = ram_.at(address, width);
  if (!p) p = core_->rom(address, width);
  if (!p) return false;
  *word = 0;
  for (unsigned i = 0; i < width; ++i) *word |= static_cast<uint32_t>(p[i]) << (8 * i);
  return true;
}

// The loop at `pc`: from there, instructions that change nothing (a move of
// a register to itself, an AND or ORR of a register with itself, the NOP
// hint), then an unconditional branch back to at most `pc` over more such
// instructions. Compilers make `for (;;);` so at every optimisation level:
// `b .` at -O1 and above, `mov r0, r0; b .-4` (or the Thumb `mov r8, r8`)
// at -O0.
bool Board::endless_loop_at(uint32_t pc, bool thumb) const {
  constexpr unsigned kMaxLength = 8;
  const unsigned width = thumb ? 2 : 4;
  auto changes_nothing = [&](uint32_t insn) {
    if (thumb) {
      const unsigned rd = (insn & 7) | ((insn >> 4) & 8), rm = (insn >> 3) & 15;
      return (insn & 0xFF00) == 0x4600 && rd == rm && rd != 15;
    }
    if ((insn & 0x0FFFFFFF) == 0x0320F000) return true;  // NOP
    if ((insn & 0x0E100FF0) != 0) return false;        // data processing, no S, register operand unshifted
    const unsigned op = (insn >> 21) & 15, rd = (insn >> 12) & 15, rn = (insn >> 16) & 15, rm = insn & 15;
    if (rd == 15) return false;
    return (op == 0xD && rd == rm) || ((op == 0x0 || op == 0xC) && rd == rn && rd == rm);
  };
  auto branch_target = [&](uint32_t insn, uint32_t at, uint32_t* target) {
    if (thumb) {
      if ((insn & 0xF800) != 0xE000) return false;
      *target = at + 4 + (static_cast<uint32_t>(static_cast<int32_t>(insn << 21) >> 20));
      return true;
    }
    if ((insn & 0xFF000000) != 0xEA000000) return false;
    *target = at + 8 + (static_cast<uint32_t>(static_cast<int32_t>(insn << 8) >> 6));
    return true;
  };
  uint32_t insn;
  for (uint32_t at = pc, n = 0; n < kMaxLength; at += width, ++n) {
    if (!code_word(at, width, &insn)) return false;
    uint32_t target;
    if (branch_target(insn, at, &target)) {
      if (target > pc || pc - target > kMaxLength * width) return false;
      for (uint32_t back = target; back < pc; back += width)
        if (!code_word(back, width, &insn) || !changes_nothing(insn)) return false;
      return true;
    }
    if (!changes_nothing(insn)) return false;
  }
  return false;
}

}  // namespace sim
