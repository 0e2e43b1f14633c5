// S3C44B0X UART (user's manual, "UART"; UART0 and UART1 are alike).
//
// Modelled: the frame from ULCON (5..8 data bits, parity none/odd/even/
// forced 1/forced 0, 1 or 2 stop bits) at MCLK / (16 x (UBRDIV + 1)), MCLK
// read from the clock at each frame, so the rate follows a PLL or slow-mode
// change from the next frame on. One-byte holding registers with FIFOs off;
// with UFCON[0] 16-byte FIFOs each way, UFSTAT's counts and full bits, the
// self-clearing FIFO resets, the trigger levels. UCON's modes: 00 disabled
// (nothing is received; bytes written wait, unsent), 01 interrupt/polling; the
// pulse and level request types; the Rx time-out in FIFO mode; loop-back;
// send break; frame, parity, break and overrun errors into UERSTAT (cleared
// by reading) with the error request (UCON[6]).
//
// Each UART's pins meet a far end (SerialTerminal: the terminal, --uart-in,
// the scenario's `uart`) at its own rate, 115200 baud 8N1 unless set, and
// the two ends decode each other's line by sampling it, so a rate or frame
// that does not match garbles the bytes both ways, as on the board. A
// setting too far from the far end's is reported once.
//
// Judgement calls (the manual is terse; marked unconfirmed):
// - Pulse requests: Rx at each byte received (FIFOs off) or when the Rx
//   count reaches the trigger level and at a time-out (FIFOs on); Tx when a
//   byte moves to the shifter (FIFOs off) or when the Tx count falls to the
//   trigger level. Level requests hold while Rx data is waiting (FIFOs off) /
//   the count is at or above the trigger level or timed out, and while the
//   holding register is empty / the Tx count is at or below the level.
// - The Rx time-out runs from the last byte received: 3 frame times of this
//   UART's own setting. It requests only while the Rx FIFO holds data below
//   the trigger level (the manual: "does not reach the trigger level"); bytes
//   at or above it time out when reads bring them below it.
// - FIFOs off, a byte received before the last was read overwrites it
//   (overrun); FIFOs on, a byte received into a full FIFO is lost (overrun).
// - FIFOs on, a byte's frame/parity/break error shows in UERSTAT (and
//   requests) when the byte is the next to be read, as the manual's error
//   FIFO does; FIFOs off, when it arrives. Overrun shows at once.
// - Loop-back: TxD stays idle (high) and RxD is not listened to (as the
//   16550 does; unconfirmed).
// - Send break: the line low for one frame time after the frame in progress,
//   then UCON[4] clears itself.
// - Switching the FIFOs on or off keeps what they hold.
// Not modelled, reported once when used: the DMA modes (UCON 10/11: data
// moves as in polling mode, no DMA request), infra-red mode (ULCON[6]), auto
// flow control (UMCON[4]); nRTS/nCTS are not wired (UMSTAT reads 0).
// Bytes from the far end that arrived before the program first set UBRDIV
// are said once: they met a receiver the program had not set up (the
// far end sends --uart-in from the start).
#pragma once
#include <deque>
#include <functional>
#include <set>
#include <vector>

#include "core/device.h"
#include "devices/clock_power.h"
#include "devices/intc.h"
#include "devices/ports.h"
#include "devices/serial_line.h"

namespace sim {

class Uart : public Device {
 public:
  enum Register : uint32_t {
    ULCON = 0x00,
    UCON = 0x04,
    UFCON = 0x08,
    UMCON = 0x0C,
    UTRSTAT = 0x10,  // ro: [2] transmitter empty, [1] Tx holding register / FIFO empty, [0] Rx data ready
    UERSTAT = 0x14,  // ro, cleared by reading: [3] break, [2] frame, [1] parity, [0] overrun
    UFSTAT = 0x18,   // ro: [9] Tx full, [8] Rx full, [7:4] Tx count, [3:0] Rx count
    UMSTAT = 0x1C,   // ro
    UTXH = 0x20,     // wo byte (0x20 little-endian, 0x23 big-endian)
    URXH = 0x24,     // ro byte (0x24 little-endian, 0x27 big-endian)
    UBRDIV = 0x28,
  };
  static constexpr unsigned kFifoSize = 16;

  Uart(std::string name, uint32_t base, Scheduler& scheduler, Intc& intc, int rx_irq, int tx_irq, int err_irq);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  uint32_t peek(uint32_t offset, unsigned size) override;  // URXH and UERSTAT stay as they are

  // The far end on this UART's pins (its rate, what it sends and decodes).
  SerialTerminal& far_end() { return far_end_; }
  void receive(const std::vector<uint8_t>& bytes) { far_end_.send(bytes); }
  // The same, but not before the receiver is on (UCON's receive mode not
  // 00): input prepared before the program has set the port up, which would
  // otherwise go by unheard (UART1 is off at reset).
  void receive_when_enabled(const std::vector<uint8_t>& bytes);
  // Nothing on its way out (bytes waiting in a disabled transmitter never
  // leave) and the far end has decoded all that was sent.
  bool transmit_idle() const {
    return (tx_fifo_.empty() || tx_mode() == 0) && !shifting_ && !break_pending_ && !far_end_.receiving();
  }

  // Its pins and its clock. Without TxD given by PCONx a frame sent goes
  // nowhere (the line stays idle); without RxD the receiver hears an idle
  // line. With its CLKCON bit off the block does not run: nothing is shifted
  // out or in until the clock is back. Each is said once.
  void wire(Ports* ports, Ports::Function txd, Ports::Function rxd, int clkcon_bit) {
    ports_ = ports;
    txd_pin_ = txd;
    rxd_pin_ = rxd;
    gate_bit_ = clkcon_bit;
  }
  void set_clock_enabled(bool on);

  BitClock bit_clock() const;   // this UART's rate at the current MCLK
  SerialFormat format() const;  // from ULCON
  VTime frame_time() const { return bit_clock().bits(format().frame_bits()); }

 private:
  unsigned rx_mode() const { return ucon_ & 3; }
  unsigned tx_mode() const { return (ucon_ >> 2) & 3; }
  bool fifo_on() const { return ufcon_ & 1; }
  bool loop_back() const { return ucon_ & 0x20; }
  unsigned rx_trigger() const { return 4 * (((ufcon_ >> 4) & 3) + 1); }
  unsigned tx_trigger() const { return 4 * ((ufcon_ >> 6) & 3); }

  void start_transmit();
  void transmit_done(VTime late);
  void received(const ReceivedFrame& frame);
  void rx_timeout(VTime late);
  uint8_t read_rxh();
  uint32_t read_uerstat();
  void update_rx_request(bool pulse);
  void update_tx_request(bool pulse);
  void error_request();
  void check_rates(bool sending);
  struct RateKey {
    uint32_t ubrdiv, ulcon, far_baud;
    VTime cycle;
    bool operator==(const RateKey& o) const {
      return ubrdiv == o.ubrdiv && ulcon == o.ulcon && far_baud == o.far_baud && cycle == o.cycle;
    }
  };
  RateKey checked_{};  // the last setting found decodable
  void report_once(const std::string& what);

  Scheduler& scheduler_;
  Intc& intc_;
  int rx_irq_, tx_irq_, err_irq_;
  uint32_t ulcon_, ucon_, ufcon_, umcon_, ubrdiv_;
  uint8_t uerstat_ = 0;  // errors latched until UERSTAT is read
  std::deque<uint8_t> tx_fifo_;   // bytes (the holding register with FIFOs off)
  bool shifting_ = false, break_pending_ = false, break_on_line_ = false;
  struct RxEntry {
    uint8_t byte, errors;
  };
  std::deque<RxEntry> rx_fifo_;  // the holding register with FIFOs off
  uint8_t last_rx_ = 0;
  unsigned frames_heard_ = 0;  // from the far end since reset: input that came before the program set the port up
  bool timed_out_ = false;
  bool quiet_ = false;  // 3 word times without a byte since the last one (the time-out's wait is over)
  SerialLine txd_, rxd_, loop_;
  SerialReceiver receiver_;
  SerialTerminal far_end_;
  Event tx_event_, timeout_event_;
  std::set<std::string> reported_;
  std::vector<uint8_t> waiting_input_;  // for receive_when_enabled
  Ports* ports_ = nullptr;
  Ports::Function txd_pin_ = Ports::kTxD0, rxd_pin_ = Ports::kRxD0;
  int gate_bit_ = ClockPower::kUart0;
  ClockGateState gate_;
  SerialLine unwired_;  // where a frame goes when PCONx does not give TxD
};

}  // namespace sim
