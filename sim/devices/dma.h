// S3C44B0X DMA controllers (user's manual, "DMA"): the two bridge channels
// BDMA0/BDMA1 (0x01F80000, 0x01F80020) and the register blocks of the two
// general channels ZDMA0/ZDMA1 (0x01E80000, 0x01E80020).
//
// A bridge channel moves data between memory and a peripheral on that
// peripheral's requests. Modelled: requests from the IIS controller, which
// paces the channel at one half-word per channel slot (see iis.h): the
// channel reads SDRAM and feeds the transmitter, or stores what the receiver
// took, stepping its addresses and counting its bytes down. At terminal count
// the status reads 10, the interrupt fires (BDICNT[23:22] = 11, or on every
// transfer with 10), and the enable bit clears unless auto-reload restarts
// the channel from its initial registers. The current registers are brought
// up to date from the IIS's clock when read.
//
// Not modelled (reported once when a channel is enabled that way): the UART
// and SIO request sources, byte and word transfers with the IIS, directions
// other than memory-to-IIS and IIS-to-memory, memory outside SDRAM. ZDMA
// keeps its registers and moves nothing.
//
// Clock gates: with the BDMA clock off (CLKCON[7], or a power mode that stops
// it) no channel answers a request; each holds its current registers and
// goes on from there at the first request after the clock comes back, so the
// transfer ends as many slots later as the clock was off. Registers still
// take writes, as the other gated blocks' do. A write, or an IIS that asks
// for DMA, with the clock off is reported once. ZDMA (CLKCON[4]) reports its
// first register access with the clock off.
//
// Judgement calls:
// - Both bridge channels take IIS requests (request source 01); when both
//   serve the same direction, BDMA0 is served first.
// - A channel is started by writing BDICNT with the enable bit set; its
//   status reads 01 from then until terminal count (10); cancel returns it
//   to 00.
// - A count of 0 moves nothing and never reaches terminal count; an odd
//   count ends with a last half-word that counts the one byte left.
// - BDCCNT reads the bytes left, bits 19..0 only.
// - The current registers are read-only; writes to them (bdma0_init clears
//   all seven) are ignored.
#pragma once
#include <array>
#include <set>
#include <string>

#include "core/memory.h"
#include "devices/clock_power.h"
#include "core/device.h"
#include "devices/intc.h"

namespace sim {

// The peripheral that paces a channel (the IIS): the channel asks it to
// serve every request already due before its own registers change, and to
// plan again afterwards.
class DmaPacer {
 public:
  virtual ~DmaPacer() = default;
  virtual void sync() = 0;
  virtual void replan() = 0;
  // When the next request may come (kForever if none is coming).
  virtual VTime next_request() const = 0;
};

class Bdma : public Device {
 public:
  static constexpr int kChannels = 2;

  Bdma(uint32_t base, Intc& intc, Sdram& sdram);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  VTime stable_until(uint32_t offset) override;

  void set_pacer(DmaPacer* pacer) { pacer_ = pacer; }
  // The BDMA clock gate changed (ClockPower::on_gate_change).
  void set_clock_enabled(bool on);
  // The pacer is about to request transfers: true while the clock runs,
  // otherwise reported once.
  bool clock_check() { return gate_.check(name(), ClockPower::kBdma); }

  // The IIS side. serves_iis: the channel answers requests of the IIS
  // transmitter (transmit) or receiver now.
  bool serves_iis(int channel, bool transmit) const;
  // Transfers before the next one that interrupts or ends the channel (>= 1
  // while it serves).
  uint32_t transfers_until_event(int channel) const;
  uint16_t iis_fetch(int channel);                // memory -> transmit FIFO
  void iis_store(int channel, uint16_t sample);  // receive FIFO -> memory

  bool enabled(int channel) const;
  uint32_t current_count(int channel) const { return ch_[channel].ccnt; }

 private:
  struct Channel {
    uint32_t con = 0;     // BDCON [3:2] as written
    uint32_t status = 0;  // BDCON [5:4]
    uint32_t isrc = 0, ides = 0, icnt = 0;
    uint32_t csrc = 0, cdes = 0, ccnt = 0;
  };

  void start(int n);
  void report_setup(int n);
  void transferred(int n);
  uint32_t step(uint32_t address, uint32_t step_field) const;
  uint32_t memory_address(int n, uint32_t address);
  void report_once(const std::string& what);
  void sync_pacer();
  void replan_pacer();

  Intc& intc_;
  Sdram& sdram_;
  DmaPacer* pacer_ = nullptr;
  std::array<Channel, kChannels> ch_;
  std::set<std::string> reported_;
  ClockGateState gate_;
};

// ZDMA0/ZDMA1: registers only.
class Zdma : public Device {
 public:
  explicit Zdma(uint32_t base);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  void set_clock_enabled(bool on) { gate_.on = on; }

 private:
  std::array<std::array<uint32_t, 7>, 2> regs_{};
  bool reported_ = false;
  ClockGateState gate_;
};

}  // namespace sim
