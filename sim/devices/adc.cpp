#include "devices/adc.h"

#include "core/s3c44b0x.h"

namespace sim {

namespace {
enum : uint32_t {
  ADCCON = 0x00,  // reset 0x20: [6] FLAG (ro), [5] SLEEP, [4:2] channel, [1] READ_START, [0] ENABLE_START
  ADCPSR = 0x04,  // [7:0] prescaler
  ADCDAT = 0x08,  // [9:0] result (ro)
};
constexpr uint32_t FLAG = 1u << 6, SLEEP = 1u << 5, READ_START = 1u << 1, ENABLE_START = 1u << 0;
}  // namespace

Adc::Adc(uint32_t base, Scheduler& scheduler, Intc& intc)
    : Device("adc", base, 0x0C), scheduler_(scheduler), intc_(intc), done_(scheduler, "adc", [this](VTime l) { finish(l); }) {
  done_.set_interrupt_sources(chip::irq_bit(chip::kIrqAdc));
  reset();
}

void Adc::reset() {
  timer_.cancel();
  adccon_ = SLEEP;
  adcpsr_ = 0;
  adcdat_ = 0;
  converting_ = false;
}

void Adc::set_input(int channel, uint32_t value) {
  if (channel < 0 || channel >= kChannels) {
    log("no input AIN" + std::to_string(channel) + " (the converter has AIN0..7)");
    return;
  }
  if (value > kMaxValue) {
    log("AIN" + std::to_string(channel) + " " + std::to_string(value) + " is beyond the 10-bit range; it reads 1023");
    value = kMaxValue;
  }
  inputs_[channel] = value;
}

void Adc::start() {
  if (adccon_ & SLEEP) {
    if (!sleep_reported_) {
      sleep_reported_ = true;
      log("a conversion was started with ADCCON SLEEP (bit 5) set: the converter is powered down and converts "
          "nothing; clear SLEEP first");
    }
    return;
  }
  if (!gate_.check(name(), ClockPower::kAdc)) return;
  channel_ = static_cast<int>((adccon_ >> 2) & 7);
  converting_ = true;
  adccon_ &= ~FLAG;
  timer_.start(scheduler_, conversion_cycles());
}

void Adc::finish(VTime) {
  converting_ = false;
  adcdat_ = inputs_[channel_];
  adccon_ |= FLAG;
  intc_.request(chip::kIrqAdc);
}

void Adc::mclk_changed(VTime old_period) { timer_.mclk_changed(scheduler_, old_period); }

void Adc::set_clock_enabled(bool on) {
  gate_.on = on;
  timer_.set_clock(scheduler_, on);
}

uint32_t Adc::read(uint32_t offset, unsigned) {
  switch (offset) {
    case ADCCON: return adccon_ & ~ENABLE_START;
    case ADCPSR: return adcpsr_;
    case ADCDAT: {
      uint32_t value = adcdat_;
      if (adccon_ & READ_START) start();
      return value;
    }
    default: log_unmodelled(offset, false); return 0;
  }
}

void Adc::write(uint32_t offset, uint32_t value, unsigned) {
  gate_.check(name(), ClockPower::kAdc);
  switch (offset) {
    case ADCCON:
      adccon_ = (adccon_ & FLAG) | (value & 0x3E);
      if (value & ENABLE_START) start();
      return;
    case ADCPSR: adcpsr_ = value & 0xFF; return;
    case ADCDAT: log("write to read-only ADCDAT ignored"); return;
    default: log_unmodelled(offset, true); return;
  }
}

VTime Adc::stable_until(uint32_t offset) {
  // A read of ADCDAT with READ_START starts a conversion: never the same.
  if (offset == ADCDAT && (adccon_ & READ_START)) return scheduler_.now();
  if (done_.armed()) return done_.when();
  return kForever;
}

}  // namespace sim
