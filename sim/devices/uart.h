// S3C44B0X UART (UART0 of this board: the console).
//
// Modelled: one-byte holding registers each way (FIFO mode is reported and
// treated as FIFOs off), the transmit shifter, the frame time from UBRDIV and
// ULCON's word length, parity and stop bits, UTRSTAT, overrun into UERSTAT
// (cleared by reading), and the interrupt requests of the interrupt/polling
// modes, raised whether masked or not. Not modelled: FIFOs, DMA modes, modem
// lines, infra-red mode, loop-back, break.
//
// The far end sends at 115200 baud whatever this UART is set to (a terminal
// does not adapt), so received bytes arrive one frame of 10 bits apart: a byte
// the firmware has not read when the next one arrives is overwritten, as on
// the real board.
#pragma once
#include <deque>
#include <functional>
#include <vector>

#include "devices/device.h"
#include "devices/intc.h"

namespace sim {

class Uart : public Device {
 public:
  Uart(std::string name, uint32_t base, Scheduler& scheduler, Intc& intc, int rx_irq, int tx_irq, int err_irq);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  uint32_t peek(uint32_t offset, unsigned size) override;  // URXH and UERSTAT stay as they are

  // Bytes arriving on the receive line, from now on, at the far end's rate.
  void receive(const std::vector<uint8_t>& bytes);
  bool receive_idle() const { return rx_queue_.empty(); }
  bool transmit_idle() const { return !holding_full_ && !shifting_; }
  // Every byte that leaves the transmitter, when its last bit is out.
  void set_transmit_listener(std::function<void(uint8_t)> listener) { tx_listener_ = std::move(listener); }

  VTime frame_time() const;  // this UART's transmit frame time
  static constexpr uint32_t kFarEndBaud = 115200;

 private:
  void transmit_done(VTime late);
  void byte_arrives(VTime late);
  void start_shift(uint8_t byte);

  Scheduler& scheduler_;
  Intc& intc_;
  int rx_irq_, tx_irq_, err_irq_;
  Event tx_event_, rx_event_;
  uint32_t ulcon_, ucon_, ufcon_, umcon_, ubrdiv_;
  uint32_t uerstat_ = 0;
  bool holding_full_ = false, shifting_ = false;
  uint8_t holding_ = 0, shifter_ = 0;
  bool rx_full_ = false;
  uint8_t rx_byte_ = 0;
  std::deque<uint8_t> rx_queue_;
  std::function<void(uint8_t)> tx_listener_;
};

}  // namespace sim
