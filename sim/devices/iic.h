// S3C44B0X IIC-bus interface (user's manual, "IIC-bus interface"), as the
// single master of this board's bus, and the bus itself with its slaves.
//
// Modelled: master transmit and master receive, START, repeated START, STOP,
// the byte phase of 9 SCL clocks at SCL = IICCLK / (prescaler + 1) with
// IICCLK = MCLK/16 or MCLK/512, the pending bit IICCON[4] and the IIC
// interrupt request, the ACK the master sends per IICCON[7], IICSTAT's busy
// and last-received bits, and the write rules of IICADD and IICDS.
// Not modelled: slave modes (nothing on this board addresses the chip), other
// masters (arbitration is never lost), and the time taken by the START and
// STOP conditions themselves (a byte phase is exactly 9 SCL periods).
// A byte phase follows MCLK (a PLL or slow-mode change stretches the cycles
// still to go) and holds while the IIC clock is gated (CLKCON[13]) or
// stopped by a power mode. The slaves see the bus only while PCONF gives
// PF0/PF1 to IICSCL/IICSDA; otherwise nothing answers (no ACK, reads 0xFF)
// and the missing pin is reported once.
//
// Judgement calls:
// - While the pending bit holds SCL low, a START or STOP written to IICSTAT
//   waits and goes out when software clears the pending bit, as the manual's
//   flow charts do it (write IICSTAT, then clear pending to resume). On an
//   idle bus a START goes out at once.
// - Slaves see a byte, and answer it, at the end of its phase (its ACK clock).
// - With no slave driving SDA the pulled-up line reads 1: no ACK, and 0xFF
//   in reads. Several slaves answering at once are wire-ANDed.
// - In master receive, IICSTAT[0] shows the ACK level the master itself sent.
#pragma once
#include <cstdint>
#include <vector>

#include "devices/clock_power.h"
#include "core/device.h"
#include "devices/ports.h"
#include "devices/intc.h"

namespace sim {

// A device on the IIC bus, seen at the level of its transactions.
class IicSlave {
 public:
  virtual ~IicSlave() = default;
  // A START or repeated START on the bus (every slave sees it).
  virtual void start() = 0;
  // The device byte that follows a START; true to acknowledge it, which makes
  // this slave the one the following bytes are for.
  virtual bool address(uint8_t device_byte) = 0;
  // A byte the master sends to the addressed slave; true to acknowledge it.
  virtual bool write(uint8_t byte) = 0;
  // The addressed slave puts its next byte on the bus (0xFF: SDA released).
  virtual uint8_t read() = 0;
  // The master's answer to the byte just read: true = ACK (go on).
  virtual void master_ack(bool ack) = 0;
  // A STOP on the bus (every slave sees it).
  virtual void stop() = 0;
};

class Iic : public Device {
 public:
  Iic(uint32_t base, Scheduler& scheduler, Intc& intc);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  void set_ports(Ports* ports) { ports_ = ports; }
  void mclk_changed(VTime old_period) { phase_timer_.mclk_changed(scheduler_, old_period); }
  void set_clock_enabled(bool on) {
    gate_.on = on;
    phase_timer_.set_clock(scheduler_, on);
  }

  // Puts a slave on the bus; the bus does not own it.
  void attach(IicSlave& slave) { slaves_.push_back(&slave); }

  // One byte phase (8 data bits and the ACK clock) at the current settings.
  VTime byte_phase_time() const;
  uint64_t byte_phase_cycles() const;
  bool bus_busy() const { return bus_busy_; }

 private:
  enum class Phase { kAddress, kTransmit, kReceive };
  enum Misuse { kIicaddWhileEnabled, kIicdsWhileDisabled, kStartWithoutOutput, kSlaveMode, kMisuseCount };

  void begin_phase(Phase phase);
  void phase_done(VTime late);
  void resume();  // software cleared the pending bit
  void send_start();
  void send_stop();
  void report_once(Misuse what, const std::string& message);

  Scheduler& scheduler_;
  Intc& intc_;
  Event phase_event_;
  CycleTimer phase_timer_{phase_event_};
  Ports* ports_ = nullptr;
  ClockGateState gate_;
  // The slaves that see the bus: none while the pins are not the IIC's.
  const std::vector<IicSlave*>& wired_slaves();
  std::vector<IicSlave*> slaves_;
  std::vector<IicSlave*> addressed_;

  uint8_t iiccon_ = 0;   // without the pending bit
  uint8_t iicstat_ = 0;  // mode and output enable as written
  uint8_t iicadd_ = 0, iicds_ = 0;
  bool pending_ = false;
  bool bus_busy_ = false;
  bool last_bit_ = false;  // IICSTAT[0]
  bool start_requested_ = false, stop_requested_ = false;
  Phase phase_ = Phase::kAddress;
  uint8_t shift_ = 0;  // the byte on the wire in this phase
  bool reported_[kMisuseCount] = {};
};

}  // namespace sim
