// The ARM7TDMI's cycle table, and what each S or N cycle costs in the memory
// it reaches: the cycle-approximate timing model of the core.
//
// A translated block's cost is computed once, when the block is first seen,
// from its instructions (ARM or Thumb) and the timing the memory controller
// and SYSCFG give, and kept by address. What the fixed cost cannot know is
// settled where it happens:
// - a conditional instruction that ends a block (a branch, a load or move
//   to the pc) is charged as failed (1S); when the next block is not the
//   fall-through, the difference to the executed cost is added then;
// - conditional instructions inside a block are charged as executed;
// - multiplies take m from the multiplier's value at the start of the block
//   when the block does not compute it first (else m = 2);
// - loads and stores are charged as SDRAM accesses (with the cache on: as
//   hits); an access that reaches an SFR or an external bank is corrected by
//   the difference when the core's MMIO callback runs (ArmCore), and so is
//   one that reaches the internal SRAM, misses the cache or lies in an
//   NCACHBE area, when the core watches data accesses (data_cycles);
// - with the cache on, each 16-byte line a block's code spans is looked up
//   in a model of the 8 KB, 4-way, LRU cache as the block starts: a hit
//   costs 1 MCLK per fetch, a miss a line fill from the line's memory (the
//   SDRAM, or the flash for code run from it). Data reads look up the same
//   cache (a miss fills its line); writes go through to the memory and
//   allocate nothing.
// SDRAM refresh cycles and the write buffer's stalls are not modelled.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/counted_loop.h"
#include "core/s3c44b0x.h"

namespace sim {

// What one bus access costs, in MCLK cycles, in each kind of memory.
struct MemoryTiming {
  struct Fetch {
    uint16_t s = 1, n = 1;
  };
  Fetch sdram_arm, sdram_thumb, sram, rom_arm, rom_thumb;
  // Data accesses in SDRAM by size (index 0 byte, 1 half-word, 2 word).
  uint16_t read_n[3] = {1, 1, 1}, read_s = 1, write_n[3] = {1, 1, 1}, write_s = 1;
  uint16_t sfr = 1;
  uint16_t bank_access[6] = {1, 1, 1, 1, 1, 1};
  uint8_t bank_width[6] = {4, 4, 4, 4, 4, 4};
  uint16_t line_fill = 1;  // a 16-byte cache line from SDRAM
  unsigned cache_bytes = 0;
  bool write_buffer = false;  // SYSCFG's write buffer is on

  // NCACHBE0/1 as [first page, end page) of 4 KB (the board fills these in).
  std::array<std::array<uint32_t, 2>, 2> noncacheable_pages{};

  bool noncacheable(uint32_t address) const {
    const uint32_t page = address >> 12;
    return (page >= noncacheable_pages[0][0] && page < noncacheable_pages[0][1]) ||
           (page >= noncacheable_pages[1][0] && page < noncacheable_pages[1][1]);
  }
  // An SFR or external-bank access (from an MMIO callback).
  uint32_t mmio_cost(uint32_t address, unsigned size) const;
  // A cache line fill from the memory at `address`: the SDRAM's burst, or
  // four words from a ROM bank (the flash), each beat a whole access (the
  // ROM banks' page mode is not modelled).
  uint32_t line_fill_at(uint32_t address) const { return address >> 25 >= 6 ? line_fill : 4u * mmio_cost(address, 4); }
  // What the fixed cost charged for a data access of that size (the first
  // of its instruction, or a later one of a load or store multiple).
  uint32_t assumed_data_cost(unsigned size, bool write, bool sequential = false) const;
};

// One instruction's cycles by kind (ARM7TDMI TRM cycle types).
struct InsnCycles {
  uint8_t fetch_s = 1, fetch_n = 0, internal = 0;
  uint8_t read_n = 0, read_s = 0, write_n = 0, write_s = 0;
  uint8_t size = 4;           // data access size in bytes
  bool conditional = false;   // a condition other than AL (ARM)
  bool writes_pc = false;     // ends the block unless its condition fails
  bool is_branch = false;     // B (ARM) / B, Bcc (Thumb): target below
  bool is_store = false;      // writes memory
  bool is_coprocessor = false;
  bool is_msr_cpsr = false;   // MSR CPSR: may change what interrupts are taken
  bool traps = false;         // SWI, undefined: the exception does the rest
  bool sets_flags = false;    // may change N, Z, C or V (S bit, MSR to the flags, LDM^ with the pc)
  int8_t mul_rs = -1;         // the multiplier register (m depends on it)
  uint8_t mul_extra = 0;      // I cycles beyond m (MLA/xMULL 1, xMLAL 2)
  bool mul_unsigned = false;  // UMULL/UMLAL: only leading zeros end early
  uint16_t writes = 0;        // registers written (bit r)
  uint32_t target = 0;
};

// Whether an ARM condition (an instruction's bits 31..28) passes with the
// flags N, Z, C, V in bits 31..28 of `flags` (a CPSR).
bool arm_condition(unsigned cond, uint32_t flags);

// A data-processing instruction's immediate operand (8 bits rotated right
// by twice bits 11..8).
uint32_t rotated_immediate(uint32_t insn);

// An instruction that sets the flags, whose flags for condition `cond` of
// a later one registers after it give, as long as they keep their values:
// the registers (bit r, r0..r7 only), 0 if none can tell. N and Z of a
// data-processing result are its register's; a compare's flags its
// operands' (CMP, CMN, and TST, TEQ for a condition of N and Z only: their
// C and V are those before them), as are those of a SUBS, ADDS, ANDS or
// EORS whose result replaced none of its operands; with an immediate or a
// register shifted by an immediate (not RRX).
uint16_t flags_told_by(uint32_t setter, unsigned cond);
// Those flags (bits 31..28; those the condition does not look at may be
// 0), from `regs`, which hold the registers flags_told_by named.
uint32_t told_flags(uint32_t setter, unsigned cond, const uint32_t regs[8]);

InsnCycles decode_arm(uint32_t insn, uint32_t address);
InsnCycles decode_thumb(uint16_t insn, uint32_t address);
// m for a multiplier value (1..4).
unsigned multiplier_cycles(uint32_t rs, bool unsigned_only);

class CycleModel {
 public:
  // (What every block entered reads comes first, in one host cache line:
  // a program's hot blocks outgrow the host's first-level cache.)
  struct alignas(64) Block {
    uint32_t address = 1;  // its first instruction's; 1 once the model is cleared
    uint32_t size = 0;
    uint32_t first = 0, last = 0;  // first and last words of the code (a cheap change check)
    uint32_t cost = 0;         // fixed cost in MCLK
    uint32_t taken_extra = 0;  // added when the last instruction's condition passed
    uint16_t count = 0;            // instructions
    bool thumb = false;
    bool cacheable = false;
    bool cond_end = false;       // last instruction conditional and writes the pc
    bool has_coprocessor = false;
    bool idle_candidate = false;  // loads (no store) branching back to itself
    bool wide_stores = false;     // stores words or half-words
    bool plain = false;           // its cost is `cost`: no multiply, no cache lookup
    bool fast = false;            // plain but for the cache, and no loop or MSR to look at as it is entered
    bool plain_but_cache = false;  // plain but for its code lines' lookups (below)
    bool fast_but_idle = false;    // fast but for being an idle candidate, no counted loop or wait
    // An idle candidate whose registers changed over too many turns is no
    // longer looked at (loop_skipping.cpp): it takes the short path.
    bool takes_short_path() const { return fast || (fast_but_idle && idle_failures >= kIdleFailuresToGiveUp); }
    static constexpr uint8_t kIdleFailuresToGiveUp = 8;
    uint16_t line_fill = 0;        // cacheable: a line fill's cycles beyond the hit charged
    uint8_t idle_failures = 0;
    bool target_is_next = false;   // its conditional branch goes to the fall-through
    uint32_t first_line = 0, end_line = 0;  // cacheable: its code lines [first, end) (address >> 4)
    uint32_t last_cond = 0;        // that branch's condition (bits 31..28) | 1
    // What its start cannot tell: the most its last instruction may start
    // after the block's start (its code lines missing the cache, every
    // multiply at m = 4, every watched data access at its dearest), and its
    // first instruction that may cost more than charged (a multiply whose m
    // the start does not tell, a watched data access; `count` if none).
    // The instructions up to that one start where the charged costs say.
    uint32_t reach = 0;
    // Its first instruction whose cost it cannot settle (a ninth
    // instruction to be settled by a hook, or one past the 256th; `count`
    // if none): the block runs up to it, and the rest as a block of its own.
    uint16_t overflow = 0;
    uint8_t exacts = 0;  // (below)
    uint16_t unsure = 0;
    bool loops_to_itself = false;  // an idle candidate or a counting loop
    bool has_msr = false;          // an MSR to the CPSR before its last instruction
    uint8_t msr_index = 0;         // the first one
    uint32_t last_boundary = 0;    // cycles before its last instruction
    uint8_t muls = 0;
    // Conditional instructions that cost more than their fetch when they
    // run, with no instruction after them in the block that may change the
    // flags: the flags at the block's end (or at a later access in it) tell
    // whether they ran; or, with kFlagsAtStart in fail_cond, none before
    // them: the flags at the block's start tell. Up to four; any other is
    // settled by a hook (exacts, below).
    // Or, with kFlagsByCompare, the last instruction before them that may
    // change the flags (after their block's start), when registers no
    // instruction after it in the block changes give its flags
    // (flags_told_by): those registers tell, at the block's end or at a
    // later access in it.
    uint8_t fails = 0;
    uint8_t fail_index[4] = {};
    uint8_t fail_cond[4] = {};
    uint16_t fail_saving[4] = {};
    uint32_t fail_compare[4] = {};  // that instruction, with kFlagsByCompare
    int8_t mul_rs[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    uint8_t mul_index[8] = {};
    uint8_t mul_unsigned = 0;  // bit i: multiply i is unsigned
    // Multiplies whose multiplier the block computes before them (or past
    // the eighth) but leaves alone after them: charged m = 2 in `cost`, their
    // m then comes from the register at the block's end (or at a later
    // access in it). Up to four; any other is settled by a hook.
    uint8_t late_muls = 0;
    int8_t late_mul_rs[4] = {-1, -1, -1, -1};
    uint8_t late_mul_index[4] = {};
    uint8_t late_mul_unsigned = 0;
    // Its data accesses in order, each instruction's as it makes them
    // (accesses_[plan..plan + plan_size)), when every one is certain to
    // happen: no conditional load or store. Else plan_ok is false.
    bool plan_ok = false;
    uint16_t plan_size = 0;
    uint32_t plan = 0;
    // Conditional instructions neither flags tell of, and multiplies whose
    // m neither the start nor the end tells: charged as run with m = 2,
    // settled by a hook (ArmCore) as the first of their group is about to
    // run (exact_head: a group shares its flags, and its multipliers are
    // as they will be). Up to eight (see `overflow`): `exacts` of them.
    uint8_t exact_index[8] = {};
    uint8_t exact_head[8] = {};
    uint8_t exact_cond[8] = {};  // 0xE: always
    int8_t exact_mul_rs[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    uint8_t exact_mul_unsigned = 0;
    uint16_t exact_saving[8] = {};  // what failing saves
    CountedLoop loop;          // a counting loop whose turns can pass at once
    RegisterWait wait;         // a wait on one register
  };
  static_assert(offsetof(Block, exacts) < 64 && offsetof(Block, overflow) < 64 && offsetof(Block, reach) < 64,
                "a block's entry reads one host cache line");

  void set_timing(const MemoryTiming& timing);
  const MemoryTiming& timing() const { return timing_; }
  // Whether the core corrects data accesses to RAM, and reads of the flash,
  // as they happen (they may then cost more than charged; the blocks' reach
  // and unsure tell of it).
  void set_data_watched(bool ram, bool flash_reads) {
    if (ram != data_watched_ || flash_reads != flash_reads_watched_) clear();
    data_watched_ = ram;
    flash_reads_watched_ = flash_reads;
  }
  void clear();  // code changed or flushed

  // The block at `address` of `size` bytes whose code is `code` (host
  // bytes), if its cost is known; else computes it.
  Block* find(uint32_t address, uint32_t size, const uint8_t* code) {
    const uint32_t index = slots_[slot_of(address)];
    if (!index) return nullptr;
    Block& b = slots_.pool[index - 1];
    if (b.address != address || b.size != size) return nullptr;
    return b.first == first_word(code) && b.last == last_word(code, size) ? &b : nullptr;
  }
  // (A block put in a slot whose block is another replaces it; when the
  // plans have filled their room, every block goes, as in clear(), and is
  // computed again as it is next met.)
  Block& insert(uint32_t address, uint32_t size, const uint8_t* code, bool thumb);
  // Whether the block in `address`'s slot starts there (whatever its code).
  bool holds(uint32_t address) {
    const uint32_t index = slots_[slot_of(address)];
    return index && slots_.pool[index - 1].address == address;
  }
  // The plans' room (accesses, 2 bytes each), for tests that fill it.
  static constexpr size_t kMaxPlanned = size_t{1} << 22;
  explicit CycleModel(size_t max_planned = kMaxPlanned) : max_planned_(max_planned) {}
  // Cycles of the first `count` instructions of a block (trimmed by an
  // exception, a fault or a breakpoint); m = 2 for multiplies.
  uint32_t prefix_cost(uint32_t address, const uint8_t* code, unsigned count, bool thumb) const;
  // A block's data access `k` (from 0, in the order its instructions make
  // them): kSequentialAccess, a later access of a load or store multiple,
  // with the instruction's index in the block.
  static constexpr uint16_t kSequentialAccess = 0x8000;
  static constexpr uint8_t kFlagsAtStart = 0x10;     // in Block::fail_cond
  static constexpr uint8_t kFlagsByCompare = 0x20;  // in Block::fail_cond
  uint16_t planned_access(const Block& b, unsigned k) const { return accesses_[b.plan + k]; }
  // Cache misses of the lines [address, address + size) (updates the LRU).
  unsigned cache_misses(uint32_t address, uint32_t size);
  // The same for one line (address >> 4), with the cache on. A hit on its
  // set's most recent line changes no order: it costs one compare.
  unsigned line_misses(uint32_t line) {
    return set_mru_[line & set_mask_] == (line | kValid) ? 0 : cache_misses(line << 4, 1);
  }
  // Whether a line's set is one of lines [first, end)'s (consecutive lines,
  // consecutive sets): lookups in different sets leave each other's
  // outcome and order alone, so they may be made in either order.
  bool shares_set(uint32_t line, uint32_t first, uint32_t end) const {
    return end - first > set_mask_ || ((line - first) & set_mask_) < end - first;
  }
  // Whether a line (address >> 4) is its set's most recent: a lookup of it
  // hits and changes no order.
  bool most_recent(uint32_t line) const { return set_mru_[line & set_mask_] == (line | kValid); }
  // Whether the line of `address` is in the cache now (nothing changes).
  // (Its set's most recent line is one of its set's lines.)
  bool resident(uint32_t address) const {
    if (!timing_.cache_bytes) return false;
    const uint32_t line = address >> 4, tag = line | kValid;
    if (set_mru_[line & set_mask_] == tag) return true;
    const auto& tags = tags_[line & set_mask_];
    return tags[0] == tag || tags[1] == tag || tags[2] == tag || tags[3] == tag;
  }
  // Whether a data access there goes through the cache (the cache on, an
  // SDRAM or external bank address outside NCACHBE's areas).
  bool cached_at(uint32_t address) const {
    if (!timing_.cache_bytes || address >= chip::kInternalSram) return false;
    if (address >= chip::kSfrBase && address < chip::kSfrBase + chip::kSfrSize) return false;
    return !timing_.noncacheable(address);
  }
  // A data access through the cache that costs what the block charged and
  // changes nothing: a write the write buffer takes, a read of its set's
  // most recent line (the hit path: no search).
  bool costs_as_charged(uint32_t address, bool write) const {
    if (!cached_at(address)) return false;
    if (write) return timing_.write_buffer;
    const uint32_t line = address >> 4;
    return set_mru_[line & set_mask_] == (line | kValid);
  }
  // What a data access to RAM (the SDRAM or the internal SRAM) costs: the
  // internal SRAM one clock; with the cache on, a read in a cacheable area
  // one clock on a hit, a line fill on a miss (the line is then in the
  // cache), a write one clock when the write buffer takes it; else the
  // SDRAM's own cost. `*filled` tells of a line fill.
  uint32_t data_cycles(uint32_t address, unsigned size, bool write, bool sequential, bool* filled);
  void invalidate_cache();

 private:
  // The code's first and last words, a cheap check that it is the same.
  static uint32_t word_at(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  }
  static uint32_t first_word(const uint8_t* code) { return code ? word_at(code) : 0; }
  static uint32_t last_word(const uint8_t* code, uint32_t size) { return code && size >= 4 ? word_at(code + size - 4) : 0; }
  uint32_t insn_cost(const InsnCycles& c, uint32_t address, bool thumb, bool cached) const;
  void decode(Block& b, const uint8_t* code);
  uint32_t dearest_data_extra() const;
  uint32_t flash_read_extra() const;

  MemoryTiming timing_;
  bool data_watched_ = false;
  bool flash_reads_watched_ = false;
  std::vector<uint16_t> accesses_;  // the blocks' plans, until the next clear()
  size_t max_planned_;
  // Blocks by their address's slot: every block of any 256 KB of code has
  // a slot of its own. A slot holds its block's index + 1 in a pool that
  // fills in the order blocks are first met (0: none); both are mappings
  // whose pages stay untouched until used, so a short run touches a few
  // pages of them, and clear() looks at the pool's blocks in use only.
  static constexpr unsigned kSlots = 1u << 17;
  static unsigned slot_of(uint32_t address) { return (address >> 1) & (kSlots - 1); }
  struct BlockSlots {
    BlockSlots();
    ~BlockSlots();
    BlockSlots(const BlockSlots&) = delete;
    BlockSlots& operator=(const BlockSlots&) = delete;
    uint32_t& operator[](unsigned slot) { return index[slot]; }
    uint32_t* index;
    Block* pool;
    uint32_t used = 0;  // pool[0..used) belong to slots
  };
  BlockSlots slots_;
  // 128 sets x 4 ways (64 sets in half-cache mode; a power of two): line tags, 0 = empty; LRU ages.
  std::array<std::array<uint32_t, 4>, 128> tags_{};
  std::array<std::array<uint32_t, 4>, 128> stamps_{};
  // Each set's most recent line's tag (0: none): the hit path's one compare.
  std::array<uint32_t, 128> set_mru_{};
  uint32_t set_mask_ = 0;  // sets - 1
  uint32_t clock_ = 0;
  static constexpr uint32_t kValid = 0x80000000u;  // in a tag
};

}  // namespace sim
