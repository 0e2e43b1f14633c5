// Philips UDA1341TS audio codec (data sheet: "L3 interface", "Status",
// "Data0", "Extended registers"), as wired on this board: control over the
// three-wire L3 bus from GPIO pins (L3MODE PB4, L3CLOCK PB5, L3DATA PA9),
// samples over IIS from the S3C44B0X.
//
// L3 is decoded from the pin levels: address mode while L3MODE is low, data
// mode while it is high; bits are taken least significant first on the
// rising edge of L3CLOCK, and a byte takes effect once its 8th bit is in.
// An address byte 000101xx selects DATA0, DATA1 or STATUS until the next
// address; an address of another device deselects the codec. A byte whose
// pins go wrong (L3MODE changing after fewer than 8 bits) never reaches the
// codec and is reported.
//
// Audio: what the IIS transmits goes through the DAC when it is powered,
// with the output gain switch, the DAC polarity, the volume and the mute
// applied, to the AudioSink; with the DAC off it plays silence. The ADC,
// when powered, hands the AudioSource's frames to the IIS receiver with the
// +6 dB input gain (saturating) and the ADC polarity applied; unpowered, or
// without a source, it sends zeros.
//
// Not modelled (stored and readable): the system clock ratio and the input
// format (the codec follows the IIS word clock whatever they say; the phone
// firmware leaves it at 512 fs against its 256 fs CODECLK), the DC filter,
// double speed, bass boost, treble, de-emphasis, the DATA0 mode field, peak
// detection, the extended registers' gains and AGC, the microphone
// sensitivity and mixer mode (the one input is what --audio-in gives,
// whichever input the mixer selects). DATA1 (reading the peak level back)
// is not modelled: its data bytes are reported and ignored.
//
// Judgement calls:
// - Volume, our reading of the bottom of the range (unconfirmed): codes 0
//   and 1 are 0 dB, then -1 dB per step down to -60 dB at code 61; codes 62
//   and 63 are silent.
// - At power-on and after the reset bit every register is 0 except status
//   1, whose power control is 11 (both converters on), as we read the data
//   sheet's defaults.
// - An L3CLOCK rising edge in the same port write that changes L3MODE is
//   not taken: the mode's set-up time before the clock is violated. The
//   phone's L3_init raises both lines at once after the port set-up has
//   driven them low; that edge is no bit.
#pragma once
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "devices/audio.h"
#include "devices/ports.h"

namespace sim {

class Uda1341ts : public IisCodec {
 public:
  // What the codec's L3 shift register received, whole bytes only.
  struct L3Byte {
    bool data;  // false: address mode
    uint8_t value;
  };
  enum class Selected { kNone, kData0, kData1, kStatus, kOtherDevice };

  Uda1341ts();

  // Power-on state (the L3 line levels are kept).
  void reset();

  // Follow the L3 lines on the ports' output levels.
  void attach(Ports& ports);
  // The levels of L3MODE, L3CLOCK and L3DATA after one port write.
  void set_lines(bool mode, bool clock, bool data);

  // Called before a received byte changes the codec, so that the samples
  // already due are worked off under the old settings (the IIS's sync).
  void set_sync(std::function<void()> sync) { sync_ = std::move(sync); }
  void set_output(AudioSink* sink) { sink_ = sink; }
  void set_input(AudioSource* source) { source_ = source; }

  // IisCodec.
  void dac_frames(VTime start, VTime period, const AudioFrame* frames, size_t count) override;
  void adc_frames(VTime start, VTime period, AudioFrame* frames, size_t count) override;

  // For the window's status line and for tests.
  bool dac_powered() const { return status1_ & 1; }
  bool adc_powered() const { return (status1_ >> 1) & 1; }
  int volume_code() const { return volume_; }
  // Volume in dB (-infinity for the silent codes).
  double volume_db() const;
  bool muted() const { return (mode_reg_ >> 2) & 1; }
  bool input_gain_6db() const { return (status1_ >> 5) & 1; }
  bool output_gain_6db() const { return (status1_ >> 6) & 1; }
  uint8_t status0() const { return status0_; }  // bits 6..0
  uint8_t status1() const { return status1_; }  // bits 6..0
  int bass() const { return bass_treble_ >> 2; }
  int treble() const { return bass_treble_ & 3; }
  int de_emphasis() const { return (mode_reg_ >> 3) & 3; }
  int mode_field() const { return mode_reg_ & 3; }
  uint8_t extended(int address) const { return extended_[address & 7]; }
  int mic_sensitivity() const { return (extended_[2] >> 2) & 7; }
  int mixer_mode() const { return extended_[2] & 3; }
  Selected selected() const { return selected_; }
  const std::vector<L3Byte>& received() const { return received_; }

 private:
  void byte_in(bool data, uint8_t value);
  void data_byte(uint8_t value);
  void defaults();
  void report(const std::string& what);

  // L3 decoder.
  bool mode_line_ = true, clock_line_ = true, data_line_ = true;
  uint8_t shift_ = 0;
  int bits_ = 0;
  Selected selected_ = Selected::kNone;
  std::vector<L3Byte> received_;

  // Registers.
  uint8_t status0_ = 0, status1_ = 0;
  uint8_t volume_ = 0, bass_treble_ = 0, mode_reg_ = 0;
  uint8_t extended_address_ = 0;
  std::array<uint8_t, 8> extended_{};

  std::function<void()> sync_;
  AudioSink* sink_ = nullptr;
  AudioSource* source_ = nullptr;
  std::vector<AudioFrame> scratch_;
  int reports_ = 0;
  bool double_speed_reported_ = false;
};

}  // namespace sim
