#include "core/bus.h"

#include <algorithm>

#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

void Bus::attach(Device* device) {
  uint32_t base = device->base();
  if (base >= chip::kSfrBase && base < chip::kSfrBase + chip::kSfrSize) {
    uint32_t first = (base - chip::kSfrBase) >> 14;
    uint32_t last = (base + device->size() - 1 - chip::kSfrBase) >> 14;
    for (uint32_t slot = first; slot <= last && slot < sfr_.size(); ++slot) sfr_[slot] = device;
  } else {
    external_.push_back(device);
  }
}

Device* Bus::find(uint32_t address) const {
  if (address >= chip::kSfrBase && address < chip::kSfrBase + chip::kSfrSize) {
    // The whole 16 KB slot goes to the block's model: an offset past its
    // registers is its to report.
    return sfr_[(address - chip::kSfrBase) >> 14];
  }
  for (Device* d : external_)
    if (address >= d->base() && address - d->base() < d->size()) return d;
  return nullptr;
}

void Bus::trace(char kind, uint32_t address, uint32_t value, unsigned size) {
  if (trace_)
    std::fprintf(trace_, "%llu %c %08X %08X %u\n", static_cast<unsigned long long>(scheduler_.cycles()), kind, address,
                 value, size);
}

uint32_t Bus::read(uint32_t address, unsigned size) {
  Device* device = find(address);
  uint32_t value = 0;
  if (device) {
    value = device->read(address - device->base(), size);
  } else if (unclaimed_.insert(address).second) {
    log_warning("bus", "read of " + hex32(address) + ": no register there, reads 0 (reported once)");
  }
  if (size < 4) value &= (1u << (8 * size)) - 1;
  trace('R', address, value, size);
  for (auto& w : watchers_) w(false, address, value, size);
  if (device && idle_detection_) note_read(device, address, value, size);
  return value;
}

void Bus::write(uint32_t address, uint32_t value, unsigned size) {
  if (size < 4) value &= (1u << (8 * size)) - 1;
  trace('W', address, value, size);
  for (auto& w : watchers_) w(true, address, value, size);
  forget_history();  // a write may change what the loop reads
  Device* device = find(address);
  if (device) {
    device->write(address - device->base(), value, size);
  } else if (unclaimed_.insert(address).second) {
    log_warning("bus", "write of " + hex32(value) + " to " + hex32(address) +
                           ": no register there, ignored (reported once)");
  }
}

// A polling loop reads the same few registers in the same order, with the
// same number of instructions between the reads, and gets the same values.
// We look for a period of 1..4 reads repeated four times over; then nothing
// the loop sees can change before the next event or before one of the
// registers' own next change.
void Bus::trace_passed_read(uint64_t ahead, uint32_t address, uint32_t value, unsigned size) {
  if (trace_)
    std::fprintf(trace_, "%llu R %08X %08X %u\n", static_cast<unsigned long long>(scheduler_.cycles() + ahead), address,
                 value, size);
}

void Bus::trace_poll_turns(uint64_t from, uint64_t turns) {
  if (!trace_ || found_period_ == 0 || turns == 0) return;
  const uint64_t turn = idle_turn_cycles_, end = from + turns * turn;
  struct Line {
    uint64_t cycle;
    int order;
    const Read* read;
  };
  std::vector<Line> first;
  for (int i = found_period_ - 1; i >= 0; --i) {
    const Read& r = history_[(history_head_ - 1 - i) & (kHistory - 1)];
    // Its first repetition at or after `from`.
    uint64_t m = r.cycles >= from ? 0 : (from - r.cycles + turn - 1) / turn;
    first.push_back({r.cycles + m * turn, found_period_ - 1 - i, &r});
  }
  std::sort(first.begin(), first.end(), [](const Line& a, const Line& b) {
    return a.cycle != b.cycle ? a.cycle < b.cycle : a.order < b.order;
  });
  for (uint64_t base = 0; base < turns * turn; base += turn)
    for (const Line& l : first)
      if (l.cycle + base < end)
        std::fprintf(trace_, "%llu R %08X %08X %u\n", static_cast<unsigned long long>(l.cycle + base), l.read->address,
                     l.read->value, l.read->size);
}

void Bus::note_read(Device* device, uint32_t address, uint32_t value, unsigned size) {
  uint64_t position = position_ ? *position_ : 0;
  uint64_t cycles = scheduler_.cycles();
  const Read& before = history_[(history_head_ - 1) & (kHistory - 1)];
  history_[history_head_] = {address, value, pc_ ? *pc_ : 0, size, position, cycles, position - before.position,
                             cycles - before.cycles};
  history_device_[history_head_] = device;
  history_head_ = (history_head_ + 1) & (kHistory - 1);
  if (history_count_ < static_cast<int>(kHistory)) ++history_count_;

  // A poll found and not yet taken (the turn goes on to its block's end):
  // no new check before the board takes it, which would forget what the
  // checked turn was.
  if (idle_until_ != 0) return;
  auto at = [&](int back) -> const Read& { return history_[(history_head_ - 1 - back) & (kHistory - 1)]; };
  constexpr int kRepeats = 4;
  // A loop checked to leave its state alone may do more between its reads.
  const uint64_t kMaxLoopInstructions = check_begin_ ? 256 : 64;
  for (int period = 1; period <= 4; ++period) {
    int needed = period * kRepeats + 1;
    if (history_count_ < needed) break;
    bool loop = true;
    for (int i = 0; i + period < needed && loop; ++i) {
      const Read& a = at(i);
      const Read& b = at(i + period);
      loop = a.address == b.address && a.value == b.value && a.pc == b.pc &&
             (i + period + 1 >= needed || (a.position_step == b.position_step && a.cycles_step == b.cycles_step));
    }
    if (!loop) continue;
    if (at(0).position - at(period).position > kMaxLoopInstructions) continue;
    VTime until = kForever;
    for (int i = 0; i < period; ++i) {
      unsigned index = (history_head_ - 1 - i) & (kHistory - 1);
      Device* d = history_device_[index];
      until = std::min(until, d->stable_until(history_[index].address - d->base()));
    }
    if (until <= scheduler_.now()) break;
    if (check_begin_) {
      if (!checking_) {
        checking_ = true;
        check_period_ = period;
        check_reads_left_ = period;
        check_begin_();
        return;
      }
      if (period != check_period_) break;
      if (--check_reads_left_ > 0) return;
      checking_ = false;
      if (!check_unchanged_()) {
        history_count_ = 0;  // it works as it polls: look again from scratch
        return;
      }
    }
    idle_until_ = until;
    found_fired_ = scheduler_.fired();
    idle_turn_cycles_ = at(0).cycles - at(period).cycles;
    found_period_ = period;
    if (idle_listener_) idle_listener_();
    return;
  }
  // No loop (any more): a turn under the checker ends unfinished.
  end_check();
}

}  // namespace sim
