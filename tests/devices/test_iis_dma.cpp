// The IIS controller and BDMA0 programmed register for register as the
// phone's iis driver programs them, against a codec that records what it is
// sent and answers with a known input.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "devices/clock_power.h"
#include "devices/dma.h"
#include "devices/iis.h"
#include "devices/intc.h"

namespace sim {
namespace {

enum : uint32_t {
  IISCON = 0x01D18000, IISMOD = 0x01D18004, IISPSR = 0x01D18008, IISFCON = 0x01D1800C, IISFIF = 0x01D18010,
  BDCON0 = 0x01F80000, BDISRC0 = 0x01F80004, BDIDES0 = 0x01F80008, BDICNT0 = 0x01F8000C,
  BDCSRC0 = 0x01F80010, BDCDES0 = 0x01F80014, BDCCNT0 = 0x01F80018,
};
constexpr VTime kMclk64 = kSecond / 64000000;
constexpr VTime kFrame = 64 * kMicrosecond;  // 15625 Hz
constexpr VTime kSlot = kFrame / 2;
constexpr uint32_t kBuffer = chip::kMessageBuffer;

struct FakeCodec : IisCodec {
  struct Played {
    VTime when;
    AudioFrame frame;
  };
  std::vector<Played> played;
  std::function<AudioFrame(VTime)> input;
  void dac_frames(VTime start, VTime period, const AudioFrame* f, size_t n) override {
    for (size_t i = 0; i < n; ++i) played.push_back({start + i * period, f[i]});
  }
  void adc_frames(VTime start, VTime period, AudioFrame* f, size_t n) override {
    for (size_t i = 0; i < n; ++i) f[i] = input ? input(start + i * period) : AudioFrame{};
  }
};

// What the test input says at time t: the frame number at 15625 Hz.
AudioFrame ramp(VTime t) {
  int16_t n = static_cast<int16_t>(t / kFrame);
  return {n, static_cast<int16_t>(-n)};
}

// IIS, BDMA and the codec as the board wires them, after iis_init.
struct Rig {
  Rig() : intc(chip::kIntc), bdma(chip::kBdma, intc, sdram), iis(chip::kIis, sched) {
    sched.set_cycle_period(kMclk64);
    iis.set_dma(&bdma);
    iis.set_codec(&codec);
    bdma.set_pacer(&iis);
    for (uint32_t i = 0; i < 0x10000; i += 2) sdram.write16(kBuffer + i, static_cast<uint16_t>(i / 2));
    // iis_init with bdma0_init.
    w(IISCON, 0);
    w(IISMOD, 0x09);
    w(IISPSR, 0x77);
    w(IISFCON, 0);
    for (uint32_t r = BDCON0; r <= BDCCNT0; r += 4) w(r, 0);
  }

  Device& device(uint32_t address) { return address >= chip::kBdma ? static_cast<Device&>(bdma) : iis; }
  void w(uint32_t address, uint32_t v) { device(address).write(address - device(address).base(), v, 4); }
  uint32_t r(uint32_t address) { return device(address).read(address - device(address).base(), 4); }

  // iis_putSamples / iis_getSamples up to the start of the interface.
  void start(bool play, uint32_t buffer, uint32_t length) {
    w(IISMOD, play ? 0x89 : 0x49);
    w(IISFCON, play ? 0xA00 : 0x500);
    w(IISCON, r(IISCON) | (play ? 0x22 : 0x12));
    w(BDISRC0, play ? 0x50000000 | buffer : 0x71D18010);
    w(BDIDES0, play ? 0x71D18010 : 0x90000000 | buffer);
    w(BDCON0, r(BDCON0) & ~0x0Cu);
    w(BDICNT0, 0x44D00000 | (length & 0xFFFFF));
    w(IISCON, r(IISCON) | 1);
  }
  bool dma_irq() const { return intc.pending() & (1u << chip::kIrqBdma0); }

  Scheduler sched;
  Intc intc;
  Sdram sdram;
  Bdma bdma;
  Iis iis;
  FakeCodec codec;
};

class IisDma : public ::testing::Test, public Rig {};

TEST_F(IisDma, SampleRateFollowsMclkPrescalerAndRatio) {
  struct Case {
    VTime cycle;
    uint32_t psr, mod, hz;
  } cases[] = {
      {kMclk64, 0x77, 0x89, 15625},               // the phone
      {kMclk64, 0x77, 0x8D, 10416},               // 384 fs
      {kSecond / 8000000, 0x77, 0x89, 1953},      // before the PLL is set
      {kMclk64, 0x37, 0x89, 31250},               // code 3: /8
      {kMclk64, 0x87, 0x89, 250000},              // code 8: /1
      {kMclk64, 0xA7, 0x89, 83333},               // code 10: /3
      {kMclk64, 0x97, 0x89, 0},                   // code 9 is not allowed
  };
  for (const Case& c : cases) {
    sched.set_cycle_period(c.cycle);
    w(IISPSR, c.psr);
    w(IISMOD, c.mod);
    EXPECT_EQ(iis.sample_rate_hz(), c.hz) << std::hex << c.psr << " " << c.mod;
  }
}

TEST(IisDmaTable, TerminalCountComesAfterLengthOverFourFrames) {
  struct Case {
    uint32_t length;
    VTime start;
  } cases[] = {{6400, 0}, {6400, 12345678}, {4, 0}, {2, 5 * kMicrosecond}, {25600, kSecond}, {288000, 3}};
  for (const Case& c : cases) {
    Rig t;
    t.sched.advance_to(c.start);
    t.start(true, kBuffer, c.length);
    VTime end = c.start + c.length * kSlot / 2;
    t.sched.advance_to(end - 1);
    EXPECT_FALSE(t.dma_irq()) << c.length;
    EXPECT_EQ(t.r(BDCCNT0), 2u) << c.length;
    t.sched.advance_to(end);
    EXPECT_TRUE(t.dma_irq()) << c.length;
    EXPECT_EQ(t.r(BDCCNT0), 0u);
    EXPECT_EQ(t.r(BDICNT0), 0x44C00000 | c.length) << "enable bit clears";
    EXPECT_EQ(t.r(BDCON0) & 0x30, 0x20u) << "status: terminal count";
  }
  EXPECT_EQ(6400 * kSlot / 2, 102400 * kMicrosecond);
}

TEST_F(IisDma, CurrentRegistersCountEachSlot) {
  start(true, kBuffer, 6400);
  EXPECT_EQ(r(BDCON0) & 0x30, 0x10u);
  for (uint64_t k : {1u, 2u, 1000u, 3199u}) {
    sched.advance_to(k * kSlot - 1);
    EXPECT_EQ(r(BDCCNT0), 6400 - 2 * (k - 1)) << k;
    EXPECT_EQ(r(BDCSRC0), kBuffer + 2 * (k - 1)) << k;
    EXPECT_EQ(bdma.stable_until(BDCCNT0 - chip::kBdma), k * kSlot) << k;
    sched.advance_to(k * kSlot);
    EXPECT_EQ(r(BDCCNT0), 6400 - 2 * k) << k;
    EXPECT_EQ(r(BDCSRC0), kBuffer + 2 * k) << k;
    EXPECT_EQ(r(BDCDES0), chip::kIisFifo) << "fixed destination";
    EXPECT_EQ(r(IISCON) >> 8, k & 1) << "L/R index of the slot in progress";
  }
}

TEST_F(IisDma, PlaybackSendsEveryFrameInOrder) {
  const VTime t0 = 777 * kNanosecond;
  sched.advance_to(t0);
  start(true, kBuffer, 6400);
  sched.advance_to(t0 + 1600 * kFrame);
  w(IISCON, r(IISCON) & ~1u);  // isr_dma
  sched.advance_to(t0 + 1700 * kFrame);
  ASSERT_EQ(codec.played.size(), 1600u);
  for (size_t f = 0; f < 1600; ++f) {
    EXPECT_EQ(codec.played[f].when, t0 + f * kFrame);
    EXPECT_EQ(codec.played[f].frame.left, static_cast<int16_t>(2 * f));
    EXPECT_EQ(codec.played[f].frame.right, static_cast<int16_t>(2 * f + 1));
  }
  EXPECT_EQ(r(IISCON), 0x122u) << "stopped: request and prescaler enables stay";
}

TEST_F(IisDma, RecordingStoresWhatTheCodecSends) {
  codec.input = ramp;
  const VTime t0 = 40 * kFrame;
  sched.advance_to(t0);
  start(false, kBuffer, 6400);
  EXPECT_EQ(r(BDIDES0), 0x9C700000u);
  sched.advance_to(t0 + 1600 * kFrame);
  ASSERT_TRUE(dma_irq());
  for (uint32_t f = 0; f < 1600; ++f) {
    EXPECT_EQ(static_cast<int16_t>(sdram.read16(kBuffer + 4 * f)), static_cast<int16_t>(40 + f)) << f;
    EXPECT_EQ(static_cast<int16_t>(sdram.read16(kBuffer + 4 * f + 2)), static_cast<int16_t>(-40 - f)) << f;
  }
  EXPECT_EQ(sdram.read16(kBuffer + 6400), 6400 / 2) << "nothing past the buffer";
  EXPECT_TRUE(codec.played.empty());
}

TEST(IisDmaTable, NothingMovesUnlessBothSidesAreSetUp) {
  struct Case {
    const char* what;
    uint32_t address, value;
  } cases[] = {
      {"Tx DMA request off", IISCON, 0x03},  {"FIFO not in DMA mode", IISFCON, 0x200},
      {"receive mode only", IISMOD, 0x49},   {"prescaler off", IISCON, 0x21},
      {"DMA requests masked", BDCON0, 0x04}, {"channel disabled", BDICNT0, 0x44C00000 | 6400},
      {"source UART0", BDICNT0, 0x84D00000 | 6400}, {"word size", BDISRC0, 0x90000000 | kBuffer},
      {"count 0", BDICNT0, 0x44D00000},
  };
  for (const Case& c : cases) {
    Rig t;
    t.start(true, kBuffer, 6400);
    t.w(c.address, c.value);
    uint32_t count = t.r(BDCCNT0);
    t.sched.advance_to(200 * kMillisecond);
    EXPECT_EQ(t.r(BDCCNT0), count) << c.what;
    EXPECT_FALSE(t.dma_irq()) << c.what;
  }
}

TEST_F(IisDma, CancelStopsTheChannel) {
  start(true, kBuffer, 6400);
  sched.advance_to(10 * kSlot);
  w(BDCON0, 0x03);
  sched.advance_to(200 * kMillisecond);
  EXPECT_EQ(r(BDCCNT0), 6400u - 20);
  EXPECT_EQ(r(BDCON0), 0u);
  EXPECT_EQ(r(BDICNT0) & (1u << 20), 0u);
  EXPECT_FALSE(dma_irq());
}

TEST_F(IisDma, AutoReloadRestartsAtTerminalCount) {
  start(true, kBuffer, 8);
  w(BDICNT0, 0x44F00000 | 8);  // auto-reload
  sched.advance_to(4 * kSlot);
  EXPECT_TRUE(dma_irq());
  EXPECT_EQ(r(BDCCNT0), 8u);
  EXPECT_EQ(r(BDCSRC0), kBuffer);
  EXPECT_NE(r(BDICNT0) & (1u << 20), 0u);
  intc.write(0x24, 1u << chip::kIrqBdma0, 4);  // I_ISPC
  sched.advance_to(8 * kSlot - 1);
  EXPECT_FALSE(dma_irq());
  sched.advance_to(8 * kSlot);
  EXPECT_TRUE(dma_irq());
}

// CLKCON's BDMA bit stops the channel where it is; it goes on at the first
// slot after the clock comes back, so terminal count comes as many slots
// later as were not served. IDLE keeps the BDMA's clock.
TEST(IisDmaTable, BdmaClockGateHoldsTheTransferAndResumesIt) {
  constexpr uint32_t CLKCON = 0x04, kAllOn = 0x7FF8, kBdmaOff = kAllOn & ~(1u << ClockPower::kBdma);
  struct Case {
    const char* what;
    uint32_t off_value;
    VTime off, on;
    uint64_t lost;  // slots without a transfer
  } cases[] = {
      {"off for 100 slots at a slot's end", kBdmaOff, 10 * kSlot, 110 * kSlot, 100},
      {"off and on within slots", kBdmaOff, 10 * kSlot + kSlot / 2, 20 * kSlot + 7, 10},
      {"IDLE", kAllOn | 4, 10 * kSlot, 110 * kSlot, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> said;
    LogSink previous = set_log_sink([&](const std::string& l) { said.push_back(l); });
    Rig t;
    ClockPower clock{chip::kClockPower, t.sched};
    clock.write(0x00, 0x38021, 4);  // PLLCON: 64 MHz again, as the rig has it
    clock.on_gate_change(ClockPower::kBdma, [&](bool on) { t.bdma.set_clock_enabled(on); });
    t.start(true, kBuffer, 6400);
    t.sched.advance_to(c.off);
    clock.write(CLKCON, c.off_value, 4);
    const uint32_t held = t.r(BDCCNT0), held_src = t.r(BDCSRC0);
    EXPECT_EQ(held, 6400u - 20);
    t.sched.advance_to(c.on - 1);
    if (c.lost) {
      EXPECT_EQ(t.r(BDCCNT0), held) << "nothing moves with the clock off";
      EXPECT_EQ(t.r(BDCSRC0), held_src);
      t.w(BDCON0, 0);  // a second use: still said once
    }
    t.sched.advance_to(c.on);
    clock.wake(1u << chip::kIrqBdma0);
    clock.write(CLKCON, kAllOn, 4);
    // The transfer goes on from the held registers at the IIS's pace.
    const uint64_t first = c.on / kSlot + 1;
    t.sched.advance_to(first * kSlot - 1);
    EXPECT_EQ(t.r(BDCCNT0), c.lost ? held : 6400 - 2 * (first - 1)) << "N-1";
    t.sched.advance_to(first * kSlot);
    EXPECT_EQ(t.r(BDCCNT0), c.lost ? held - 2 : 6400 - 2 * first) << "N";
    EXPECT_EQ(t.r(BDCSRC0), kBuffer + 6400 - t.r(BDCCNT0));
    const VTime end = (3200 + c.lost) * kSlot;
    t.sched.advance_to(end - 1);
    EXPECT_FALSE(t.dma_irq()) << "N-1";
    t.sched.advance_to(end);
    EXPECT_TRUE(t.dma_irq()) << "N: terminal count, the lost slots later";
    // What was played, slot by slot: the samples before, silence while
    // held, the rest after.
    std::vector<int16_t> heard;
    for (const FakeCodec::Played& p : t.codec.played) heard.insert(heard.end(), {p.frame.left, p.frame.right});
    std::vector<int16_t> expected;
    for (int16_t v = 0; v < 3200; ++v) {
      if (v == 10) expected.insert(expected.end(), c.lost, 0);
      expected.push_back(v);
    }
    EXPECT_EQ(heard, expected);
    int reports = 0;
    for (const std::string& l : said) reports += l.find("CLKCON bit 7") != std::string::npos;
    EXPECT_EQ(reports, c.lost ? 1 : 0) << "said once";
    set_log_sink(previous);
  }
}

TEST_F(IisDma, CpuFedFifoHoldsEightHalfWords) {
  w(IISMOD, 0x89);
  w(IISFCON, 0x200);
  for (uint16_t v = 1; v <= 9; ++v) w(IISFIF, v);  // the ninth is lost
  EXPECT_EQ(r(IISFCON), 0x280u);
  EXPECT_EQ(r(IISCON) & 0x1C0, 0x180u) << "L/R reads 1 while stopped; Tx FIFO holds data";
  w(IISCON, 0x03);
  sched.advance_to(3 * kSlot);
  EXPECT_EQ(r(IISFCON), 0x250u);
  sched.advance_to(20 * kSlot);
  EXPECT_EQ(r(IISFCON), 0x200u);
  ASSERT_EQ(codec.played.size(), 10u);
  EXPECT_EQ(codec.played[3].frame.left, 7);
  EXPECT_EQ(codec.played[3].frame.right, 8);
  EXPECT_EQ(codec.played[4].frame.left, 0) << "an empty FIFO sends 0";
}

}  // namespace
}  // namespace sim
