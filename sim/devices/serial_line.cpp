#include "devices/serial_line.h"

#include <algorithm>

namespace sim {

std::string SerialFormat::describe() const {
  static const char kParity[] = {'N', 'O', 'E', 'M', 'S'};
  return std::to_string(data_bits) + kParity[static_cast<int>(parity)] + std::to_string(stop_bits);
}

bool decodable(const BitClock& tx, const SerialFormat& tx_format, const BitClock& rx, const SerialFormat& rx_format) {
  if (tx_format.data_bits != rx_format.data_bits || tx_format.parity != rx_format.parity) return false;
  // Bit k of the sender spans [k Ts, (k+1) Ts); the receiver samples its stop
  // bit k at (k + 1/2) Tr, the point that drifts most. In halves of a bit:
  // 2k Ts <= (2k+1) Tr < 2(k + stop bits) Ts, with T = num / den.
  using Wide = unsigned __int128;
  const unsigned k = rx_format.stop_index();
  Wide ts = static_cast<Wide>(tx.num) * rx.den;  // both scaled by tx.den * rx.den
  Wide tr = static_cast<Wide>(rx.num) * tx.den;
  Wide sample = (2 * k + 1) * tr;
  return 2 * k * ts <= sample && sample < 2 * (k + tx_format.stop_bits) * ts;
}

// --- SerialLine ------------------------------------------------------------

void SerialLine::reset() {
  base_ = true;
  changes_.clear();
  if (reader_) reader_();
}

bool SerialLine::level_at(VTime t) const {
  // The last change at or before t.
  auto it = std::upper_bound(changes_.begin(), changes_.end(), t,
                             [](VTime v, const std::pair<VTime, bool>& c) { return v < c.first; });
  return it == changes_.begin() ? base_ : std::prev(it)->second;
}

std::optional<VTime> SerialLine::next(VTime t, bool level) const {
  if (level_at(t) == level) return t;
  auto it = std::upper_bound(changes_.begin(), changes_.end(), t,
                             [](VTime v, const std::pair<VTime, bool>& c) { return v < c.first; });
  // Consecutive changes alternate, so the first change after t goes to `level`.
  if (it == changes_.end()) return std::nullopt;
  return it->first;
}

void SerialLine::forget_before(VTime t) {
  while (!changes_.empty() && changes_.front().first <= t) {
    base_ = changes_.front().second;
    changes_.pop_front();
  }
}

void SerialLine::drive(VTime at, bool level) {
  if (!changes_.empty()) at = std::max(at, changes_.back().first);
  bool current = changes_.empty() ? base_ : changes_.back().second;
  if (!reader_) forget_before(at);  // nobody will look back
  if (current == level) return;
  if (!changes_.empty() && changes_.back().first == at) {
    changes_.pop_back();  // a change of zero length
    return;
  }
  changes_.emplace_back(at, level);
}

void SerialLine::cut(VTime at, bool level) {
  while (!changes_.empty() && changes_.back().first >= at) changes_.pop_back();
  drive(at, level);
  if (reader_) reader_();
}

VTime SerialLine::send_frame(VTime start, const BitClock& clock, const SerialFormat& format, uint8_t byte) {
  unsigned bit = 0;
  drive(start, false);  // start bit
  for (unsigned i = 0; i < format.data_bits; ++i) drive(start + clock.bits(++bit), (byte >> i) & 1);
  if (format.parity != SerialFormat::Parity::kNone) {
    unsigned ones = static_cast<unsigned>(__builtin_popcount(byte & ((1u << format.data_bits) - 1)));
    bool p = false;
    switch (format.parity) {
      case SerialFormat::Parity::kOdd: p = (ones & 1) == 0; break;
      case SerialFormat::Parity::kEven: p = (ones & 1) == 1; break;
      case SerialFormat::Parity::kMark: p = true; break;
      default: p = false; break;
    }
    drive(start + clock.bits(++bit), p);
  }
  drive(start + clock.bits(++bit), true);  // stop bits
  if (reader_) reader_();
  return start + clock.bits(format.frame_bits());
}

VTime SerialLine::send_break(VTime start, const BitClock& clock, const SerialFormat& format) {
  VTime end = start + clock.bits(format.frame_bits());
  drive(start, false);
  drive(end, true);
  if (reader_) reader_();
  return end;
}

// --- SerialReceiver --------------------------------------------------------

SerialReceiver::SerialReceiver(Scheduler& scheduler, std::string name, std::function<Settings()> settings,
                               std::function<void(const ReceivedFrame&)> deliver)
    : scheduler_(scheduler),
      settings_(std::move(settings)),
      deliver_(std::move(deliver)),
      event_(scheduler, std::move(name), [this](VTime) { process(); }) {}

void SerialReceiver::listen(SerialLine* line) {
  if (line == line_) return;
  if (line_) line_->set_reader(nullptr);
  line_ = line;
  if (line_) line_->set_reader([this] { poke(); });
  restart();
}

void SerialReceiver::restart() {
  event_.cancel();
  in_frame_ = false;
  wait_high_ = true;
  hunt_from_ = scheduler_.now();
  process();
}

void SerialReceiver::poke() {
  if (!in_frame_ && !event_.armed()) process();
}

void SerialReceiver::process() {
  if (!line_) return;
  const VTime now = scheduler_.now();
  auto sample = [&](unsigned bit) { return line_->level_at(start_ + frame_.clock.half_bits(2 * bit + 1)); };
  for (;;) {
    if (!in_frame_) {
      if (wait_high_) {
        auto high = line_->next(hunt_from_, true);
        if (!high) return;
        hunt_from_ = *high;
        wait_high_ = false;
      }
      line_->forget_before(hunt_from_);
      auto low = line_->next(hunt_from_, false);
      if (!low) return;
      start_ = *low;
      frame_ = settings_();
      in_frame_ = true;
    }
    const VTime decide = start_ + frame_.clock.half_bits(2 * frame_.format.stop_index() + 1);
    if (decide > now) {
      event_.schedule_at(decide);
      return;
    }
    in_frame_ = false;
    if (sample(0)) {  // high again in the middle of the start bit: a glitch, not a frame
      hunt_from_ = start_ + frame_.clock.half_bits(1);
      continue;
    }
    const SerialFormat& f = frame_.format;
    uint8_t byte = 0;
    bool all_low = true;
    for (unsigned i = 0; i < f.data_bits; ++i) {
      bool b = sample(1 + i);
      byte |= static_cast<uint8_t>(b << i);
      all_low = all_low && !b;
    }
    uint8_t errors = 0;
    if (f.parity != SerialFormat::Parity::kNone) {
      bool p = sample(1 + f.data_bits);
      all_low = all_low && !p;
      bool odd = (__builtin_popcount(byte) + (p ? 1 : 0)) & 1;
      bool ok = f.parity == SerialFormat::Parity::kOdd    ? odd
                : f.parity == SerialFormat::Parity::kEven ? !odd
                : f.parity == SerialFormat::Parity::kMark ? p
                                                          : !p;
      if (!ok) errors |= kParityError;
    }
    if (!sample(f.stop_index())) {
      if (all_low) errors = kBreakError;
      else errors |= kFrameError;
    }
    hunt_from_ = decide;
    wait_high_ = errors == kBreakError;
    deliver_(ReceivedFrame{byte, errors});
    if (!line_) return;
  }
}

// --- SerialTerminal --------------------------------------------------------

SerialTerminal::SerialTerminal(Scheduler& scheduler, const std::string& name, SerialLine& from_board,
                               SerialLine& to_board)
    : scheduler_(scheduler),
      to_board_(to_board),
      rx_(scheduler, name + " far end receives", [this] { return SerialReceiver::Settings{clock_, format()}; },
          [this](const ReceivedFrame& f) {
            if (listener_) listener_(f.byte);
          }),
      tx_event_(scheduler, name + " far end sends", [this](VTime late) { next_frame(late); }) {
  rx_.listen(&from_board);
}

void SerialTerminal::send(const std::vector<uint8_t>& bytes) {
  queue_.insert(queue_.end(), bytes.begin(), bytes.end());
  if (!tx_event_.armed()) next_frame(0);
}

void SerialTerminal::next_frame(VTime) {
  if (queue_.empty()) return;
  uint8_t byte = queue_.front();
  queue_.pop_front();
  tx_end_ = to_board_.send_frame(scheduler_.now(), clock_, format(), byte);
  tx_event_.schedule_at(tx_end_);
}

void SerialTerminal::board_reset() {
  rx_.resume();
  // A chip reset forgets every armed event, ours too; the terminal goes on.
  const VTime now = scheduler_.now();
  if (!tx_event_.armed() && (tx_end_ > now || !queue_.empty())) tx_event_.schedule_at(std::max(tx_end_, now));
}

}  // namespace sim
