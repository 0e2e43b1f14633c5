#include "scheduler.h"

#include <algorithm>

namespace sim {

namespace {
constexpr VTime kResetCyclePeriod = kSecond / 8000000;  // Fin = 8 MHz until the PLL is set
}

Event::Event(Scheduler& scheduler, std::string name, Callback callback, int priority)
    : scheduler_(scheduler), name_(std::move(name)), callback_(std::move(callback)), priority_(priority) {}

Event::~Event() { cancel(); }

void Event::schedule_at(VTime when) { scheduler_.arm(this, when); }

void Event::schedule_in(VTime delta) { scheduler_.arm(this, scheduler_.now() + delta); }

void Event::cancel() {
  if (armed_) scheduler_.disarm(this);
}

Scheduler::Scheduler() : cycle_ps_(kResetCyclePeriod) {}

void Scheduler::reset() {
  for (Event* e : armed_) e->armed_ = false;
  armed_.clear();
  now_ = 0;
  cycles_ = 0;
  cycle_ps_ = kResetCyclePeriod;
  sequence_ = 0;
}

void Scheduler::cancel_all() {
  for (Event* e : armed_) e->armed_ = false;
  armed_.clear();
}

void Scheduler::set_cycle_period(VTime ps) {
  ps = ps ? ps : 1;
  // The cycles the CPU has already run in its slice keep the old rate: now()
  // stays where it is (unsigned wrap-around cancels out in now_ + n x ps).
  uint64_t inflight = inflight_cycles();
  now_ = now_ + inflight * cycle_ps_ - inflight * ps;
  cycle_ps_ = ps;
}

void Scheduler::arm(Event* event, VTime when) {
  VTime previous = next_deadline();
  if (!event->armed_) armed_.push_back(event);
  event->armed_ = true;
  event->when_ = when;
  event->sequence_ = ++sequence_;
  if (when < previous && deadline_listener_) deadline_listener_(when);
}

void Scheduler::disarm(Event* event) {
  event->armed_ = false;
  armed_.erase(std::find(armed_.begin(), armed_.end(), event));
}

Event* Scheduler::earliest() const {
  Event* best = nullptr;
  for (Event* e : armed_) {
    if (!best || e->when_ < best->when_ ||
        (e->when_ == best->when_ &&
         (e->priority_ > best->priority_ || (e->priority_ == best->priority_ && e->sequence_ < best->sequence_))))
      best = e;
  }
  return best;
}

VTime Scheduler::next_deadline() const {
  VTime best = kForever;
  for (Event* e : armed_) best = std::min(best, e->when_);
  return best;
}

VTime Scheduler::next_deadline(uint32_t sources) const {
  VTime best = kForever;
  for (Event* e : armed_)
    if (e->sources_ & sources) best = std::min(best, e->when_);
  return best;
}

void Scheduler::advance_clock(VTime to) {
  if (to <= now_) return;
  cycles_ += (to - now_) / cycle_ps_;
  now_ = to;
}

void Scheduler::fire_due() {
  // Callbacks run at their own due time, so a register they compute from the
  // clock, or an event they arm relative to now(), sees the time they were due.
  const bool nested = firing_;
  const VTime saved_now = firing_now_;
  const uint64_t saved_cycles = firing_cycles_;
  const VTime target = now();
  const uint64_t target_cycles = cycles();
  for (;;) {
    Event* e = earliest();
    if (!e || e->when_ > target) break;
    disarm(e);
    VTime due = e->when_;
    firing_ = true;
    firing_now_ = due;
    firing_cycles_ = target_cycles - std::min<uint64_t>(target_cycles, (target - due) / cycle_ps_);
    ++fired_;
    e->callback_(target - due);
  }
  firing_ = nested;
  firing_now_ = saved_now;
  firing_cycles_ = saved_cycles;
}

void Scheduler::run_cycles(uint64_t n) {
  cycles_ += n;
  now_ += n * cycle_ps_;
  fire_due();
}

void Scheduler::advance_to(VTime when) {
  // Fire events in order as time passes, so that an event armed by a callback
  // for a time before `when` also fires.
  for (;;) {
    VTime next = next_deadline();
    if (next > when) break;
    advance_clock(next);
    fire_due();
  }
  advance_clock(when);
}

}  // namespace sim
