#include "devices/dma.h"

#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

namespace {
// One channel's block; the second channel is the same block at +0x20.
enum : uint32_t {
  BDCON = 0x00,   // [5:4] status, read-only; [3:2] request mask (00 = enabled);
                  // [1:0] command, write-only (11 = cancel)
  BDISRC = 0x04,  // [31:30] size, [29:28] source step, [27:0] address
  BDIDES = 0x08,  // [31:30] direction, [29:28] destination step, [27:0] address
  BDICNT = 0x0C,  // [31:30] request source, [23:22] interrupt, [21] auto-reload,
                  // [20] enable (clears at terminal count), [19:0] bytes;
                  // writing it with the enable bit set starts the channel
  BDCSRC = 0x10,  // read-only, current source
  BDCDES = 0x14,  // read-only, current destination
  BDCCNT = 0x18,  // read-only, bytes left
};
constexpr uint32_t kChannelStride = 0x20;

constexpr uint32_t kConRequestMask = 0x0C;
constexpr uint32_t kConCommand = 0x03;
constexpr uint32_t kCommandCancel = 0x03;
constexpr uint32_t kStatusReady = 0, kStatusRunning = 1, kStatusTerminal = 2;

constexpr uint32_t kAddressMask = 0x0FFFFFFF;
constexpr uint32_t kSizeHalfWord = 1;
constexpr uint32_t kStepIncrement = 1, kStepDecrement = 2;
constexpr uint32_t kDirMemoryToIo = 1, kDirIoToMemory = 2;
constexpr uint32_t kSourceIis = 1;
constexpr uint32_t kIntEveryTransfer = 2, kIntTerminalCount = 3;
constexpr uint32_t kAutoReload = 1u << 21;
constexpr uint32_t kEnable = 1u << 20;
constexpr uint32_t kCountMask = 0xFFFFF;

constexpr int kIrq[Bdma::kChannels] = {chip::kIrqBdma0, chip::kIrqBdma1};
const char* const kSourceNames[4] = {"none", "IIS", "UART", "SIO"};

uint32_t field(uint32_t value, int shift, uint32_t mask) { return (value >> shift) & mask; }
}  // namespace

Bdma::Bdma(uint32_t base, Intc& intc, Sdram& sdram) : Device("bdma", base, 2 * kChannelStride), intc_(intc), sdram_(sdram) {
  reset();
}

void Bdma::reset() {
  for (Channel& c : ch_) c = Channel{};
}

bool Bdma::enabled(int channel) const { return (ch_[channel].icnt & kEnable) != 0; }

void Bdma::sync_pacer() {
  if (pacer_) pacer_->sync();
}

void Bdma::replan_pacer() {
  if (pacer_) pacer_->replan();
}

void Bdma::set_clock_enabled(bool on) {
  if (on == gate_.on) return;
  // The requests due so far were answered (or not) with the clock as it was.
  sync_pacer();
  gate_.on = on;
  replan_pacer();
}

uint32_t Bdma::read(uint32_t offset, unsigned) {
  if (offset >= size()) {
    log_unmodelled(offset, false);
    return 0;
  }
  sync_pacer();
  const Channel& c = ch_[offset / kChannelStride];
  switch (offset % kChannelStride) {
    case BDCON: return (c.status << 4) | c.con;
    case BDISRC: return c.isrc;
    case BDIDES: return c.ides;
    case BDICNT: return c.icnt;
    case BDCSRC: return c.csrc;
    case BDCDES: return c.cdes;
    case BDCCNT: return c.ccnt;
    default: log_unmodelled(offset, false); return 0;
  }
}

void Bdma::write(uint32_t offset, uint32_t value, unsigned) {
  if (offset >= size()) {
    log_unmodelled(offset, true);
    return;
  }
  gate_.check(name(), ClockPower::kBdma);
  const int n = static_cast<int>(offset / kChannelStride);
  Channel& c = ch_[n];
  switch (offset % kChannelStride) {
    case BDCON: {
      sync_pacer();
      c.con = value & kConRequestMask;
      uint32_t command = value & kConCommand;
      if (command == kCommandCancel) {
        c.icnt &= ~kEnable;
        c.status = kStatusReady;
      } else if (command != 0) {
        report_once("BDMA" + std::to_string(n) + ": BDCON command " + std::to_string(command) + " is not modelled");
      }
      replan_pacer();
      return;
    }
    case BDISRC:
      sync_pacer();
      c.isrc = value;
      replan_pacer();
      return;
    case BDIDES:
      sync_pacer();
      c.ides = value;
      replan_pacer();
      return;
    case BDICNT:
      sync_pacer();
      c.icnt = value;
      if (value & kEnable) start(n);
      replan_pacer();
      return;
    case BDCSRC:
    case BDCDES:
    case BDCCNT:
      return;  // read-only
    default: log_unmodelled(offset, true); return;
  }
}

VTime Bdma::stable_until(uint32_t offset) {
  // With the clock off nothing moves until a CLKCON write, which the
  // program makes (so no poll is skipped past it).
  if (offset >= size() || !pacer_ || !gate_.on) return kForever;
  return enabled(static_cast<int>(offset / kChannelStride)) ? pacer_->next_request() : kForever;
}

void Bdma::start(int n) {
  Channel& c = ch_[n];
  c.csrc = c.isrc & kAddressMask;
  c.cdes = c.ides & kAddressMask;
  c.ccnt = c.icnt & kCountMask;
  c.status = kStatusRunning;
  report_setup(n);
}

void Bdma::report_setup(int n) {
  Channel& c = ch_[n];
  const std::string who = "BDMA" + std::to_string(n) + ": ";
  uint32_t source = field(c.icnt, 30, 3);
  std::string problem;
  if (source != kSourceIis) {
    problem = std::string("requests from ") + kSourceNames[source] + " are not modelled";
  } else if (field(c.isrc, 30, 3) != kSizeHalfWord) {
    problem = "only half-word transfers with the IIS are modelled";
  } else {
    uint32_t dir = field(c.ides, 30, 3);
    uint32_t peripheral = dir == kDirMemoryToIo ? c.ides : dir == kDirIoToMemory ? c.isrc : 0;
    if (dir != kDirMemoryToIo && dir != kDirIoToMemory)
      problem = "direction " + std::to_string(dir) + " is not modelled";
    else if ((peripheral & kAddressMask) != chip::kIisFifo)
      problem = "peripheral address " + hex32(peripheral & kAddressMask) + " is not the IIS FIFO";
    else if (c.ccnt == 0)
      problem = "count 0: the channel will never reach terminal count";
  }
  if (!problem.empty()) report_once(who + problem + "; it moves nothing");
}

bool Bdma::serves_iis(int channel, bool transmit) const {
  const Channel& c = ch_[channel];
  if (!gate_.on || !(c.icnt & kEnable) || c.ccnt == 0) return false;
  if (field(c.icnt, 30, 3) != kSourceIis || (c.con & kConRequestMask) != 0) return false;
  if (field(c.isrc, 30, 3) != kSizeHalfWord) return false;
  uint32_t dir = field(c.ides, 30, 3);
  if (transmit) return dir == kDirMemoryToIo && (c.ides & kAddressMask) == chip::kIisFifo;
  return dir == kDirIoToMemory && (c.isrc & kAddressMask) == chip::kIisFifo;
}

uint32_t Bdma::transfers_until_event(int channel) const {
  const Channel& c = ch_[channel];
  if (field(c.icnt, 22, 3) == kIntEveryTransfer) return 1;
  return (c.ccnt + 1) / 2;
}

uint32_t Bdma::step(uint32_t address, uint32_t step_field) const {
  switch (step_field) {
    case kStepIncrement: return (address + 2) & kAddressMask;
    case kStepDecrement: return (address - 2) & kAddressMask;
    default: return address;  // fixed
  }
}

uint32_t Bdma::memory_address(int n, uint32_t address) {
  if (!sdram_.contains(address, 2))
    report_once("BDMA" + std::to_string(n) + ": a memory address outside SDRAM (first " + hex32(address) +
                ") reads 0 and loses writes");
  return address;
}

void Bdma::report_once(const std::string& what) {
  // Keyed on the text up to the first detail that varies, so a firmware that
  // repeats a mistake per transfer reports it once.
  std::string key = what.substr(0, what.find(" (first"));
  if (reported_.insert(key).second) log(what + " (reported once)");
}

uint16_t Bdma::iis_fetch(int channel) {
  Channel& c = ch_[channel];
  uint16_t sample = sdram_.read16(memory_address(channel, c.csrc));
  c.csrc = step(c.csrc, field(c.isrc, 28, 3));
  c.cdes = step(c.cdes, field(c.ides, 28, 3));
  transferred(channel);
  return sample;
}

void Bdma::iis_store(int channel, uint16_t sample) {
  Channel& c = ch_[channel];
  sdram_.write16(memory_address(channel, c.cdes), sample);
  c.csrc = step(c.csrc, field(c.isrc, 28, 3));
  c.cdes = step(c.cdes, field(c.ides, 28, 3));
  transferred(channel);
}

void Bdma::transferred(int n) {
  Channel& c = ch_[n];
  c.ccnt -= std::min<uint32_t>(c.ccnt, 2);
  c.status = kStatusRunning;
  uint32_t interrupt = field(c.icnt, 22, 3);
  if (interrupt == kIntEveryTransfer) intc_.request(kIrq[n]);
  if (c.ccnt != 0) return;
  c.status = kStatusTerminal;
  if (interrupt == kIntTerminalCount) intc_.request(kIrq[n]);
  if (c.icnt & kAutoReload) {
    c.csrc = c.isrc & kAddressMask;
    c.cdes = c.ides & kAddressMask;
    c.ccnt = c.icnt & kCountMask;
  } else {
    c.icnt &= ~kEnable;
  }
}

// ---------------------------------------------------------------------------

namespace {
// ZDCONn, ZDISRCn, ZDIDESn, ZDICNTn, ZDCSRCn, ZDCDESn, ZDCCNTn per channel,
// the second channel at +0x20; stored as written.
enum : uint32_t { ZDCON = 0x00, ZDICNT = 0x0C, kZdmaRegisters = 7 };
constexpr uint32_t kZdmaStartCommand = 1;
}  // namespace

Zdma::Zdma(uint32_t base) : Device("zdma", base, 2 * kChannelStride) { reset(); }

void Zdma::reset() {
  for (auto& channel : regs_) channel.fill(0);
}

uint32_t Zdma::read(uint32_t offset, unsigned) {
  uint32_t index = (offset % kChannelStride) / 4;
  if (offset >= size() || offset % 4 || index >= kZdmaRegisters) {
    log_unmodelled(offset, false);
    return 0;
  }
  if (!peeking()) gate_.check(name(), ClockPower::kZdma);
  return regs_[offset / kChannelStride][index];
}

void Zdma::write(uint32_t offset, uint32_t value, unsigned) {
  uint32_t index = (offset % kChannelStride) / 4;
  if (offset >= size() || offset % 4 || index >= kZdmaRegisters) {
    log_unmodelled(offset, true);
    return;
  }
  gate_.check(name(), ClockPower::kZdma);
  regs_[offset / kChannelStride][index] = value;
  uint32_t reg = offset % kChannelStride;
  bool starts = (reg == ZDICNT && (value & kEnable)) || (reg == ZDCON && (value & 3) == kZdmaStartCommand);
  if (starts && !reported_) {
    reported_ = true;
    log("ZDMA" + std::to_string(offset / kChannelStride) +
        " enabled: ZDMA transfers are not modelled, nothing moves (reported once)");
  }
}

}  // namespace sim
