// The board's memories as host memory: bank 0 filled with one word until
// written (the flash erased, the monitor's traps), and the SDRAM's pages
// made real ahead of a write without changing what they hold.
#include <gtest/gtest.h>

#include <cstring>

#include "core/memory.h"
#include "core/s3c44b0x.h"

namespace sim {
namespace {

uint32_t word_at(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

TEST(FilledMemory, EveryWordReadsTheFillUntilWrittenAndAgainAfterTheNextFill) {
  FilledMemory rom(chip::kBank0Size);
  uint8_t* const at = rom.data();
  for (uint32_t word : {0u, 0xE7F000F0u, 0xFFFFFFFFu, 0x12345678u}) {
    SCOPED_TRACE(word);
    rom.fill(word);
    ASSERT_EQ(rom.data(), at);  // (the core maps these addresses once)
    for (uint32_t offset : {0u, 4u, 4092u, 4096u, 0x10000u, chip::kBank0Size - 4})
      EXPECT_EQ(word_at(rom.data() + offset), word) << offset;
    // A write stays, and leaves its page's other words and the next page alone.
    const uint8_t image[] = {0xAA, 0xBB, 0xCC, 0xDD};
    std::memcpy(rom.data() + 0x1000, image, 4);
    EXPECT_EQ(word_at(rom.data() + 0x1000), 0xDDCCBBAAu);
    EXPECT_EQ(word_at(rom.data() + 0x1004), word);
    EXPECT_EQ(word_at(rom.data() + 0x2000), word);
  }
  rom.fill(0x0BADF00D);
  EXPECT_EQ(word_at(rom.data() + 0x1000), 0x0BADF00Du);  // the last write gone
}

TEST(Sdram, PopulatingKeepsWhatThePagesHold) {
  Sdram ram;
  ram.write32(chip::kSdramBase + 0x3FFC, 0xCAFEF00D);
  ram.populate(chip::kSdramBase + 0x3001, 0x2000);  // (not page-aligned)
  ram.populate(chip::kSdramBase + chip::kSdramSize - 8, 64);  // past the end: nothing
  EXPECT_EQ(ram.read32(chip::kSdramBase + 0x3FFC), 0xCAFEF00Du);
  EXPECT_EQ(ram.read32(chip::kSdramBase + 0x4000), 0u);
}

}  // namespace
}  // namespace sim
