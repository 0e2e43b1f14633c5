#include "debug/execution_recorder.h"

#include <algorithm>

namespace sim {

namespace {
// Deeper than any real program's calls: past it the stack is taken as lost
// (a task switch the recorder cannot follow) and its oldest call is closed.
constexpr size_t kMaxDepth = 4096;
}  // namespace

ExecutionRecorder::ExecutionRecorder(Board& board, bool record_calls)
    : board_(board), record_calls_(record_calls), clock_mark_(board.cycles()), resets_seen_(board.resets()) {
  board_.core().add_block_observer([this](uint32_t address, uint32_t size) { on_block(address, size); });
  board_.add_exception_observer(
      [this](uint32_t offset, uint32_t link, uint32_t handler) { on_exception(offset, link, handler); });
}

ExecutionRecorder::Page& ExecutionRecorder::page(uint32_t address) {
  uint32_t number = address >> kPageBits;
  if (number != last_page_) {
    auto& p = pages_[number];
    if (!p) p = std::make_unique<Page>();
    last_page_ = number;
    last_slots_ = p.get();
  }
  return *last_slots_;
}

uint64_t ExecutionRecorder::count(uint32_t address) const {
  auto it = pages_.find(address >> kPageBits);
  return it == pages_.end() ? 0 : it->second->slots[index(address)].count;
}

void ExecutionRecorder::on_block(uint32_t address, uint32_t size) {
  settle(address);
  if (record_calls_ && returns_[hash(address)]) check_return(address);
  ArmCore& core = board_.core();
  uint8_t& state = page(address).state[index(address)];
  if (!state) state = 1 + ((core.cpsr() & ArmCore::kCpsrT) != 0);
  block_ = {true, state == 2, address, size, core.instructions()};
}

void ExecutionRecorder::on_exception(uint32_t offset, uint32_t link, uint32_t handler) {
  // Where the exception came from, and where its handler returns to: the
  // next instruction after an undefined one or a SWI, the interrupted or
  // aborted instruction otherwise.
  uint32_t site = link - (offset == 0x10 ? 8 : 4);
  uint32_t resume = (offset == 0x04 || offset == 0x08) ? link : site;
  settle(resume);
  if (record_calls_) push(resume, {site, handler});
}

void ExecutionRecorder::settle(uint32_t next) {
  if (!block_.active) return;
  block_.active = false;
  uint64_t ran = board_.core().instructions() - block_.position;
  uint64_t now = board_.cycles();
  uint64_t cycles = now > clock_mark_ ? now - clock_mark_ : 0;
  clock_mark_ = now;
  const uint32_t stride = block_.thumb ? 2 : 4;
  // The core counts the block's instructions (two bytes each in Thumb
  // state, four in ARM state) and, for a block cut short (an exception, a
  // fault, a breakpoint inside it), only those before the one that stopped it.
  // A counting loop whose turns passed at once (ArmCore) ran its whole
  // block as many times.
  uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(block_.size, ran * stride));
  uint32_t n = bytes / stride;
  uint64_t turns = n && ran > n ? ran / n : 1;
  if (n == 0) {
    page(block_.address).slots[index(block_.address)].cycles += cycles;
  } else {
    // One cycle an instruction is the common case; 32-bit division the
    // next (a 64-bit one costs as much as the rest of this together).
    uint64_t share = 1, rest = 0;
    if (cycles != n) {
      if (cycles >> 32) {
        share = cycles / n, rest = cycles % n;
      } else {
        share = static_cast<uint32_t>(cycles) / n, rest = static_cast<uint32_t>(cycles) % n;
      }
    }
    for (uint32_t i = 0, a = block_.address; i < n; ++i, a += stride) {
      // A block may run over into the next page.
      Slot& s = (i == 0 || (a & ((1u << kPageBits) - 1)) < stride) ? page(a).slots[index(a)] : last_slots_->slots[index(a)];
      s.count += turns;
      s.cycles += share + (i == 0 ? rest : 0);
    }
  }
  total_.cycles += cycles;
  total_.instructions += n * turns;

  if (board_.resets() != resets_seen_) {
    // The program starts again from main: nothing it had called returns.
    resets_seen_ = board_.resets();
    close_frames(0);
    return;
  }
  if (!record_calls_ || n == 0) return;
  uint32_t after = block_.address + bytes;
  if (next != after && is_call(after - stride, block_.thumb)) push(after, {after - stride, next});
}

bool ExecutionRecorder::is_call(uint32_t last, bool thumb) const {
  const uint8_t* p = board_.ram().at(last - 4, 8);
  if (!p) return false;
  auto word = [](const uint8_t* b) { return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24; };
  if (thumb) {
    uint32_t h = p[4] | p[5] << 8, first = p[2] | p[3] << 8;
    bool bl_pair = (first & 0xF800) == 0xF000 && ((h & 0xF800) == 0xF800 || (h & 0xF800) == 0xE800);
    return bl_pair || (h & 0xFF87) == 0x4780;  // BL/BLX imm, BLX reg
  }
  uint32_t insn = word(p + 4);
  if ((insn >> 28) != 0xF && (insn & 0x0F000000) == 0x0B000000) return true;  // BL
  if ((insn & 0xFE000000) == 0xFA000000) return true;                        // BLX imm
  if ((insn & 0x0FFFFFF0) == 0x012FFF30) return true;                        // BLX reg
  // ARMv4T's indirect call: mov lr, pc then a jump (bx, mov pc, ldr pc, ldm {..pc}).
  bool jumps = (insn & 0x0FFFFFF0) == 0x012FFF10 || (insn & 0x0FFFFFF0) == 0x01A0F000 ||
               (insn & 0x0C50F000) == 0x0410F000 || (insn & 0x0E108000) == 0x08108000;
  return jumps && (word(p) & 0x0FFFFFFF) == 0x01A0E00F;
}

void ExecutionRecorder::check_return(uint32_t address) {
  bool have_sp = false;
  uint32_t sp = 0;
  for (size_t i = stack_.size(); i-- > 0;) {
    if (stack_[i].return_address != address) continue;
    if (!have_sp) {
      sp = board_.core().reg(ArmCore::SP);
      have_sp = true;
    }
    if (stack_[i].sp != sp) continue;
    close_frames(i);
    return;
  }
}

void ExecutionRecorder::push(uint32_t return_address, Call call) {
  if (stack_.size() >= kMaxDepth) {
    charge(stack_.front());
    --returns_[hash(stack_.front().return_address)];
    stack_.erase(stack_.begin());
  }
  stack_.push_back({return_address, board_.core().reg(ArmCore::SP), call, total_});
  ++returns_[hash(return_address)];
}

void ExecutionRecorder::close_frames(size_t keep) {
  while (stack_.size() > keep) {
    charge(stack_.back());
    --returns_[hash(stack_.back().return_address)];
    stack_.pop_back();
  }
}

void ExecutionRecorder::charge(const Frame& f) {
  CallCost& c = calls_[f.call];
  c.count += 1;
  c.inclusive.cycles += total_.cycles - f.start.cycles;
  c.inclusive.instructions += total_.instructions - f.start.instructions;
}

void ExecutionRecorder::finish() {
  settle(board_.core().pc());
  close_frames(0);
}

}  // namespace sim
