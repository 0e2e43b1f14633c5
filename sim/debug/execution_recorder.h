// What ran on the board, instruction by instruction, and when asked the calls
// between functions: the data behind --coverage and --profile. It observes
// the core's blocks and the board's exception entries and changes nothing;
// a board without a recorder pays nothing for it.
//
// Cycles come from the board's clock, whatever the timing model charges: a
// block is charged with the cycles that pass from its start to the start of
// the next block (or to the next exception entry), shared equally among its
// instructions that ran; what an exception's entry costs goes to the
// handler's first block. Time that passes between the two without the core
// running (a polling loop skipped up to the next event, a power-down mode)
// goes to the block where the program waits, as the real core spends it
// there.
//
// Calls: a block whose last instruction that ran is BL or BLX, or an
// instruction writing the pc after `mov lr, pc`, calls the function it goes
// on to (unless it goes on with the next instruction: a conditional call
// not taken). The call returns when a block starts at the address after the
// call with the stack pointer the call had; a return to an outer call closes
// the inner ones too (longjmp). An exception is a call from the interrupted
// code to its handler, returning where it interrupted. Calls still open when
// the run ends (or when the watchdog resets the board) are closed there.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "board/board.h"

namespace sim {

class ExecutionRecorder {
 public:
  struct Cost {
    uint64_t cycles = 0;
    uint64_t instructions = 0;
  };
  struct Call {
    uint32_t site;    // the calling instruction (for an exception, where it interrupted)
    uint32_t target;  // the first instruction of the callee
    bool operator<(const Call& o) const { return site != o.site ? site < o.site : target < o.target; }
  };
  struct CallCost {
    uint64_t count = 0;
    Cost inclusive;  // everything that ran from the call to its return
  };

  // Observes `board` from now on, for good: the board must not run once the
  // recorder is gone.
  ExecutionRecorder(Board& board, bool record_calls);
  ExecutionRecorder(const ExecutionRecorder&) = delete;
  ExecutionRecorder& operator=(const ExecutionRecorder&) = delete;

  // Charges the block in progress and closes the calls still open: call it
  // once the run is over, before reading.
  void finish();

  Cost total() const { return total_; }
  // Times the instruction at `address` ran (0 for a Thumb instruction's
  // second halfword and for the middle of an ARM one).
  uint64_t count(uint32_t address) const;
  // f(address, times run, cycles) for every instruction with a cost.
  template <class F>
  void for_each_instruction(F f) const {
    for (const auto& [page, slots] : pages_)
      for (uint32_t i = 0; i < kSlotsPerPage; ++i)
        if (slots->slots[i].count || slots->slots[i].cycles)
          f(page << kPageBits | i << 1, slots->slots[i].count, slots->slots[i].cycles);
  }
  const std::map<Call, CallCost>& calls() const { return calls_; }

 private:
  static constexpr uint32_t kPageBits = 12;
  static constexpr uint32_t kSlotsPerPage = 1u << (kPageBits - 1);  // one per halfword
  struct Slot {
    uint64_t count = 0;
    uint64_t cycles = 0;
  };
  struct Page {
    std::array<Slot, kSlotsPerPage> slots;
    // Per block start: 0 not seen yet, else 1 + Thumb (code at one address
    // is in one instruction set), which saves reading the CPSR per block.
    std::array<uint8_t, kSlotsPerPage> state;
  };
  struct Block {
    bool active = false;
    bool thumb = false;
    uint32_t address = 0, size = 0;
    uint64_t position = 0;  // the core's instruction count at its start
  };
  struct Frame {
    uint32_t return_address, sp;
    Call call;
    Cost start;
  };

  void on_block(uint32_t address, uint32_t size);
  void on_exception(uint32_t offset, uint32_t link, uint32_t handler);
  // Charges the block in progress; the program goes on at `next`.
  void settle(uint32_t next);
  bool is_call(uint32_t last, bool thumb) const;
  void check_return(uint32_t address);
  void push(uint32_t return_address, Call call);
  void close_frames(size_t keep);
  void charge(const Frame& frame);
  Page& page(uint32_t address);
  static uint32_t index(uint32_t address) { return (address & ((1u << kPageBits) - 1)) >> 1; }

  Board& board_;
  bool record_calls_;
  Block block_;
  // The board's cycles when the last charge was made: whatever passes after
  // it goes to the next block charged (the cycles of an exception's entry
  // to its handler's first block), so that the total is the clock's.
  uint64_t clock_mark_;
  Cost total_;
  int resets_seen_ = 0;
  std::unordered_map<uint32_t, std::unique_ptr<Page>> pages_;
  uint32_t last_page_ = ~0u;
  Page* last_slots_ = nullptr;
  std::vector<Frame> stack_;
  // How many open calls return to an address of each hash: most blocks
  // start where no call returns, and need no look at the stack.
  std::array<uint16_t, 256> returns_{};
  static uint32_t hash(uint32_t address) { return (address >> 2 ^ address >> 10) & 255; }
  std::map<Call, CallCost> calls_;
};

}  // namespace sim
