// What the window and the terminal mode share: UART0's console on the
// terminal that started board-sim, pacing virtual time to the wall clock,
// and the texts of the status line.
#pragma once
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "board/board.h"
#include "core/vtime.h"

namespace sim {

// Standard input in raw mode while it lives (when it is a terminal): every
// key reaches the firmware as typed, Enter as a carriage return; Ctrl-C
// still interrupts. Output processing stays on, so "\n" starts a new line.
class RawConsole {
 public:
  RawConsole();
  ~RawConsole();
  RawConsole(const RawConsole&) = delete;
  RawConsole& operator=(const RawConsole&) = delete;

  bool is_terminal() const { return restore_; }
  // The bytes typed since the last call, without waiting; none after the
  // end of the input.
  std::vector<uint8_t> read_available();
  bool at_end() const { return eof_; }

 private:
  termios saved_{};
  bool restore_ = false;
  bool eof_ = false;
};

// Keeps virtual time in step with the wall clock, or lets it run free
// (fast-forward). A host that cannot keep up falls behind by at most
// kMaxLag and then carries on from there, rather than racing afterwards.
class Pacer {
 public:
  static constexpr VTime kMaxLag = 200 * kMillisecond;
  using Clock = std::chrono::steady_clock;

  explicit Pacer(VTime now);
  void set_fast(bool fast, VTime now);
  // Starts again from `now`, as after time that stood still (a debugger's
  // hold): no rush to catch up.
  void restart(VTime now) { anchor(now); }
  bool fast() const { return fast_; }
  // Where the board should be now: in real time the virtual time matching
  // the wall clock, in fast-forward kForever.
  VTime due(VTime now);
  // Virtual seconds per wall second, measured over about half a second.
  double speed(VTime now);

 private:
  void anchor(VTime now);

  bool fast_ = false;
  VTime virtual_anchor_ = 0;
  Clock::time_point wall_anchor_;
  VTime sample_virtual_ = 0;
  Clock::time_point sample_wall_;
  double speed_ = 1.0;
};

// "12.345 s"
std::string format_seconds(VTime t);
// "1.00x real time", "37.5x fast-forward"
std::string format_speed(double speed, bool fast);
// The codec's state for the status line: "codec: DAC on, ADC off, -6 dB, muted".
std::string codec_status(Board& board);

}  // namespace sim
