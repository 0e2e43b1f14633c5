#include "core/counted_loop.h"

#include "core/arm_timing.h"

#include <algorithm>
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

CountingPoll match_counting_poll(const std::vector<PathBlock>& path, unsigned reg, int step) {
  CountingPoll poll;
  if (path.empty() || path.size() > 8 || reg > 14 || reg == 13 || (step != 1 && step != -1)) return poll;
  // Where the flags come from: the same every turn, or a comparison of the
  // counter (CMP; or SUBS, whose Z alone tells).
  struct Flags {
    bool counter = false, from_subs = false;
    CountedLoop compare;
  };
  // The turn, from the flags it starts with; false where it does what the
  // matcher does not follow. `exits`: the branches that test the counter.
  auto follow = [&](Flags& flags, std::vector<CountedLoop>* exits) {
    // What each register holds during the turn: the counter (plus an
    // offset), its value at the turn's start (the same every turn, but the
    // counter), or some value that is the same every turn.
    enum Kind : uint8_t { kStart, kSame, kCounter };
    struct Reg {
      Kind kind;
      int32_t offset;
    } regs[16];
    for (unsigned r = 0; r < 16; ++r) regs[r] = {kStart, 0};
    regs[reg] = {kCounter, 0};
    bool& flags_counter = flags.counter;
    bool& flags_from_subs = flags.from_subs;
    CountedLoop& compare = flags.compare;
    auto same = [&](unsigned r) { return regs[r].kind != kCounter && r != 15; };
    bool set = false;  // the flags, by the turn itself
    for (const PathBlock& b : path) {
      if (!b.code || b.count == 0 || b.count > 64) return false;
      for (unsigned k = 0; k < b.count; ++k) {
        const uint32_t insn = word_at(b.code + 4 * k);
        const unsigned cond = insn >> 28, rn = (insn >> 16) & 15, rd = (insn >> 12) & 15;
        const bool last = k + 1 == b.count;
        if (cond == 0xF) return false;
        if ((insn & 0x0E000000) == 0x0A000000) {  // B, BL
          if (!last || (insn & 0x01000000)) return false;
          if (cond == 0xE) continue;
          if (!flags_counter) continue;  // goes the same way every turn
          CountedLoop exit = compare;
          exit.cond = static_cast<uint8_t>(b.taken ? cond : cond ^ 1);  // what held this turn
          if (flags_from_subs && exit.cond != 0x1) return false;          // NE only from SUBS
          if (exits) {
            exits->push_back(exit);
            if (!set) ++poll.carried;
          }
          continue;
        }
        // A conditional instruction other than the closing branch must not
        // depend on the counter.
        if (cond != 0xE && flags_counter) return false;
        if ((insn & 0x0C000000) == 0x00000000 && (insn & 0x0FC000F0) != 0x00000090 &&
            (insn & 0x0F900000) != 0x01000000 && ((insn & 0x02000000) || (insn & 0x90) != 0x90)) {
          // Data processing (no register-specified shift of a counter).
          const unsigned opcode = (insn >> 21) & 15;
          const bool s = insn & 0x00100000, imm = insn & 0x02000000;
          const bool test = opcode >= 0x8 && opcode <= 0xB;
          const unsigned rm = insn & 15;
          if (test && !s) return false;  // MRS, MSR, BX...
          const bool uses_rn = opcode != 0xD && opcode != 0xF;  // MOV, MVN
          if (rd == 15 && !test) return false;
          if (!imm && (insn & 0x10) && (regs[(insn >> 8) & 15].kind == kCounter || (insn >> 8 & 15) == 15)) return false;
          const bool rn_counter = uses_rn && regs[rn].kind == kCounter;
          const bool rm_counter = !imm && regs[rm].kind == kCounter;
          if (!rn_counter && !rm_counter) {
            if ((uses_rn && rn == 15) || (!imm && rm == 15)) return false;  // pc-relative: fine, but keep it simple
            if (!test) regs[rd] = {kSame, 0};
            if (s || test) flags_counter = false, set = true;
            continue;
          }
          if (rm_counter) {
            // MOV rd, counter copies it; anything else on it is not followed.
            if (opcode != 0xD || (insn & 0xFF0) || s) return false;
            regs[rd] = regs[rm];
            continue;
          }
          const uint32_t operand = rotated_immediate(insn);
          if (opcode == 0xA && s) {  // CMP counter, #imm or counter, register
            compare = CountedLoop{};
            compare.step = static_cast<int8_t>(step);
            compare.compared = static_cast<int8_t>(regs[rn].offset);
            if (imm) {
              compare.limit = operand;
            } else {
              if (regs[rm].kind != kStart) return false;  // an unchanged register
              compare.limit_in_reg = true;
              compare.limit_reg = static_cast<uint8_t>(rm);
            }
            flags_counter = true;
            flags_from_subs = false;
            set = true;
            continue;
          }
          if (!imm || operand != 1 || (opcode != 0x2 && opcode != 0x4)) return false;  // SUB, ADD #1
          if (regs[rn].offset < -64 || regs[rn].offset > 64) return false;
          regs[rd] = {kCounter, regs[rn].offset + (opcode == 0x4 ? 1 : -1)};
          if (s) {
            if (opcode != 0x2) return false;
            compare = CountedLoop{};
            compare.step = static_cast<int8_t>(step);
            compare.compared = static_cast<int8_t>(regs[rd].offset);
            compare.limit = 0;
            flags_counter = true;
            flags_from_subs = true;
            set = true;
          }
          continue;
        }
        if ((insn & 0x0C000000) == 0x04000000) {  // LDR/STR(B), immediate or register offset
          if (!(insn & 0x00100000)) return false;                                  // a store
          const bool writeback = !(insn & 0x01000000) || (insn & 0x00200000);
          if (writeback || rd == 15 || !same(rn) || ((insn & 0x02000000) && !same(insn & 15))) return false;
          regs[rd] = {kSame, 0};
          continue;
        }
        if ((insn & 0x0E400090) == 0x00400090 && (insn & 0x60)) {  // LDRH/LDRSB/LDRSH, immediate offset
          const bool writeback = !(insn & 0x01000000) || (insn & 0x00200000);
          if (!(insn & 0x00100000) || writeback || rd == 15 || !same(rn)) return false;
          regs[rd] = {kSame, 0};
          continue;
        }
        return false;  // a call, a multiply, LDM/STM, MSR, a coprocessor...
      }
    }
    // The turn leaves the counter one step on (and the check saw the rest
    // unchanged).
    return regs[reg].kind == kCounter && regs[reg].offset == step;
  };
  // The flags a turn starts with are those the turn before left (the path
  // starts after the poll's read, often with the branch that closes the
  // loop on the flags of a SUBS before the read): the turn is followed once
  // for them, and then from them, its comparison of the counter then one
  // step behind.
  Flags flags;
  if (!follow(flags, nullptr)) return poll;
  if (flags.counter) flags.compare.compared = static_cast<int8_t>(flags.compare.compared - step);
  if (!follow(flags, &poll.exits)) return poll;
  poll.valid = true;
  return poll;
}

uint64_t counting_poll_turns(const CountingPoll& poll, uint32_t counter, const uint32_t* reg_value) {
  if (!poll.valid) return 0;
  uint64_t turns = UINT64_MAX;
  for (size_t i = 0; i < poll.exits.size(); ++i) {
    const CountedLoop& exit = poll.exits[i];
    uint64_t n = counted_loop_turns(exit, counter, exit.limit_in_reg ? reg_value[exit.limit_reg] : exit.limit);
    if (n == 0) return 0;  // cannot be told
    const uint64_t keep = i < poll.carried ? 2 : 1;
    turns = std::min(turns, n > keep ? n - keep : 0);
  }
  return turns;
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
