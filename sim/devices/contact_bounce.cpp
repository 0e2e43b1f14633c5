#include "devices/contact_bounce.h"

#include "core/s3c44b0x.h"

namespace sim {

namespace {
constexpr VTime kMinGap = 50 * kMicrosecond;
constexpr VTime kGapSpread = 950 * kMicrosecond;
}  // namespace

ContactBounce::ContactBounce(Scheduler* scheduler, const std::string& name, uint32_t seed,
                             std::function<void(bool)> drive)
    : scheduler_(scheduler), drive_(std::move(drive)), state_(seed ? seed : 1) {
  if (scheduler_) {
    event_ = std::make_unique<Event>(*scheduler_, name + "-bounce", [this](VTime late) { flip(late); });
    // The board's switches reach the interrupt controller only through the
    // port pins' external interrupts.
    event_->set_interrupt_sources(chip::kEintSources);
  }
}

// xorshift32: small, fast and the same on every host.
uint32_t ContactBounce::next_random() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

void ContactBounce::change(bool closed) {
  target_ = closed;
  flips_.clear();
  next_flip_ = 0;
  if (event_) event_->cancel();
  contact_ = closed;
  drive_(closed);
  if (!enabled()) return;
  int extra = (next_random() & 1) ? 4 : 2;  // 3 or 5 transitions in all
  VTime t = scheduler_->now();
  for (int i = 0; i < extra; ++i) {
    t += kMinGap + next_random() % kGapSpread;
    flips_.push_back(t);
  }
  event_->schedule_at(flips_[0]);
}

void ContactBounce::flip(VTime) {
  contact_ = !contact_;
  drive_(contact_);
  if (++next_flip_ < flips_.size()) event_->schedule_at(flips_[next_flip_]);
}

void ContactBounce::settle() {
  if (event_) event_->cancel();
  flips_.clear();
  next_flip_ = 0;
  if (contact_ != target_) {
    contact_ = target_;
    drive_(contact_);
  }
}

}  // namespace sim
