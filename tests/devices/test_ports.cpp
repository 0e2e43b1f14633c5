// I/O ports: the LEDs on PB9/PB10, port G's inputs, external-interrupt edges
// and levels, EXTINTPND, and the output listeners.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "devices/intc.h"
#include "devices/ports.h"

namespace sim {
namespace {

using namespace chip;

enum : uint32_t {
  PCONA = 0x00,
  PDATA = 0x04,
  PCONB = 0x08,
  PDATB = 0x0C,
  PCONC = 0x10,
  PCONG = 0x40,
  PDATG = 0x44,
  EXTINT = 0x50,
  EXTINTPND = 0x54,
};
constexpr uint32_t kLedsAsOutputs = 0x7FF & ~(3u << 9);  // PB9, PB10 outputs; the rest as at reset
constexpr uint32_t kLeft = 1u << 9, kRight = 1u << 10;

// PCONG with the given pins as external interrupts, the others inputs.
uint32_t pcong_eint(std::initializer_list<int> pins) {
  uint32_t v = 0;
  for (int pin : pins) v |= 3u << (2 * pin);
  return v;
}

struct QuietLog {
  LogSink previous = set_log_sink([](const std::string&) {});
  ~QuietLog() { set_log_sink(previous); }
};

struct PortsTest : ::testing::Test {
  QuietLog quiet;
  Intc intc{kIntc};
  Ports ports{kPorts, intc};

  uint32_t reg(uint32_t offset) { return ports.read(offset, 4); }
  bool requested(int source) const { return intc.pending() & (1u << source); }
  void clear_requests() { intc.write(0x24, 0x3FFFFFF, 4); }
};

TEST_F(PortsTest, ResetValues) {
  EXPECT_EQ(reg(PCONA), 0x3FFu);
  EXPECT_EQ(reg(PCONB), 0x7FFu);
  EXPECT_EQ(reg(PCONC), 0u);
  EXPECT_EQ(reg(PCONG), 0u);
  EXPECT_EQ(reg(EXTINT), 0u);
  EXPECT_EQ(reg(EXTINTPND), 0u);
  EXPECT_EQ(reg(PDATG), 0xFFu) << "port G's undriven inputs read high";
}

TEST_F(PortsTest, LedsLightOnLowOutputsOnly) {
  struct Case {
    const char* what;
    uint32_t pconb, pdatb;
    bool left, right;
  };
  const Case cases[] = {
      {"reset: function pins light nothing", 0x7FF, 0, false, false},
      {"outputs driven low", kLedsAsOutputs, 0, true, true},
      {"left high", kLedsAsOutputs, kLeft, false, true},
      {"right high", kLedsAsOutputs, kRight, true, false},
      {"both high", kLedsAsOutputs, kLeft | kRight, false, false},
      {"only PB9 an output", 0x7FF & ~kLeft, 0, true, false},
      {"only PB10 an output", 0x7FF & ~kRight, 0, false, true},
      {"other pins do not matter", 0, 0x1FF, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ports.reset();
    ports.write(PDATB, c.pdatb, 4);
    ports.write(PCONB, c.pconb, 4);
    EXPECT_EQ(ports.led_lit(9), c.left);
    EXPECT_EQ(ports.led_lit(10), c.right);
  }
}

TEST_F(PortsTest, OutputListenerHearsLevelChangesOnly) {
  std::vector<std::tuple<Ports::Port, uint32_t, uint32_t>> heard;
  ports.add_output_listener([&](Ports::Port p, uint32_t old_levels, uint32_t new_levels) {
    heard.emplace_back(p, old_levels, new_levels);
  });
  struct Step {
    const char* what;
    uint32_t offset, value;
    bool heard;
    uint32_t old_levels, new_levels;
  };
  const Step steps[] = {
      {"data for function pins drives nothing", PDATB, kLeft | kRight, false, 0, 0},
      {"outputs at the level they already show", PCONB, kLedsAsOutputs, false, 0, 0},
      {"left LED on", PDATB, kRight, true, 0x7FF, 0x7FF & ~kLeft},
      {"the same value again", PDATB, kRight, false, 0, 0},
      {"both on", PDATB, 0, true, 0x7FF & ~kLeft, 0x7FF & ~(kLeft | kRight)},
      {"back to function pins", PCONB, 0x7FF, true, 0x7FF & ~(kLeft | kRight), 0x7FF},
      {"port A's function pins", PDATA, 0, false, 0, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    heard.clear();
    ports.write(s.offset, s.value, 4);
    if (!s.heard) {
      EXPECT_TRUE(heard.empty());
      continue;
    }
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(std::get<0>(heard[0]), Ports::B);
    EXPECT_EQ(std::get<1>(heard[0]), s.old_levels);
    EXPECT_EQ(std::get<2>(heard[0]), s.new_levels);
  }
}

TEST_F(PortsTest, PdatgReadsInputLevelsAndOutputLatches) {
  ports.write(PCONG, pcong_eint({1}) | 1u << (2 * 5), 4);  // PG1 EINT1, PG5 output, the rest inputs
  ports.write(PDATG, 0x00, 4);
  ports.set_input(Ports::G, 1, false);
  ports.set_input(Ports::G, 3, false);
  ports.set_input(Ports::G, 5, true);  // ignored: the chip drives PG5
  EXPECT_EQ(reg(PDATG), 0xFFu & ~(1u << 1) & ~(1u << 3) & ~(1u << 5));
  ports.write(PDATG, 1u << 5, 4);
  ports.set_input(Ports::G, 3, true);
  EXPECT_EQ(reg(PDATG), 0xFFu & ~(1u << 1));
}

TEST_F(PortsTest, Eint1EdgesAndLevels) {
  struct Case {
    uint32_t mode;
    bool on_fall, on_rise;
  };
  const Case cases[] = {
      {0, true, false},  // low level: requests when it becomes low
      {1, false, true},  // high level
      {2, true, false},  {3, true, false},  // falling edge
      {4, false, true},  {5, false, true},  // rising edge
      {6, true, true},   {7, true, true},   // both edges
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("EXTINT mode " + std::to_string(c.mode));
    ports.reset();
    intc.reset();
    ports.write(PCONG, pcong_eint({1}), 4);
    ports.write(EXTINT, c.mode << 4, 4);
    // INTPND keeps a request until I_ISPC, and a level mode's line requests
    // again at a clear while its level holds, so a level mode shows the
    // request of the level before the change too.
    clear_requests();
    ports.set_input(Ports::G, 1, false);
    EXPECT_EQ(requested(kIrqEint1), c.on_fall || c.mode == 1) << "high to low";
    clear_requests();
    ports.set_input(Ports::G, 1, false);
    EXPECT_EQ(requested(kIrqEint1), c.mode == 0) << "no change: only a low level still requests";
    ports.set_input(Ports::G, 1, true);
    clear_requests();
    EXPECT_EQ(requested(kIrqEint1), c.on_rise && c.mode == 1) << "held high: only a high level still requests";
    ports.set_input(Ports::G, 1, false);
    clear_requests();
    ports.set_input(Ports::G, 1, true);
    EXPECT_EQ(requested(kIrqEint1), c.on_rise || c.mode == 0) << "low to high";
    EXPECT_EQ(intc.pending() & ~(1u << kIrqEint1), 0u) << "EINT1 is source 24 and nothing else";
    EXPECT_EQ(reg(EXTINTPND), 0u);
  }
}

TEST_F(PortsTest, PinNotInEintModeRequestsNothing) {
  ports.write(EXTINT, 0x66666666, 4);  // both edges everywhere
  for (int pin = 0; pin < 8; ++pin) {
    ports.set_input(Ports::G, pin, false);
    ports.set_input(Ports::G, pin, true);
  }
  EXPECT_EQ(intc.pending(), 0u);
  EXPECT_EQ(reg(EXTINTPND), 0u);
}

TEST_F(PortsTest, Eint4To7SetExtintpndAndRequest21) {
  for (int pin = 4; pin <= 7; ++pin) {
    SCOPED_TRACE("PG" + std::to_string(pin));
    ports.reset();
    intc.reset();
    ports.write(PCONG, pcong_eint({4, 5, 6, 7}), 4);
    ports.write(EXTINT, 0x22220000, 4);  // falling edges
    ports.set_input(Ports::G, pin, false);
    EXPECT_EQ(reg(EXTINTPND), 1u << (pin - 4));
    EXPECT_EQ(intc.pending(), 1u << kIrqEint4567);
  }
}

TEST_F(PortsTest, ExtintpndWriteOneToClear) {
  ports.write(PCONG, pcong_eint({4, 5, 6, 7}), 4);
  ports.write(EXTINT, 0x22220000, 4);
  ports.set_input(Ports::G, 6, false);
  ports.set_input(Ports::G, 7, false);
  ASSERT_EQ(reg(EXTINTPND), 0xCu);
  struct Step {
    uint32_t written, after;
  };
  const Step steps[] = {{0x0, 0xC}, {0x3, 0xC}, {0x4, 0x8}, {0xF, 0x0}};
  for (const Step& s : steps) {
    ports.write(EXTINTPND, s.written, 4);
    EXPECT_EQ(reg(EXTINTPND), s.after) << "after writing " << s.written;
  }
  EXPECT_EQ(intc.pending(), 1u << kIrqEint4567) << "INTPND is cleared through I_ISPC only";
}

// A level mode is a line: each I_ISPC while the level holds sets INTPND again
// (a handler returning with the button held is entered again); EXTINTPND
// bits feed INTPND bit 21 for as long as one is set.
TEST_F(PortsTest, LevelsAndExtintpndRequestWhileTheyLast) {
  struct Case {
    const char* what;
    int pin;
    uint32_t extint;
    int source;
  };
  const Case cases[] = {
      {"EINT1 low level", 1, 0x0, kIrqEint1},
      {"EINT1 high level", 1, 0x1u << 4, kIrqEint1},
      {"EINT6 low level", 6, 0x0, kIrqEint4567},
      {"EINT6 high level", 6, 0x1u << 24, kIrqEint4567},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ports.reset();
    intc.reset();
    bool active_high = c.extint != 0;
    ports.set_input(Ports::G, c.pin, !active_high);  // inactive before the pin is an EINT
    ports.write(EXTINT, c.extint, 4);
    ports.write(PCONG, pcong_eint({c.pin}), 4);
    EXPECT_FALSE(requested(c.source)) << "inactive level";
    ports.set_input(Ports::G, c.pin, active_high);
    for (int round = 0; round < 3; ++round) {
      EXPECT_TRUE(requested(c.source)) << "round " << round;
      if (c.pin >= 4) ports.write(EXTINTPND, 0xF, 4);
      clear_requests();
    }
    ports.set_input(Ports::G, c.pin, !active_high);
    if (c.pin >= 4) ports.write(EXTINTPND, 0xF, 4);
    clear_requests();
    EXPECT_FALSE(requested(c.source)) << "released: the next clear sticks";
    EXPECT_EQ(reg(EXTINTPND), 0u);
  }
}

TEST_F(PortsTest, ExtintpndLeftSetRequestsAgainAtOnce) {
  ports.write(PCONG, pcong_eint({7}), 4);
  ports.write(EXTINT, 0x20000000, 4);  // falling edge
  ports.set_input(Ports::G, 7, false);
  ports.set_input(Ports::G, 7, true);
  clear_requests();  // I_ISPC without EXTINTPND: the storm
  EXPECT_TRUE(requested(kIrqEint4567));
  clear_requests();
  EXPECT_TRUE(requested(kIrqEint4567));
  ports.write(EXTINTPND, 0x8, 4);
  EXPECT_TRUE(requested(kIrqEint4567)) << "INTPND still needs its I_ISPC";
  clear_requests();
  EXPECT_FALSE(requested(kIrqEint4567));
}

TEST_F(PortsTest, ExtintAndPcongChangesWhileALineIsActive) {
  struct Case {
    const char* what;
    uint32_t pcong_before, extint_before;  // set while PG1 is high
    uint32_t offset, value;                // written while PG1 is low
    bool requested_after;
  };
  const uint32_t eint1 = pcong_eint({1});
  const Case cases[] = {
      {"falling edge to low level: requests at once", eint1, 0x20, EXTINT, 0x00, true},
      {"falling edge to high level: nothing", eint1, 0x20, EXTINT, 0x10, false},
      {"low level to falling edge: the level stops requesting", eint1, 0x00, EXTINT, 0x20, false},
      {"input to EINT in low level: requests at once", 0, 0x00, PCONG, eint1, true},
      {"input to EINT in falling edge: no edge seen", 0, 0x20, PCONG, eint1, false},
      {"EINT to input in low level: the line drops", eint1, 0x00, PCONG, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ports.reset();
    intc.reset();
    ports.write(PCONG, c.pcong_before, 4);
    ports.write(EXTINT, c.extint_before, 4);
    ports.set_input(Ports::G, 1, false);
    clear_requests();
    ports.write(c.offset, c.value, 4);
    clear_requests();
    EXPECT_EQ(requested(kIrqEint1), c.requested_after);
  }
}

TEST_F(PortsTest, PinFunctionsFollowPconAndAreReportedOnce) {
  std::vector<std::string> lines;
  LogSink previous = set_log_sink([&](const std::string& l) { lines.push_back(l); });
  struct Case {
    Ports::Function function;
    uint32_t offset, right, wrong;
    const char* needs;
  };
  const Case cases[] = {
      {Ports::kTxD0, 0x28, 0x28, 0x24, "PCONE[3:2] = 10"},
      {Ports::kIicSda, 0x34, 0x0A, 0x06, "PCONF[3:2] = 10"},
      {Ports::kIisClk, 0x10, 0xFF, 0x7F, "PCONC[7:6] = 11"},
      {Ports::kTout2, 0x28, 0x800, 0x400, "PCONE[11:10] = 10"},
      {Ports::kVframe, 0x1C, 0xAAAA, 0x6AAA, "PCOND[15:14] = 10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.needs);
    lines.clear();
    ports.write(c.offset, c.right, 4);
    EXPECT_TRUE(ports.pin_given(c.function, "block"));
    ports.write(c.offset, c.wrong, 4);
    EXPECT_FALSE(ports.pin_function_is(c.function));
    EXPECT_FALSE(ports.pin_given(c.function, "block"));
    EXPECT_FALSE(ports.pin_given(c.function, "block"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(c.needs), std::string::npos) << lines[0];
  }
  set_log_sink(previous);
}

TEST_F(PortsTest, LedWrittenWhileNotAnOutputIsReportedOnce) {
  std::vector<std::string> lines;
  LogSink previous = set_log_sink([&](const std::string& l) { lines.push_back(l); });
  ports.write(PDATB, 0, 4);  // PCONB at reset: PB9 is nGCS4, not an output
  ports.write(PDATB, kLeft, 4);
  ports.write(PDATB, 0, 4);
  set_log_sink(previous);
  EXPECT_FALSE(ports.led_lit(9));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("PCONB bit 9 = 0"), std::string::npos) << lines[0];
}

TEST_F(PortsTest, FunctionPinReadsTheLevelItsBlockDrives) {
  bool tout = false;
  ports.set_level_source(Ports::kTout0, {[&] { return tout; }, [] { return VTime{1234}; }});
  ports.write(0x2C, 0x1FF, 4);  // PDATE latch all ones
  EXPECT_EQ(reg(0x2C) & 0x8, 0x8u) << "PE3 as input reads the (pulled-up) pin";
  EXPECT_EQ(ports.stable_until(0x2C), kForever);
  ports.write(0x28, 0x80, 4);  // PE3 = TOUT0
  EXPECT_EQ(reg(0x2C) & 0x8, 0u);
  tout = true;
  EXPECT_EQ(reg(0x2C) & 0x8, 0x8u);
  EXPECT_EQ(ports.stable_until(0x2C), VTime{1234});
}

}  // namespace
}  // namespace sim
