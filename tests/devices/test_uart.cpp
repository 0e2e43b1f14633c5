// UART0 in virtual time: the transmit holding register and shifter seen
// through UTRSTAT at N-1, N and N+1 cycles of a frame, reception from a far
// end at 115200 baud, overrun into UERSTAT, and the interrupt requests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "core/scheduler.h"
#include "devices/intc.h"
#include "devices/uart.h"

namespace sim {
namespace {

using namespace chip;

enum : uint32_t {
  ULCON = 0x00,
  UCON = 0x04,
  UTRSTAT = 0x10,
  UERSTAT = 0x14,
  UTXH = 0x20,
  URXH = 0x24,
  UBRDIV = 0x28,
};
enum : uint32_t { kRxReady = 1, kTxHoldingEmpty = 2, kTxEmpty = 4 };
constexpr uint32_t k8N1 = 3;
constexpr uint32_t kIntOrPoll = 5;        // receive and transmit in interrupt/polling mode
constexpr uint32_t kRxErrorIrq = 0x40;    // UCON[6]: receive error status interrupt
constexpr VTime kFarEndFrame = kSecond * 10 / Uart::kFarEndBaud;

struct QuietLog {
  LogSink previous = set_log_sink([](const std::string&) {});
  ~QuietLog() { set_log_sink(previous); }
};

struct UartTest : ::testing::Test {
  QuietLog quiet;
  Scheduler scheduler;
  Intc intc{kIntc};
  Uart uart{"uart0", kUart0, scheduler, intc, kIrqUrxd0, kIrqUtxd0, kIrqUerr01};
  std::string sent;

  void SetUp() override {
    scheduler.set_cycle_period(kSecond / 64000000);
    uart.set_transmit_listener([this](uint8_t b) { sent.push_back(static_cast<char>(b)); });
  }
  void setup(uint32_t ubrdiv, uint32_t ulcon = k8N1, uint32_t ucon = kIntOrPoll) {
    uart.write(ULCON, ulcon, 4);
    uart.write(UCON, ucon, 4);
    uart.write(UBRDIV, ubrdiv, 4);
  }
  uint32_t utrstat() { return uart.read(UTRSTAT, 4); }
  bool requested(int source) const { return intc.pending() & (1u << source); }
  void clear_requests() { intc.write(0x24, 0x3FFFFFF, 4); }
};

TEST_F(UartTest, OneByteLeavesAfterOneFrame) {
  struct Case {
    uint32_t ubrdiv, ulcon;
    uint64_t bits;  // bit times per frame
  };
  const Case cases[] = {
      {3, k8N1, 10},         // 8N1
      {34, k8N1, 10},        // about 115200 baud at 64 MHz
      {0, k8N1, 10},         // the fastest divisor
      {3, 0x2, 9},           // 7 data bits
      {3, k8N1 | 0x4, 11},   // 2 stop bits
      {3, k8N1 | 0x20, 11},  // odd parity
      {3, 0x0, 7},           // 5 data bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("UBRDIV " + std::to_string(c.ubrdiv) + " ULCON " + std::to_string(c.ulcon));
    uart.reset();
    sent.clear();
    setup(c.ubrdiv, c.ulcon);
    const uint64_t frame = c.bits * 16 * (c.ubrdiv + 1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty | kTxEmpty);
    uart.write(UTXH, 'a', 1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty) << "the byte went on to the shifter at once";
    scheduler.run_cycles(frame - 1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty);
    EXPECT_EQ(sent, "");
    scheduler.run_cycles(1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty | kTxEmpty);
    EXPECT_EQ(sent, "a");
    scheduler.run_cycles(1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty | kTxEmpty);
    EXPECT_EQ(sent, "a");
  }
}

TEST_F(UartTest, HoldingRegisterWaitsForTheShifter) {
  setup(3);
  const uint64_t frame = 10 * 16 * 4;
  uart.write(UTXH, 'x', 1);
  uart.write(UTXH, 'y', 1);
  EXPECT_EQ(utrstat(), 0u) << "holding register and shifter both full";

  struct Step {
    uint64_t at;  // cycles since the first write
    uint32_t utrstat;
    const char* sent;
  };
  const Step steps[] = {
      {frame - 1, 0, ""},
      {frame, kTxHoldingEmpty, "x"},
      {frame + 1, kTxHoldingEmpty, "x"},
      {2 * frame - 1, kTxHoldingEmpty, "x"},
      {2 * frame, kTxHoldingEmpty | kTxEmpty, "xy"},
      {2 * frame + 1, kTxHoldingEmpty | kTxEmpty, "xy"},
  };
  uint64_t now = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE("cycle " + std::to_string(s.at));
    scheduler.run_cycles(s.at - now);
    now = s.at;
    EXPECT_EQ(utrstat(), s.utrstat);
    EXPECT_EQ(sent, s.sent);
  }
}

TEST_F(UartTest, FrameTimeFollowsThePll) {
  setup(3);
  scheduler.set_cycle_period(kSecond / 8000000);
  EXPECT_EQ(uart.frame_time(), 640 * (kSecond / 8000000));
  scheduler.set_cycle_period(kSecond / 64000000);
  EXPECT_EQ(uart.frame_time(), 640 * (kSecond / 64000000));
}

TEST_F(UartTest, TransmitRequestWhenTheHoldingRegisterFrees) {
  setup(3);
  const uint64_t frame = 640;
  uart.write(UTXH, '1', 1);
  EXPECT_TRUE(requested(kIrqUtxd0)) << "requested even while masked";
  clear_requests();
  uart.write(UTXH, '2', 1);
  EXPECT_FALSE(requested(kIrqUtxd0)) << "the holding register is full";
  scheduler.run_cycles(frame - 1);
  EXPECT_FALSE(requested(kIrqUtxd0));
  scheduler.run_cycles(1);
  EXPECT_TRUE(requested(kIrqUtxd0));
}

TEST_F(UartTest, ReceiveAtTheFarEndsRate) {
  setup(3);  // the far end's 115200 baud does not follow UBRDIV
  uart.receive({'A', 'B'});
  struct Step {
    VTime at;
    bool ready;
    int byte;  // read when ready
  };
  const Step steps[] = {
      {kFarEndFrame - 1, false, 0},     {kFarEndFrame, true, 'A'},     {2 * kFarEndFrame - 1, false, 0},
      {2 * kFarEndFrame, true, 'B'},    {3 * kFarEndFrame, false, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE("at " + format_duration(s.at));
    scheduler.advance_to(s.at);
    ASSERT_EQ((utrstat() & kRxReady) != 0, s.ready);
    if (s.ready) {
      EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>(s.byte));
      EXPECT_EQ(utrstat() & kRxReady, 0u) << "reading URXH empties the holding register";
    }
  }
  EXPECT_TRUE(uart.receive_idle());
  EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "every byte was read in time";
}

// The CPU runs in slices longer than a frame; the bytes must still arrive
// one frame apart, not earlier because an event fired late.
TEST_F(UartTest, ReceiveTimingHoldsWhenTimePassesInLongSlices) {
  setup(3);
  uart.receive({'A', 'B'});
  const uint64_t cycles_per_frame = kFarEndFrame / scheduler.cycle_period();
  scheduler.run_cycles(cycles_per_frame * 3 / 2);
  ASSERT_TRUE(utrstat() & kRxReady);
  EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('A'));
  scheduler.run_cycles(cycles_per_frame / 2 - 10);
  EXPECT_EQ(utrstat() & kRxReady, 0u) << "the second byte arrived early";
  scheduler.run_cycles(20);
  ASSERT_TRUE(utrstat() & kRxReady);
  EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('B'));
}

TEST_F(UartTest, OverrunSetsUerstatUntilRead) {
  struct Case {
    uint32_t ucon;
    bool error_request;
  };
  const Case cases[] = {{kIntOrPoll, false}, {kIntOrPoll | kRxErrorIrq, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE("UCON " + std::to_string(c.ucon));
    uart.reset();
    intc.reset();
    setup(3, k8N1, c.ucon);
    uart.receive({'1', '2', '3'});
    scheduler.advance_to(scheduler.now() + kFarEndFrame);
    EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "one byte waiting is no overrun";
    scheduler.advance_to(scheduler.now() + kFarEndFrame);
    EXPECT_EQ(uart.read(UERSTAT, 4), 1u) << "the second byte overwrote the first";
    EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "reading UERSTAT clears it";
    EXPECT_EQ(requested(kIrqUerr01), c.error_request);
    EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('2')) << "the newer byte is kept";
    scheduler.advance_to(scheduler.now() + kFarEndFrame);
    EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('3'));
    EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "read in time: no overrun";
  }
}

TEST_F(UartTest, ReceiveRequestFollowsUconMode) {
  struct Case {
    uint32_t ucon;
    bool rx_request;
  };
  const Case cases[] = {{0x0, false}, {0x1, true}, {kIntOrPoll, true}, {0x2, false}, {0x4, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("UCON " + std::to_string(c.ucon));
    uart.reset();
    intc.reset();
    setup(3, k8N1, c.ucon);
    uart.receive({'z'});
    scheduler.advance_to(scheduler.now() + kFarEndFrame - 1);
    EXPECT_FALSE(requested(kIrqUrxd0));
    scheduler.advance_to(scheduler.now() + 1);
    EXPECT_EQ(requested(kIrqUrxd0), c.rx_request);
    EXPECT_TRUE(utrstat() & kRxReady) << "the byte arrives whatever the mode";
    EXPECT_FALSE(intc.irq_asserted()) << "the request does not unmask itself";
  }
}

}  // namespace
}  // namespace sim
