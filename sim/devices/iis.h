// S3C44B0X IIS bus interface (user's manual, "IIS-bus interface"): IISCON,
// IISMOD, IISPSR, IISFCON and the FIFO entry IISFIF, as master of the link
// to the board's UDA1341TS.
//
// While the interface runs (IISCON[0] with the prescaler enabled, master
// mode) it clocks channel slots of half a frame each; the frame rate is
//   fs = MCLK / division(IISPSR prescaler A) / (256 or 384, IISMOD[2]),
// 15625 Hz for the phone's MCLK 64 MHz, code 7 (/16) and 256 fs. Slot 1 after
// the start is the left channel. In each slot the transmitter (IISMOD[7])
// sends one half-word and the receiver (IISMOD[6]) takes one; a FIFO in DMA
// mode with its request enable (IISCON[5]/[4]) asks a bridge DMA channel for
// that half-word, so a 16-bit stereo stream moves 4 bytes per frame.
//
// Slots are not ticked: they are worked off in batches whenever a register
// of the IIS, the DMA or the codec is touched, every 256 frames, and at the
// exact slot in which the DMA will raise an interrupt or reach terminal
// count. The L/R index and the FIFO levels are computed from the clock.
//
// Not modelled: slave mode (no clock comes in; reported once), 8-bit
// channels (every slot carries 16 bits), the MSB-justified format and the
// L/R polarity (the codec is assumed to follow the chip), the serial bit
// clock ratio (IISMOD[1:0]), prescaler B (CODECLK to the codec).
//
// Judgement calls:
// - In DMA mode the channel delivers each half-word in the slot that sends
//   it (and takes each received one in its slot). The real FIFO fills up to
//   8 half-words ahead, which would bring the terminal count 8 slots before
//   the last sample leaves; here a transfer of n bytes reaches terminal count
//   exactly n/4 frames after the start. The FIFO itself is used only by the
//   CPU (IISFIF) when the FIFO is enabled without DMA mode.
// - A transmitter with nothing to send (FIFO empty, DMA done) sends 0.
// - A frame cut short by stopping the interface is not played.
// - The slot length follows MCLK: a PLL or slow-mode change (mclk_changed)
//   works off the slots at the old rate and goes on at the new one. With the
//   IIS clock gated (CLKCON[14]) or stopped by a power mode the interface
//   has no clock and nothing moves. With the BDMA clock gated the slots run
//   but no channel answers: the transmitter sends 0, the receiver's samples
//   are lost.
// - Pins: the codec hears the interface only while PCONC gives PC0..PC3 to
//   IISLRCK/IISDO/IISDI/IISCLK and PCONE gives PE8 to CODECLK; otherwise
//   the slots still run (the DMA goes on) but the codec plays silence and
//   the receiver takes 0 (each missing pin reported once).
// - IISCON[7] and [6] read 1 while the Tx / Rx FIFO holds data (so IISCON
//   reads 0x100 at reset, as the manual gives); [8] (L/R) reads 1 while
//   stopped.
// - With the prescaler disabled (IISCON[1] = 0) the interface has no clock
//   and nothing moves (reported once).
#pragma once
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "devices/audio.h"
#include "devices/clock_power.h"
#include "core/device.h"
#include "devices/ports.h"
#include "devices/dma.h"

namespace sim {

class Iis : public Device, public DmaPacer {
 public:
  static constexpr int kFifoDepth = 8;

  Iis(uint32_t base, Scheduler& scheduler);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  uint32_t peek(uint32_t offset, unsigned size) override;  // IISFIF's entry stays in the FIFO
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  VTime stable_until(uint32_t offset) override;

  // The bridge DMA whose channels may serve the FIFOs, and the codec.
  void set_dma(Bdma* bdma) { dma_ = bdma; }
  void set_codec(IisCodec* codec) { codec_ = codec; }
  // The ports whose PCONC/PCONE give the interface its pins (none: wired).
  void set_ports(Ports* ports) { ports_ = ports; }

  void mclk_changed();
  void set_clock_enabled(bool on);

  // DmaPacer: work off every slot due up to now; plan the next batch.
  void sync() override;
  void replan() override;
  VTime next_request() const override;

  bool running() const { return running_; }
  // Frame period the current registers and MCLK give (0 if no clock).
  VTime frame_period() const;
  // The same as a rate in Hz, rounded down.
  uint32_t sample_rate_hz() const;

 private:
  VTime slot_period() const;
  bool clock_should_run() const;
  void update_clock();
  uint64_t slots_due(VTime t) const;
  VTime slot_end(uint64_t slot) const;
  VTime slot_start(uint64_t slot) const { return slot_end(slot - 1); }
  bool transmitting() const;
  bool receiving() const;
  bool requests_dma(bool transmit) const;  // the FIFO asks a BDMA channel for each slot
  int tx_channel() const;
  int rx_channel() const;
  void process(uint64_t last_slot);
  uint16_t transmit_sample();
  void receive_sample(uint16_t sample);
  void report_once(const std::string& what);

  Scheduler& scheduler_;
  Bdma* dma_ = nullptr;
  IisCodec* codec_ = nullptr;
  Ports* ports_ = nullptr;
  bool pins_wired();
  ClockGateState gate_;
  Event batch_;

  uint32_t con_ = 0, mod_ = 0, psr_ = 0, fcon_ = 0;
  std::deque<uint16_t> tx_fifo_, rx_fifo_;

  // The slot clock: slot `anchor_slot_` ended at `anchor_time_`, then one
  // every slot_ps_. Slots are numbered from 1 after the start.
  bool running_ = false;
  VTime anchor_time_ = 0;
  uint64_t anchor_slot_ = 0;
  VTime slot_ps_ = 0;
  uint64_t done_slots_ = 0;  // slots already worked off
  bool in_sync_ = false;

  // Transmitted frames not yet handed to the codec.
  std::vector<AudioFrame> out_;
  VTime out_start_ = 0;
  AudioFrame partial_;
  VTime partial_start_ = 0;
  bool have_left_ = false;
  std::vector<AudioFrame> in_;

  std::set<std::string> reported_;
};

}  // namespace sim
