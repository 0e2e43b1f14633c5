#include <gtest/gtest.h>

#include "core/s3c44b0x.h"
#include "devices/intc.h"
#include "devices/keypad.h"
#include "devices/ports.h"
#include "devices/push_buttons.h"
#include "core/scheduler.h"

namespace sim {
namespace {

constexpr uint32_t PCONG = 0x40, PDATG = 0x44, EXTINT = 0x50, EXTINTPND = 0x54;
constexpr uint32_t kRow[4] = {0xFD, 0xFB, 0xF7, 0xEF};  // offsets of 0x060000FD ..

class InputsTest : public ::testing::Test {
 protected:
  uint32_t row(int r) { return keypad.read(kRow[r], 1); }
  bool pdatg(int pin) { return (ports.read(PDATG, 4) >> pin) & 1; }
  bool irq(int source) { return intc.pending() & (1u << source); }

  Intc intc{chip::kIntc};
  Ports ports{chip::kPorts, intc};
  Keypad keypad{chip::kKeypadBase, ports};
  PushButtons buttons{ports};
};

TEST_F(InputsTest, EveryKeyReadsInItsRowAndColumn) {
  // (row address, low nibble) for keys 0..15, as the board's key table has them.
  const std::pair<uint32_t, uint32_t> where[16] = {
      {0xFD, 0x7}, {0xFD, 0xB}, {0xFD, 0xD}, {0xFD, 0xE}, {0xFB, 0x7}, {0xFB, 0xB}, {0xFB, 0xD}, {0xFB, 0xE},
      {0xF7, 0x7}, {0xF7, 0xB}, {0xF7, 0xD}, {0xF7, 0xE}, {0xEF, 0x7}, {0xEF, 0xB}, {0xEF, 0xD}, {0xEF, 0xE},
  };
  for (int k = 0; k < 16; ++k) {
    SCOPED_TRACE(k);
    keypad.key_down(k);
    EXPECT_TRUE(keypad.held(k));
    for (int r = 0; r < 4; ++r) {
      uint32_t expected = kRow[r] == where[k].first ? 0xF0 | where[k].second : 0xFF;
      EXPECT_EQ(row(r), expected) << "row " << r;
    }
    EXPECT_FALSE(pdatg(chip::kKeyDownPin));
    keypad.key_up(k);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(row(r), 0xFFu);
    EXPECT_TRUE(pdatg(chip::kKeyDownPin));
  }
}

TEST_F(InputsTest, SeveralKeysAtOnce) {
  struct Case {
    const char* what;
    std::vector<int> keys;
    uint32_t offset;
    uint32_t expected;
  };
  const Case cases[] = {
      {"two keys in one row", {4, 5}, 0xFB, 0xF3},
      {"two rows: row 0 as read alone", {2, 13}, 0xFD, 0xFD},
      {"two rows: row 3 as read alone", {2, 13}, 0xEF, 0xFB},
      {"rows 0 and 1 selected together", {0, 5}, 0xF9, 0xF3},
      {"all rows selected", {3, 14}, 0xE1, 0xFC},
      {"nothing in the selected rows", {15}, 0xF9, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int k : c.keys) keypad.key_down(k);
    EXPECT_EQ(keypad.read(c.offset, 1), c.expected);
    keypad.release_all();
  }
}

TEST_F(InputsTest, OtherReadsInThePageAreAllOnes) {
  keypad.key_down(0);
  EXPECT_EQ(keypad.read(0xFF, 1), 0xFFu) << "no row selected";
  EXPECT_EQ(keypad.read(0x1FD, 1), 0xFFu);
  EXPECT_EQ(keypad.read(0xFC, 1), 0xFFu) << "address bit 0 low";
  EXPECT_EQ(keypad.read(0xFC, 4), 0xFFFFFFFFu);
}

TEST_F(InputsTest, KeyDownLineStaysLowUntilTheLastKeyIsUp) {
  // PG1 as EINT1, falling edge: one request per press of the combined line.
  ports.write(PCONG, 3u << (2 * chip::kKeyDownPin), 4);
  ports.write(EXTINT, 2u << 4, 4);
  keypad.key_down(7);
  EXPECT_TRUE(irq(chip::kIrqEint1));
  intc.write(0x24, 1u << chip::kIrqEint1, 4);
  keypad.key_down(9);
  EXPECT_FALSE(irq(chip::kIrqEint1)) << "the line was already low";
  keypad.key_up(7);
  EXPECT_FALSE(pdatg(chip::kKeyDownPin));
  keypad.key_up(9);
  EXPECT_TRUE(pdatg(chip::kKeyDownPin));
  keypad.key_down(16);  // no such key
  keypad.key_down(-1);
  EXPECT_TRUE(pdatg(chip::kKeyDownPin));
}

TEST_F(InputsTest, KeysHeldAcrossResetStillPullTheLine) {
  keypad.key_down(3);
  ports.reset();
  keypad.reset();
  EXPECT_FALSE(pdatg(chip::kKeyDownPin));
  EXPECT_EQ(row(0), 0xFEu);
}

TEST_F(InputsTest, ButtonsPullTheirPinsLow) {
  EXPECT_TRUE(pdatg(6));
  EXPECT_TRUE(pdatg(7));
  buttons.press(0xC0);
  EXPECT_FALSE(pdatg(6));
  EXPECT_FALSE(pdatg(7));
  EXPECT_TRUE(buttons.pressed(0x40));
  EXPECT_TRUE(buttons.pressed(0x80));
  EXPECT_TRUE(buttons.pressed(0xC0));
  buttons.release(0x40);
  EXPECT_TRUE(pdatg(6));
  EXPECT_FALSE(pdatg(7));
  EXPECT_FALSE(buttons.pressed(0xC0));
  EXPECT_TRUE(buttons.pressed(0x80));
  buttons.release(0x80);
  EXPECT_TRUE(pdatg(7));
  EXPECT_EQ(buttons.state(), 0u);
}

TEST_F(InputsTest, ButtonRaisesEint4567ThroughItsSubPendingBit) {
  ports.write(PCONG, (3u << 12) | (3u << 14), 4);  // PG6, PG7 as EINT6, EINT7
  ports.write(EXTINT, (2u << 24) | (2u << 28), 4);  // falling edges
  buttons.press(0x80);
  EXPECT_TRUE(irq(chip::kIrqEint4567));
  EXPECT_EQ(ports.read(EXTINTPND, 4), 0x8u);
  buttons.press(0x40);
  EXPECT_EQ(ports.read(EXTINTPND, 4), 0xCu);
}

// Bouncing contacts: counts the level changes PG1 / PG6 go through.
struct BounceTest : ::testing::Test {
  Scheduler scheduler;
  Intc intc{chip::kIntc};
  Ports ports{chip::kPorts, intc};
  Keypad keypad{chip::kKeypadBase, ports, &scheduler};
  PushButtons buttons{ports, &scheduler};
  std::vector<std::pair<VTime, bool>> changes;  // (time, PG level) of the watched pin
  int watched = chip::kKeyDownPin;
  bool level = true;

  void watch(int pin) {
    watched = pin;
    level = ports.input_level(Ports::G, pin);
  }
  // Steps virtual time in 10 us steps, noting each change of the watched pin.
  void run_for(VTime d) {
    VTime end = scheduler.now() + d;
    while (scheduler.now() < end) {
      scheduler.advance_to(std::min(end, scheduler.now() + 10 * kMicrosecond));
      bool l = ports.input_level(Ports::G, watched);
      if (l != level) changes.emplace_back(scheduler.now(), l);
      level = l;
    }
  }
};

TEST_F(BounceTest, PressAndReleaseBounceForAFewMillisecondsThenSettle) {
  struct Case {
    const char* what;
    int pin;
    std::function<void(bool)> set;
  };
  const Case cases[] = {
      {"key 5 on PG1", chip::kKeyDownPin, [&](bool down) { down ? keypad.key_down(5) : keypad.key_up(5); }},
      {"button 0x40 on PG6", 6, [&](bool down) { down ? buttons.press(0x40) : buttons.release(0x40); }},
      {"button 0x80 on PG7", 7, [&](bool down) { down ? buttons.press(0x80) : buttons.release(0x80); }},
  };
  for (const Case& c : cases) {
    for (bool down : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (down ? " press" : " release"));
      watch(c.pin);
      changes.clear();
      c.set(down);
      bool first = ports.input_level(Ports::G, c.pin);
      EXPECT_EQ(first, !down) << "the first contact comes at once";
      level = first;
      run_for(30 * kMillisecond);
      EXPECT_TRUE(changes.size() == 2 || changes.size() == 4) << changes.size() << " more transitions";
      ASSERT_FALSE(changes.empty());
      EXPECT_LE(changes.back().first, 4 * kMillisecond + scheduler.now() - 30 * kMillisecond + 10 * kMicrosecond);
      EXPECT_EQ(ports.input_level(Ports::G, c.pin), !down) << "settled where the switch is";
    }
  }
  EXPECT_FALSE(keypad.held(5));
}

TEST_F(BounceTest, TheMatrixSeesTheBouncingContact) {
  keypad.key_down(0);
  EXPECT_TRUE(keypad.held(0));
  bool saw_open = false;
  for (int i = 0; i < 400 && !saw_open; ++i) {
    scheduler.advance_to(scheduler.now() + 10 * kMicrosecond);
    saw_open = keypad.read(0xFD, 1) == 0xFF;
  }
  EXPECT_TRUE(saw_open) << "row 0 reads the key open at some moment of the bounce";
  EXPECT_TRUE(keypad.held(0)) << "the key itself stays pressed";
  scheduler.advance_to(scheduler.now() + 5 * kMillisecond);
  EXPECT_EQ(keypad.read(0xFD, 1), 0xF7u);
}

TEST_F(BounceTest, ReproducibleAndOffOnRequest) {
  auto pattern = [](bool bounce) {
    Scheduler scheduler;
    Intc intc{chip::kIntc};
    Ports ports{chip::kPorts, intc};
    PushButtons buttons{ports, &scheduler};
    buttons.set_bounce(bounce);
    std::vector<VTime> times;
    bool level;
    for (int press = 0; press < 3; ++press) {
      buttons.press(0x40);
      level = ports.input_level(Ports::G, 6);
      for (int i = 0; i < 1000; ++i) {
        scheduler.advance_to(scheduler.now() + 10 * kMicrosecond);
        bool l = ports.input_level(Ports::G, 6);
        if (l != level) times.push_back(scheduler.now());
        level = l;
      }
      buttons.release(0x40);
      scheduler.advance_to(scheduler.now() + 10 * kMillisecond);
    }
    return times;
  };
  EXPECT_EQ(pattern(true), pattern(true));
  EXPECT_FALSE(pattern(true).empty());
  EXPECT_TRUE(pattern(false).empty()) << "ideal switches: one change per press";
}

TEST_F(BounceTest, ResetEndsABounceWhereTheSwitchIs) {
  buttons.press(0x80);
  scheduler.cancel_all();  // the board's reset
  ports.reset();
  buttons.reset();
  EXPECT_FALSE(ports.input_level(Ports::G, 7));
  scheduler.advance_to(scheduler.now() + 10 * kMillisecond);
  EXPECT_FALSE(ports.input_level(Ports::G, 7));
}

}  // namespace
}  // namespace sim
