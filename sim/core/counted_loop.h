// Counting loops that do nothing else: a software delay.
//
//     1: ldr r3, [sp, #4]        1: subs r0, r0, #1       1: add r1, r1, #1
//        sub r3, r3, #1             bne 1b                   cmp r1, r0
//        str r3, [sp, #4]                                    blt 1b
//        ldr r3, [sp, #4]
//        cmp r3, #0
//        bne 1b
//
// A block that branches back to itself and whose every turn only steps one
// counter (a register, or a word in memory through a base register the
// block does not change) by one and compares it with a constant or with a
// register the block does not change. Its turns differ only in the counter,
// so the number still to run before its branch fails is known when the
// block is entered, and all but the last of them can pass at once: the
// counter moves on by as many steps and the clock by as many turns (the
// last turn runs, and leaves the flags and scratch registers as it would).
//
// What the matcher accepts, ARM state only, every instruction but the branch
// unconditional: LDR/STR of a word at [Rb, #imm] (the counter; Rb = pc for
// a literal), ADD/SUB(S) Rd, Rn, #1, CMP Rn, #imm or CMP Rn, Rm, and the
// closing B<cond> to the block's start.
#pragma once
#include <cstdint>
#include <vector>

namespace sim {

struct CountedLoop {
  bool valid = false;
  bool in_memory = false;  // the counter is the word at [base + offset]
  uint8_t reg = 0;         // the counter's register (not in memory)
  uint8_t base = 0;
  int32_t offset = 0;
  int8_t step = 0;         // +1 or -1 a turn
  int8_t compared = 0;     // the compared value is the counter at the turn's start plus this
  uint8_t cond = 0;        // the closing branch's condition (ARM encoding)
  bool limit_in_reg = false;
  bool limit_is_literal = false;  // the limit is the word at `literal` (an LDR from the pc)
  uint8_t limit_reg = 0;
  uint32_t limit = 0;    // the constant compared with
  uint32_t literal = 0;  // its address
};

// The loop a block of `count` ARM instructions at `address` forms, if any.
CountedLoop match_counted_loop(const uint8_t* code, uint32_t address, unsigned count);

// A block that waits on one register and does nothing else:
//
//     1: ldr r3, [r4, #0x38]      @ TCNTO3
//        cmp r3, #0               (or TST r3, #imm)
//        bne 1b
//
// When the register's device can tell what a read at a later time returns
// (Device::predict), the turns until the one that leaves can pass at once.
struct RegisterWait {
  bool valid = false;
  bool test = false;  // TST, else CMP
  uint8_t base = 0;
  int32_t offset = 0;
  uint32_t operand = 0;
  uint8_t cond = 0;
};
RegisterWait match_register_wait(const uint8_t* code, uint32_t address, unsigned count);
// Whether a turn that reads `value` branches back (stays in the loop).
bool register_wait_continues(const RegisterWait& wait, uint32_t value);

// A register poll that counts its turns to a time-out (the phone's IIC wait,
// a student's `while (!(IICCON & 0x10) && --n);`):
//
//     1: subs r3, r3, #1         @ the counter
//        beq timeout
//     2: ldr r2, [r1]            @ IICCON
//        tst r2, #16
//        beq 1b
//
// One turn (`path`: the blocks it runs, in order, from the one after the
// poll's read; the cycle closes back to the first) was seen to leave every
// register as it found it but `reg`, stepped by `step` (+1 or -1), and to
// store nothing. Its loads read the same values every turn while the poll
// is skipped (registers that do not change before the next event, memory
// nothing writes). So every branch whose flags come from values other than
// the counter goes the same way every turn, and each branch that tests the
// counter (a CMP with a constant or an unchanged register, or the SUBS that
// steps it, for BNE/BEQ) goes the way it went until the counter reaches its
// bound: `exits` gives, for each of those, the comparison that holds while
// the turns go on as seen (as a CountedLoop, with `reg` and `step`).
// ARM state only; anything else the turn does (a store, a call, a multiply,
// a conditional instruction on the counter's flags) matches nothing.
struct PathBlock {
  const uint8_t* code;
  uint32_t address;
  unsigned count;
  bool taken;  // its last instruction, a conditional branch, was taken
};
struct CountingPoll {
  bool valid = false;
  std::vector<CountedLoop> exits;
  // The first `carried` exits test the flags the turn before left (the
  // path starts with a branch on them): passed turns leave the flags as
  // the last turn that ran set them, so one more turn runs before such an
  // exit.
  unsigned carried = 0;
};
CountingPoll match_counting_poll(const std::vector<PathBlock>& path, unsigned reg, int step);
// Turns that pass with every exit going as seen, from `counter` at the
// path's start (`reg_value`: the registers' values there, for limits in
// registers).
uint64_t counting_poll_turns(const CountingPoll& poll, uint32_t counter, const uint32_t* reg_value);

// Turns of the loop still to run when it is entered with `counter` and
// compared with `limit`, the one whose branch fails included; 0 when the
// count cannot be known without running it (it would wrap around).
uint64_t counted_loop_turns(const CountedLoop& loop, uint32_t counter, uint32_t limit);

}  // namespace sim
