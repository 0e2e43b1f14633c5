#include "core/arm_timing.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>
#include <type_traits>

#include "core/s3c44b0x.h"

namespace sim {

namespace {
using chip::kInternalSram;
// An SFR access: the on-chip peripheral bus answers with one wait state
// (unconfirmed; the manual gives no figure).

unsigned size_index(unsigned size) { return size >= 4 ? 2 : size == 2 ? 1 : 0; }

uint32_t read_le(const uint8_t* p, bool thumb) {
  return thumb ? (p[0] | p[1] << 8) : (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

int32_t sign_extend(uint32_t v, int bits) { return static_cast<int32_t>(v << (32 - bits)) >> (32 - bits); }

void load(InsnCycles& c, unsigned size, unsigned rd) {
  c.fetch_s = 1;
  c.read_n = 1;
  c.internal = 1;
  c.size = static_cast<uint8_t>(size);
  c.writes |= 1u << rd;
  if (rd == 15) {  // +1S+1N: the pipeline refills
    c.fetch_s = 2;
    c.fetch_n = 1;
    c.writes_pc = true;
  }
}

void store(InsnCycles& c, unsigned size) {
  c.fetch_s = 0;
  c.fetch_n = 1;
  c.write_n = 1;
  c.size = static_cast<uint8_t>(size);
  c.is_store = true;
}

void multiple(InsnCycles& c, bool is_load, unsigned n, bool pc_loaded) {
  if (n == 0) n = 1;
  if (is_load) {
    c.fetch_s = 1;
    c.read_n = 1;
    c.read_s = static_cast<uint8_t>(n - 1);
    c.internal = 1;
    if (pc_loaded) {
      c.fetch_s = 2;
      c.fetch_n = 1;
      c.writes_pc = true;
    }
  } else {
    c.fetch_s = 0;
    c.fetch_n = 1;
    c.write_n = 1;
    c.write_s = static_cast<uint8_t>(n - 1);
    c.is_store = true;
  }
}

void branch(InsnCycles& c) {
  c.fetch_s = 2;
  c.fetch_n = 1;
  c.writes_pc = true;
}
}  // namespace

uint32_t rotated_immediate(uint32_t insn) {
  const uint32_t imm = insn & 0xFF, rot = ((insn >> 8) & 15) * 2;
  return rot ? (imm >> rot) | (imm << (32 - rot)) : imm;
}

namespace {
// What a flag-setting data-processing instruction compares as: CMP (0xA),
// CMN (0xB), TST (0x8), TEQ (0x9); SUBS, ADDS, ANDS and EORS set the flags
// as those do. 0 for another.
unsigned compare_kind(uint32_t word) {
  switch (word >> 21 & 0xF) {
    case 0x2: return 0xA;
    case 0x4: return 0xB;
    case 0x0: return 0x8;
    case 0x1: return 0x9;
    case 0x8: case 0x9: case 0xA: case 0xB: return word >> 21 & 0xF;
    default: return 0;
  }
}

bool n_and_z_only(unsigned cond) { return cond <= 0x1 || cond == 0x4 || cond == 0x5; }  // EQ, NE, MI, PL

// Whether its N and Z are its result's, in Rd: data processing but a compare.
bool has_result(uint32_t setter) { return (setter >> 21 & 0xC) != 0x8; }
// Whether the condition is told by that result alone.
bool told_by_result(uint32_t setter, unsigned cond) { return has_result(setter) && n_and_z_only(cond); }
}  // namespace

uint16_t flags_told_by(uint32_t setter, unsigned cond) {
  // (data processing that sets the flags, always; not a multiply's or a
  // half-word transfer's encoding)
  if ((setter >> 28) != 0xE || (setter & 0x0C100000) != 0x00100000) return 0;
  if (!(setter & 0x02000000) && (setter & 0x90) == 0x90) return 0;
  const unsigned rn = setter >> 16 & 0xF, rd = setter >> 12 & 0xF;
  // (r0..r7 only: no mode has copies of its own, so an exception inside the
  // block leaves what the registers tell)
  auto low = [](uint16_t reads) { return (reads & 0xFF00) ? uint16_t{0} : reads; };
  if (told_by_result(setter, cond)) return low(static_cast<uint16_t>(1u << rd));
  const unsigned kind = compare_kind(setter);
  if (!kind) return 0;
  const bool arithmetic = kind == 0xA || kind == 0xB;
  if (!arithmetic && !n_and_z_only(cond)) return 0;  // (a TST's C and V are those before it)
  uint16_t reads = static_cast<uint16_t>(1u << rn);
  if (!(setter & 0x02000000)) {
    const unsigned rm = setter & 0xF, type = setter >> 5 & 3, amount = setter >> 7 & 0x1F;
    if (setter & 0x10) return 0;             // shifted by a register
    if (type == 3 && amount == 0) return 0;  // RRX: the carry in
    reads |= static_cast<uint16_t>(1u << rm);
  }
  if (has_result(setter) && (reads >> rd & 1)) return 0;  // (its result replaced an operand)
  return low(reads);
}

uint32_t told_flags(uint32_t setter, unsigned cond, const uint32_t regs[8]) {
  auto nz = [](uint32_t result) { return (result & 0x80000000u) | (result == 0 ? 1u << 30 : 0); };
  if (told_by_result(setter, cond)) return nz(regs[setter >> 12 & 7]);
  const uint32_t rn = regs[setter >> 16 & 7];
  uint32_t op2;
  if (setter & 0x02000000) {
    op2 = rotated_immediate(setter);
  } else {
    const uint32_t rm = regs[setter & 7];
    const unsigned type = setter >> 5 & 3, amount = setter >> 7 & 0x1F;
    switch (type) {
      case 0: op2 = rm << amount; break;
      case 1: op2 = amount ? rm >> amount : 0; break;  // LSR #32
      case 2: op2 = static_cast<uint32_t>(static_cast<int32_t>(rm) >> (amount ? amount : 31)); break;  // ASR #32
      default: op2 = rm >> amount | rm << (32 - amount); break;  // (ROR #1..31)
    }
  }
  switch (compare_kind(setter)) {
    case 0xA: {  // CMP
      const uint32_t result = rn - op2;
      return nz(result) | (rn >= op2 ? 1u << 29 : 0) | (((rn ^ op2) & (rn ^ result)) >> 31) << 28;
    }
    case 0xB: {  // CMN
      const uint32_t result = rn + op2;
      return nz(result) | (result < rn ? 1u << 29 : 0) | ((~(rn ^ op2) & (rn ^ result)) >> 31) << 28;
    }
    case 0x8: return nz(rn & op2);  // TST
    default: return nz(rn ^ op2);   // TEQ
  }
}

bool arm_condition(unsigned cond, uint32_t flags) {
  bool n = flags >> 31 & 1, z = flags >> 30 & 1, c = flags >> 29 & 1, v = flags >> 28 & 1;
  switch (cond) {
    case 0x0: return z;
    case 0x1: return !z;
    case 0x2: return c;
    case 0x3: return !c;
    case 0x4: return n;
    case 0x5: return !n;
    case 0x6: return v;
    case 0x7: return !v;
    case 0x8: return c && !z;
    case 0x9: return !c || z;
    case 0xA: return n == v;
    case 0xB: return n != v;
    case 0xC: return !z && n == v;
    case 0xD: return z || n != v;
    case 0xE: return true;
    default: return false;
  }
}

unsigned multiplier_cycles(uint32_t rs, bool unsigned_only) {
  for (unsigned m = 1; m < 4; ++m) {
    uint32_t top = rs >> (8 * m);
    uint32_t all_ones = 0xFFFFFFFFu >> (8 * m);
    if (top == 0 || (!unsigned_only && top == all_ones)) return m;
  }
  return 4;
}

InsnCycles decode_arm(uint32_t insn, uint32_t address) {
  InsnCycles c;
  uint32_t cond = insn >> 28;
  c.conditional = cond != 0xE;
  if (cond == 0xF) {
    c.traps = true;
    return c;
  }
  unsigned rn = (insn >> 16) & 15, rd = (insn >> 12) & 15;
  bool writeback = (insn >> 21 & 1) || !(insn >> 24 & 1);
  switch ((insn >> 25) & 7) {
    case 0:
      if ((insn & 0x0FFFFFF0) == 0x012FFF10) {  // BX
        branch(c);
        return c;
      }
      if ((insn & 0x0FC000F0) == 0x00000090) {  // MUL, MLA
        c.sets_flags = insn >> 20 & 1;
        c.mul_rs = static_cast<int8_t>((insn >> 8) & 15);
        c.mul_extra = insn >> 21 & 1;
        c.writes = static_cast<uint16_t>(1u << rn);
        return c;
      }
      if ((insn & 0x0F8000F0) == 0x00800090) {  // UMULL, UMLAL, SMULL, SMLAL
        c.sets_flags = insn >> 20 & 1;
        c.mul_rs = static_cast<int8_t>((insn >> 8) & 15);
        c.mul_extra = (insn >> 21 & 1) ? 2 : 1;
        c.mul_unsigned = !(insn >> 22 & 1);
        c.writes = static_cast<uint16_t>(1u << rn | 1u << rd);
        return c;
      }
      if ((insn & 0x0FB00FF0) == 0x01000090) {  // SWP, SWPB
        c.read_n = 1;
        c.write_n = 1;
        c.internal = 1;
        c.size = (insn >> 22 & 1) ? 1 : 4;
        c.is_store = true;
        c.writes = static_cast<uint16_t>(1u << rd);
        return c;
      }
      if ((insn & 0x0E000090) == 0x00000090 && (insn & 0x60)) {  // LDRH, STRH, LDRSB, LDRSH
        unsigned size = ((insn >> 5) & 3) == 2 ? 1 : 2;
        if (insn >> 20 & 1)
          load(c, size, rd);
        else
          store(c, 2);
        if (writeback) c.writes |= 1u << rn;
        return c;
      }
      if ((insn & 0x0FBF0FFF) == 0x010F0000) {  // MRS
        c.writes = static_cast<uint16_t>(1u << rd);
        return c;
      }
      if ((insn & 0x0FB0F000) == 0x0120F000) {            // MSR register
        c.is_msr_cpsr = !(insn >> 22 & 1) && (insn >> 16 & 1);
        c.sets_flags = !(insn >> 22 & 1) && (insn >> 19 & 1);
        return c;
      }
      if (insn >> 4 & 1) c.internal = 1;  // shift by a register
      [[fallthrough]];
    case 1: {
      unsigned opcode = (insn >> 21) & 15;
      if ((insn & 0x0FB0F000) == 0x0320F000) {  // MSR immediate
        c.is_msr_cpsr = !(insn >> 22 & 1) && (insn >> 16 & 1);
        c.sets_flags = !(insn >> 22 & 1) && (insn >> 19 & 1);
        return c;
      }
      c.sets_flags = insn >> 20 & 1;  // S (a compare always)
      bool compare = opcode >= 8 && opcode <= 11;
      if (!compare) {
        c.writes = static_cast<uint16_t>(1u << rd);
        if (rd == 15) {
          c.fetch_s = 2;
          c.fetch_n = 1;
          c.writes_pc = true;
        }
      }
      return c;
    }
    case 3:
      if (insn >> 4 & 1) {  // the undefined instruction space
        c.traps = true;
        return c;
      }
      [[fallthrough]];
    case 2:
      if (insn >> 20 & 1)
        load(c, (insn >> 22 & 1) ? 1 : 4, rd);
      else
        store(c, (insn >> 22 & 1) ? 1 : 4);
      if (writeback) c.writes |= 1u << rn;
      return c;
    case 4: {
      uint32_t list = insn & 0xFFFF;
      bool is_load = insn >> 20 & 1;
      multiple(c, is_load, static_cast<unsigned>(__builtin_popcount(list)), is_load && (list >> 15 & 1));
      if (is_load) c.writes = static_cast<uint16_t>(list);
      if (insn >> 21 & 1) c.writes |= 1u << rn;
      c.sets_flags = is_load && (insn >> 22 & 1) && (list >> 15 & 1);  // LDM^ with the pc: CPSR = SPSR
      return c;
    }
    case 5:
      branch(c);
      c.is_branch = !(insn >> 24 & 1);
      if (insn >> 24 & 1) c.writes |= 1u << 14;
      c.target = address + 8 + (static_cast<uint32_t>(sign_extend(insn & 0xFFFFFF, 24)) << 2);
      return c;
    case 6:
      c.is_coprocessor = c.traps = true;  // LDC, STC
      return c;
    default:
      if (insn >> 24 & 1)
        c.traps = true;  // SWI
      else
        c.is_coprocessor = c.traps = true;  // CDP, MRC, MCR
      return c;
  }
}

InsnCycles decode_thumb(uint16_t insn, uint32_t address) {
  InsnCycles c;
  unsigned low = insn & 7;
  switch (insn >> 11) {
    case 0x00: case 0x01: case 0x02: case 0x03:
    case 0x04: case 0x05: case 0x06: case 0x07:
      c.writes = static_cast<uint16_t>(1u << ((insn >> 11) >= 4 ? (insn >> 8) & 7 : low));
      return c;
    case 0x08:
      if (!(insn >> 10 & 1)) {  // ALU operations
        unsigned op = (insn >> 6) & 15;
        if (op == 13) {
          c.mul_rs = static_cast<int8_t>(low);  // MUL Rd, Rs: Rd is the multiplier
        } else if (op == 2 || op == 3 || op == 4 || op == 7) {
          c.internal = 1;  // shift by a register
        }
        c.writes = static_cast<uint16_t>(1u << low);
        return c;
      }
      {  // high-register operations, BX
        unsigned op = (insn >> 8) & 3, rd = low | ((insn >> 4) & 8);
        if (op == 3 || (op != 1 && rd == 15)) {
          branch(c);
        } else if (op != 1) {
          c.writes = static_cast<uint16_t>(1u << rd);
        }
        return c;
      }
    case 0x09: load(c, 4, (insn >> 8) & 7); return c;  // LDR pc-relative
    case 0x0A: case 0x0B: {
      static constexpr uint8_t kSizes[8] = {4, 2, 1, 1, 4, 2, 1, 2};
      unsigned op = (insn >> 9) & 7;
      if (op < 3)
        store(c, kSizes[op]);
      else
        load(c, kSizes[op], low);
      return c;
    }
    case 0x0C: case 0x0D: case 0x0E: case 0x0F: {
      unsigned size = (insn >> 12 & 1) ? 1 : 4;
      if (insn >> 11 & 1)
        load(c, size, low);
      else
        store(c, size);
      return c;
    }
    case 0x10: case 0x11:
      if (insn >> 11 & 1)
        load(c, 2, low);
      else
        store(c, 2);
      return c;
    case 0x12: case 0x13:
      if (insn >> 11 & 1)
        load(c, 4, (insn >> 8) & 7);
      else
        store(c, 4);
      return c;
    case 0x14: case 0x15: c.writes = static_cast<uint16_t>(1u << ((insn >> 8) & 7)); return c;
    case 0x16: case 0x17:
      if ((insn & 0xFF00) == 0xB000) {
        c.writes = 1u << 13;
        return c;
      }
      if ((insn & 0x0600) == 0x0400) {  // PUSH, POP
        bool is_load = insn >> 11 & 1, r = insn >> 8 & 1;
        multiple(c, is_load, static_cast<unsigned>(__builtin_popcount(insn & 0xFF)) + r, is_load && r);
        c.writes = static_cast<uint16_t>(1u << 13 | (is_load ? (insn & 0xFF) | (r ? 1u << 15 : 0) : 0));
        return c;
      }
      c.traps = true;
      return c;
    case 0x18: case 0x19: {
      bool is_load = insn >> 11 & 1;
      multiple(c, is_load, static_cast<unsigned>(__builtin_popcount(insn & 0xFF)), false);
      c.writes = static_cast<uint16_t>(1u << ((insn >> 8) & 7) | (is_load ? insn & 0xFF : 0));
      return c;
    }
    case 0x1A: case 0x1B: {
      unsigned cond = (insn >> 8) & 15;
      if (cond >= 0xE) {
        c.traps = true;  // SWI, undefined
        return c;
      }
      branch(c);
      c.is_branch = c.conditional = true;
      c.target = address + 4 + (static_cast<uint32_t>(sign_extend(insn & 0xFF, 8)) << 1);
      return c;
    }
    case 0x1C:
      branch(c);
      c.is_branch = true;
      c.target = address + 4 + (static_cast<uint32_t>(sign_extend(insn & 0x7FF, 11)) << 1);
      return c;
    case 0x1E: c.writes = 1u << 14; return c;  // BL, first half
    case 0x1F: branch(c); c.writes = 1u << 14; return c;
    default: c.traps = true; return c;
  }
}

uint32_t MemoryTiming::mmio_cost(uint32_t address, unsigned size) const {
  if (address >= chip::kSfrBase && address < chip::kSfrBase + chip::kSfrSize) return sfr;
  unsigned bank = address >> 25;
  if (bank >= 6) return read_n[size_index(size)];
  return bank_access[bank] * std::max(1u, size / bank_width[bank]);
}

uint32_t MemoryTiming::assumed_data_cost(unsigned size, bool write, bool sequential) const {
  if (cache_bytes) return 1;
  if (sequential) return write ? write_s : read_s;
  return write ? write_n[size_index(size)] : read_n[size_index(size)];
}

// The most a watched data access to RAM may cost beyond its charge.
uint32_t CycleModel::dearest_data_extra() const {
  const MemoryTiming& t = timing_;
  uint32_t dearest = std::max<uint32_t>({t.sram.n, t.read_s, t.write_s, t.line_fill});
  uint32_t cheapest = t.cache_bytes ? 1 : std::min<uint32_t>(t.read_s, t.write_s);
  for (unsigned i = 0; i < 3; ++i) {
    dearest = std::max<uint32_t>({dearest, t.read_n[i], t.write_n[i]});
    if (!t.cache_bytes) cheapest = std::min<uint32_t>({cheapest, t.read_n[i], t.write_n[i]});
  }
  return dearest > cheapest ? dearest - cheapest : 0;
}

// The most a read of the flash (bank 0) may cost beyond its charge.
uint32_t CycleModel::flash_read_extra() const {
  const MemoryTiming& t = timing_;
  // (with the cache on, a miss fills its line from the flash)
  const uint32_t word = std::max(t.mmio_cost(chip::kBank0Base, 4), t.cache_bytes ? t.line_fill_at(chip::kBank0Base) : 0u);
  const uint32_t cheapest = t.cache_bytes ? 1 : std::min<uint32_t>({t.read_s, t.read_n[0], t.read_n[1], t.read_n[2]});
  return word > cheapest ? word - cheapest : 0;
}

void CycleModel::set_timing(const MemoryTiming& timing) {
  bool cache_changed = timing.cache_bytes != timing_.cache_bytes;
  timing_ = timing;
  set_mask_ = timing.cache_bytes ? timing.cache_bytes / 64 - 1 : 0;
  clear();
  if (cache_changed) invalidate_cache();
}

namespace {
void* untouched(size_t bytes) {
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return p;
}
}  // namespace

CycleModel::BlockSlots::BlockSlots() {
  static_assert(std::is_trivially_destructible_v<Block>, "a pool's block is never destroyed");
  index = static_cast<uint32_t*>(untouched(kSlots * sizeof(uint32_t)));
  pool = static_cast<Block*>(untouched(kSlots * sizeof(Block)));
}

CycleModel::BlockSlots::~BlockSlots() {
  ::munmap(index, kSlots * sizeof(uint32_t));
  ::munmap(pool, kSlots * sizeof(Block));
}

// A block's address goes too: the core keeps a pointer to the last block
// it ran, which must no longer match once the model is cleared. (Each
// pooled block is its slot's: its address tells which.)
void CycleModel::clear() {
  for (uint32_t i = 0; i < slots_.used; ++i) {
    slots_[slot_of(slots_.pool[i].address)] = 0;
    slots_.pool[i].address = 1;
  }
  slots_.used = 0;
  accesses_.clear();
}

void CycleModel::invalidate_cache() {
  for (auto& set : tags_) set.fill(0);
  set_mru_.fill(0);
}

uint32_t CycleModel::insn_cost(const InsnCycles& c, uint32_t address, bool thumb, bool cached) const {
  MemoryTiming::Fetch f;
  if (cached)
    f = {1, 1};
  else if (address >= kInternalSram)
    f = timing_.sram;
  else if (address < chip::kSfrBase)
    f = thumb ? timing_.rom_thumb : timing_.rom_arm;
  else
    f = thumb ? timing_.sdram_thumb : timing_.sdram_arm;
  uint32_t cost = c.fetch_s * f.s + c.fetch_n * f.n + c.internal + c.mul_extra;
  if (timing_.cache_bytes) {
    cost += c.read_n + c.read_s + c.write_n + c.write_s;
  } else {
    unsigned i = size_index(c.size);
    cost += c.read_n * timing_.read_n[i] + c.read_s * timing_.read_s + c.write_n * timing_.write_n[i] +
            c.write_s * timing_.write_s;
  }
  return cost;
}

void CycleModel::decode(Block& b, const uint8_t* code) {
  unsigned step = b.thumb ? 2 : 4;
  b.count = static_cast<uint16_t>(b.size / step);
  b.cacheable = cached_at(b.address);
  b.cost = b.taken_extra = 0;
  b.cond_end = b.has_coprocessor = b.idle_candidate = b.wide_stores = b.has_msr = b.target_is_next = false;
  b.last_boundary = 0;
  b.idle_failures = 0;
  b.muls = 0;
  b.mul_unsigned = 0;
  b.fails = 0;
  b.late_muls = 0;
  b.exacts = 0;
  b.exact_mul_unsigned = 0;
  b.late_mul_unsigned = 0;
  std::vector<InsnCycles> insns(b.count);
  for (unsigned k = 0; k < b.count; ++k) {
    uint32_t at = b.address + k * step, word = read_le(code + k * step, b.thumb);
    insns[k] = b.thumb ? decode_thumb(static_cast<uint16_t>(word), at) : decode_arm(word, at);
  }
  // Walking forward: the last instruction before this one that may change
  // the flags (-1 for none: the flags at the block's start are the ones it
  // sees).
  std::vector<int> last_setter(b.count);
  for (int k = 0, last = -1; k < static_cast<int>(b.count); ++k) {
    last_setter[k] = last;
    const InsnCycles& c = insns[k];
    if (c.sets_flags || c.traps || c.is_coprocessor) last = k;
  }
  // The registers the instructions from k to the block's end write (k
  // included); and whether one of them may change the processor's mode
  // (and so which registers are seen).
  std::vector<uint16_t> written_from(b.count + 1, 0);
  std::vector<bool> mode_from(b.count + 1, false);
  for (unsigned k = b.count; k-- > 0;) {
    written_from[k] = written_from[k + 1] | insns[k].writes;
    mode_from[k] = mode_from[k + 1] || insns[k].is_msr_cpsr || insns[k].traps || insns[k].is_coprocessor;
  }
  // Walking back from the end (ARM state: Thumb has no conditional
  // instruction but its branches): what an instruction after this one may
  // change, the flags or a register.
  bool flags_later = false;
  std::vector<bool> late_candidate(b.count);  // a multiply whose multiplier stays as it is to the block's end
  std::vector<bool> in_fails(b.count);
  for (unsigned k = b.count; k-- > 0 && !b.thumb;) {
    const InsnCycles& c = insns[k];
    const uint32_t at = b.address + k * step;
    // Its condition is told by the flags at the block's end when nothing
    // after it may change them, else by those at its start when nothing
    // before it may, else by the registers of the instruction that set them
    // when those stay as they are to the block's end (flags_told_by).
    const bool end_tells = !flags_later && !c.sets_flags, start_tells = last_setter[k] < 0;
    const unsigned cond = read_le(code + k * step, false) >> 28;
    bool compare_told = false;
    uint32_t compare = 0;
    if (!end_tells && !start_tells && c.conditional && !c.sets_flags) {
      const unsigned s = static_cast<unsigned>(last_setter[k]);
      compare = read_le(code + s * step, false);
      const uint16_t reads = flags_told_by(compare, cond);
      compare_told = reads && !insns[s].conditional && !(written_from[s + 1] & reads) && !mode_from[s + 1];
    }
    if (c.conditional && k < 256 && !c.traps && (end_tells || start_tells || compare_told) && !c.writes_pc &&
        c.mul_rs < 0 && !c.is_coprocessor && b.fails < 4) {
      uint32_t fetch_s = insn_cost(InsnCycles{}, at, false, b.cacheable);
      uint32_t cost = insn_cost(c, at, false, b.cacheable);
      if (cost > fetch_s) {
        b.fail_index[b.fails] = static_cast<uint8_t>(k);
        const bool by_compare = !end_tells && !start_tells;
        b.fail_cond[b.fails] = static_cast<uint8_t>(cond | (start_tells ? CycleModel::kFlagsAtStart : 0) |
                                                    (by_compare ? CycleModel::kFlagsByCompare : 0));
        b.fail_compare[b.fails] = by_compare ? compare : 0;
        b.fail_saving[b.fails] = static_cast<uint16_t>(cost - fetch_s);
        ++b.fails;
        in_fails[k] = true;
      }
    }
    if (c.sets_flags || c.traps || c.is_coprocessor) flags_later = true;
    if (c.mul_rs >= 0) late_candidate[k] = !(written_from[k] >> c.mul_rs & 1) && !c.conditional;
  }
  uint16_t written = 0;
  bool pure = true, loads = false;
  // (reach: what the block's start cannot tell of its last instruction's
  // start, beyond last_boundary)
  uint32_t unsure_cycles = 0;
  b.unsure = b.count;
  b.overflow = b.count;
  const uint32_t data_extra = data_watched_ ? dearest_data_extra() : 0;
  const uint32_t read_extra = std::max(data_extra, flash_reads_watched_ ? flash_read_extra() : 0u);
  b.plan_ok = b.count <= 0x7FFF;
  b.plan = static_cast<uint32_t>(accesses_.size());
  b.plan_size = 0;
  for (unsigned k = 0; k < b.count; ++k) {
    uint32_t at = b.address + k * step;
    uint32_t word = read_le(code + k * step, b.thumb);
    const InsnCycles& c = insns[k];
    // (a load or store multiple's first access is non-sequential; a SWP's
    // two both are)
    const unsigned non_sequential = c.read_n + c.write_n, accesses = non_sequential + c.read_s + c.write_s;
    if (accesses && (c.conditional || (!b.thumb && (word & 0x0E00FFFF) == 0x08000000) ||
                     b.plan_size + accesses > 0xFFFF))
      b.plan_ok = false;  // (an empty register list: unpredictable)
    for (unsigned j = 0; j < accesses && b.plan_ok; ++j) {
      accesses_.push_back(static_cast<uint16_t>(k | (j >= non_sequential ? kSequentialAccess : 0)));
      ++b.plan_size;
    }
    bool last = k + 1 == b.count;
    if (!last && !c.traps) {
      if (c.mul_rs >= 0) unsure_cycles += 2;  // (charged or told at most m = 2 below m = 4)
      const unsigned reads = c.read_n + c.read_s;
      const uint32_t extra = (accesses - reads) * data_extra + reads * read_extra;
      if (extra) {
        unsure_cycles += extra;
        b.unsure = std::min<uint16_t>(b.unsure, static_cast<uint16_t>(k));
      }
      if (c.mul_rs >= 0 && (c.conditional || b.muls >= 8 || (written >> c.mul_rs & 1)))
        b.unsure = std::min<uint16_t>(b.unsure, static_cast<uint16_t>(k));  // m settled later
    }
    if (c.is_coprocessor) b.has_coprocessor = true;
    if (c.traps) {
      pure = false;
      continue;  // the exception's entry is charged when it is taken
    }
    if (last) b.last_boundary = b.cost + 2u * b.muls;
    if (c.is_msr_cpsr && !last && !b.has_msr) {
      b.has_msr = true;
      b.msr_index = static_cast<uint8_t>(std::min(k, 255u));
    }
    uint32_t cost = insn_cost(c, at, b.thumb, b.cacheable);
    bool exact = false;  // settled by a hook
    if (c.mul_rs >= 0) {
      if (!c.conditional && b.muls < 8 && !(written >> c.mul_rs & 1)) {
        b.mul_rs[b.muls] = c.mul_rs;
        b.mul_index[b.muls] = static_cast<uint8_t>(std::min(k, 255u));
        if (c.mul_unsigned) b.mul_unsigned |= static_cast<uint8_t>(1u << b.muls);
        ++b.muls;
      } else {
        cost += 2;
        if (!c.conditional && k < 256 && late_candidate[k] && b.late_muls < 4) {
          b.late_mul_rs[b.late_muls] = c.mul_rs;
          b.late_mul_index[b.late_muls] = static_cast<uint8_t>(k);
          if (c.mul_unsigned) b.late_mul_unsigned |= static_cast<uint8_t>(1u << b.late_muls);
          ++b.late_muls;
        } else {
          exact = true;
        }
      }
    }
    const uint32_t fetch_only = insn_cost(InsnCycles{}, at, b.thumb, b.cacheable);
    if (c.conditional && !in_fails[k] && !c.writes_pc && !c.is_coprocessor && cost > fetch_only) exact = true;
    if (exact && (k >= 256 || b.exacts >= 8)) b.overflow = std::min<uint16_t>(b.overflow, static_cast<uint16_t>(k));
    if (exact && k < 256 && b.exacts < 8) {
      const unsigned n = b.exacts++;
      b.exact_index[n] = static_cast<uint8_t>(k);
      // The group of the one before, if nothing from its head on may change
      // the flags or this one's multiplier.
      bool joins = n > 0;
      for (unsigned j = joins ? b.exact_head[n - 1] : k; joins && j < k; ++j)
        if (insns[j].sets_flags || insns[j].traps || insns[j].is_coprocessor ||
            (c.mul_rs >= 0 && (insns[j].writes >> c.mul_rs & 1)))
          joins = false;
      b.exact_head[n] = joins ? b.exact_head[n - 1] : static_cast<uint8_t>(k);
      b.exact_cond[n] = c.conditional ? static_cast<uint8_t>(word >> 28) : 0xE;
      b.exact_mul_rs[n] = c.mul_rs;
      if (c.mul_unsigned) b.exact_mul_unsigned |= static_cast<uint8_t>(1u << n);
      b.exact_saving[n] = static_cast<uint16_t>(c.conditional ? cost - fetch_only : 0);
    }
    if (last && c.conditional && c.writes_pc && c.is_branch && c.target == at + step) {
      b.target_is_next = true;
      b.last_cond = (b.thumb ? (word >> 8 & 15) << 28 : (word & 0xF0000000u)) | 1u;
    }
    if (last && c.conditional && c.writes_pc) {
      uint32_t fetch_s = b.cacheable ? 1 : insn_cost(InsnCycles{}, at, b.thumb, false);
      b.cond_end = true;
      b.cost += fetch_s;
      b.taken_extra = cost - fetch_s;
    } else {
      b.cost += cost;
    }
    if (c.is_store || (c.writes_pc && !last)) pure = false;
    if (c.is_store && c.size > 1) b.wide_stores = true;
    if (c.read_n) loads = true;
    // (A branch to itself alone waits on nothing in memory: the board's
    // check for a program that has finished deals with it.)
    if (last) b.idle_candidate = pure && loads && c.is_branch && c.target == b.address && b.count <= 8;
    written |= c.writes;
  }
  b.plain = b.muls == 0 && !b.cacheable && b.fails == 0 && b.late_muls == 0;
  if (b.cacheable && b.size)
    unsure_cycles += (((b.address + b.size - 1) >> 4) - (b.address >> 4) + 1) * (timing_.line_fill_at(b.address) - 1u);
  b.reach = b.last_boundary + unsure_cycles;
  b.loop = CountedLoop{};
  if (!b.thumb && b.cond_end && !b.has_coprocessor) b.loop = match_counted_loop(code, b.address, b.count);
  b.wait = RegisterWait{};
  if (!b.thumb && b.cond_end) b.wait = match_register_wait(code, b.address, b.count);
  b.loops_to_itself = b.idle_candidate || b.loop.valid || b.wait.valid;
  // (a cacheable block's code lines are looked up as it runs, on the short
  // path too)
  b.fast = b.muls == 0 && b.fails == 0 && b.late_muls == 0 && !b.loops_to_itself && !b.has_msr && b.overflow == b.count;
  b.fast_but_idle = b.muls == 0 && b.fails == 0 && b.late_muls == 0 && b.idle_candidate && !b.loop.valid &&
                    !b.wait.valid && !b.has_msr && b.overflow == b.count;
  b.plain_but_cache = b.muls == 0 && b.cacheable && b.fails == 0 && b.late_muls == 0 && b.size != 0;
  b.first_line = b.address >> 4;
  b.end_line = b.size ? ((b.address + b.size - 1) >> 4) + 1 : b.first_line;
  b.line_fill = static_cast<uint16_t>(b.cacheable ? timing_.line_fill_at(b.address) - 1 : 0);
}

CycleModel::Block& CycleModel::insert(uint32_t address, uint32_t size, const uint8_t* code, bool thumb) {
  // (room for the most a block may plan)
  if (accesses_.size() + 0xFFFF > max_planned_) clear();
  uint32_t& index = slots_[slot_of(address)];
  if (!index) index = ++slots_.used;
  Block& b = *new (&slots_.pool[index - 1]) Block{};
  b.address = address;
  b.size = size;
  b.thumb = thumb;
  b.first = first_word(code);
  b.last = last_word(code, size);
  if (code) decode(b, code);
  return b;
}

uint32_t CycleModel::prefix_cost(uint32_t address, const uint8_t* code, unsigned count, bool thumb) const {
  if (!code) return 0;
  unsigned step = thumb ? 2 : 4;
  bool cached = cached_at(address);
  uint32_t cost = 0;
  for (unsigned k = 0; k < count; ++k) {
    uint32_t at = address + k * step;
    uint32_t word = read_le(code + k * step, thumb);
    InsnCycles c = thumb ? decode_thumb(static_cast<uint16_t>(word), at) : decode_arm(word, at);
    if (c.traps) continue;
    cost += insn_cost(c, at, thumb, cached) + (c.mul_rs >= 0 ? 2 : 0);
  }
  return cost;
}

unsigned CycleModel::cache_misses(uint32_t address, uint32_t size) {
  unsigned sets = timing_.cache_bytes / 64;
  if (!sets || size == 0) return 0;
  unsigned misses = 0;
  for (uint32_t line = address >> 4; line <= (address + size - 1) >> 4; ++line) {
    auto& tags = tags_[line & (sets - 1)];
    auto& stamps = stamps_[line & (sets - 1)];
    uint32_t tag = line | kValid;
    // (the set's most recent line already: a hit that changes no order)
    if (set_mru_[line & (sets - 1)] == tag) continue;
    set_mru_[line & (sets - 1)] = tag;
    ++clock_;
    int way = -1;
    for (int w = 0; w < 4; ++w)
      if (tags[w] == tag) way = w;
    if (way < 0) {
      ++misses;
      way = 0;
      for (int w = 1; w < 4; ++w)
        if (tags[w] == 0 || (tags[way] != 0 && stamps[w] < stamps[way])) way = w;
      tags[way] = tag;
    }
    stamps[way] = clock_;
  }
  return misses;
}

// The cache is write-through: a write reaches the memory, through the write
// buffer when SYSCFG has it on (its stalls are not modelled), and allocates
// no line (the manual describes no write allocation; a careful reading of
// "write-through" without one). The write buffer is taken to serve the
// cacheable areas only: an NCACHBE area is where a program wants its
// writes to reach the memory in their own time.
uint32_t CycleModel::data_cycles(uint32_t address, unsigned size, bool write, bool sequential, bool* filled) {
  *filled = false;
  if (address >= kInternalSram) return timing_.sram.n;
  const unsigned i = size_index(size);
  const uint32_t memory = write ? (sequential ? timing_.write_s : timing_.write_n[i])
                                : (sequential ? timing_.read_s : timing_.read_n[i]);
  if (!cached_at(address)) return memory;
  if (write) return timing_.write_buffer ? 1 : memory;
  *filled = line_misses(address >> 4) != 0;
  return *filled ? timing_.line_fill_at(address) : 1;
}

}  // namespace sim
