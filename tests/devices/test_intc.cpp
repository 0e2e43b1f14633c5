// The interrupt controller: priorities, in-service register, write-1-to-clear,
// masking, the INTCON line bits and level-sensitive sources.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "devices/intc.h"

namespace sim {
namespace {

using namespace chip;

enum : uint32_t {
  INTCON = 0x00,
  INTPND = 0x04,
  INTMOD = 0x08,
  INTMSK = 0x0C,
  I_PSLV = 0x10,
  I_PMST = 0x14,
  I_ISPR = 0x20,
  I_ISPC = 0x24,
  F_ISPC = 0x3C,
};
constexpr uint32_t kIrqLineOn = 0x5;  // non-vectored, IRQ line enabled, FIQ line off
constexpr uint32_t bit(int source) { return 1u << source; }

struct QuietLog {
  LogSink previous = set_log_sink([](const std::string&) {});
  ~QuietLog() { set_log_sink(previous); }
};

struct IntcTest : ::testing::Test {
  QuietLog quiet;
  Intc intc{kIntc};
  int listener_calls = 0;

  void SetUp() override { intc.set_listener([this] { ++listener_calls; }); }
  void unmask_all() {
    intc.write(INTCON, kIrqLineOn, 4);
    intc.write(INTMSK, 0, 4);
  }
  uint32_t reg(uint32_t offset) { return intc.read(offset, 4); }
};

TEST_F(IntcTest, ResetValues) {
  const std::pair<uint32_t, uint32_t> expected[] = {
      {INTCON, 0x7},        {INTPND, 0},      {INTMOD, 0}, {INTMSK, 0x07FFFFFF},
      {I_PSLV, 0x1B1B1B1B}, {I_PMST, 0x1F1B}, {I_ISPR, 0},
  };
  for (auto [offset, value] : expected) EXPECT_EQ(reg(offset), value) << "offset " << offset;
  EXPECT_TRUE(intc.read(INTCON, 4) & 4) << "non-vectored at reset";
  EXPECT_FALSE(intc.vectored());
}

// Two sources request together; the one served first, then (after its
// I_ISPC) the other. The slave byte of group A is I_PSLV[31:24], group D's
// [7:0]; in each byte (and in I_PMST[7:0]) input 0's field is bits 7..6.
TEST_F(IntcTest, PriorityOrderFollowsPmstAndPslv) {
  struct Case {
    const char* what;
    uint32_t pmst, pslv;
    int first, second;
  };
  const uint32_t kReset = 0x1B1B1B1B;
  const Case cases[] = {
      {"reset: EINT0 is the highest", 0x1F1B, kReset, kIrqEint0, kIrqAdc},
      {"reset: group A before group B", 0x1F1B, kReset, kIrqTick, kIrqZdma0},
      {"reset: programmable inputs before the fixed ones", 0x1F1B, kReset, kIrqEint3, kIrqEint4567},
      {"reset: EINT4567 before TICK", 0x1F1B, kReset, kIrqEint4567, kIrqTick},
      {"reset: a group's fixed inputs before the next group", 0x1F1B, kReset, kIrqUerr01, kIrqTimer0},
      {"reset: BDMA1 before WDT", 0x1F1B, kReset, kIrqBdma1, kIrqWdt},
      {"reset: UTXD1 before RTC alarm", 0x1F1B, kReset, kIrqUtxd1, kIrqRtc},
      {"reset: RTC alarm before ADC", 0x1F1B, kReset, kIrqRtc, kIrqAdc},
      {"master reversed: group D first", 0x1FE4, kReset, kIrqUrxd0, kIrqEint0},
      {"master reversed: D's fixed inputs before group C", 0x1FE4, kReset, kIrqUtxd1, kIrqTimer0},
      {"master reversed: RTC and ADC stay lowest", 0x1FE4, kReset, kIrqEint0, kIrqRtc},
      {"master C first", 0x1F93, kReset, kIrqTimer5, kIrqEint0},
      {"group A's slaves reversed", 0x1F1B, 0xE41B1B1B, kIrqEint3, kIrqEint0},
      {"group A's slaves reversed, fixed still after", 0x1F1B, 0xE41B1B1B, kIrqEint0, kIrqEint4567},
      {"group D's slaves: IIC first", 0x1F1B, 0x1B1B1B93, kIrqIic, kIrqUrxd0},
      {"group D's slaves: URXD1 before URXD0", 0x1F1B, 0x1B1B1B93, kIrqUrxd1, kIrqUrxd0},
      {"group D's slaves: SIO last", 0x1F1B, 0x1B1B1B93, kIrqUrxd0, kIrqSio},
      {"group D's byte leaves group A alone", 0x1F1B, 0x1B1B1B93, kIrqEint0, kIrqEint1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    intc.reset();
    unmask_all();
    intc.write(I_PMST, c.pmst, 4);
    intc.write(I_PSLV, c.pslv, 4);
    // The arming order must not matter: the lower-priority one requests first.
    intc.request(c.second);
    intc.request(c.first);
    ASSERT_EQ(intc.highest_irq(), c.first) << irq_name(intc.highest_irq());
    intc.acknowledge_irq(intc.highest_irq());
    EXPECT_EQ(reg(I_ISPR), bit(c.first));
    intc.write(I_ISPC, bit(c.first), 4);
    EXPECT_EQ(reg(I_ISPR), 0u);
    EXPECT_EQ(reg(INTPND), bit(c.second));
    EXPECT_EQ(intc.highest_irq(), c.second);
  }
}

TEST_F(IntcTest, IspcWriteOneClearsPendingAndInService) {
  struct Case {
    const char* what;
    uint32_t written;
    uint32_t pending_after, in_service_after;
  };
  const uint32_t both = bit(kIrqTimer0) | bit(kIrqUrxd0);
  const Case cases[] = {
      {"writing 0 clears nothing", 0, both, bit(kIrqTimer0)},
      {"another source's bit leaves this one alone", bit(kIrqUrxd0), bit(kIrqTimer0), bit(kIrqTimer0)},
      {"a source not pending changes nothing", bit(kIrqAdc), both, bit(kIrqTimer0)},
      {"the source's bit clears its pending and in-service bits", bit(kIrqTimer0), bit(kIrqUrxd0), 0},
      {"both bits at once", both, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    intc.reset();
    unmask_all();
    intc.request(kIrqTimer0);
    intc.request(kIrqUrxd0);
    intc.acknowledge_irq(intc.highest_irq());
    ASSERT_EQ(reg(I_ISPR), bit(kIrqTimer0));
    intc.write(I_ISPC, c.written, 4);
    EXPECT_EQ(reg(INTPND), c.pending_after);
    EXPECT_EQ(reg(I_ISPR), c.in_service_after);
  }
}

TEST_F(IntcTest, IntpndIsReadOnly) {
  intc.request(kIrqTick);
  intc.write(INTPND, bit(kIrqTick), 4);
  intc.write(INTPND, 0, 4);
  EXPECT_EQ(reg(INTPND), bit(kIrqTick)) << "only I_ISPC clears INTPND";
}

TEST_F(IntcTest, MaskedRequestStaysPendingUntilUnmasked) {
  intc.write(INTCON, kIrqLineOn, 4);
  intc.request(kIrqTimer2);
  EXPECT_EQ(reg(INTPND), bit(kIrqTimer2)) << "a masked source's bit sets too";
  EXPECT_FALSE(intc.irq_asserted());
  EXPECT_EQ(intc.highest_irq(), -1);

  // The source's own bit first: the global bit still holds everything back.
  intc.write(INTMSK, 0x07FFFFFF & ~bit(kIrqTimer2), 4);
  EXPECT_FALSE(intc.irq_asserted());
  EXPECT_EQ(listener_calls, 0);

  listener_calls = 0;
  intc.write(INTMSK, 0x03FFFFFF & ~bit(kIrqTimer2), 4);
  EXPECT_TRUE(intc.irq_asserted());
  EXPECT_EQ(intc.highest_irq(), kIrqTimer2);
  EXPECT_GE(listener_calls, 1) << "the core must learn that the line rose";

  intc.write(INTMSK, 0x03FFFFFF, 4);
  EXPECT_FALSE(intc.irq_asserted());
  EXPECT_EQ(reg(INTPND), bit(kIrqTimer2)) << "masking again does not drop the request";
}

TEST_F(IntcTest, GlobalMaskBitHoldsBackEverySource) {
  intc.write(INTCON, kIrqLineOn, 4);
  intc.write(INTMSK, kGlobalMaskBit, 4);
  for (int source : {kIrqEint0, kIrqTimer0, kIrqAdc}) intc.request(source);
  EXPECT_FALSE(intc.irq_asserted());
  EXPECT_EQ(intc.highest_irq(), -1);
  intc.write(INTMSK, 0, 4);
  EXPECT_TRUE(intc.irq_asserted());
}

TEST_F(IntcTest, IntconLineAndVectoredBits) {
  struct Case {
    uint32_t intcon;
    bool irq, vectored;
  };
  // 0 enables: bit 1 is the IRQ line, bit 2 selects non-vectored mode.
  const Case cases[] = {
      {0x7, false, false}, {0x5, true, false}, {0x3, false, true}, {0x1, true, true}, {0x0, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("INTCON " + std::to_string(c.intcon));
    intc.reset();
    intc.write(INTMSK, 0, 4);
    intc.request(kIrqTick);
    intc.write(INTCON, c.intcon, 4);
    EXPECT_EQ(intc.irq_asserted(), c.irq);
    EXPECT_EQ(intc.vectored(), c.vectored);
    EXPECT_EQ(intc.highest_irq(), kIrqTick) << "the choice of source does not depend on the line";
  }
}

TEST_F(IntcTest, FiqModeSourcesGoToTheFiqLine) {
  intc.write(INTCON, 0x4, 4);  // both lines on
  intc.write(INTMSK, 0, 4);
  intc.write(INTMOD, bit(kIrqTimer0), 4);
  intc.request(kIrqTimer0);
  EXPECT_TRUE(intc.fiq_asserted());
  EXPECT_FALSE(intc.irq_asserted());
  EXPECT_EQ(intc.highest_fiq(), kIrqTimer0);
  intc.write(INTCON, 0x5, 4);  // FIQ line off
  EXPECT_FALSE(intc.fiq_asserted());
  intc.write(F_ISPC, bit(kIrqTimer0), 4);
  EXPECT_EQ(reg(INTPND), 0u);
}

TEST_F(IntcTest, LevelSourceRequestsAgainWhileActive) {
  unmask_all();
  intc.set_line(kIrqUrxd0, true);
  EXPECT_EQ(reg(INTPND), bit(kIrqUrxd0));
  intc.acknowledge_irq(intc.highest_irq());
  intc.write(I_ISPC, bit(kIrqUrxd0), 4);
  EXPECT_EQ(reg(INTPND), bit(kIrqUrxd0)) << "the line is still active";
  EXPECT_EQ(reg(I_ISPR), 0u) << "the service itself is over";

  intc.set_line(kIrqUrxd0, false);
  EXPECT_EQ(reg(INTPND), bit(kIrqUrxd0)) << "dropping the line does not clear the request";
  intc.write(I_ISPC, bit(kIrqUrxd0), 4);
  EXPECT_EQ(reg(INTPND), 0u);
  EXPECT_FALSE(intc.irq_asserted());
}

TEST_F(IntcTest, EdgeRequestDoesNotComeBackAfterClear) {
  unmask_all();
  intc.request(kIrqTimer1);
  intc.write(I_ISPC, bit(kIrqTimer1), 4);
  EXPECT_EQ(reg(INTPND), 0u);
  EXPECT_FALSE(intc.irq_asserted());
}

}  // namespace
}  // namespace sim
