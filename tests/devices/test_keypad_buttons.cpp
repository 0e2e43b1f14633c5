#include <gtest/gtest.h>

#include "core/s3c44b0x.h"
#include "devices/intc.h"
#include "devices/keypad.h"
#include "devices/ports.h"
#include "devices/push_buttons.h"

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

}  // namespace
}  // namespace sim
