#include "devices/uart.h"

namespace sim {

namespace {
enum : uint32_t {
  ULCON = 0x00,
  UCON = 0x04,
  UFCON = 0x08,
  UMCON = 0x0C,
  UTRSTAT = 0x10,  // read-only: [2] transmitter empty, [1] holding empty, [0] receive data ready
  UERSTAT = 0x14,  // read-only, cleared by reading: [0] overrun, [1] parity, [2] frame, [3] break
  UFSTAT = 0x18,   // read-only
  UMSTAT = 0x1C,   // read-only
  UTXH = 0x20,     // write-only byte (0x20 little-endian, 0x23 big-endian)
  URXH = 0x24,     // read-only byte (0x24 little-endian, 0x27 big-endian)
  UBRDIV = 0x28,
};
}

Uart::Uart(std::string name, uint32_t base, Scheduler& scheduler, Intc& intc, int rx_irq, int tx_irq, int err_irq)
    : Device(std::move(name), base, 0x2C),
      scheduler_(scheduler),
      intc_(intc),
      rx_irq_(rx_irq),
      tx_irq_(tx_irq),
      err_irq_(err_irq),
      tx_event_(scheduler, this->name() + " transmit", [this](VTime late) { transmit_done(late); }),
      rx_event_(scheduler, this->name() + " receive", [this](VTime late) { byte_arrives(late); }) {
  reset();
}

void Uart::reset() {
  ulcon_ = ucon_ = ufcon_ = umcon_ = ubrdiv_ = 0;
  uerstat_ = 0;
  holding_full_ = shifting_ = rx_full_ = false;
  tx_event_.cancel();
  rx_event_.cancel();
  rx_queue_.clear();
}

VTime Uart::frame_time() const {
  unsigned data_bits = 5 + (ulcon_ & 3);
  unsigned stop_bits = (ulcon_ & 4) ? 2 : 1;
  unsigned parity = ((ulcon_ >> 3) & 7) >= 4 ? 1 : 0;
  unsigned bits = 1 + data_bits + parity + stop_bits;
  return scheduler_.cycle_period() * 16 * (ubrdiv_ + 1) * bits;
}

void Uart::start_shift(uint8_t byte) {
  shifter_ = byte;
  shifting_ = true;
  tx_event_.schedule_in(frame_time());
  // The holding register is free again: that is the transmit request.
  if (((ucon_ >> 2) & 3) == 1) intc_.request(tx_irq_);
}

void Uart::transmit_done(VTime) {
  shifting_ = false;
  if (tx_listener_) tx_listener_(shifter_);
  if (holding_full_) {
    holding_full_ = false;
    start_shift(holding_);
  }
}

void Uart::byte_arrives(VTime) {
  if (rx_queue_.empty()) return;
  uint8_t byte = rx_queue_.front();
  rx_queue_.pop_front();
  bool overrun = rx_full_;
  rx_byte_ = byte;
  rx_full_ = true;
  if ((ucon_ & 3) == 1) intc_.request(rx_irq_);
  if (overrun) {
    uerstat_ |= 1;
    if (ucon_ & 0x40) intc_.request(err_irq_);
  }
  if (!rx_queue_.empty()) {
    VTime frame = kSecond * 10 / kFarEndBaud;
    rx_event_.schedule_at(scheduler_.now() + frame);  // now() is already this byte's due time
  }
}

void Uart::receive(const std::vector<uint8_t>& bytes) {
  rx_queue_.insert(rx_queue_.end(), bytes.begin(), bytes.end());
  if (!rx_event_.armed() && !rx_queue_.empty()) rx_event_.schedule_in(kSecond * 10 / kFarEndBaud);
}

uint32_t Uart::read(uint32_t offset, unsigned) {
  switch (offset) {
    case ULCON: return ulcon_;
    case UCON: return ucon_;
    case UFCON: return ufcon_;
    case UMCON: return umcon_;
    case UTRSTAT: return (rx_full_ ? 1u : 0u) | (holding_full_ ? 0u : 2u) | (holding_full_ || shifting_ ? 0u : 4u);
    case UERSTAT: {
      uint32_t v = uerstat_;
      uerstat_ = 0;
      return v;
    }
    case UFSTAT: return 0;
    case UMSTAT: return 0;
    case URXH:
    case URXH + 3:
      rx_full_ = false;
      return rx_byte_;
    case UBRDIV: return ubrdiv_;
    case UTXH:
    case UTXH + 3: return 0;  // write-only
    default: log_unmodelled(offset, false); return 0;
  }
}

uint32_t Uart::peek(uint32_t offset, unsigned size) {
  if (offset == URXH || offset == URXH + 3) return rx_byte_;
  if (offset == UERSTAT) return uerstat_;
  return Device::peek(offset, size);
}

void Uart::write(uint32_t offset, uint32_t value, unsigned) {
  switch (offset) {
    case ULCON: ulcon_ = value & 0x7F; return;
    case UCON: ucon_ = value & 0x3FF; return;
    case UFCON:
      ufcon_ = value & 0xF7;
      if (value & 1) log("FIFO mode is not modelled; the UART behaves as with FIFOs off");
      return;
    case UMCON: umcon_ = value & 0x11; return;
    case UTXH:
    case UTXH + 3: {
      uint8_t byte = static_cast<uint8_t>(value);
      if (!shifting_) {
        start_shift(byte);
      } else {
        if (holding_full_) log("byte written to a full transmit holding register; the previous one is lost");
        holding_ = byte;
        holding_full_ = true;
      }
      return;
    }
    case UBRDIV: ubrdiv_ = value & 0xFFFF; return;
    case UTRSTAT:
    case UERSTAT:
    case UFSTAT:
    case UMSTAT:
    case URXH: log("write to a read-only register ignored"); return;
    default: log_unmodelled(offset, true); return;
  }
}

}  // namespace sim
