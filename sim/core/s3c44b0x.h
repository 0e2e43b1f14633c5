// Chip facts of the S3C44B0X and of this board that the simulator's models
// share: the memory map, the blocks' base addresses and the interrupt
// sources. Per-register offsets live with each block's model.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim::chip {

// Memory map.
// Bank 0 holds the board's boot flash: the resident monitor, or a program of
// its own (--flash). 2 MB of 16-bit NOR flash (unconfirmed); the rest of the
// bank's 32 MB is empty.
constexpr uint32_t kBank0Base = 0x00000000;
constexpr uint32_t kBank0Size = 0x00200000;
constexpr uint32_t kBankSize = 0x02000000;  // banks 0..7, 32 MB apart
constexpr uint32_t kSfrBase = 0x01C00000;
constexpr uint32_t kSfrSize = 0x00400000;
constexpr uint32_t kSegsLatch = 0x02140000;  // 7-segment latch, bank 1
constexpr uint32_t kKeypadBase = 0x06000000;  // keypad rows, bank 3
constexpr uint32_t kKeypadSize = 0x1000;
constexpr uint32_t kSdramBase = 0x0C000000;
constexpr uint32_t kSdramSize = 8u << 20;
constexpr uint32_t kVectorTable = 0x0C7FFF00;  // the monitor's RAM table
constexpr uint32_t kVectorTableSize = 0x88;
constexpr uint32_t kIrqSlotBase = 0x0C7FFF20;  // slot of source k: base + 4k

// The on-chip memory: the cache's four sets of data (the internal SRAM when
// the cache does not use them), the tags of each set's 128 lines (one word
// per 16-byte line, set s from kCacheTags + s * 0x800) and the LRU bits of
// the 128 lines (one word per line), as the manual's cache chapter maps them.
constexpr uint32_t kInternalSram = 0x10000000;
constexpr uint32_t kInternalSramSize = 0x2000;  // with the cache off
constexpr uint32_t kCacheTags = 0x10002000;
constexpr uint32_t kCacheTagsSize = 0x2000;
constexpr uint32_t kCacheLru = 0x10004000;
constexpr uint32_t kCacheLruSize = 0x800;
constexpr uint32_t kCacheMemoriesEnd = kCacheLru + kCacheLruSize;

// Where the core goes for IRQ source k in vectored mode (INTCON[2] = 0): the
// interrupt controller answers the fetch at 0x18 with a branch to the
// source's own vector, the groups mGA..mGKB 0x20 apart (unconfirmed: as the
// manual's vectored-mode table reads).
uint32_t irq_vector_address(int source);

// Board: where the monitor puts things and where the firmware expects them.
constexpr uint32_t kFirmwareBase = 0x0C100000;
constexpr uint32_t kFrameBufferBase = 0x0C300000;
constexpr uint32_t kKeyTonesBase = 0x0C400000;
constexpr uint32_t kCallClipA = 0x0C4FA000;
constexpr uint32_t kCallClipB = 0x0C56A000;
constexpr uint32_t kKeyToneStride = 0x2000;  // key k's tone at kKeyTonesBase + k * stride
constexpr uint32_t kKeyToneBytes = 6400;
constexpr uint32_t kCallClipABytes = 288000;
constexpr uint32_t kCallClipBBytes = 25600;
// The phone's audio link (IISPSR 0x77, 256 fs) at MCLK 64 MHz: every sample
// clip is made at this rate, 16-bit stereo.
constexpr unsigned kBoardSampleRate = 15625;
constexpr uint32_t kMessageBuffer = 0x0C700000;
constexpr uint32_t kMessageBufferSize = 320000;

// Board inputs on port G: the keypad's key-down line (EINT1) and the two
// push-buttons (EINT4567), all low while pressed. A button's code is its
// PDATG bit mask.
constexpr int kKeyDownPin = 1;
constexpr int kButtonPins[] = {6, 7};

// Block bases inside the SFR space.
constexpr uint32_t kSysCfg = 0x01C00000;
constexpr uint32_t kSbusCon = 0x01C40000;
constexpr uint32_t kMemCtl = 0x01C80000;
constexpr uint32_t kUart0 = 0x01D00000;
constexpr uint32_t kUart1 = 0x01D04000;
constexpr uint32_t kSio = 0x01D14000;
constexpr uint32_t kIis = 0x01D18000;
constexpr uint32_t kPorts = 0x01D20000;
constexpr uint32_t kWatchdog = 0x01D30000;
constexpr uint32_t kAdc = 0x01D40000;
constexpr uint32_t kPwm = 0x01D50000;
constexpr uint32_t kIic = 0x01D60000;
constexpr uint32_t kRtc = 0x01D70000;
constexpr uint32_t kClockPower = 0x01D80000;
constexpr uint32_t kIntc = 0x01E00000;
constexpr uint32_t kZdma = 0x01E80000;
constexpr uint32_t kLcd = 0x01F00000;
constexpr uint32_t kBdma = 0x01F80000;
constexpr uint32_t kIisFifo = 0x01D18010;  // IISFIF: where the DMA meets the IIS

// Interrupt sources: bit numbers in INTPND / INTMSK / I_ISPC.
enum Irq : int {
  kIrqAdc = 0,
  kIrqRtc = 1,
  kIrqUtxd1 = 2,
  kIrqUtxd0 = 3,
  kIrqSio = 4,
  kIrqIic = 5,
  kIrqUrxd1 = 6,
  kIrqUrxd0 = 7,
  kIrqTimer5 = 8,
  kIrqTimer4 = 9,
  kIrqTimer3 = 10,
  kIrqTimer2 = 11,
  kIrqTimer1 = 12,
  kIrqTimer0 = 13,
  kIrqUerr01 = 14,
  kIrqWdt = 15,
  kIrqBdma1 = 16,
  kIrqBdma0 = 17,
  kIrqZdma1 = 18,
  kIrqZdma0 = 19,
  kIrqTick = 20,
  kIrqEint4567 = 21,
  kIrqEint3 = 22,
  kIrqEint2 = 23,
  kIrqEint1 = 24,
  kIrqEint0 = 25,
  kIrqCount = 26,
};
constexpr uint32_t kGlobalMaskBit = 1u << 26;
constexpr uint32_t irq_bit(int source) { return 1u << source; }
constexpr uint32_t kEintSources =
    irq_bit(kIrqEint0) | irq_bit(kIrqEint1) | irq_bit(kIrqEint2) | irq_bit(kIrqEint3) | irq_bit(kIrqEint4567);
constexpr uint32_t kDmaSources = irq_bit(kIrqZdma0) | irq_bit(kIrqZdma1) | irq_bit(kIrqBdma0) | irq_bit(kIrqBdma1);

const char* irq_name(int source);  // "TICK", "BDMA0", ...

// The peripheral registers by their names in the user's manual, block by
// block, for debuggers (gdb's `monitor reg`). The models keep their own
// offsets; this table is the one list of names, addresses and widths.
struct RegisterInfo {
  std::string name;  // "UTRSTAT0", "INTPND"
  uint32_t address;
  unsigned size;     // bytes a read of it takes: 1, 2 or 4
  bool write_only;   // reading it means nothing (UTXH, I_ISPC)
};
struct RegisterBlock {
  const char* name;  // "uart0", "intc"
  std::vector<RegisterInfo> registers;
};
const std::vector<RegisterBlock>& register_blocks();
// By name, ignoring case; nullptr when there is none.
const RegisterInfo* find_register(const std::string& name);
const RegisterBlock* find_register_block(const std::string& name);

}  // namespace sim::chip
