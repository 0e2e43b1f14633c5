#include "devices/uart.h"

#include <cmath>
#include <cstdio>

#include "core/log.h"

namespace sim {

namespace {
enum : uint32_t {
  kUconRxError = 0x40,    // Rx error status interrupt enable
  kUconTimeout = 0x80,    // Rx time-out enable (FIFO mode)
  kUconRxLevel = 0x100,   // Rx interrupt type: 1 level, 0 pulse
  kUconTxLevel = 0x200,   // Tx interrupt type
  kUconBreak = 0x10,      // send break (clears itself)
  kUfconRxReset = 0x2,    // self-clearing
  kUfconTxReset = 0x4,    // self-clearing
};
constexpr unsigned kTimeoutFrames = 3;
}  // namespace

Uart::Uart(std::string name, uint32_t base, Scheduler& scheduler, Intc& intc, int rx_irq, int tx_irq, int err_irq)
    : Device(std::move(name), base, 0x2C),
      scheduler_(scheduler),
      intc_(intc),
      rx_irq_(rx_irq),
      tx_irq_(tx_irq),
      err_irq_(err_irq),
      receiver_(scheduler, this->name() + " receives",
                [this] { return SerialReceiver::Settings{bit_clock(), format()}; },
                [this](const ReceivedFrame& f) { received(f); }),
      far_end_(scheduler, this->name(), txd_, rxd_),
      tx_event_(scheduler, this->name() + " transmit", [this](VTime late) { transmit_done(late); }),
      timeout_event_(scheduler, this->name() + " Rx time-out", [this](VTime late) { rx_timeout(late); }) {
  reset();
}

void Uart::reset() {
  ulcon_ = ucon_ = ufcon_ = umcon_ = ubrdiv_ = 0;
  uerstat_ = 0;
  tx_fifo_.clear();
  rx_fifo_.clear();
  shifting_ = break_pending_ = break_on_line_ = timed_out_ = quiet_ = false;
  last_rx_ = 0;
  frames_heard_ = 0;
  tx_event_.cancel();
  timeout_event_.cancel();
  intc_.set_line(rx_irq_, false);
  intc_.set_line(tx_irq_, false);
  // A frame half sent stops where it is; the pin goes back to idle.
  const VTime now = scheduler_.now();
  txd_.cut(now, true);
  loop_.cut(now, true);
  receiver_.listen(&rxd_);
  receiver_.restart();
  far_end_.board_reset();
}

BitClock Uart::bit_clock() const {
  // MCLK now, not when UBRDIV was written: the rate follows a PLL change.
  return BitClock::bit_time(16 * (static_cast<VTime>(ubrdiv_) + 1) * scheduler_.cycle_period());
}

SerialFormat Uart::format() const {
  SerialFormat f;
  f.data_bits = 5 + (ulcon_ & 3);
  f.stop_bits = (ulcon_ & 4) ? 2 : 1;
  switch ((ulcon_ >> 3) & 7) {
    case 4: f.parity = SerialFormat::Parity::kOdd; break;
    case 5: f.parity = SerialFormat::Parity::kEven; break;
    case 6: f.parity = SerialFormat::Parity::kMark; break;   // forced / checked as 1
    case 7: f.parity = SerialFormat::Parity::kSpace; break;  // forced / checked as 0
    default: f.parity = SerialFormat::Parity::kNone; break;
  }
  return f;
}

void Uart::report_once(const std::string& what) {
  if (reported_.insert(what).second) log(what);
}

void Uart::receive_when_enabled(const std::vector<uint8_t>& bytes) {
  if (rx_mode() != 0) far_end_.send(bytes);
  else waiting_input_.insert(waiting_input_.end(), bytes.begin(), bytes.end());
}

// --- Transmitter -----------------------------------------------------------

void Uart::set_clock_enabled(bool on) {
  gate_.on = on;
  if (on) start_transmit();
}

void Uart::start_transmit() {
  if (shifting_ || tx_mode() == 0) return;
  if ((!tx_fifo_.empty() || break_pending_) && !gate_.check(name(), gate_bit_)) return;
  const bool wired = loop_back() || !ports_ || ports_->pin_given(txd_pin_, name());
  SerialLine& line = loop_back() ? loop_ : wired ? txd_ : unwired_;
  const VTime now = scheduler_.now();
  VTime end;
  bool pulse = false;
  if (break_pending_) {
    break_pending_ = false;
    break_on_line_ = true;
    end = line.send_break(now, bit_clock(), format());
  } else if (!tx_fifo_.empty()) {
    const size_t before = tx_fifo_.size();
    const uint8_t byte = tx_fifo_.front();
    tx_fifo_.pop_front();
    if (!loop_back()) check_rates(true);
    end = line.send_frame(now, bit_clock(), format(), byte);
    pulse = fifo_on() ? before > tx_trigger() && tx_fifo_.size() <= tx_trigger() : true;
  } else {
    return;
  }
  shifting_ = true;
  tx_event_.schedule_at(end);
  update_tx_request(pulse);
}

void Uart::transmit_done(VTime) {
  shifting_ = false;
  if (break_on_line_) {
    break_on_line_ = false;
    ucon_ &= ~kUconBreak;
  }
  start_transmit();
}

void Uart::update_tx_request(bool pulse) {
  const bool enabled = tx_mode() == 1;
  if (ucon_ & kUconTxLevel) {
    bool room = fifo_on() ? tx_fifo_.size() <= tx_trigger() : tx_fifo_.empty();
    intc_.set_line(tx_irq_, enabled && room);
  } else {
    intc_.set_line(tx_irq_, false);
    if (enabled && pulse) intc_.request(tx_irq_);
  }
}

// --- Receiver --------------------------------------------------------------

void Uart::received(const ReceivedFrame& frame) {
  if (receiver_.line() == &rxd_) {
    ++frames_heard_;
    // An idle line is all the receiver hears without its pin or its clock.
    if (ports_ && !ports_->pin_given(rxd_pin_, name())) return;
    if (!gate_.check(name(), gate_bit_)) return;
    check_rates(false);
  }
  if (rx_mode() == 0) return;  // receiver disabled: the frame goes by
  if (fifo_on()) {
    if (rx_fifo_.size() >= kFifoSize) {
      uerstat_ |= kOverrunError;  // the new byte is lost
      error_request();
      return;
    }
    rx_fifo_.push_back({frame.byte, frame.errors});
    if (rx_fifo_.size() == 1 && frame.errors) error_request();
    timed_out_ = quiet_ = false;
    timeout_event_.schedule_at(scheduler_.now() + kTimeoutFrames * frame_time());
    update_rx_request(rx_fifo_.size() == rx_trigger());
  } else {
    bool overrun = !rx_fifo_.empty();
    rx_fifo_.assign(1, RxEntry{frame.byte, 0});
    uerstat_ |= frame.errors | (overrun ? kOverrunError : 0);
    if (overrun || frame.errors) error_request();
    update_rx_request(true);
  }
}

void Uart::rx_timeout(VTime) {
  quiet_ = true;
  // At or above the trigger level the bytes had their request; they time
  // out once reads bring them below it (read_rxh).
  if (!fifo_on() || !(ucon_ & kUconTimeout) || rx_fifo_.empty() || rx_fifo_.size() >= rx_trigger()) return;
  timed_out_ = true;
  update_rx_request(true);
}

uint8_t Uart::read_rxh() {
  if (rx_fifo_.empty()) return last_rx_;  // nothing new: the last byte again
  last_rx_ = rx_fifo_.front().byte;
  rx_fifo_.pop_front();
  if (fifo_on() && !rx_fifo_.empty() && rx_fifo_.front().errors) error_request();
  bool pulse = false;
  if (rx_fifo_.empty()) timed_out_ = false;
  else if (quiet_ && !timed_out_ && fifo_on() && (ucon_ & kUconTimeout) && rx_fifo_.size() < rx_trigger())
    timed_out_ = pulse = true;  // below the trigger level after 3 word times without a byte
  update_rx_request(pulse);
  return last_rx_;
}

uint32_t Uart::read_uerstat() {
  uint32_t v = uerstat_;
  uerstat_ = 0;
  if (fifo_on() && !rx_fifo_.empty()) {
    v |= rx_fifo_.front().errors;
    rx_fifo_.front().errors = 0;
  }
  return v;
}

void Uart::update_rx_request(bool pulse) {
  const bool enabled = rx_mode() == 1;
  if (ucon_ & kUconRxLevel) {
    bool data = fifo_on() ? rx_fifo_.size() >= rx_trigger() || timed_out_ : !rx_fifo_.empty();
    intc_.set_line(rx_irq_, enabled && data);
  } else {
    intc_.set_line(rx_irq_, false);
    if (enabled && pulse) intc_.request(rx_irq_);
  }
}

void Uart::error_request() {
  if (ucon_ & kUconRxError) intc_.request(err_irq_);
}

// A terminal does not follow the board: say so once when the two ends cannot
// decode each other.
void Uart::check_rates(bool sending) {
  RateKey key{ubrdiv_, ulcon_ & 0x3F, far_end_.baud(), scheduler_.cycle_period()};
  if (key == checked_) return;
  const BitClock mine = bit_clock(), far = far_end_.clock();
  const SerialFormat f = format(), ff = SerialTerminal::format();
  if (sending ? decodable(mine, f, far, ff) : decodable(far, ff, mine, f)) {
    checked_ = key;
    return;
  }
  char text[320];
  std::snprintf(text, sizeof text,
                "the firmware's line runs at %.0f baud %s (UBRDIV %u, ULCON 0x%02X, MCLK %.6g MHz), the far end's at "
                "%u baud %s (--uart-baud): %.1f %% apart%s, too far for either to decode the other, so bytes are "
                "garbled both ways, as on the board",
                mine.rate(), f.describe().c_str(), ubrdiv_, ulcon_, static_cast<double>(scheduler_.mclk_hz()) / 1e6,
                far_end_.baud(), ff.describe().c_str(), 100.0 * std::fabs(mine.rate() / far.rate() - 1.0),
                f.data_bits != ff.data_bits || f.parity != ff.parity ? " and another frame" : "");
  report_once(text);
}

// --- Registers -------------------------------------------------------------

uint32_t Uart::read(uint32_t offset, unsigned) {
  switch (offset) {
    case ULCON: return ulcon_;
    case UCON: return ucon_;
    case UFCON: return ufcon_;
    case UMCON: return umcon_;
    case UTRSTAT: {
      bool tx_empty = tx_fifo_.empty();
      return (rx_fifo_.empty() ? 0u : 1u) | (tx_empty ? 2u : 0u) |
             (tx_empty && !shifting_ && !break_pending_ ? 4u : 0u);
    }
    case UERSTAT: return read_uerstat();
    case UFSTAT: {
      if (!fifo_on()) return 0;
      auto rx = static_cast<uint32_t>(rx_fifo_.size()), tx = static_cast<uint32_t>(tx_fifo_.size());
      // A full FIFO's count field reads 0 beside its full bit.
      return (rx >= kFifoSize ? 0x100u : rx) | (tx >= kFifoSize ? 0x200u : tx << 4);
    }
    case UMSTAT: return 0;  // nCTS is not wired
    case URXH:
    case URXH + 3: return read_rxh();
    case UBRDIV: return ubrdiv_;
    case UTXH:
    case UTXH + 3: return 0;  // write-only
    default: log_unmodelled(offset, false); return 0;
  }
}

uint32_t Uart::peek(uint32_t offset, unsigned size) {
  if (offset == URXH || offset == URXH + 3) return rx_fifo_.empty() ? last_rx_ : rx_fifo_.front().byte;
  if (offset == UERSTAT) return uerstat_ | (fifo_on() && !rx_fifo_.empty() ? rx_fifo_.front().errors : 0u);
  return Device::peek(offset, size);
}

void Uart::write(uint32_t offset, uint32_t value, unsigned) {
  switch (offset) {
    case ULCON:
      ulcon_ = value & 0x7F;
      if (value & 0x40) report_once("infra-red mode (ULCON[6]) is not modelled; the line works as in normal mode");
      return;
    case UCON: {
      const bool breaking = break_pending_ || break_on_line_;
      ucon_ = value & 0x3FF;
      if ((value & kUconBreak) && !breaking) break_pending_ = true;
      if (!(value & kUconBreak) && break_pending_) break_pending_ = false;  // withdrawn before it began
      if (break_pending_ || break_on_line_) ucon_ |= kUconBreak;
      if (rx_mode() >= 2 || tx_mode() >= 2)
        report_once("UCON's DMA modes (receive or transmit mode 1x) are not modelled: data moves as in "
                    "interrupt/polling mode and no DMA request is made");
      receiver_.listen(loop_back() ? &loop_ : &rxd_);
      if (rx_mode() != 0 && !waiting_input_.empty()) {
        far_end_.send(waiting_input_);
        waiting_input_.clear();
      }
      start_transmit();
      update_rx_request(false);
      update_tx_request(false);
      return;
    }
    case UFCON:
      if (value & kUfconRxReset) {
        rx_fifo_.clear();
        timed_out_ = quiet_ = false;
      }
      if (value & kUfconTxReset) tx_fifo_.clear();
      ufcon_ = value & 0xF1;  // the reset bits read 0
      update_rx_request(false);
      update_tx_request(false);
      return;
    case UMCON:
      umcon_ = value & 0x11;
      if (value & 0x10)
        report_once("auto flow control (UMCON[4]) is not modelled: nRTS and nCTS are not wired to the far end");
      return;
    case UTXH:
    case UTXH + 3: {
      const uint8_t byte = static_cast<uint8_t>(value);
      if (tx_fifo_.size() >= (fifo_on() ? kFifoSize : 1)) {
        if (fifo_on()) {
          report_once("UTXH written while the Tx FIFO is full: the byte is lost");
        } else {
          report_once("UTXH written while the transmit holding register is full: the byte it held is lost");
          tx_fifo_.back() = byte;
        }
        return;
      }
      if (tx_mode() == 0)
        report_once("UTXH written while UCON's transmit mode is 00 (disabled): the byte waits, unsent");
      tx_fifo_.push_back(byte);
      start_transmit();
      update_tx_request(false);
      return;
    }
    case UBRDIV:
      ubrdiv_ = value & 0xFFFF;
      if (frames_heard_ && !peeking())
        report_once(std::to_string(frames_heard_) + (frames_heard_ == 1 ? " byte" : " bytes") +
                    " from the far end had arrived before the program set UBRDIV at " +
                    format_duration(scheduler_.now()) +
                    ": they met a receiver the program had not set up yet (with the FIFOs off each overwrote the one "
                    "before), as on the board; send input once the program is ready, e.g. in a script: expect uart "
                    "\"<its prompt>\", then uart \"...\" (--uart-in is sent from the start)");
      return;
    case UTRSTAT:
    case UERSTAT:
    case UFSTAT:
    case UMSTAT:
    case URXH:
    case URXH + 3: report_once("write to a read-only register ignored (" + hex32(base() + offset) + ")"); return;
    default: log_unmodelled(offset, true); return;
  }
}

}  // namespace sim
