// The ARM7TDMI core: Unicorn's ARMv4T (TI925T) model, with our memory map.
//
// SDRAM and the monitor's ROM are plain memory; the SFR space, the
// 7-segment latch and the keypad rows are MMIO regions answered by the Bus.
// No per-instruction hook: a block hook counts instructions (four bytes each
// in ARM state, two in Thumb state) and their cycles (the cycle model of
// core/arm_timing.h, or a fixed number per instruction), and ends the slice
// once its budget of cycles is spent.
//
// Time is still exact at the instruction, where a program can see it:
// - a register access finds its own instruction in the block (the registers
//   are those before it runs, so its address computed now is the one it
//   uses) and happens at that instruction's cycle, after the events due
//   before it (the board's access listener);
// - an exception that can be taken before the accessing instruction stops
//   the block there (Unicorn leaves a block right after a memory access that
//   asks to stop, before the instruction writes a register, so it can run
//   again from its start); one that the access itself makes takeable, or
//   IDLE, stops it after that instruction: the instruction runs again alone,
//   its accesses answered from what they did the first time;
// - an event that falls inside a block while an exception could be taken
//   (the I or F bit clear, or an MSR in the block) ends the slice before the
//   block, and the next slice runs it only up to the first instruction
//   boundary the interrupt could be taken at (Unicorn's `until`);
// - a pending request is checked at every block boundary;
// - with the cache on, or once the program keeps data in the internal SRAM,
//   every data access to RAM is watched and costs what its memory, or the
//   cache, takes (data_watch.cpp).
// Exceptions are not entered by Unicorn: the slice stops and the board enters
// them the way the processor does (see Board).
//
// arm_core.cpp says where "now" is and which of the core's files moves it;
// each of those files opens with what it guarantees and what it costs.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include <unicorn/unicorn.h>

#include "core/arm_timing.h"
#include "core/bus.h"
#include "core/counted_loop.h"
#include "core/memory.h"
#include "core/s3c44b0x.h"
#include "core/unicorn_sdram.h"
#include "core/unicorn_stores.h"

namespace sim {

class ArmCore {
 public:
  enum class Stop {
    kBudget,     // ran its cycles (or was asked to stop)
    kException,  // undefined instruction, SWI, breakpoint: see exception/pc
    kFault,      // access to nothing, or a write to ROM: see fault_*
    kBreakpoint,  // a debugger's breakpoint: pc is its address, its instruction has not run
  };
  struct Slice {
    uint64_t executed = 0;  // instructions that completed
    uint64_t cycles = 0;    // their MCLK cycles
    Stop stop = Stop::kBudget;
    int exception = 0;      // Unicorn's number: 1 undefined, 2 SWI, 7 breakpoint
    uint32_t pc = 0;        // for exceptions: the instruction (undefined) or the next one (SWI)
    uint32_t fault_address = 0;
    bool fault_fetch = false;
    bool fault_write = false;
    uint32_t fault_pc = 0;  // the instruction that faulted (best effort for data aborts)
  };

  enum Reg { R0 = 0, SP = 13, LR = 14, PC = 15 };
  enum Mode : uint32_t { kUsr = 0x10, kFiq = 0x11, kIrq = 0x12, kSvc = 0x13, kAbt = 0x17, kUnd = 0x1B, kSys = 0x1F };
  static constexpr uint32_t kCpsrI = 0x80, kCpsrF = 0x40, kCpsrT = 0x20;

  ArmCore(Sdram& ram, Bus& bus, const std::vector<std::pair<uint32_t, uint32_t>>& mmio_regions);
  ~ArmCore();
  ArmCore(const ArmCore&) = delete;
  ArmCore& operator=(const ArmCore&) = delete;

  // Bank 0 (the monitor's ROM, or the flash; read-only to the firmware):
  // every word `word`, then `size` bytes at `address`.
  void fill_rom(uint32_t word);
  void load_rom(uint32_t address, const uint8_t* bytes, size_t size);

  Slice run(uint64_t max_cycles);

  // What the board tells the core for instruction-exact time.
  struct Timekeeper {
    // Fire the events due at or before now() (the access's cycle).
    std::function<void()> fire_due;
    // An exception (or a reset) is to be taken at the instruction boundary
    // that now() is at.
    std::function<bool()> exception_now;
    // After an access: the core must stop at the next instruction boundary
    // (an exception became takeable, a power mode stopped the core).
    std::function<bool()> stop_after;
  };
  void set_timekeeper(Timekeeper keeper) { keeper_ = std::move(keeper); }
  // The earliest cycle of the running slice at which the next event may make
  // an exception takeable (its due time plus the synchroniser's latency).
  // Told during a register access (one that unmasked a source) of a cycle
  // the rest of the block reaches, the core stops after that instruction,
  // so that the block is split there. `run_end`: the cycle is the run's end
  // (Board::split_deadline), which comes at the host's pace, not the
  // program's: a block split there is never given a split hook for it.
  void set_event_cycle(uint64_t cycle, bool run_end = false);
  // An IRQ or FIQ request is asserted; from `cycle` of the slice on (the
  // synchroniser's latency) it is taken at a block boundary when the CPSR
  // lets it through.
  void set_exception_request(bool pending, uint64_t cycle) {
    request_ = pending;
    note_attention();
    request_from_ = cycle;
    split_at_ = pending && cycle < event_cycle_ ? cycle : event_cycle_;
  }
  // Lowers the running slice's budget to `cycle` of the slice, the cycle an
  // event is due at.
  void limit_at(uint64_t cycle);
  // Whole turns of a loop (a block of `turn` cycles whose last interior
  // instruction boundary is `last_boundary` cycles into it) that pass before
  // the core would stop at a turn's start (`room` cycles from now) or split
  // a turn at an event (`split_room` from now, when `splittable`).
  static uint64_t turns_before_stop(uint64_t room, uint64_t split_room, uint64_t turn, uint64_t last_boundary,
                                    bool splittable);
  // The idle loop found by the last slice: the last boundary inside a turn,
  // and whether an MSR in it could change what interrupts are taken.
  uint64_t idle_turn_last_boundary() const { return idle_turn_last_boundary_; }
  bool idle_turn_has_msr() const { return idle_turn_has_msr_; }
  // Whether an FIQ can be requested at all (INTMOD gives a source to it):
  // else only the I bit decides whether an exception could come.
  void set_fiq_possible(bool possible) { exception_bits_ = kCpsrI | (possible ? kCpsrF : 0u); }

  // Exactly one instruction (a debugger's step): a slice that ends where
  // the next instruction is about to run, as at a breakpoint. Only the
  // blocks holding the instruction after the pc are translated again.
  Slice step();
  // Ends the running slice at the end of the current block (safe from
  // register-access callbacks).
  void request_stop();
  bool running() const { return running_; }
  // The last slice ended at an instruction inside a block (an exception, a
  // split at an event, a register access that stopped it, a breakpoint or
  // a step), not before a block.
  bool ended_inside_block() const { return !budget_stopped_; }

  // A fixed cost per instruction instead of the cycle model (0: the model).
  void set_cycles_per_instruction(unsigned cpi) {
    cpi_ = cpi;
    note_attention();
  }
  unsigned cycles_per_instruction() const { return cpi_; }
  // The reference mode, exact by construction and slow: every slice runs
  // one instruction, and the cycle model sees it as a block of its own (the
  // registers and flags it starts with are its own), so nothing is split,
  // skipped or stored on the fast path (a conditional multiply is still
  // settled by its hook, just before it runs). The other modes must compute
  // exactly what it does. Set before the first slice.
  void set_reference(bool on);
  // What each kind of memory access costs (the memory controller and
  // SYSCFG changed): every block's cost is computed again.
  void set_timing(const MemoryTiming& timing);
  // Stores into [begin, end) of the SDRAM (the LCD's frame buffer) may take
  // Unicorn's fast path (unicorn_stores::FastRange), from the next slice:
  // not while data accesses are watched or a poll's turn is checked, and
  // never once code has run from there, or with --check-alignment.
  void set_fast_stores(uint32_t begin, uint32_t end);
  const CycleModel& cycle_model() const { return model_; }
  // What the instruction at `address` costs when it runs (ARM state).
  uint64_t instruction_cycles(uint32_t address) const;
  // An exception's entry, 2S+1N at the vector.
  uint32_t exception_entry_cycles() const;

  // Skipping waits on memory: a block that loads, compares and branches
  // back to itself, and stores nothing, entered twice with the same registers and no
  // register access in between, cannot leave before an interrupt or a DMA
  // transfer writes memory. The slice then stops before it and
  // take_idle() is true once.
  void set_idle_skip(bool on) { idle_skip_ = on; }
  bool take_idle() {
    bool idle = idle_detected_;
    idle_detected_ = false;
    return idle;
  }
  // Unaligned loads from RAM are said once per instruction (a hook on every
  // load: slower).
  void watch_unaligned_loads();

  // A register poll's state check (Bus::set_state_checker): does a turn of
  // the loop leave the registers and the memory it stores to as they were?
  void begin_state_check();
  bool state_unchanged();
  // A poll that counts its turns to a time-out (core/counted_loop.h) passes
  // the check too, if its counter is the one register the turn changed: the
  // turns that may then pass (UINT64_MAX for a poll that changes nothing),
  // and passing them steps its counter.
  uint64_t poll_turns_limit() const;
  void pass_poll_turns(uint64_t turns);
  // Whether the core stands where the checked turn started (the block
  // after its read): else the loop left, its last turn the checked one.
  bool at_poll_turn_start() const;

  // What a read of the register at `address` returns `cycles` from now if
  // no event fires before (false: it cannot be told), for waits on one
  // register (core/counted_loop.h).
  using RegisterPredictor = std::function<bool(uint32_t address, uint64_t cycles, uint32_t* value)>;
  void set_register_predictor(RegisterPredictor predictor) { predictor_ = std::move(predictor); }

  // The cycles of one turn of the idle loop found by the last slice.
  uint64_t idle_turn_cycles() const { return idle_turn_cycles_; }

  // The board's memory around the core (board/): the instruction of the
  // running block that accesses `address` (from an MMIO callback or an
  // access watcher; best effort, the block's first load or store if none
  // matches; in Thumb state the block's start); a data access's cost,
  // charged like an MMIO access's without counting as one; the cache's
  // contents forgotten (software flushed it); and a callback for every data
  // access to [begin, end) until unwatched (a hook on those addresses:
  // every load and store then runs slower).
  uint32_t instruction_at(uint32_t address) const;
  void charge_access(uint32_t address, unsigned size, bool write);
  void invalidate_cache() { model_.invalidate_cache(); }
  using AccessWatcher = std::function<void(uint32_t address, unsigned size, bool write)>;
  int watch_accesses(uint32_t begin, uint32_t end, AccessWatcher watcher);
  // Data reads of the flash (bank 0) cost what BANKCON0 gives, not an SDRAM
  // access: always when on (a board booted from its flash), else while
  // data accesses to RAM are watched (a memory hook on every load then
  // anyway; otherwise none for the flash, whose reads a program loaded
  // into the SDRAM seldom makes).
  void set_flash_reads_charged(bool on);
  void unwatch_accesses(int id);

  // The internal SRAM at 0x10000000 shows [begin, end) (SYSCFG's cache
  // mode); applied between slices.
  void set_sram_window(uint32_t begin, uint32_t end);
  // Instructions executed since power-on, counted at block starts.
  const uint64_t* position() const { return &total_; }
  // The instruction of the register access in progress, counted from
  // power-on, and its address.
  const uint64_t* access_position() const { return &access_position_; }
  const uint32_t* access_pc() const { return &access_pc_; }
  // The ARM7TDMI's interrupt synchroniser: a request is seen from this many
  // cycles after it is asserted (Tsyncmin; the TRM's minimum latency is
  // Tsyncmin + the 2-cycle exception entry = 4 cycles).
  static constexpr uint64_t kSyncCycles = 2;
  uint64_t instructions() const { return total_; }
  // Cycles of the slice being executed (for the scheduler's now()).
  const uint64_t* inflight_cycles() const { return &inflight_cycles_; }

  uint32_t reg(int r) const;
  // For tests: fewer hooks for the instructions settled as they are about
  // to run, which give way sooner (exact_hooks.cpp); the time is the same.
  void set_exact_hook_limits(size_t most, uint64_t cold_instructions) {
    max_exact_hooks_ = most;
    cold_instructions_ = cold_instructions;
  }
  size_t exact_hooks() const { return exact_hooks_.size(); }
  void set_reg(int r, uint32_t value);
  uint32_t cpsr() const;
  void set_cpsr(uint32_t value);  // switches register banks with the mode
  uint32_t spsr() const;
  void set_spsr(uint32_t value);
  uint32_t pc() const { return reg(PC); }
  void set_pc(uint32_t value) { set_reg(PC, value); }

  // Discards translated code (after the firmware image is reloaded).
  void flush_code();
  // The same for [begin, end) (after a debugger writes memory).
  void flush_code(uint32_t begin, uint32_t end);

  // The monitor's ROM as bytes, nullptr outside it.
  const uint8_t* rom(uint32_t address, uint32_t size) const;

  // Debugger breakpoints: a code hook bounded to each address, so that only
  // the translated block holding it is instrumented and a board without
  // breakpoints runs as it always does.
  void add_breakpoint(uint32_t address);
  void remove_breakpoint(uint32_t address);
  // If the next slice starts at the pc, its first instruction does not stop
  // at its breakpoint: the debugger resumes from it.
  void pass_breakpoint_at_pc();

  // Observers of every translated block the core enters (coverage, profiles).
  // Called before the core's own accounting of the block, so position() and
  // the board's clock still read the block's start. A block may then not run
  // at all (the budget stops the slice before it) or only in part (an
  // exception, a fault, a breakpoint inside it): what ran shows in how far
  // position() has moved by the next call. The hook exists only once an
  // observer is added: a run without one costs nothing.
  using BlockObserver = std::function<void(uint32_t address, uint32_t size)>;
  void add_block_observer(BlockObserver observer);

 private:
  Slice run_slice(uint64_t max_instructions, bool step);
  static void on_block(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  void on_block_in_full(uc_engine* uc, uint32_t address, uint32_t size);
  static void on_breakpoint(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  static void on_step_end(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  static void on_reference_code(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  uint32_t reference_size(uint32_t address) const;  // the instruction at `address`, as a block
  static void on_observed_block(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  static void on_coprocessor(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  static uint64_t mmio_read(uc_engine* uc, uint64_t offset, unsigned size, void* user);
  static void mmio_write(uc_engine* uc, uint64_t offset, unsigned size, uint64_t value, void* user);
 public:
  // An access to MMIO, before it reaches the bus: true when it must not
  // (the instruction is replayed, or abandoned for an exception; `value` is
  // what a read returns then). Then after it, with what it read or wrote.
  bool begin_access(uint32_t address, unsigned size, bool write, uint32_t* value);
  void end_access(uint32_t address, unsigned size, bool write, uint32_t value);
 private:
  uint32_t locate_access(uint32_t address, unsigned size, bool write);
  uint64_t cycles_into_block(unsigned index) const;
  void access_at(int64_t at);
  void say_cached_device_read(uint32_t address, uint32_t pc);
  bool access_range_thumb(uint16_t insn, uint32_t* lo, uint32_t* hi, bool* is_store) const;
  // What an access to an SFR, an external bank or a watched memory costs
  // beyond the SDRAM access (or cache hit) the block was charged for.
  int64_t access_correction(uint32_t address, unsigned size, bool write) const;
  // Cycles from now to where an event may make an exception takeable.
  uint64_t split_room() const {
    return split_at_ == UINT64_MAX ? UINT64_MAX : split_at_ > inflight_cycles_ ? split_at_ - inflight_cycles_ : 0;
  }
  uc_err finish_stop();
  void begin_block(CycleModel::Block& block, uint32_t address, uint32_t size);
  bool exceptions_possible(const CycleModel::Block& block) const;
  bool split_block(uc_engine* uc, CycleModel::Block& block, uint32_t address, bool event_inside, unsigned limit);
  bool stop_at_boundary(uc_engine* uc, CycleModel::Block& block, uint32_t address, unsigned j);
  static void on_split_point(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  static constexpr uint8_t kSplitsBeforeHook = 2;
  struct SplitHook {
    uint32_t address, size;
    uc_hook hook = 0;
  };
  std::map<uint32_t, SplitHook> split_hooks_;  // by block address
  std::vector<SplitHook> split_hooks_pending_;
  std::map<uint32_t, uint8_t> split_counts_;
  uint32_t split_stop_ = 0;  // the split hook stops the block at this instruction
  bool split_at_run_end_ = false;  // split_at_ is the run's end, not an event's
  bool split_hit_ = false;
  uint32_t split_hit_address_ = 0;
  const uint8_t* code_at(uint32_t address, uint32_t size) const;
  uint64_t block_cycles(CycleModel::Block& block);
  // What the current block's instructions before `index` cost beyond the
  // fixed cost the block was charged (prefix_cost's m = 2 for multiplies,
  // conditional instructions as run): the multiplies' own m, and what
  // failed conditional instructions save (CycleModel::Block::fails,
  // late_muls), by the registers and flags now. Settled for the whole block
  // when it has run.
  int64_t late_correction(unsigned index, bool whole) const;
  uint32_t told_flags_now(uint32_t setter, unsigned cond) const;
  void settle_late() {
    inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) + late_correction(~0u, true));
    drop_late();
  }
  void drop_late() {
    late_.fails = 0;
    late_.late_muls = 0;
    late_.knowns = 0;
  }
  bool late_pending() const { return late_.fails || late_.late_muls || late_.knowns; }
  // A block that ran whole: its code lines still to be looked up and its
  // late costs, counted (before the next block, or at the slice's end).
  void settle_block() {
    if (fetch_pending_) fetch_rest();
    if (late_pending()) settle_late();
  }
  // fetch_lines(UINT32_MAX), on the short path where no line is to be
  // looked up again.
  void fetch_rest() {
    if (fetch_all_recent_ && !refetch_) {  // (each lookup would hit its set's most recent line)
      fetch_next_line_ = fetch_end_line_;
      fetch_pending_ = false;
      return;
    }
    if (refetch_) {
      fetch_lines(UINT32_MAX);
      return;
    }
    int64_t lead = 0, d = 0;
    for (; fetch_next_line_ < fetch_end_line_; ++fetch_next_line_) {
      const int64_t miss = model_.line_misses(fetch_next_line_);
      lead += miss;
      d += miss - fetch_foretold_[fetch_next_line_ - fetch_first_line_];
    }
    if (lead | d) {
      const int64_t fill = model_.timing().line_fill_at(block_address_) - 1;
      block_lead_ += lead * fill;
      inflight_cycles_ = static_cast<uint64_t>(static_cast<int64_t>(inflight_cycles_) + d * fill);
    }
    fetch_pending_ = false;
  }
  struct LateCosts {
    uint8_t fails = 0;  // as CycleModel::Block's
    uint8_t fail_index[4] = {}, fail_cond[4] = {};
    uint16_t fail_saving[4] = {};
    uint32_t fail_compare[4] = {};
    uint32_t start_flags = 0;  // the CPSR as the block started, for those it tells
    uint8_t knowns = 0;        // settled by a hook: the instruction and its cost beyond the charged one
    uint8_t known_index[8] = {};
    int16_t known_delta[8] = {};
    uint8_t late_muls = 0, late_unsigned = 0;
    int8_t late_rs[4] = {};
    uint8_t late_index[4] = {};
    uint8_t muls = 0;  // those the block's start told
    uint8_t mul_index[8] = {}, mul_m[8] = {};
  } late_;
  bool idle_loop(CycleModel::Block& block, uint32_t address);
  void pass_counted_turns(const CycleModel::Block& block);
  static uint64_t turn_last_boundary(const CycleModel::Block& block, uint64_t turn);
  void pass_wait_turns(const CycleModel::Block& block);
  bool breakpoint_in(const CycleModel::Block& block) const;
  RegisterPredictor predictor_;
  CycleModel::Block* lookup_block(uc_engine* uc, uint32_t address, uint32_t size);
  void queue_coprocessor_hooks(const CycleModel::Block& block, const uint8_t* code);
  void install_pending();
  void apply_sram_window();
  // The block ran up to `at`; `started`: the instruction there was fetched
  // too (it faulted, raised an exception or stopped at its access).
  void trim_block(uint32_t at, bool started);
  // A cacheable block's code lines are looked up in the cache as its
  // instructions are fetched, in order with its data accesses: those of
  // instructions up to `index` (UINT32_MAX: the whole block) now. The block's
  // start charged the misses the cache's contents then foretold; a line a
  // data access brought in or pushed out since corrects the clock.
  void fetch_lines(unsigned index);
  uint64_t foretell_lines(const CycleModel::Block& b);  // at its start: the fills foretold, in cycles
  void note_cond_end(const CycleModel::Block& b);
  bool fetch_pending_ = false;
  // Every code line of the block was its set's most recent as it started,
  // and no data access has looked a set of theirs up since (charge_data):
  // their lookups still to come change nothing, and fetch_rest skips them.
  bool fetch_all_recent_ = false;
  // A data read in the set of the code line the block is fetching from,
  // made by instruction `refetch_after_`, whose next instruction is in that
  // line too: its fetch looks the line up again (it may have been pushed
  // out, and it is the set's most recent line again), before that
  // instruction's own accesses.
  void note_data_line(uint32_t line, unsigned index);
  bool refetch_ = false;
  uint32_t refetch_line_ = 0;
  unsigned refetch_after_ = 0;
  uint32_t fetch_first_line_ = 0, fetch_next_line_ = 0, fetch_end_line_ = 0;
  std::vector<uint8_t> fetch_foretold_;  // by line from fetch_first_line_: a miss was charged
  // The fills the cache's contents foretell for the lines of the block's
  // instructions before `index` (a split's boundary).
  uint64_t foretold_fills(uint32_t address, uint32_t size, unsigned index, bool thumb) const;
  void stop_before_block(uc_engine* uc, uint32_t address);
  void stop_to_retranslate(uc_engine* uc, uint32_t address);
  // The m of the block's multiply i whose multiplier the block's start tells.
  unsigned start_m(const CycleModel::Block& b, unsigned i) const {
    return multiplier_cycles(reg(b.mul_rs[i]), (b.mul_unsigned >> i) & 1);
  }
  void stop_at_idle_loop(uc_engine* uc, const CycleModel::Block& block, uint32_t address);
  static void on_interrupt(uc_engine* uc, uint32_t number, void* self);
  static bool on_invalid(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value, void* self);
  uint32_t find_faulting_instruction(uint32_t fault_address) const;
  bool arm_word(uint32_t at, uint32_t* insn) const;  // the ARM instruction at `at`
  bool access_range(uint32_t insn, uint32_t at, uint32_t cpsr_now, uint32_t* lo, uint32_t* hi, bool* is_store) const;
  static void on_store(void* context, uint64_t ram_offset, unsigned size);
  static bool on_load(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value, void* self);
  // The block's load or store (ARM state) with an access (a byte, or an
  // unaligned half-word or word) at `address` (compared within a page with
  // `page_only`, among accesses to RAM: the store path's, which sees only
  // those) with the registers as they are: the last one if several are;
  // width 0 if none.
  struct Access {
    uint32_t pc = 0, address = 0;
    unsigned width = 0;
  };
  Access find_access(bool store, uint32_t address, bool page_only) const;
  bool in_ram(uint32_t address) const;
  // The address a store the store path told of reached (false: its memory
  // is not known).
  bool guest_address(uint64_t ram_offset, uint32_t* address) const;
  void find_sdram_offset();
  // Data accesses to RAM that cost other than the block's fixed cost
  // charged: the internal SRAM's (one clock) and, with the cache on, every
  // one (a miss fills a line, an NCACHBE area costs the SDRAM's). A memory
  // hook makes every load take Unicorn's slow path, so one is installed only
  // with the cache on, or once a store reaches the internal SRAM (the
  // store path watches it until then: data there is written before it is
  // read).
  void apply_data_watch();
  static void on_data(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value, void* self);
  static void on_flash_read(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value, void* self);
  uc_hook flash_hook_ = 0;
  bool flash_reads_charged_ = false;
  void charge_data(uint32_t address, unsigned size, bool write);
  // Whether a code line of the current block still to be looked up (or the
  // one being fetched from) is in the set of `address`'s line.
  bool code_line_shares_set(uint32_t address) const {
    if (!block_ || !block_->cacheable || block_->address != block_address_) return false;
    const uint32_t from = fetch_next_line_ > fetch_first_line_ ? fetch_next_line_ - 1 : fetch_next_line_;
    return model_.shares_set(address >> 4, from, fetch_end_line_);
  }
  void move_past_data(int64_t delta);
  void sram_stored(uint64_t ram_offset);
  bool block_insn(unsigned index, uint32_t* insn) const;
  bool is_swap(unsigned index) const;  // the block's instruction `index` is a SWP or SWPB
  bool multiple_access(unsigned index) const;  // the block's instruction `index` is a load or store multiple
  uc_hook data_hook_ = 0;
  uint32_t data_begin_ = 0, data_end_ = 0;  // watched: [begin, end)
  // The SDRAM's loads and stores, served by the path of core/unicorn_sdram.h
  // while data_hook_ is the one memory hook over it (none: size 0).
  void note_sdram_watch();
  static void on_sdram_access(void* uc, int type, uint64_t address, int size, int64_t value, void* self);
  unicorn_sdram::WatchedSdram sdram_watch_;
  bool loads_checked_ = false;  // watch_unaligned_loads's hook is on
  bool sram_data_seen_ = false;             // a store reached the internal SRAM
  unicorn_stores::WatchedRange sram_stores_;
  uint64_t sram_ram_offset_ = UINT64_MAX;   // of the SRAM mapped now in Unicorn's RAM (unknown: UINT64_MAX)
  // What the current block's data accesses and hooked instructions (below)
  // cost beyond its fixed cost, and the line fills among them; at a block's
  // entry, the block before's.
  int64_t settled_extra_ = 0;
  unsigned data_fills_ = 0;
  // Instructions whose cost neither the block's start nor its end tells (a
  // conditional one between two that may set the flags, a multiply whose
  // multiplier the block changes around it): a code hook at the first of
  // each group settles them as it is about to run (exact_hooks.cpp).
  // Past kMaxExactHooks, those that have not run for kColdInstructions
  // instructions (about a tenth of a second of the board's time) give way.
  static constexpr size_t kMaxExactHooks = 512;
  static constexpr uint64_t kColdInstructions = uint64_t{1} << 21;
  size_t max_exact_hooks_ = kMaxExactHooks;
  uint64_t cold_instructions_ = kColdInstructions;
  struct ExactHook {  // (the hook's own data: map nodes stay where they are)
    ArmCore* core = nullptr;
    uc_hook hook = 0;
    uint64_t used = 0;  // the instructions run (total_) when it last ran
  };
  std::map<uint32_t, ExactHook> exact_hooks_;
  std::vector<uint32_t> exact_pending_;
  bool exact_full_ = false;  // a group found no hook left: room is made at the slice's end
  void make_exact_room();
  bool note_exacts(CycleModel::Block& block, const uint8_t* code);  // true: hooks to install first
  void install_exact_hooks();
  static void on_exact(uc_engine* uc, uint64_t address, uint32_t size, void* hook);
  void settle_group(const CycleModel::Block& block, unsigned head);  // the exact group at `head`, as it is about to run
  __attribute__((noinline)) void settle_unhooked_head(const CycleModel::Block& block);
  // Translations dropped (and blocks translated anew) since the library's
  // buffer was last emptied (arm_core.cpp).
  static constexpr uint64_t kDropsBeforeFlush = 20000;
  uint64_t drops_ = 0;
  void drop_translations(uint64_t begin, uint64_t end);
  void apply_fast_stores();
  void forget_fast_pages();
  void note_code(uint32_t address, uint32_t size);
  uint32_t fast_want_begin_ = 0, fast_want_end_ = 0;
  bool fast_stores_off_ = false;  // code ran there, or every store must be seen
  unicorn_stores::FastRange fast_stores_;
  std::vector<bool> code_pages_ = std::vector<bool>(chip::kSdramSize >> 10);  // 1 KB pages of the SDRAM that held code
  // The current block (its access plan) and its data accesses so far, a
  // register's included.
  const CycleModel::Block* block_ = nullptr;
  unsigned data_cursor_ = 0;
  void read_state(uint32_t* values) const;
  void log_store(uint64_t ram_offset, unsigned size);
  bool sdram_offset_known_ = false;
  uint64_t sdram_offset_ = 0;  // of the SDRAM in Unicorn's RAM
  struct LoggedStore {
    uint8_t* where;
    uint8_t old[4];
    uint8_t size;
  };
  static constexpr size_t kStoreLogSize = 64;
  std::vector<LoggedStore> store_log_;
  bool store_log_full_ = false;
  bool logging_stores_ = false;
  uint32_t check_regs_[16] = {};
  std::vector<std::pair<uint32_t, uint32_t>> check_path_;  // blocks the checked turn entered
  CountingPoll poll_;
  int poll_counter_reg_ = -1;  // the checked poll counts its turns in this register
  int poll_counter_step_ = 0;
  bool match_poll_path(int reg, int step);
  std::set<uint32_t> unaligned_reported_;
  bool cached_device_said_ = false;  // a device's read the chip's cache would serve
  bool in_current_block(uint32_t address) const;

  Sdram& ram_;
  Bus& bus_;
  uc_engine* uc_ = nullptr;
  struct MmioRegion {
    Bus* bus;
    uint32_t base;
    ArmCore* core;
  };
  std::vector<std::unique_ptr<MmioRegion>> regions_;  // MMIO callback contexts
  FilledMemory rom_{chip::kBank0Size};
  std::vector<uint8_t> sram_;
  uint32_t sram_begin_ = 0, sram_end_ = 0;          // mapped now
  uint32_t sram_want_begin_ = 0, sram_want_end_ = 0;  // mapped from the next slice
  unsigned cpi_ = 0;
  CycleModel model_;
  bool running_ = false;

  uint64_t total_ = 0;
  uint64_t slice_start_ = 0;
  uint64_t budget_end_ = 0;         // in cycles of the slice
  uint64_t inflight_cycles_ = 0;    // cycles of the slice, the current block included
  uint64_t block_start_total_ = 0;  // total_ before the current block
  uint64_t block_start_cycles_ = 0;
  int64_t block_extra_ = 0;         // MMIO cycles settled inside the current block
  uint64_t block_lead_ = 0;         // the line fills of the block's instructions fetched so far
  uint32_t block_address_ = 0;
  uint32_t block_size_ = 0;
  bool block_thumb_ = false;
  bool block_wide_stores_ = true;
  CycleModel::Block* last_block_ = nullptr;  // the current block stores words or half-words
  uint32_t pending_extra_ = 0;  // the last block's conditional end, if its branch was taken
  uint32_t pending_fallthrough_ = 0;
  uint32_t pending_cond_ = 0;   // its condition, when its target is the fall-through too

  Timekeeper keeper_;
  uint64_t split_at_ = UINT64_MAX;    // an exception may become takeable from here:
  uint64_t event_cycle_ = UINT64_MAX; // the next event's cycle plus the synchroniser's
  bool request_ = false;              // an IRQ or FIQ is requested
  // A block needs more than its cost counted (on_block's short way is not
  // for it): a replay, a step, a request, an `until`, a state check, --cpi.
  bool attention_ = false;
  void note_attention() {
    attention_ = replaying_ || stepping_ || request_ || until_slice_ || logging_stores_ || cpi_ != 0 || reference_;
  }
  uint64_t request_from_ = 0;
  uint64_t sync_cycles_ = 0;
  uint32_t next_until_ = 0;           // the next slice ends at this address (0: none)
  uint32_t slice_until_ = 0;          // this one's, when it ends at one
  bool until_slice_ = false;          // this slice ends there
  uint32_t exception_bits_ = kCpsrI;  // the CPSR bits that keep every requestable exception out
  // The register access in progress: its instruction (index in the block,
  // address, accesses so far) and the block's end it interrupts.
  unsigned access_index_ = 0;
  unsigned access_done_ = 0;
  bool access_located_ = false;
  bool access_more_ = false;  // the located instruction makes the next access too
  uint32_t access_pc_ = 0;
  bool in_access_ = false;  // between begin_access and end_access
  bool resplit_ = false;    // the access moved the split point into the block
  uint64_t access_position_ = 0;
  uint64_t saved_inflight_ = 0;
  std::vector<uint32_t> insn_values_;  // what the instruction's accesses read or wrote
  int64_t insn_extra_ = 0;             // what they cost beyond the charged accesses
  int64_t replay_extra_ = 0;           // that, for the instruction run again alone
  int64_t replayed_extra_ = 0;         // what its answered accesses cost beyond the charge
  uint64_t insn_last_at_ = 0;          // the cycle of the instruction's last register access
  // Stopping inside a block at a register access: at the instruction (it
  // runs again from its start), or after it (it runs again alone, its
  // accesses answered from insn_values_).
  bool stopping_ = false;
  bool redo_ = false;
  uint32_t stop_at_ = 0;
  bool replaying_ = false;
  bool replay_entered_ = false;  // its block was entered
  std::vector<uint32_t> replay_values_;
  size_t replay_next_ = 0;
  uint64_t idle_turn_last_boundary_ = 0;
  bool idle_turn_has_msr_ = false;

  bool idle_skip_ = true;
  bool reference_ = false;
  uc_hook reference_hook_ = 0;
  bool idle_detected_ = false;
  uint32_t prev_block_ = 1;
  bool idle_valid_ = false;
  uint32_t idle_address_ = 0;
  uint64_t idle_mmio_ = 0;
  uint64_t mmio_count_ = 0;
  uint32_t idle_regs_[16] = {};
  uint64_t idle_turn_cycles_ = 1;

  struct Watch {
    ArmCore* core;
    AccessWatcher watcher;
    uc_hook hook;
  };
  std::map<int, std::unique_ptr<Watch>> watches_;
  int next_watch_ = 1;
  static void on_watched(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value, void* user);

  std::map<uint32_t, uc_hook> coprocessor_hooks_;
  std::vector<uint32_t> coprocessor_pending_;

  bool exception_ = false;
  int exception_number_ = 0;
  uint32_t exception_pc_ = 0;
  bool fault_ = false;
  uint32_t fault_address_ = 0;
  bool fault_write_ = false;
  bool fault_fetch_ = false;
  MemoryTiming pending_timing_;  // set while a slice ran: from the next one
  bool timing_pending_ = false;
  bool fault_pc_known_ = false;  // the library told the faulting instruction: fault_pc_
  uint32_t fault_pc_ = 0;

  // The block whose hook ended the slice (it has not run).
  bool budget_stopped_ = false;
  uint32_t budget_stop_address_ = 0;

  uc_hook block_hook_ = 0;
  std::vector<BlockObserver> block_observers_;

  std::map<uint32_t, uc_hook> breakpoints_;
  bool breakpoint_hit_ = false;
  uint32_t breakpoint_address_ = 0;
  bool pass_armed_ = false;
  uint32_t pass_address_ = 0;
  bool stepping_ = false;
  uint32_t step_next_ = 0;   // the instruction after the step's, in its block
  bool step_ended_ = false;  // the step stopped there
  bool code_hooks_used_ = false;  // a breakpoint or a step ever was
};

}  // namespace sim
