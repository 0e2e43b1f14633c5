#include "devices/iic.h"

#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

namespace {
enum : uint32_t {
  IICCON = 0x0,   // [7] ACK enable, [6] IICCLK source, [5] interrupt enable,
                  // [4] pending (write 0 to clear and resume, write 1 ignored), [3:0] prescaler
  IICSTAT = 0x4,  // [7:6] mode, [5] busy (write: 1 = START, 0 = STOP), [4] output enable,
                  // [3:0] read-only status: arbitration lost, addressed, address zero, last bit
  IICADD = 0x8,   // writable only while output is disabled
  IICDS = 0xC,    // writable only while output is enabled
};

constexpr uint8_t kAckEnable = 0x80;
constexpr uint8_t kClockSource512 = 0x40;
constexpr uint8_t kIntEnable = 0x20;
constexpr uint8_t kPending = 0x10;
constexpr uint8_t kPrescaler = 0x0F;

constexpr uint8_t kModeMask = 0xC0;
constexpr uint8_t kMasterRx = 0x80;
constexpr uint8_t kMasterTx = 0xC0;
constexpr uint8_t kBusy = 0x20;
constexpr uint8_t kOutputEnable = 0x10;

constexpr uint64_t kClocksPerPhase = 9;  // 8 data bits and the ACK clock
}  // namespace

Iic::Iic(uint32_t base, Scheduler& scheduler, Intc& intc)
    : Device("iic", base, 0x10),
      scheduler_(scheduler),
      intc_(intc),
      phase_event_(scheduler, "iic byte phase", [this](VTime late) { phase_done(late); }) {
  phase_event_.set_interrupt_sources(chip::irq_bit(chip::kIrqIic));
  reset();
}

void Iic::reset() {
  phase_timer_.cancel();
  addressed_.clear();
  iiccon_ = 0;
  iicstat_ = 0;
  iicadd_ = 0;
  iicds_ = 0;
  pending_ = false;
  bus_busy_ = false;
  last_bit_ = false;
  start_requested_ = false;
  stop_requested_ = false;
}

const std::vector<IicSlave*>& Iic::wired_slaves() {
  static const std::vector<IicSlave*> none;
  if (!ports_) return slaves_;
  bool scl = ports_->pin_given(Ports::kIicScl, name());
  bool sda = ports_->pin_given(Ports::kIicSda, name());
  return scl && sda ? slaves_ : none;
}

uint64_t Iic::byte_phase_cycles() const {
  uint64_t divider = (iiccon_ & kClockSource512) ? 512 : 16;
  return kClocksPerPhase * divider * ((iiccon_ & kPrescaler) + 1u);
}

VTime Iic::byte_phase_time() const {
  return scheduler_.cycles_to_time(byte_phase_cycles());
}

uint32_t Iic::read(uint32_t offset, unsigned size) {
  (void)size;
  switch (offset) {
    case IICCON: return iiccon_ | (pending_ ? kPending : 0);
    case IICSTAT: return iicstat_ | (bus_busy_ ? kBusy : 0) | (last_bit_ ? 1 : 0);
    case IICADD: return iicadd_;
    case IICDS: return iicds_;
    default: log_unmodelled(offset, false); return 0;
  }
}

void Iic::write(uint32_t offset, uint32_t value, unsigned size) {
  (void)size;
  gate_.check(name(), ClockPower::kIic);
  const uint8_t v = value & 0xFF;
  switch (offset) {
    case IICCON:
      iiccon_ = v & ~kPending;
      if (!(v & kPending) && pending_) {
        pending_ = false;
        resume();
      }
      break;
    case IICSTAT: {
      iicstat_ = v & (kModeMask | kOutputEnable);
      const uint8_t mode = v & kModeMask;
      if (v & kBusy) {
        if (mode != kMasterTx && mode != kMasterRx) {
          report_once(kSlaveMode, "START requested in a slave mode: slave modes are not modelled, ignored");
        } else if (!(v & kOutputEnable)) {
          report_once(kStartWithoutOutput, "START requested with serial output disabled (IICSTAT[4] = 0): ignored");
        } else if (!bus_busy_) {
          send_start();
        } else {
          start_requested_ = true;  // repeated START, once SCL is released
          stop_requested_ = false;
        }
      } else if (bus_busy_) {
        stop_requested_ = true;
        start_requested_ = false;
      }
      break;
    }
    case IICADD:
      // Only --verbose says so: the phone writes its own (unused) slave
      // address this way on every start, harmless in master mode.
      if (iicstat_ & kOutputEnable) {
        if (log_verbose()) report_once(kIicaddWhileEnabled,
                                       "IICADD written while serial output is enabled (IICSTAT[4] = 1): ignored, "
                                       "the chip only takes it with output disabled");
      } else
        iicadd_ = v;
      break;
    case IICDS:
      if (iicstat_ & kOutputEnable)
        iicds_ = v;
      else
        report_once(kIicdsWhileDisabled,
                    "IICDS written while serial output is disabled (IICSTAT[4] = 0): ignored, the chip only "
                    "takes it with output enabled");
      break;
    default: log_unmodelled(offset, true); break;
  }
}

void Iic::report_once(Misuse what, const std::string& message) {
  if (reported_[what]) return;
  reported_[what] = true;
  log(message + " (reported once)");
}

void Iic::send_start() {
  start_requested_ = false;
  bus_busy_ = true;
  addressed_.clear();
  for (IicSlave* s : wired_slaves()) s->start();
  begin_phase(Phase::kAddress);
}

void Iic::send_stop() {
  stop_requested_ = false;
  bus_busy_ = false;
  addressed_.clear();
  for (IicSlave* s : wired_slaves()) s->stop();
}

void Iic::resume() {
  if (stop_requested_) {
    send_stop();
  } else if (start_requested_) {
    send_start();
  } else if (bus_busy_) {
    const uint8_t mode = iicstat_ & kModeMask;
    if (mode == kMasterTx)
      begin_phase(Phase::kTransmit);
    else if (mode == kMasterRx)
      begin_phase(Phase::kReceive);
    else
      report_once(kSlaveMode, "bus resumed in a slave mode: slave modes are not modelled, the bus stays held");
  }
}

void Iic::begin_phase(Phase phase) {
  phase_ = phase;
  shift_ = iicds_;  // the shift register takes the byte now; later IICDS writes do not change it
  phase_timer_.start(scheduler_, byte_phase_cycles());
}

void Iic::phase_done(VTime late) {
  (void)late;
  switch (phase_) {
    case Phase::kAddress:
      addressed_.clear();
      for (IicSlave* s : wired_slaves())
        if (s->address(shift_)) addressed_.push_back(s);
      last_bit_ = addressed_.empty();
      break;
    case Phase::kTransmit: {
      bool ack = false;
      for (IicSlave* s : addressed_)
        if (s->write(shift_)) ack = true;
      last_bit_ = !ack;
      break;
    }
    case Phase::kReceive: {
      uint8_t byte = 0xFF;
      for (IicSlave* s : addressed_) byte &= s->read();
      iicds_ = byte;
      const bool ack = iiccon_ & kAckEnable;
      for (IicSlave* s : addressed_) s->master_ack(ack);
      last_bit_ = !ack;
      break;
    }
  }
  pending_ = true;
  if (iiccon_ & kIntEnable) intc_.request(chip::kIrqIic);
}

}  // namespace sim
