// Contact bounce of the board's mechanical switches (the 16 keys and the two
// push-buttons).
//
// A switch that closes or opens does not change cleanly: its contact makes
// and breaks a few times over a few milliseconds before it settles. Here each
// press and each release gives 3 or 5 transitions (the first at once, the
// last in the new state) with gaps of 50 us to 1 ms, so everything is over
// within 4 ms, well inside the 30 ms and 100 ms a debouncing program waits.
// The pattern comes from a small generator seeded per switch, so a run with
// the same inputs bounces the same way every time (runs stay reproducible).
//
// Without a scheduler, or with bounce turned off, a switch is ideal: one
// transition per press or release.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/scheduler.h"

namespace sim {

class ContactBounce {
 public:
  // `drive(closed)` sets the contact's electrical state.
  ContactBounce(Scheduler* scheduler, const std::string& name, uint32_t seed, std::function<void(bool)> drive);

  void set_enabled(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_ && event_; }

  // The switch is pressed (true) or released now.
  void change(bool closed);
  // Ends any bounce in progress: the contact takes the switch's state.
  void settle();
  bool bouncing() const { return event_ && event_->armed(); }

 private:
  uint32_t next_random();
  void flip(VTime late);

  Scheduler* scheduler_;
  std::unique_ptr<Event> event_;
  std::function<void(bool)> drive_;
  uint32_t state_;
  bool enabled_ = true;
  bool target_ = false;   // where the switch is going
  bool contact_ = false;  // where the contact is now
  std::vector<VTime> flips_;  // when the contact changes next, in order
  size_t next_flip_ = 0;
};

}  // namespace sim
