#include "frontends/key_holds.h"

#include <algorithm>

#include "board/board.h"
#include "frontends/recorder.h"
#include "frontends/session.h"

namespace sim {

void KeyHolds::hold(view::Target t, bool down) {
  if (down) {
    releasing_.erase(t);
    if (!down_.count(t)) {
      apply_target(board_, session_.recorder, t, true);
      down_[t] = board_.now();
    }
    return;
  }
  auto it = down_.find(t);
  if (it != down_.end() && !releasing_.count(t)) releasing_[t] = std::max(board_.now(), it->second + kMinHold);
  apply_releases();
}

void KeyHolds::apply_releases() {
  for (auto it = releasing_.begin(); it != releasing_.end();) {
    if (it->second <= board_.now()) {
      apply_target(board_, session_.recorder, it->first, false);
      down_.erase(it->first);
      it = releasing_.erase(it);
    } else {
      ++it;
    }
  }
}

VTime KeyHolds::next_release() const {
  VTime next = kForever;
  for (const auto& [t, when] : releasing_) next = std::min(next, when);
  return next;
}

}  // namespace sim
