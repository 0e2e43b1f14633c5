#include "devices/uda1341ts.h"

#include <cmath>
#include <cstdio>

#include "core/log.h"

namespace sim {

namespace {
// Board wiring.
constexpr int kL3ModePin = 4;   // PB4
constexpr int kL3ClockPin = 5;  // PB5
constexpr int kL3DataPin = 9;   // PA9

// Address byte: device address 000101 in bits 7..2, transfer type in 1..0.
constexpr uint8_t kDeviceAddress = 0x05;
constexpr uint8_t kTypeData0 = 0, kTypeData1 = 1, kTypeStatus = 2;

// STATUS: bit 7 picks status 0 or 1.
constexpr uint8_t kStatusSelect1 = 0x80;
constexpr uint8_t kStatus0Reset = 0x40;
constexpr uint8_t kStatus1DoubleSpeed = 0x04;
constexpr uint8_t kStatus1PowerOn = 0x03;  // power control 11 (unconfirmed default)

// DATA0: bits 7..6 pick the register; in 11, bit 5 picks extended data
// (111 + ED[4:0]) over extended address (110 + EA[2:0]).
constexpr uint8_t kData0Volume = 0, kData0BassTreble = 1, kData0Mode = 2, kData0Extended = 3;
constexpr uint8_t kExtendedData = 0x20;

constexpr int kFirstSilentVolume = 62;
constexpr int kMaxReports = 20;

std::string hex8(uint8_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v);
  return buf;
}
}  // namespace

Uda1341ts::Uda1341ts() { reset(); }

void Uda1341ts::reset() {
  shift_ = 0;
  bits_ = 0;
  selected_ = Selected::kNone;
  received_.clear();
  status0_ = 0;
  defaults();
}

void Uda1341ts::defaults() {
  status1_ = kStatus1PowerOn;
  volume_ = 0;
  bass_treble_ = 0;
  mode_reg_ = 0;
  extended_address_ = 0;
  extended_.fill(0);
}

void Uda1341ts::report(const std::string& what) {
  if (reports_ > kMaxReports) return;
  ++reports_;
  log_warning("uda1341ts", reports_ > kMaxReports ? "further L3 reports suppressed" : what);
}

// ---- L3 ------------------------------------------------------------------------

void Uda1341ts::attach(Ports& ports) {
  auto follow = [this, &ports](Ports::Port port, uint32_t, uint32_t) {
    if (port != Ports::A && port != Ports::B) return;
    uint32_t a = ports.output_levels(Ports::A), b = ports.output_levels(Ports::B);
    set_lines((b >> kL3ModePin) & 1, (b >> kL3ClockPin) & 1, (a >> kL3DataPin) & 1);
  };
  ports.add_output_listener(follow);
  uint32_t a = ports.output_levels(Ports::A), b = ports.output_levels(Ports::B);
  mode_line_ = (b >> kL3ModePin) & 1;
  clock_line_ = (b >> kL3ClockPin) & 1;
  data_line_ = (a >> kL3DataPin) & 1;
}

void Uda1341ts::set_lines(bool mode, bool clock, bool data) {
  const bool mode_changed = mode != mode_line_;
  const bool rising = clock && !clock_line_;
  mode_line_ = mode;
  clock_line_ = clock;
  data_line_ = data;
  if (mode_changed) {
    if (bits_ != 0)
      report(std::string(mode ? "address" : "data") + " byte cut short after " + std::to_string(bits_) +
             " bit(s) by L3MODE going " + (mode ? "high" : "low") + "; ignored");
    bits_ = 0;
    shift_ = 0;
    return;  // a clock edge in the same write is no bit (set-up time)
  }
  if (!rising) return;
  shift_ |= static_cast<uint8_t>(data << bits_);
  if (++bits_ < 8) return;
  uint8_t value = shift_;
  bits_ = 0;
  shift_ = 0;
  byte_in(mode, value);
}

void Uda1341ts::byte_in(bool data, uint8_t value) {
  received_.push_back({data, value});
  if (data) {
    data_byte(value);
    return;
  }
  if ((value >> 2) != kDeviceAddress) {
    selected_ = Selected::kOtherDevice;
    return;
  }
  switch (value & 3) {
    case kTypeData0: selected_ = Selected::kData0; break;
    case kTypeData1: selected_ = Selected::kData1; break;
    case kTypeStatus: selected_ = Selected::kStatus; break;
    default:
      selected_ = Selected::kOtherDevice;
      report("address " + hex8(value) + " has no transfer type 11; the codec is deselected");
      break;
  }
}

void Uda1341ts::data_byte(uint8_t value) {
  switch (selected_) {
    case Selected::kNone: report("data byte " + hex8(value) + " before any address; ignored"); return;
    case Selected::kOtherDevice: return;  // meant for another device on the bus
    case Selected::kData1: report("data byte " + hex8(value) + " to DATA1 (read-back) not modelled; ignored"); return;
    case Selected::kStatus:
    case Selected::kData0: break;
  }
  if (sync_) sync_();
  if (selected_ == Selected::kStatus) {
    if (value & kStatusSelect1) {
      status1_ = value & 0x7F;
      if ((status1_ & kStatus1DoubleSpeed) && !double_speed_reported_) {
        double_speed_reported_ = true;
        log_warning("uda1341ts", "double speed is not modelled (reported once)");
      }
    } else {
      if (value & kStatus0Reset) defaults();
      status0_ = value & 0x7F;
    }
    return;
  }
  switch (value >> 6) {
    case kData0Volume: volume_ = value & 0x3F; break;
    case kData0BassTreble: bass_treble_ = value & 0x3F; break;
    case kData0Mode: mode_reg_ = value & 0x3F; break;
    case kData0Extended:
      if (value & kExtendedData) extended_[extended_address_] = value & 0x1F;
      else extended_address_ = value & 7;
      break;
  }
}

// ---- audio ---------------------------------------------------------------------

double Uda1341ts::volume_db() const {
  if (volume_ >= kFirstSilentVolume) return -INFINITY;
  return volume_ <= 1 ? 0.0 : -(volume_ - 1.0);
}

void Uda1341ts::dac_frames(VTime start, VTime period, const AudioFrame* frames, size_t count) {
  if (!sink_) return;
  scratch_.assign(count, AudioFrame{});
  if (dac_powered() && !muted() && volume_ < kFirstSilentVolume) {
    double gain = std::pow(10.0, volume_db() / 20.0) * (output_gain_6db() ? 2.0 : 1.0);
    if ((status1_ >> 3) & 1) gain = -gain;  // DAC polarity inverted
    if (gain == 1.0) {
      std::copy(frames, frames + count, scratch_.begin());
    } else {
      for (size_t i = 0; i < count; ++i) {
        scratch_[i].left = saturate16(std::llround(frames[i].left * gain));
        scratch_[i].right = saturate16(std::llround(frames[i].right * gain));
      }
    }
  }
  sink_->frames(start, period, scratch_.data(), count);
}

void Uda1341ts::adc_frames(VTime start, VTime period, AudioFrame* frames, size_t count) {
  if (!adc_powered() || !source_) {
    std::fill(frames, frames + count, AudioFrame{});
    return;
  }
  source_->frames(start, period, frames, count);
  int64_t gain = input_gain_6db() ? 2 : 1;
  if ((status1_ >> 4) & 1) gain = -gain;  // ADC polarity inverted
  if (gain == 1) return;
  for (size_t i = 0; i < count; ++i) {
    frames[i].left = saturate16(frames[i].left * gain);
    frames[i].right = saturate16(frames[i].right * gain);
  }
}

}  // namespace sim
