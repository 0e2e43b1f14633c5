// The UARTs in virtual time: frames on the line and their decoding by a
// receiver at another rate or frame, the transmitter and receiver seen
// through UTRSTAT / UFSTAT / UERSTAT at N-1, N and N+1 of a frame, the
// FIFOs, trigger levels, Rx time-out, pulse and level requests, loop-back,
// send break, errors, disabled modes, and the far end's garbling when the
// firmware's rate does not match its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "core/scheduler.h"
#include "devices/intc.h"
#include "devices/serial_line.h"
#include "devices/uart.h"

namespace sim {
namespace {

using namespace chip;

enum : uint32_t { kRxReady = 1, kTxHoldingEmpty = 2, kTxEmpty = 4 };
constexpr uint32_t ULCON = Uart::ULCON, UCON = Uart::UCON, UFCON = Uart::UFCON, UTRSTAT = Uart::UTRSTAT,
                   UERSTAT = Uart::UERSTAT, UFSTAT = Uart::UFSTAT, UTXH = Uart::UTXH, URXH = Uart::URXH,
                   UBRDIV = Uart::UBRDIV;
constexpr uint32_t k8N1 = 3;
constexpr uint32_t kIntOrPoll = 5;      // receive and transmit in interrupt/polling mode, pulse requests
constexpr uint32_t kRxErrorIrq = 0x40;  // UCON[6]
constexpr uint32_t kTimeout = 0x80;     // UCON[7]
constexpr uint32_t kRxLevel = 0x100, kTxLevel = 0x200;
constexpr uint32_t kLoopBack = 0x20, kSendBreak = 0x10;
constexpr uint32_t kFifoOn = 1;

// At 64 MHz, UBRDIV 31 gives exactly 125000 baud: one bit is 8 us, a 8N1
// frame 80 us, and a receiver at the same rate has a byte at the middle of
// its stop bit, 76 us after the start bit began.
constexpr VTime kBit = 8 * kMicrosecond;
constexpr VTime kFrame = 10 * kBit;
constexpr VTime kArrival = 19 * kBit / 2;
constexpr uint32_t kExactDivisor = 31;
constexpr uint32_t kExactBaud = 125000;

struct LogLines {
  std::vector<std::string> lines;
  LogSink previous = set_log_sink([this](const std::string& l) { lines.push_back(l); });
  ~LogLines() { set_log_sink(previous); }
  int count(const std::string& word) const {
    int n = 0;
    for (const std::string& l : lines) n += l.find(word) != std::string::npos;
    return n;
  }
};

// --- The line and its receiver, without a UART ----------------------------

struct LineTest : ::testing::Test {
  Scheduler scheduler;
  SerialLine line;
  std::vector<ReceivedFrame> got;
  SerialReceiver::Settings rx{BitClock::baud(115200), SerialFormat{}};
  SerialReceiver receiver{scheduler, "rx", [this] { return rx; },
                          [this](const ReceivedFrame& f) { got.push_back(f); }};
  void SetUp() override { receiver.listen(&line); }
};

SerialFormat fmt(unsigned data, SerialFormat::Parity parity = SerialFormat::Parity::kNone, unsigned stop = 1) {
  SerialFormat f;
  f.data_bits = data;
  f.parity = parity;
  f.stop_bits = stop;
  return f;
}

// Worked by hand from the sample points (the middle of each receiver bit).
TEST_F(LineTest, ReceiverSamplesAtItsOwnRate) {
  using P = SerialFormat::Parity;
  struct Case {
    const char* what;
    uint32_t tx_baud;
    SerialFormat tx;
    uint32_t rx_baud;
    SerialFormat rx;
    uint8_t sent, byte, errors;
  };
  const Case cases[] = {
      {"same rate and frame", 115200, fmt(8), 115200, fmt(8), 0x5A, 0x5A, 0},
      {"7N1 into 8N1: the stop bit is read as bit 7", 115200, fmt(7), 115200, fmt(8), 0x41, 0xC1, 0},
      {"8E1 into 8N1: parity 0 read as the stop bit", 115200, fmt(8, P::kEven), 115200, fmt(8), 0x03, 0x03,
       kFrameError},
      {"8N1 into 8O1: the stop bit read as parity", 115200, fmt(8), 115200, fmt(8, P::kOdd), 0x43, 0x43, kParityError},
      {"8N1 into 8O1, parity happens to hold", 115200, fmt(8), 115200, fmt(8, P::kOdd), 0x41, 0x41, 0},
      // Sender 3x faster: receiver bit k samples sender bit 3k + 1.
      {"sender 3x faster", 345600, fmt(8), 115200, fmt(8), 0x00, 0xFC, 0},
      // Sender 3x slower: receiver bits 1..8 sample start,start,d0,d0,d0,d1,d1,d1; stop samples d2.
      {"sender 3x slower", 38400, fmt(8), 115200, fmt(8), 0xFF, 0xFC, 0},
      {"sender 3x slower, d2 low", 38400, fmt(8), 115200, fmt(8), 0xFB, 0xFC, kFrameError},
      {"sender 3x slower, all low: a break", 38400, fmt(8), 115200, fmt(8), 0xF0, 0x00, kBreakError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    got.clear();
    rx = {BitClock::baud(c.rx_baud), c.rx};
    VTime end = line.send_frame(scheduler.now(), BitClock::baud(c.tx_baud), c.tx, c.sent);
    scheduler.advance_to(end + kMillisecond);
    // After a frame error the low line may start another frame at once.
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].byte, c.byte);
    EXPECT_EQ(got[0].errors, c.errors);
  }
}

TEST_F(LineTest, ByteIsDecidedAtTheMiddleOfTheStopBit) {
  rx = {BitClock::baud(kExactBaud), fmt(8)};
  const VTime t0 = scheduler.now();
  line.send_frame(t0, BitClock::baud(kExactBaud), fmt(8), 'k');
  scheduler.advance_to(t0 + kArrival - 1);
  EXPECT_TRUE(got.empty());
  EXPECT_TRUE(receiver.in_frame());
  scheduler.advance_to(t0 + kArrival);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].byte, 'k');
  EXPECT_FALSE(receiver.in_frame());
}

// After a break the line must go high before the next start bit counts.
TEST_F(LineTest, BreakIsReportedOnceUntilTheLineGoesHigh) {
  const BitClock clock = BitClock::baud(115200);
  VTime end = line.send_break(scheduler.now(), clock, fmt(8));
  end = line.send_break(end, clock, fmt(8));  // two frame times low
  scheduler.advance_to(end + kMillisecond);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].errors, kBreakError);
  line.send_frame(scheduler.now(), clock, fmt(8), 'x');
  scheduler.advance_to(scheduler.now() + kMillisecond);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].byte, 'x');
  EXPECT_EQ(got[1].errors, 0);
}

TEST(SerialRates, DecodableWithinHalfABitAtTheStopSample) {
  struct Case {
    double ratio;  // sender rate / receiver rate
    bool ok;
  };
  // 8N1: the stop sample at 9.5 receiver bits must fall in sender bit 9.
  const Case cases[] = {{1.0, true}, {1.008, true}, {0.992, true}, {1.05, true}, {0.953, true},
                        {1.054, false}, {0.947, false}, {1.085, false}, {0.5, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ratio);
    BitClock rx = BitClock::baud(100000), tx = BitClock::baud(static_cast<uint32_t>(100000 * c.ratio));
    EXPECT_EQ(decodable(tx, fmt(8), rx, fmt(8)), c.ok);
  }
  EXPECT_FALSE(decodable(BitClock::baud(115200), fmt(7), BitClock::baud(115200), fmt(8)));
  EXPECT_FALSE(decodable(BitClock::baud(115200), fmt(8, SerialFormat::Parity::kEven), BitClock::baud(115200), fmt(8)));
  EXPECT_TRUE(decodable(BitClock::baud(115200), fmt(8, SerialFormat::Parity::kNone, 2), BitClock::baud(115200), fmt(8)));
}

// --- The UART --------------------------------------------------------------

struct UartTest : ::testing::Test {
  LogLines log;
  Scheduler scheduler;
  Intc intc{kIntc};
  Uart uart{"uart0", kUart0, scheduler, intc, kIrqUrxd0, kIrqUtxd0, kIrqUerr01};
  std::string sent;  // what the far end decoded

  void SetUp() override {
    scheduler.set_cycle_period(kSecond / 64000000);
    uart.far_end().set_listener([this](uint8_t b) { sent.push_back(static_cast<char>(b)); });
  }
  // The UART and its far end at exactly the same rate (125000 baud).
  void setup(uint32_t ucon = kIntOrPoll, uint32_t ufcon = 0, uint32_t ulcon = k8N1, uint32_t ubrdiv = kExactDivisor) {
    uart.far_end().set_baud(kExactBaud);
    uart.write(ULCON, ulcon, 4);
    uart.write(UFCON, ufcon, 4);
    uart.write(UBRDIV, ubrdiv, 4);
    uart.write(UCON, ucon, 4);
  }
  // The UART as after a chip reset (the far end goes on), set up again;
  // returns the time.
  VTime restart(uint32_t ucon = kIntOrPoll, uint32_t ufcon = 0, uint32_t ulcon = k8N1,
                uint32_t ubrdiv = kExactDivisor) {
    uart.reset();
    intc.reset();
    sent.clear();
    setup(ucon, ufcon, ulcon, ubrdiv);
    return scheduler.now();
  }
  void send(const std::string& s) { uart.receive(std::vector<uint8_t>(s.begin(), s.end())); }
  void at(VTime t) { scheduler.advance_to(t); }
  uint32_t utrstat() { return uart.read(UTRSTAT, 4); }
  uint32_t ufstat() { return uart.read(UFSTAT, 4); }
  bool requested(int source) const { return intc.pending() & (1u << source); }
  void clear_requests() { intc.write(0x24, 0x3FFFFFF, 4); }
  std::string read_all() {
    std::string s;
    while (utrstat() & kRxReady) s.push_back(static_cast<char>(uart.read(URXH, 1)));
    return s;
  }
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
    restart(kIntOrPoll, 0, c.ulcon, c.ubrdiv);
    const uint64_t frame = c.bits * 16 * (c.ubrdiv + 1);
    EXPECT_EQ(uart.frame_time(), frame * scheduler.cycle_period());
    EXPECT_EQ(utrstat(), kTxHoldingEmpty | kTxEmpty);
    uart.write(UTXH, 'a', 1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty) << "the byte went on to the shifter at once";
    scheduler.run_cycles(frame - 1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty);
    scheduler.run_cycles(1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty | kTxEmpty);
    scheduler.run_cycles(1);
    EXPECT_EQ(utrstat(), kTxHoldingEmpty | kTxEmpty);
  }
}

TEST_F(UartTest, HoldingRegisterWaitsForTheShifter) {
  setup();
  uart.write(UTXH, 'x', 1);
  uart.write(UTXH, 'y', 1);
  EXPECT_EQ(utrstat(), 0u) << "holding register and shifter both full";
  struct Step {
    VTime at;
    uint32_t utrstat;
    const char* sent;
  };
  const Step steps[] = {
      {kArrival - 1, 0, ""},
      {kArrival, 0, "x"},  // the far end has it at the middle of the stop bit
      {kFrame - 1, 0, "x"},
      {kFrame, kTxHoldingEmpty, "x"},
      {kFrame + 1, kTxHoldingEmpty, "x"},
      {2 * kFrame - 1, kTxHoldingEmpty, "xy"},
      {2 * kFrame, kTxHoldingEmpty | kTxEmpty, "xy"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE("at " + format_duration(s.at));
    at(s.at);
    EXPECT_EQ(utrstat(), s.utrstat);
    EXPECT_EQ(sent, s.sent);
  }
}

TEST_F(UartTest, FrameTimeFollowsThePll) {
  setup(kIntOrPoll, 0, k8N1, 3);
  scheduler.set_cycle_period(kSecond / 8000000);
  EXPECT_EQ(uart.frame_time(), 640 * (kSecond / 8000000));
  scheduler.set_cycle_period(kSecond / 64000000);
  EXPECT_EQ(uart.frame_time(), 640 * (kSecond / 64000000));
}

// UBRDIV written for 64 MHz while the chip still runs at 8 MHz: garbled
// until the PLL is set, then right, without writing UBRDIV again.
TEST_F(UartTest, RateFollowsMclkChangesWithoutRewritingUbrdiv) {
  scheduler.set_cycle_period(kSecond / 8000000);
  uart.far_end().set_baud(115200);
  uart.write(ULCON, k8N1, 4);
  uart.write(UBRDIV, 34, 4);
  uart.write(UCON, kIntOrPoll, 4);
  uart.write(UTXH, 'A', 1);
  at(5 * kMillisecond);
  EXPECT_NE(sent, "A");
  sent.clear();
  scheduler.set_cycle_period(kSecond / 64000000);  // what ClockPower does on a PLLCON write
  uart.write(UTXH, 'A', 1);
  at(10 * kMillisecond);
  EXPECT_EQ(sent, "A");
}

TEST_F(UartTest, ReceiveAtTheFarEndsRate) {
  setup();
  send("AB");
  struct Step {
    VTime at;
    bool ready;
    int byte;  // read when ready
  };
  const Step steps[] = {
      {kArrival - 1, false, 0}, {kArrival, true, 'A'}, {kFrame + kArrival - 1, false, 0},
      {kFrame + kArrival, true, 'B'}, {3 * kFrame, false, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE("at " + format_duration(s.at));
    at(s.at);
    ASSERT_EQ((utrstat() & kRxReady) != 0, s.ready);
    if (s.ready) {
      EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>(s.byte));
      EXPECT_EQ(utrstat() & kRxReady, 0u) << "reading URXH empties the holding register";
    }
  }
  EXPECT_FALSE(uart.far_end().sending());
  EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "every byte was read in time";
}

// The CPU runs in slices longer than a frame; the bytes must still arrive
// one frame apart, not earlier because an event fired late.
TEST_F(UartTest, ReceiveTimingHoldsWhenTimePassesInLongSlices) {
  setup();
  send("AB");
  const uint64_t cycles_per_frame = kFrame / scheduler.cycle_period();
  scheduler.run_cycles(cycles_per_frame * 3 / 2);
  ASSERT_TRUE(utrstat() & kRxReady);
  EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('A'));
  scheduler.run_cycles(cycles_per_frame / 2 - 10 - cycles_per_frame / 20);
  EXPECT_EQ(utrstat() & kRxReady, 0u) << "the second byte arrived early";
  scheduler.run_cycles(20);
  ASSERT_TRUE(utrstat() & kRxReady);
  EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('B'));
}

TEST_F(UartTest, OverrunWithFifosOff) {
  struct Case {
    uint32_t ucon;
    bool error_request;
  };
  const Case cases[] = {{kIntOrPoll, false}, {kIntOrPoll | kRxErrorIrq, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE("UCON " + std::to_string(c.ucon));
    const VTime t0 = restart(c.ucon);
    send("123");
    at(t0 + kArrival);
    EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "one byte waiting is no overrun";
    at(t0 + kFrame + kArrival);
    EXPECT_EQ(uart.read(UERSTAT, 4), 1u) << "the second byte overwrote the first";
    EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "reading UERSTAT clears it";
    EXPECT_EQ(requested(kIrqUerr01), c.error_request);
    EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('2')) << "the newer byte is kept";
    at(t0 + 2 * kFrame + kArrival);
    EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('3'));
    EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "read in time: no overrun";
    at(t0 + 3 * kFrame);  // the far end's last frame ends
  }
}

TEST_F(UartTest, RxFifoCountsFullBitAndOverrun) {
  setup(kIntOrPoll, kFifoOn);
  const std::string burst = "0123456789ABCDEFGH";  // 18 bytes
  send(burst);
  for (unsigned k = 1; k <= burst.size(); ++k) {
    SCOPED_TRACE("byte " + std::to_string(k));
    const VTime arrival = (k - 1) * kFrame + kArrival;
    at(arrival - 1);
    const uint32_t before = std::min(k - 1, 16u);
    EXPECT_EQ(ufstat(), before == 16 ? 0x100u : before);
    at(arrival);
    const uint32_t now = std::min(k, 16u);
    EXPECT_EQ(ufstat(), now == 16 ? 0x100u : now) << "a full FIFO reads count 0 and its full bit";
    EXPECT_EQ(uart.read(UERSTAT, 4), k > 16 ? 1u : 0u) << "overrun when a byte finds the FIFO full";
  }
  EXPECT_EQ(read_all(), burst.substr(0, 16)) << "the FIFO keeps the first 16; later bytes are lost";
  EXPECT_EQ(ufstat(), 0u);
}

TEST_F(UartTest, TxFifoCountsFullBitAndDrain) {
  setup(kIntOrPoll, kFifoOn);
  const std::string text = "abcdefghijklmnopq";  // 17: one to the shifter, 16 in the FIFO
  for (char c : text) uart.write(UTXH, static_cast<uint8_t>(c), 1);
  EXPECT_EQ(ufstat(), 0x200u) << "full: count 0 with the Tx full bit";
  EXPECT_EQ(utrstat() & (kTxHoldingEmpty | kTxEmpty), 0u);
  uart.write(UTXH, '!', 1);
  EXPECT_EQ(log.count("Tx FIFO is full"), 1);
  for (unsigned k = 1; k <= 16; ++k) {
    at(k * kFrame - 1);
    EXPECT_EQ(ufstat(), k == 1 ? 0x200u : (17 - k) << 4);
    at(k * kFrame);
    EXPECT_EQ(ufstat(), (16 - k) << 4);
  }
  at(17 * kFrame);
  EXPECT_EQ(utrstat() & kTxEmpty, kTxEmpty);
  EXPECT_EQ(sent, text) << "every byte in order; the one written to the full FIFO was lost";
}

TEST_F(UartTest, FifoResetsClearThemselves) {
  setup(kIntOrPoll, kFifoOn);
  send("abcdef");
  at(6 * kFrame);
  for (int i = 0; i < 5; ++i) uart.write(UTXH, 'x', 1);
  EXPECT_EQ(ufstat(), 6u | (4u << 4));
  uart.write(UFCON, kFifoOn | 0x2, 4);  // Rx FIFO reset
  EXPECT_EQ(ufstat(), 4u << 4);
  EXPECT_EQ(uart.read(UFCON, 4), kFifoOn) << "the reset bit reads 0";
  uart.write(UFCON, kFifoOn | 0x4, 4);  // Tx FIFO reset
  EXPECT_EQ(ufstat(), 0u);
  EXPECT_EQ(uart.read(UFCON, 4), kFifoOn);
  at(10 * kFrame);
  EXPECT_EQ(sent, "x") << "only the byte already in the shifter went out";
}

// Pulse type: the request comes when the count reaches the trigger level.
TEST_F(UartTest, RxTriggerLevels) {
  const unsigned levels[] = {4, 8, 12, 16};
  for (unsigned code = 0; code < 4; ++code) {
    SCOPED_TRACE("trigger " + std::to_string(levels[code]));
    const VTime t0 = restart(kIntOrPoll, kFifoOn | (code << 4));
    send(std::string(16, 'r'));
    const VTime reached = t0 + (levels[code] - 1) * kFrame + kArrival;
    at(reached - 1);
    EXPECT_FALSE(requested(kIrqUrxd0));
    EXPECT_EQ(ufstat() & 0x10F, levels[code] - 1);
    at(reached);
    EXPECT_TRUE(requested(kIrqUrxd0));
    at(t0 + 20 * kFrame);
  }
}

TEST_F(UartTest, TxTriggerLevels) {
  const unsigned levels[] = {0, 4, 8, 12};
  for (unsigned code = 0; code < 4; ++code) {
    SCOPED_TRACE("trigger " + std::to_string(levels[code]));
    const VTime t0 = restart(kIntOrPoll, kFifoOn | (code << 6));
    for (int i = 0; i < 16; ++i) uart.write(UTXH, 't', 1);  // one in the shifter, 15 waiting
    clear_requests();
    // Each frame end moves one byte on: after k frames 15 - k wait.
    const VTime falls = t0 + (15 - levels[code]) * kFrame;
    at(falls - 1);
    EXPECT_FALSE(requested(kIrqUtxd0));
    at(falls);
    EXPECT_TRUE(requested(kIrqUtxd0));
    EXPECT_EQ((ufstat() >> 4) & 0xF, levels[code]);
    at(t0 + 20 * kFrame);
  }
}

// Three frame times (this UART's own) after the last byte arrived, with data
// still in the FIFO below the trigger level.
TEST_F(UartTest, RxTimeoutAfterThreeWordTimes) {
  struct Case {
    const char* what;
    uint32_t ucon, ufcon;
    bool timeout;
  };
  const Case cases[] = {
      {"time-out enabled", kIntOrPoll | kTimeout, kFifoOn | 0x10, true},
      {"time-out disabled", kIntOrPoll, kFifoOn | 0x10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const VTime t0 = restart(c.ucon, c.ufcon);
    send("abc");
    const VTime last = t0 + 2 * kFrame + kArrival;
    at(last);
    EXPECT_FALSE(requested(kIrqUrxd0)) << "3 bytes are below the trigger level of 8";
    at(last + 3 * kFrame - 1);
    EXPECT_FALSE(requested(kIrqUrxd0));
    at(last + 3 * kFrame);
    EXPECT_EQ(requested(kIrqUrxd0), c.timeout);
    at(last + 3 * kFrame + 1);
    EXPECT_EQ(requested(kIrqUrxd0), c.timeout);
    EXPECT_EQ(read_all(), "abc");
  }
}

// The time-out is for data below the trigger level: bytes at or above it
// had their trigger request. Read below the level after three word times
// without a byte, they time out then.
TEST_F(UartTest, RxTimeoutOnlyBelowTheTriggerLevel) {
  const VTime t0 = restart(kIntOrPoll | kTimeout, kFifoOn);  // pulse requests, trigger 4
  send("abcde");
  at(t0 + 3 * kFrame + kArrival);
  EXPECT_TRUE(requested(kIrqUrxd0)) << "the trigger level";
  clear_requests();
  const VTime last = t0 + 4 * kFrame + kArrival;
  at(last + 3 * kFrame + 1);
  EXPECT_FALSE(requested(kIrqUrxd0)) << "5 bytes wait, at or above the trigger level of 4: no time-out";
  EXPECT_EQ(ufstat() & 0x10F, 5u);
  uart.read(URXH, 1);
  EXPECT_FALSE(requested(kIrqUrxd0)) << "4 still wait";
  uart.read(URXH, 1);
  EXPECT_TRUE(requested(kIrqUrxd0)) << "3 below the trigger level, no byte for 3 word times: time-out";
  clear_requests();
  EXPECT_EQ(read_all(), "cde");
  EXPECT_FALSE(requested(kIrqUrxd0));
  // A new byte below the level times out 3 word times after it, as before.
  const VTime t1 = scheduler.now();
  send("f");
  at(t1 + kArrival + 3 * kFrame - 1);
  EXPECT_FALSE(requested(kIrqUrxd0));
  at(t1 + kArrival + 3 * kFrame);
  EXPECT_TRUE(requested(kIrqUrxd0));
}

TEST_F(UartTest, RxTimeoutRestartsWithEachByte) {
  setup(kIntOrPoll | kTimeout, kFifoOn | 0x10);
  send("a");
  at(kArrival + 2 * kFrame);
  send("b");  // its frame starts now
  const VTime second = kArrival + 2 * kFrame + kArrival;
  at(kArrival + 3 * kFrame);
  EXPECT_FALSE(requested(kIrqUrxd0)) << "the second byte restarted the time-out";
  at(second + 3 * kFrame - 1);
  EXPECT_FALSE(requested(kIrqUrxd0));
  at(second + 3 * kFrame);
  EXPECT_TRUE(requested(kIrqUrxd0));
}

// Level type: the request comes back after I_ISPC while the condition holds.
TEST_F(UartTest, PulseAndLevelRequests) {
  struct Case {
    const char* what;
    uint32_t ucon, ufcon;
    int source;
    bool again_after_clear;
  };
  const Case cases[] = {
      {"Rx pulse, FIFOs off", kIntOrPoll, 0, kIrqUrxd0, false},
      {"Rx level, FIFOs off", kIntOrPoll | kRxLevel, 0, kIrqUrxd0, true},
      {"Rx level, trigger 4", kIntOrPoll | kRxLevel, kFifoOn, kIrqUrxd0, true},
      {"Rx level, time-out", kIntOrPoll | kRxLevel | kTimeout, kFifoOn | 0x30, kIrqUrxd0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const VTime t0 = restart(c.ucon, c.ufcon);
    send("wxyz");
    at(t0 + 3 * kFrame + kArrival + 3 * kFrame);  // four bytes in, and a time-out's worth
    EXPECT_TRUE(requested(c.source));
    clear_requests();
    EXPECT_EQ(requested(c.source), c.again_after_clear);
    EXPECT_FALSE(read_all().empty());
    clear_requests();
    EXPECT_FALSE(requested(c.source)) << "read: the condition is gone";
  }
}

TEST_F(UartTest, TxLevelRequestWhileTheHoldingRegisterIsEmpty) {
  setup(kIntOrPoll | kTxLevel);
  EXPECT_TRUE(requested(kIrqUtxd0)) << "empty at once";
  clear_requests();
  EXPECT_TRUE(requested(kIrqUtxd0)) << "level: still empty";
  uart.write(UTXH, '1', 1);
  uart.write(UTXH, '2', 1);  // waits in the holding register
  clear_requests();
  EXPECT_FALSE(requested(kIrqUtxd0));
  at(kFrame - 1);
  EXPECT_FALSE(requested(kIrqUtxd0));
  at(kFrame);
  EXPECT_TRUE(requested(kIrqUtxd0));
}

TEST_F(UartTest, TxPulseRequestWhenTheHoldingRegisterFrees) {
  setup();
  uart.write(UTXH, '1', 1);
  EXPECT_TRUE(requested(kIrqUtxd0)) << "requested even while masked";
  clear_requests();
  uart.write(UTXH, '2', 1);
  EXPECT_FALSE(requested(kIrqUtxd0)) << "the holding register is full";
  at(kFrame - 1);
  EXPECT_FALSE(requested(kIrqUtxd0));
  at(kFrame);
  EXPECT_TRUE(requested(kIrqUtxd0));
  EXPECT_FALSE(intc.irq_asserted()) << "the request does not unmask itself";
}

TEST_F(UartTest, ModesDecideWhatIsReceivedAndSent) {
  struct Case {
    const char* what;
    uint32_t ucon;
    bool received, rx_request, sent;
  };
  const Case cases[] = {
      {"both disabled", 0x0, false, false, false},
      {"Rx interrupt/polling", 0x1, true, true, false},
      {"Tx interrupt/polling", 0x4, false, false, true},
      {"both", kIntOrPoll, true, true, true},
      {"Rx DMA", 0x2 | 0x4, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const VTime t0 = restart(c.ucon);
    send("z");
    uart.write(UTXH, 'q', 1);
    at(t0 + 2 * kFrame);
    EXPECT_EQ((utrstat() & kRxReady) != 0, c.received);
    EXPECT_EQ(requested(kIrqUrxd0), c.rx_request);
    EXPECT_EQ(sent, c.sent ? "q" : "");
    EXPECT_EQ((utrstat() & kTxHoldingEmpty) != 0, c.sent) << "a disabled transmitter keeps the byte";
  }
  EXPECT_EQ(log.count("DMA modes"), 1) << "reported once";
  EXPECT_EQ(log.count("transmit mode is 00"), 1);
  // The byte kept by a disabled transmitter leaves once it is enabled.
  restart(0x0);
  uart.write(UTXH, 'k', 1);
  at(scheduler.now() + 2 * kFrame);
  EXPECT_EQ(sent, "");
  uart.write(UCON, kIntOrPoll, 4);
  at(scheduler.now() + 2 * kFrame);
  EXPECT_EQ(sent, "k");
}

TEST_F(UartTest, LoopBackReceivesWhatItSends) {
  setup(kIntOrPoll | kLoopBack);
  uart.write(UTXH, 'L', 1);
  send("F");  // the far end's byte is not listened to
  at(kArrival);
  EXPECT_EQ(utrstat() & kRxReady, kRxReady);
  EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('L'));
  at(5 * kFrame);
  EXPECT_EQ(utrstat() & kRxReady, 0u);
  EXPECT_EQ(sent, "") << "TxD stays idle in loop-back";
  uart.write(UCON, kIntOrPoll, 4);
  uart.write(UTXH, 'N', 1);
  at(10 * kFrame);
  EXPECT_EQ(sent, "N");
}

TEST_F(UartTest, SendBreakForOneFrameThenTheBitClears) {
  setup(kIntOrPoll | kSendBreak);
  EXPECT_EQ(uart.read(UCON, 4), kIntOrPoll | kSendBreak);
  at(kFrame - 1);
  EXPECT_EQ(uart.read(UCON, 4), kIntOrPoll | kSendBreak);
  at(kFrame);
  EXPECT_EQ(uart.read(UCON, 4), kIntOrPoll);
  EXPECT_EQ(sent, std::string(1, '\0')) << "a terminal reads a break as a NUL";
  // Looped back, the UART's own receiver flags it.
  uart.write(UCON, kIntOrPoll | kLoopBack | kSendBreak | kRxErrorIrq, 4);
  at(3 * kFrame);
  EXPECT_EQ(uart.read(UERSTAT, 4), static_cast<uint32_t>(kBreakError));
  EXPECT_TRUE(requested(kIrqUerr01));
  EXPECT_EQ(uart.read(URXH, 1), 0u);
}

// The far end at a third of the UART's rate: the UART's receiver samples
// start, start, d0, d0, d0, d1, d1, d1 and takes d2 for the stop bit.
TEST_F(UartTest, FrameErrorsFromASlowFarEnd) {
  for (bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "FIFOs on" : "FIFOs off");
    restart(kIntOrPoll | kRxErrorIrq, fifo ? kFifoOn : 0, k8N1, 34);
    uart.far_end().set_baud(38095);  // 114286 / 3
    const VTime t0 = scheduler.now();
    send("\xFB");
    at(t0 + 100 * kMicrosecond);  // 9.5 bits of 8.75 us: the first byte, not yet what the low d2 starts
    EXPECT_EQ(uart.read(UERSTAT, 4), static_cast<uint32_t>(kFrameError));
    EXPECT_EQ(uart.read(URXH, 1), 0xFCu);
    EXPECT_TRUE(requested(kIrqUerr01));
    at(t0 + 2 * kMillisecond);
  }
}

// FIFOs on, a byte's error shows when it is the next to be read.
TEST_F(UartTest, FifoErrorShowsAtTheTop) {
  setup(kIntOrPoll | kRxErrorIrq, kFifoOn, k8N1 | 0x20, kExactDivisor);  // 8O1 receiver, 8N1 far end
  // With the far end's stop bit read as parity, 'A' has odd parity and 'C'
  // has not; apart, so that each stop bit is sampled on the idle line.
  send("A");
  at(2 * kFrame);
  send("C");
  at(4 * kFrame);
  EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "the top byte is fine";
  EXPECT_FALSE(requested(kIrqUerr01));
  EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('A'));
  EXPECT_TRUE(requested(kIrqUerr01)) << "the byte with the error reached the top";
  EXPECT_EQ(uart.read(UERSTAT, 4), static_cast<uint32_t>(kParityError));
  EXPECT_EQ(uart.read(UERSTAT, 4), 0u) << "cleared by reading";
  EXPECT_EQ(uart.read(URXH, 1), static_cast<uint32_t>('C'));
}

// What the far end (115200 8N1) decodes from a firmware at another rate or
// frame, and what is said about it.
TEST_F(UartTest, FarEndGarblesAMismatchedRateDeterministically) {
  struct Case {
    const char* what;
    uint64_t mclk;
    uint32_t ubrdiv, ulcon;
    bool intact;
  };
  const Case cases[] = {
      {"the monitor's setting: 0.8 % slow", 64000000, 34, k8N1, true},
      {"2.1 % fast", 64000000, 33, k8N1, true},
      {"computed for 64 MHz, run at 8 MHz", 8000000, 34, k8N1, false},
      {"8.5 % fast", 64000000, 31, k8N1, false},
      {"the right rate, 7 data bits", 64000000, 34, 0x2, false},
      {"the right rate, even parity", 64000000, 34, k8N1 | 0x28, false},
  };
  const std::string text = "Hello, board! 0123456789\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string runs[2];
    for (std::string& run : runs) {
      LogLines lines;
      Scheduler s;
      Intc ic{kIntc};
      Uart u{"uart0", kUart0, s, ic, kIrqUrxd0, kIrqUtxd0, kIrqUerr01};
      s.set_cycle_period(kSecond / c.mclk);
      u.far_end().set_listener([&run](uint8_t b) { run.push_back(static_cast<char>(b)); });
      u.write(ULCON, c.ulcon, 4);
      u.write(UBRDIV, c.ubrdiv, 4);
      u.write(UCON, kIntOrPoll | kFifoOn, 4);
      u.write(UFCON, kFifoOn, 4);
      for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < text.size(); i += 16) {
          for (size_t j = i; j < std::min(text.size(), i + 16); ++j) u.write(UTXH, static_cast<uint8_t>(text[j]), 1);
          s.advance_to(s.now() + 50 * kMillisecond);
        }
      }
      EXPECT_EQ(lines.count("baud"), c.intact ? 0 : 1) << "said once, with the word baud";
      if (!c.intact) {
        ASSERT_EQ(lines.count("115200 baud 8N1"), 1);
      }
    }
    EXPECT_EQ(runs[0], runs[1]) << "the same garbling every run";
    if (c.intact) EXPECT_EQ(runs[0], text + text);
    else EXPECT_NE(runs[0], text + text);
  }
}

TEST_F(UartTest, FirmwareReceivesGarbledBytesFromAMismatchedFarEnd) {
  setup(kIntOrPoll, kFifoOn, k8N1, 34);
  scheduler.set_cycle_period(kSecond / 8000000);  // UBRDIV computed for 64 MHz
  uart.far_end().set_baud(115200);
  send("Hello");
  at(10 * kMillisecond);
  EXPECT_NE(read_all(), "Hello");
  EXPECT_EQ(log.count("baud"), 1);
}

// A chip reset stops a frame half sent (the far end decodes what the pin
// did); the far end's own sending goes on, and the UART's receiver waits for
// the line to be idle before it looks for a start bit.
TEST_F(UartTest, ResetCutsTheLineButNotTheFarEnd) {
  setup();
  send("\xFF\xFF\xFF" "c");
  at(kFrame);
  uart.write(UTXH, 'x', 1);          // 0x78: d0..d2 low, then high
  at(kFrame + 2 * kBit + kBit / 4);  // in 'x''s d1, in the far end's second byte
  uart.reset();
  setup(kIntOrPoll, kFifoOn);
  at(6 * kFrame);
  EXPECT_EQ(sent, "\xFE") << "'x' cut in d1: the rest reads high";
  EXPECT_EQ(read_all(), "\xFF" "c") << "the far end's third and fourth bytes arrive after the reset";
}

}  // namespace
}  // namespace sim
