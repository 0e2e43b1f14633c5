// The UDA1341TS fed through the port pins exactly as the phone's l3 driver
// writes PDATA and PDATB, and its DAC and ADC sample paths.
#include <gtest/gtest.h>

#include <cmath>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "devices/intc.h"
#include "devices/ports.h"
#include "devices/uda1341ts.h"

namespace sim {
namespace {

enum : uint32_t { PCONA = 0x00, PDATA = 0x04, PCONB = 0x08, PDATB = 0x0C };
using Bytes = std::vector<std::pair<uint8_t, int>>;  // (byte, mode: 0 address, 1 data)

// The ports after port_init and leds_init, the codec on their pins, and the
// firmware's L3 routines as register writes. The left LED is lit, so every
// write must carry it.
struct L3Bus {
  L3Bus() : intc(chip::kIntc), ports(chip::kPorts, intc) {
    codec.attach(ports);
    previous_sink = set_log_sink([this](const std::string& line) { log += line + "\n"; });
    ports.write(PCONB, 0x1FF, 4);
    ports.write(PCONA, ports.read(PCONA, 4) & ~0x200u, 4);
    ports.write(PCONB, ports.read(PCONB, 4) & ~0x30u, 4);
    pdatb(pdatb() | 0x600);
    pdatb(pdatb() & ~0x200u);  // left LED on
    pdatb(pdatb() | leds | 0x30);  // L3_init
  }
  ~L3Bus() { set_log_sink(previous_sink); }

  uint32_t pdatb() { return ports.read(PDATB, 4); }
  void pdatb(uint32_t v) { ports.write(PDATB, v, 4); }
  // The bit loop of L3_putByte for the first `bits` bits.
  void clock_bits(uint8_t byte, int mode, int bits) {
    const uint32_t b = (static_cast<uint32_t>(mode) << 4) | leds;
    pdatb(pdatb() | b | 0x20);
    for (int j = 0; j < bits; ++j) {
      pdatb(b);
      ports.write(PDATA, static_cast<uint32_t>(byte >> j) << 9, 4);
      pdatb(pdatb() | b | 0x20);
    }
  }
  void idle() { pdatb(pdatb() | leds | 0x30); }
  void put_byte(uint8_t byte, int mode) {
    clock_bits(byte, mode, 8);
    idle();
  }
  void send(const Bytes& bytes) {
    for (auto [byte, mode] : bytes) put_byte(byte, mode);
  }

  const uint32_t leds = 1u << 10;  // lled 0, rled 1
  Intc intc;
  Ports ports;
  Uda1341ts codec;
  std::string log;
  LogSink previous_sink;
};

const Bytes kInit = {{0x16, 0}, {0x40, 1}, {0x20, 1}, {0x00, 1}, {0x80, 1}, {0x14, 0}, {0xC2, 1}, {0xE1, 1}};

TEST(Uda1341ts, InitSequenceArrivesWholeAndQuietly) {
  L3Bus bus;
  bus.send(kInit);
  const auto& got = bus.codec.received();
  ASSERT_EQ(got.size(), kInit.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].value, kInit[i].first) << i;
    EXPECT_EQ(got[i].data, kInit[i].second == 1) << i;
  }
  EXPECT_EQ(bus.log, "");
  EXPECT_EQ(bus.codec.status0(), 0x00);
  EXPECT_FALSE(bus.codec.dac_powered());
  EXPECT_FALSE(bus.codec.adc_powered());
  EXPECT_EQ(bus.codec.mixer_mode(), 1);
  EXPECT_EQ(bus.codec.mic_sensitivity(), 0);
  EXPECT_EQ(bus.codec.selected(), Uda1341ts::Selected::kData0);
  EXPECT_EQ(bus.ports.led_lit(9), true) << "the LED survives the L3 traffic";
}

TEST(Uda1341ts, CodecOperationsSetTheirRegisters) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::function<bool(const Uda1341ts&)> holds;
  } cases[] = {
      {"play at volume 32", {{0x14, 0}, {31, 1}, {0x16, 0}, {0x81, 1}},
       [](const Uda1341ts& c) { return c.volume_code() == 31 && c.volume_db() == -30 && c.dac_powered() && !c.adc_powered(); }},
      {"record", {{0x16, 0}, {0xA2, 1}},
       [](const Uda1341ts& c) { return c.adc_powered() && c.input_gain_6db() && !c.dac_powered(); }},
      {"mute", {{0x14, 0}, {0x84, 1}}, [](const Uda1341ts& c) { return c.muted(); }},
      {"mute then unmute", {{0x14, 0}, {0x84, 1}, {0x80, 1}}, [](const Uda1341ts& c) { return !c.muted(); }},
      {"bass and treble", {{0x14, 0}, {0x4B, 1}}, [](const Uda1341ts& c) { return c.bass() == 2 && c.treble() == 3; }},
      {"de-emphasis", {{0x14, 0}, {0x98, 1}}, [](const Uda1341ts& c) { return c.de_emphasis() == 3 && !c.muted(); }},
      {"reset restores the volume", {{0x14, 0}, {0x05, 1}, {0x16, 0}, {0x40, 1}},
       [](const Uda1341ts& c) { return c.volume_code() == 0 && c.dac_powered(); }},
      {"another device's address", {{0x14, 0}, {0x05, 1}, {0x22, 0}, {0x09, 1}},
       [](const Uda1341ts& c) { return c.volume_code() == 5; }},
      {"extended register 4", {{0x14, 0}, {0xC4, 1}, {0xF3, 1}},
       [](const Uda1341ts& c) { return c.extended(4) == 0x13 && c.extended(2) == 1; }},
  };
  for (const Case& c : cases) {
    L3Bus bus;
    bus.send(kInit);
    bus.send(c.bytes);
    EXPECT_TRUE(c.holds(bus.codec)) << c.what;
  }
}

TEST(Uda1341ts, BytesWithWrongPinSequencesDoNotReachTheCodec) {
  struct Case {
    const char* what;
    size_t whole_bytes;
    std::function<void(L3Bus&)> drive;
  } cases[] = {
      {"address cut short by L3MODE rising", 1,
       [](L3Bus& b) {
         b.clock_bits(0x16, 0, 4);
         b.idle();
         b.put_byte(0x81, 1);  // still DATA0: the mode register, not the DAC power
       }},
      {"data byte cut short by L3MODE falling", 2,
       [](L3Bus& b) {
         b.put_byte(0x16, 0);
         b.clock_bits(0x81, 1, 5);
         b.put_byte(0x16, 0);
       }},
  };
  for (const Case& c : cases) {
    L3Bus bus;
    bus.send(kInit);
    size_t before = bus.codec.received().size();
    c.drive(bus);
    EXPECT_FALSE(bus.codec.dac_powered()) << c.what;
    EXPECT_EQ(bus.codec.received().size(), before + c.whole_bytes) << c.what;
    EXPECT_NE(bus.log.find("cut short"), std::string::npos) << c.what << bus.log;
  }
  L3Bus fresh;
  fresh.put_byte(0x81, 1);
  EXPECT_NE(fresh.log.find("before any address"), std::string::npos);
}

struct Capture : AudioSink {
  std::vector<AudioFrame> got;
  void frames(VTime, VTime, const AudioFrame* f, size_t n) override { got.insert(got.end(), f, f + n); }
};

TEST(Uda1341ts, DacAppliesPowerVolumeAndMute) {
  struct Case {
    Bytes bytes;
    int16_t in, out;
  } cases[] = {
      {{{0x14, 0}, {0, 1}}, 10000, 10000},      {{{0x14, 0}, {1, 1}}, 10000, 10000},
      {{{0x14, 0}, {7, 1}}, 10000, 5012},       {{{0x14, 0}, {21, 1}}, -10000, -1000},
      {{{0x14, 0}, {61, 1}}, 10000, 10},        {{{0x14, 0}, {62, 1}}, 10000, 0},
      {{{0x14, 0}, {63, 1}}, 10000, 0},         {{{0x14, 0}, {0x84, 1}}, 10000, 0},
      {{{0x16, 0}, {0x80, 1}}, 10000, 0},       {{{0x16, 0}, {0xC1, 1}}, 20000, 32767},
      {{{0x16, 0}, {0x89, 1}}, 10000, -10000},
  };
  for (const Case& c : cases) {
    L3Bus bus;
    Capture sink;
    bus.codec.set_output(&sink);
    bus.send({{0x16, 0}, {0x81, 1}});
    bus.send(c.bytes);
    AudioFrame f{c.in, c.in};
    bus.codec.dac_frames(0, kMillisecond, &f, 1);
    ASSERT_EQ(sink.got.size(), 1u);
    EXPECT_EQ(sink.got[0].left, c.out) << int(c.bytes.back().first);
    EXPECT_EQ(sink.got[0].right, c.out);
  }
}

struct Constant : AudioSource {
  AudioFrame value;
  void frames(VTime, VTime, AudioFrame* f, size_t n) override { std::fill(f, f + n, value); }
};

TEST(Uda1341ts, AdcAppliesPowerAndInputGain) {
  struct Case {
    uint8_t status1;
    bool with_source;
    AudioFrame out;
  } cases[] = {
      {0xA2, true, {20000, -32768}}, {0x82, true, {10000, -20000}}, {0xA1, true, {0, 0}},
      {0xA2, false, {0, 0}},         {0xB2, true, {-20000, 32767}},
  };
  for (const Case& c : cases) {
    L3Bus bus;
    Constant input;
    input.value = {10000, -20000};
    if (c.with_source) bus.codec.set_input(&input);
    bus.send({{0x16, 0}, {c.status1, 1}});
    AudioFrame f;
    bus.codec.adc_frames(0, kMillisecond, &f, 1);
    EXPECT_EQ(f.left, c.out.left) << std::hex << int(c.status1);
    EXPECT_EQ(f.right, c.out.right) << std::hex << int(c.status1);
  }
}

}  // namespace
}  // namespace sim
