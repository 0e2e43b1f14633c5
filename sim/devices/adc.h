// S3C44B0X A/D converter (user's manual, "A/D converter"): ADCCON, ADCPSR,
// ADCDAT, and the eight analogue inputs AIN0..7 as the outside world sets
// them (set_input; --adc CH=VALUE, the script's `adc CH VALUE`).
//
// A conversion starts when ENABLE_START (ADCCON[0]) is written 1, or, with
// READ_START (ADCCON[1]), at every read of ADCDAT (that read returns the
// previous result). It takes 2 x (PRESCALER + 1) x 16 MCLK cycles; FLAG
// (ADCCON[6]) is 0 meanwhile, and at the end ADCDAT holds the 10-bit value
// of the channel selected when it started, FLAG sets and the ADC interrupt
// (INTPND bit 0) is requested. ENABLE_START reads 0, since a conversion
// begins at once. An input never set reads 0.
//
// Judgement calls:
// - SLEEP (ADCCON[5], 1 at reset) powers the converter down: a start with
//   SLEEP set converts nothing (FLAG stays 0) and is reported once.
// - A start while a conversion runs restarts it.
// - A conversion follows MCLK: a PLL or slow-mode change, or the ADC clock
//   gate (CLKCON[12]), stretch or hold the cycles still to go.
// - The analogue input is sampled at the end of the conversion; the channel
//   mux settling time after a channel change is not modelled.
#pragma once
#include <array>

#include "devices/clock_power.h"
#include "core/device.h"
#include "devices/intc.h"

namespace sim {

class Adc : public Device {
 public:
  static constexpr int kChannels = 8;
  static constexpr uint32_t kMaxValue = 1023;

  Adc(uint32_t base, Scheduler& scheduler, Intc& intc);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  VTime stable_until(uint32_t offset) override;

  // What AINch reads from now on (0..1023; larger values are clipped).
  // Inputs belong to the outside world and survive reset().
  void set_input(int channel, uint32_t value);
  uint32_t input(int channel) const { return inputs_[channel]; }

  // MCLK changed (ClockPower::on_mclk_change); the clock gate changed.
  void mclk_changed(VTime old_period);
  void set_clock_enabled(bool on);

  bool converting() const { return converting_; }
  // MCLK cycles one conversion takes with the current ADCPSR.
  uint64_t conversion_cycles() const { return 2ull * ((adcpsr_ & 0xFF) + 1) * 16; }

 private:
  void start();
  void finish(VTime late);

  Scheduler& scheduler_;
  Intc& intc_;
  Event done_;
  CycleTimer timer_{done_};
  uint32_t adccon_ = 0, adcpsr_ = 0, adcdat_ = 0;
  std::array<uint32_t, kChannels> inputs_{};
  bool converting_ = false;
  int channel_ = 0;          // the channel being converted
  ClockGateState gate_;
  bool sleep_reported_ = false;
};

}  // namespace sim
