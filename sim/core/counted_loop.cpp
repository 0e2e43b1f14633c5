#include "core/counted_loop.h"

#include "core/arm_timing.h"

#include <limits>

namespace sim {

namespace {

// What a register (or the counter word) holds during one turn, relative to
// the turn's start.
struct Value {
  enum Kind : uint8_t { kEntry, kCounter, kConst, kLiteral } kind = kEntry;
  int32_t offset = 0;    // kCounter: the counter at the turn's start plus this
  uint32_t value = 0;    // kConst
  uint32_t address = 0;  // kLiteral: a word of the code
  uint8_t reg = 0;       // kEntry: whose value at the block's entry
};

uint32_t word_at(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

uint32_t rotated_immediate(uint32_t insn) {
  uint32_t imm = insn & 0xFF, rot = ((insn >> 8) & 15) * 2;
  return rot ? (imm >> rot) | (imm << (32 - rot)) : imm;
}

}  // namespace

CountedLoop match_counted_loop(const uint8_t* code, uint32_t address, unsigned count) {
  CountedLoop loop;
  if (!code || count < 2 || count > 16) return loop;
  Value regs[16];
  for (unsigned r = 0; r < 16; ++r) regs[r].reg = static_cast<uint8_t>(r);
  uint16_t read_at_entry = 0, written = 0;
  int counter_reg = -1;
  bool memory_known = false;
  Value memory;
  bool flags_set = false, flags_from_subs = false;
  Value lhs, rhs;

  // A register read as an operand: the counter (which it may become), or a
  // value the block must leave alone.
  auto use = [&](unsigned r) -> Value& {
    if (regs[r].kind == Value::kEntry) read_at_entry |= static_cast<uint16_t>(1u << r);
    return regs[r];
  };

  for (unsigned k = 0; k + 1 < count; ++k) {
    uint32_t insn = word_at(code + 4 * k), at = address + 4 * k;
    if (insn >> 28 != 0xE) return loop;
    unsigned rn = (insn >> 16) & 15, rd = (insn >> 12) & 15;
    if ((insn & 0x0F600000) == 0x05000000) {  // LDR/STR word, [Rn, #+-imm], no write-back
      int32_t offset = (insn & 0x00800000) ? static_cast<int32_t>(insn & 0xFFF) : -static_cast<int32_t>(insn & 0xFFF);
      bool is_load = insn & 0x00100000;
      if (rd == 15) return loop;
      if (is_load && rn == 15) {
        regs[rd] = Value{Value::kLiteral, 0, 0, at + 8 + static_cast<uint32_t>(offset)};
        written |= static_cast<uint16_t>(1u << rd);
        continue;
      }
      if (rn == 15 || use(rn).kind != Value::kEntry || counter_reg >= 0) return loop;
      if (!memory_known) {
        if (!is_load) return loop;
        memory_known = true;
        loop.base = static_cast<uint8_t>(rn);
        loop.offset = offset;
        memory = Value{Value::kCounter, 0, 0, 0};
      } else if (rn != loop.base || offset != loop.offset) {
        return loop;
      }
      if (is_load) {
        regs[rd] = memory;
        written |= static_cast<uint16_t>(1u << rd);
      } else {
        if (regs[rd].kind != Value::kCounter) return loop;
        memory = regs[rd];
      }
    } else if ((insn & 0x0E000000) == 0x02000000) {  // data processing, immediate
      unsigned opcode = (insn >> 21) & 15;
      bool s = insn & 0x00100000;
      uint32_t imm = rotated_immediate(insn);
      if (opcode == 0xA && s) {  // CMP Rn, #imm
        if (regs[rn].kind != Value::kCounter) return loop;
        lhs = regs[rn];
        rhs = Value{Value::kConst, 0, imm, 0};
        flags_set = true;
        flags_from_subs = false;
        continue;
      }
      if ((opcode != 0x2 && opcode != 0x4) || imm != 1 || rd == 15) return loop;  // SUB, ADD #1
      if (regs[rn].kind == Value::kEntry && rd == rn && counter_reg < 0 && !memory_known) {
        counter_reg = static_cast<int>(rn);
        regs[rn] = Value{Value::kCounter, 0, 0, 0};
      }
      if (regs[rn].kind != Value::kCounter) return loop;
      regs[rd] = Value{Value::kCounter, regs[rn].offset + (opcode == 0x4 ? 1 : -1), 0, 0};
      written |= static_cast<uint16_t>(1u << rd);
      if (s) {
        lhs = regs[rd];
        rhs = Value{Value::kConst, 0, 0, 0};
        flags_set = true;
        flags_from_subs = true;
      }
    } else if ((insn & 0x0FF0FFF0) == 0x01500000) {  // CMP Rn, Rm
      unsigned rm = insn & 15;
      if (regs[rn].kind != Value::kCounter || rm == 15) return loop;
      lhs = regs[rn];
      rhs = use(rm);
      if (rhs.kind == Value::kCounter) return loop;
      flags_set = true;
      flags_from_subs = false;
    } else {
      return loop;
    }
  }

  uint32_t last = word_at(code + 4 * (count - 1)), last_at = address + 4 * (count - 1);
  unsigned cond = last >> 28;
  int32_t displacement = static_cast<int32_t>(last << 8) >> 6;
  if ((last & 0x0F000000) != 0x0A000000 || cond >= 0xE || last_at + 8 + static_cast<uint32_t>(displacement) != address)
    return loop;
  if (!flags_set || (flags_from_subs && cond != 0x1)) return loop;  // SUBS: its Z only, for BNE
  // Every value read as the block found it must be the same at every turn.
  uint16_t counter_bit = counter_reg >= 0 ? static_cast<uint16_t>(1u << counter_reg) : 0;
  if (read_at_entry & written & ~counter_bit) return loop;
  const Value& final_value = memory_known ? memory : counter_reg >= 0 ? regs[counter_reg] : Value{};
  if (final_value.kind != Value::kCounter || (final_value.offset != 1 && final_value.offset != -1)) return loop;

  loop.in_memory = memory_known;
  loop.reg = static_cast<uint8_t>(counter_reg >= 0 ? counter_reg : 0);
  loop.step = static_cast<int8_t>(final_value.offset);
  loop.compared = static_cast<int8_t>(lhs.offset);
  loop.cond = static_cast<uint8_t>(cond);
  if (rhs.kind == Value::kEntry) {
    loop.limit_in_reg = true;
    loop.limit_reg = rhs.reg;
  } else if (rhs.kind == Value::kLiteral) {
    loop.limit_is_literal = true;
    loop.literal = rhs.address;
  } else {
    loop.limit = rhs.value;
  }
  loop.valid = true;
  return loop;
}

// Turn j compares x_j = x_1 + (j - 1) x step. With a step of one, the first
// x_j that fails an ordered condition is its bound itself (or one past it),
// reached without wrapping when the bound lies ahead.
uint64_t counted_loop_turns(const CountedLoop& loop, uint32_t counter, uint32_t limit) {
  uint32_t first = counter + static_cast<uint32_t>(static_cast<int32_t>(loop.compared));
  if (loop.cond == 0x1) {  // NE: until x_j == limit, modulo 2^32
    uint32_t distance = loop.step > 0 ? limit - first : first - limit;
    return static_cast<uint64_t>(distance) + 1;
  }
  bool is_signed = loop.cond >= 0xA;
  int64_t x = is_signed ? static_cast<int32_t>(first) : static_cast<int64_t>(first);
  int64_t bound = is_signed ? static_cast<int32_t>(limit) : static_cast<int64_t>(limit);
  int64_t lowest = is_signed ? std::numeric_limits<int32_t>::min() : 0;
  int64_t highest = is_signed ? std::numeric_limits<int32_t>::max() : std::numeric_limits<uint32_t>::max();
  // Continue while x < bound (below), x <= bound, x > bound, x >= bound.
  enum { kBelow, kAtMost, kAbove, kAtLeast } relation;
  switch (loop.cond) {
    case 0xB: case 0x3: relation = kBelow; break;    // LT, LO
    case 0xD: case 0x9: relation = kAtMost; break;   // LE, LS
    case 0xC: case 0x8: relation = kAbove; break;    // GT, HI
    case 0xA: case 0x2: relation = kAtLeast; break;  // GE, HS
    default: return 0;
  }
  bool holds = relation == kBelow ? x < bound : relation == kAtMost ? x <= bound : relation == kAbove ? x > bound : x >= bound;
  if (!holds) return 1;
  bool rising = relation == kBelow || relation == kAtMost;
  if (rising != (loop.step > 0)) return 0;  // moves away from its bound: until it wraps
  switch (relation) {
    case kBelow: return static_cast<uint64_t>(bound - x) + 1;
    case kAtMost: return bound == highest ? 0 : static_cast<uint64_t>(bound - x) + 2;
    case kAbove: return static_cast<uint64_t>(x - bound) + 1;
    case kAtLeast: return bound == lowest ? 0 : static_cast<uint64_t>(x - bound) + 2;
  }
  return 0;
}

RegisterWait match_register_wait(const uint8_t* code, uint32_t address, unsigned count) {
  RegisterWait wait;
  if (!code || count != 3) return wait;
  uint32_t load = word_at(code), compare = word_at(code + 4), branch = word_at(code + 8);
  if (load >> 28 != 0xE || compare >> 28 != 0xE) return wait;
  if ((load & 0x0F700000) != 0x05100000) return wait;  // LDR word, [Rn, #+-imm], no write-back
  unsigned rn = (load >> 16) & 15, rd = (load >> 12) & 15;
  if (rn == 15 || rd == 15 || rn == rd) return wait;
  unsigned opcode = (compare >> 21) & 15;
  // CMP or TST, immediate, of the loaded register (S set, Rd 0).
  if ((compare & 0x0E10F000) != 0x02100000 || (opcode != 0xA && opcode != 0x8) || ((compare >> 16) & 15) != rd)
    return wait;
  unsigned cond = branch >> 28;
  int32_t displacement = static_cast<int32_t>(branch << 8) >> 6;
  if ((branch & 0x0F000000) != 0x0A000000 || cond >= 0xE || address + 16 + static_cast<uint32_t>(displacement) != address)
    return wait;
  // TST leaves C as the immediate's rotation sets it and V alone: only its
  // N and Z are known here.
  if (opcode == 0x8 && cond > 0x5) return wait;
  if (opcode == 0x8 && cond >= 0x2 && cond <= 0x3) return wait;
  wait.valid = true;
  wait.test = opcode == 0x8;
  wait.base = static_cast<uint8_t>(rn);
  wait.offset = (load & 0x00800000) ? static_cast<int32_t>(load & 0xFFF) : -static_cast<int32_t>(load & 0xFFF);
  wait.operand = rotated_immediate(compare);
  wait.cond = static_cast<uint8_t>(cond);
  return wait;
}

bool register_wait_continues(const RegisterWait& wait, uint32_t value) {
  uint32_t result = wait.test ? value & wait.operand : value - wait.operand;
  uint32_t n = result >> 31, z = result == 0, c = value >= wait.operand;
  uint32_t v = ((value ^ wait.operand) & (value ^ result)) >> 31;
  return arm_condition(wait.cond, n << 31 | z << 30 | c << 29 | v << 28);
}

}  // namespace sim
