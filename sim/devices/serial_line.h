// An asynchronous serial line as a waveform in virtual time, and the two ends
// that meet on it.
//
// A transmitter drives whole frames onto a SerialLine (start bit low, data
// LSB first, parity, stop bits high; idle high). A SerialReceiver decodes a
// line as a UART receiver does: it waits for the line to be low (a start
// bit), then samples the middle of each bit at *its own* bit time. When the
// two ends' rates or frames disagree, it therefore sees what a real receiver
// sees: shifted bits, frame and parity errors, false starts, deterministically.
//
// Judgement calls, as on common UARTs (16550 and the S3C44B0X's alike):
// - only the first stop bit is checked;
// - after a frame error the receiver hunts for the next start bit at once
//   (the low stop bit may be the next frame's start bit);
// - a break (every bit low, stop included) is reported once, and the
//   receiver then waits for the line to go high before it hunts again.
//
// SerialTerminal is the far end of a board UART: the PC's serial port at a
// fixed rate and 8N1. It does not follow the board's rate: it decodes what
// the board sends at its own rate, and sends at its own rate.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/scheduler.h"
#include "core/vtime.h"

namespace sim {

struct SerialFormat {
  enum class Parity { kNone, kOdd, kEven, kMark, kSpace };
  unsigned data_bits = 8;
  Parity parity = Parity::kNone;
  unsigned stop_bits = 1;

  unsigned parity_bits() const { return parity == Parity::kNone ? 0 : 1; }
  unsigned frame_bits() const { return 1 + data_bits + parity_bits() + stop_bits; }
  // Bit index (from the start bit, 0) of the first stop bit.
  unsigned stop_index() const { return 1 + data_bits + parity_bits(); }
  std::string describe() const;  // "8N1", "7E2", "8M1"
  bool operator==(const SerialFormat& o) const {
    return data_bits == o.data_bits && parity == o.parity && stop_bits == o.stop_bits;
  }
};

// A line rate: one bit lasts num / den picoseconds, exact both for rates
// derived from MCLK (den 1) and for a terminal's nominal baud (num 1 s).
struct BitClock {
  VTime num = kSecond;
  uint64_t den = 115200;

  static BitClock baud(uint32_t rate) { return {kSecond, rate}; }
  static BitClock bit_time(VTime ps) { return {ps, 1}; }
  // The time half_bits / 2 bit times after a frame's start (rounded down).
  VTime half_bits(uint64_t n) const { return n * num / (2 * den); }
  VTime bits(uint64_t n) const { return n * num / den; }
  double rate() const { return static_cast<double>(den) * kSecond / static_cast<double>(num); }
};

// Whether a receiver at `rx` decodes frames sent at `tx` without errors: the
// same data bits and parity, and the middle of the receiver's first stop bit
// inside the sender's stop bit for back-to-back frames.
bool decodable(const BitClock& tx, const SerialFormat& tx_format, const BitClock& rx, const SerialFormat& rx_format);

// UERSTAT's bits, also used for what a receiver found wrong with a frame.
enum : uint8_t { kOverrunError = 1, kParityError = 2, kFrameError = 4, kBreakError = 8 };

class SerialLine {
 public:
  // Idle (high), no history.
  void reset();
  bool level_at(VTime t) const;
  // From `at` on the line is at `level`; `at` is never before the last change.
  void drive(VTime at, bool level);
  // Forgets every change after `at` and drives `level` from there (a
  // transmitter stopped in the middle of a frame).
  void cut(VTime at, bool level);
  // The first time at or after t at which the line is at `level`, as far as
  // the changes driven so far tell.
  std::optional<VTime> next(VTime t, bool level) const;
  // The reader has decided everything before t.
  void forget_before(VTime t);
  // Told after every drive or cut. A line without a reader keeps no history.
  void set_reader(std::function<void()> reader) { reader_ = std::move(reader); }

  // One frame of `byte` from `start`; returns the time the frame ends.
  VTime send_frame(VTime start, const BitClock& clock, const SerialFormat& format, uint8_t byte);
  // A break: the line low for one frame's time from `start`; returns its end.
  VTime send_break(VTime start, const BitClock& clock, const SerialFormat& format);

 private:
  bool base_ = true;  // the level before the first change kept
  std::deque<std::pair<VTime, bool>> changes_;
  std::function<void()> reader_;
};

struct ReceivedFrame {
  uint8_t byte;
  uint8_t errors;  // kParityError | kFrameError | kBreakError
};

class SerialReceiver {
 public:
  struct Settings {
    BitClock clock;
    SerialFormat format;
  };
  // `settings` is asked at each start bit; `deliver` is called when the
  // first stop bit has been sampled, at that time.
  SerialReceiver(Scheduler& scheduler, std::string name, std::function<Settings()> settings,
                 std::function<void(const ReceivedFrame&)> deliver);

  // Decodes `line` from now on (nullptr: nothing).
  void listen(SerialLine* line);
  SerialLine* line() const { return line_; }
  // Drops a frame half received and, once the line is idle (high), hunts
  // for the next start bit: a receiver coming out of reset.
  void restart();
  // Goes on with the frame in progress after the scheduler forgot this
  // receiver's event (a chip reset of the board it listens to).
  void resume() { process(); }
  bool in_frame() const { return in_frame_; }
  // The line has changed: decide what can be decided.
  void poke();

 private:
  void process();

  Scheduler& scheduler_;
  std::function<Settings()> settings_;
  std::function<void(const ReceivedFrame&)> deliver_;
  Event event_;
  SerialLine* line_ = nullptr;
  bool in_frame_ = false;
  bool wait_high_ = false;  // after a break, until the line goes high
  VTime hunt_from_ = 0;
  VTime start_ = 0;
  Settings frame_{};
};

// The far end of a board UART (a terminal, --uart-in, a scenario): 8N1 at
// a fixed rate, decoding the board's TxD and driving its RxD.
class SerialTerminal {
 public:
  static constexpr uint32_t kDefaultBaud = 115200;

  SerialTerminal(Scheduler& scheduler, const std::string& name, SerialLine& from_board, SerialLine& to_board);

  void set_baud(uint32_t baud) { clock_ = BitClock::baud(baud); }
  uint32_t baud() const { return static_cast<uint32_t>(clock_.den); }
  const BitClock& clock() const { return clock_; }
  static SerialFormat format() { return SerialFormat{}; }

  // Bytes to send, back to back from now (after those still queued).
  void send(const std::vector<uint8_t>& bytes);
  // Every byte decoded from the board's line, as decoded.
  void set_listener(std::function<void(uint8_t)> listener) { listener_ = std::move(listener); }
  bool sending() const { return !queue_.empty() || tx_event_.armed(); }
  // Bytes waiting to be sent (the frame on the line not counted).
  size_t queued() const { return queue_.size(); }
  bool receiving() const { return rx_.in_frame(); }
  // The board was reset: what it half sent is decoded as the pin left it;
  // what we send goes on.
  void board_reset();

 private:
  void next_frame(VTime late);

  Scheduler& scheduler_;
  SerialLine& to_board_;
  BitClock clock_ = BitClock::baud(kDefaultBaud);
  SerialReceiver rx_;
  Event tx_event_;
  VTime tx_end_ = 0;  // when the frame being sent ends
  std::deque<uint8_t> queue_;
  std::function<void(uint8_t)> listener_;
};

}  // namespace sim
