// The keys and push-buttons a front end (the window, the web page) holds on
// the board. A key is held as long as the person holds it, but at least
// kMinHold of virtual time: a tap that comes and goes between two slices of
// the run still reaches the firmware as a press. Presses and releases go to
// the recorder (--record) as the board gets them.
#pragma once
#include <map>

#include "core/vtime.h"
#include "frontends/board_view.h"

namespace sim {

class Board;
struct Session;

class KeyHolds {
 public:
  static constexpr VTime kMinHold = 50 * kMillisecond;

  KeyHolds(Board& board, const Session& session) : board_(board), session_(session) {}

  // The person holds `t` (down) or lets it go: a release waits for kMinHold.
  void hold(view::Target t, bool down);
  // Releases whose time has come.
  void apply_releases();
  VTime next_release() const;
  // Something is held or waits for its release.
  bool busy() const { return !down_.empty() || !releasing_.empty(); }
  const std::map<view::Target, VTime>& down() const { return down_; }

 private:
  Board& board_;
  const Session& session_;
  std::map<view::Target, VTime> down_;       // held on the board, since when
  std::map<view::Target, VTime> releasing_;  // let go, released at this virtual time
};

}  // namespace sim
