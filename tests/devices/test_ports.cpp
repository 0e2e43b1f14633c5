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
    ports.set_input(Ports::G, 1, false);
    EXPECT_EQ(requested(kIrqEint1), c.on_fall) << "high to low";
    clear_requests();
    ports.set_input(Ports::G, 1, false);
    EXPECT_FALSE(requested(kIrqEint1)) << "no change, no request";
    ports.set_input(Ports::G, 1, true);
    EXPECT_EQ(requested(kIrqEint1), c.on_rise) << "low to high";
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

}  // namespace
}  // namespace sim
