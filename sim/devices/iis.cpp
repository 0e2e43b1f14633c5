#include "devices/iis.h"

#include <algorithm>

#include "core/s3c44b0x.h"

namespace sim {

namespace {
enum : uint32_t {
  IISCON = 0x00,   // [8:6] read-only: L/R index, Tx FIFO ready, Rx FIFO ready;
                   // [5:4] Tx/Rx DMA request enable, [3:2] Tx/Rx idle,
                   // [1] prescaler enable, [0] interface enable
  IISMOD = 0x04,   // [8] slave, [7] transmit, [6] receive, [5] L/R polarity,
                   // [4] format, [3] 16-bit, [2] 384 fs, [1:0] bit clock
  IISPSR = 0x08,   // [7:4] prescaler A (the frame clock), [3:0] prescaler B
  IISFCON = 0x0C,  // [11:8] Tx DMA mode, Rx DMA mode, Tx FIFO enable, Rx FIFO
                   // enable; [7:4] Tx count, [3:0] Rx count, read-only
  IISFIF = 0x10,   // half-word: a write goes into the Tx FIFO, a read takes
                   // from the Rx FIFO
};

constexpr uint32_t kConReset = 0x100;
constexpr uint32_t kConWritable = 0x3F;
constexpr uint32_t kConLrIndex = 1u << 8;
constexpr uint32_t kConTxReady = 1u << 7;
constexpr uint32_t kConRxReady = 1u << 6;
constexpr uint32_t kConTxDmaRequest = 1u << 5;
constexpr uint32_t kConRxDmaRequest = 1u << 4;
constexpr uint32_t kConTxIdle = 1u << 3;
constexpr uint32_t kConRxIdle = 1u << 2;
constexpr uint32_t kConPrescaler = 1u << 1;
constexpr uint32_t kConEnable = 1u << 0;

constexpr uint32_t kModWritable = 0x1FF;
constexpr uint32_t kModSlave = 1u << 8;
constexpr uint32_t kModTransmit = 1u << 7;
constexpr uint32_t kModReceive = 1u << 6;
constexpr uint32_t kMod384fs = 1u << 2;

constexpr uint32_t kFconWritable = 0xF00;
constexpr uint32_t kFconTxDma = 1u << 11;
constexpr uint32_t kFconRxDma = 1u << 10;
constexpr uint32_t kFconTxEnable = 1u << 9;
constexpr uint32_t kFconRxEnable = 1u << 8;

// Prescaler code -> division; 0 marks the codes the manual does not allow.
constexpr uint32_t kDivision[16] = {2, 4, 6, 8, 10, 12, 14, 16, 1, 0, 3, 0, 5, 0, 7, 0};

// Slots worked off per batch when nothing else is due: 256 frames.
constexpr uint64_t kBatchSlots = 512;
}  // namespace

Iis::Iis(uint32_t base, Scheduler& scheduler)
    : Device("iis", base, 0x14), scheduler_(scheduler), batch_(scheduler, "iis-slots", [this](VTime) {
        sync();
        replan();
      }) {
  // Its slots meet the codec and the DMA, whose transfers may end in a
  // DMA interrupt.
  batch_.set_interrupt_sources(chip::kDmaSources);
  reset();
}

void Iis::reset() {
  batch_.cancel();
  con_ = kConReset & kConWritable;
  mod_ = psr_ = fcon_ = 0;
  tx_fifo_.clear();
  rx_fifo_.clear();
  running_ = false;
  anchor_time_ = 0;
  anchor_slot_ = 0;
  slot_ps_ = 0;
  done_slots_ = 0;
  out_.clear();
  have_left_ = false;
}

void Iis::report_once(const std::string& what) {
  if (reported_.insert(what).second) log(what + " (reported once)");
}

// ---- the clock -------------------------------------------------------------

VTime Iis::slot_period() const {
  uint32_t division = kDivision[(psr_ >> 4) & 0xF];
  uint32_t ratio = (mod_ & kMod384fs) ? 384 : 256;
  return scheduler_.cycle_period() * division * ratio / 2;
}

VTime Iis::frame_period() const { return 2 * slot_period(); }

uint32_t Iis::sample_rate_hz() const {
  VTime frame = frame_period();
  return frame ? static_cast<uint32_t>(kSecond / frame) : 0;
}

bool Iis::clock_should_run() const {
  if (!(con_ & kConEnable) || !gate_.on) return false;
  if (!(con_ & kConPrescaler)) return false;
  if (mod_ & kModSlave) return false;
  return kDivision[(psr_ >> 4) & 0xF] != 0;
}

void Iis::update_clock() {
  if (con_ & kConEnable) {
    if (!(con_ & kConPrescaler)) report_once("interface enabled with the prescaler off: no clock, nothing moves");
    else if (mod_ & kModSlave) report_once("slave mode is not modelled: no clock comes in, nothing moves");
    else if (!kDivision[(psr_ >> 4) & 0xF]) report_once("IISPSR prescaler A code not allowed: no clock, nothing moves");
  }
  bool should = clock_should_run();
  if (!should) {
    running_ = false;
  } else if (!running_) {
    running_ = true;
    anchor_time_ = scheduler_.now();
    anchor_slot_ = 0;
    done_slots_ = 0;
    slot_ps_ = slot_period();
    have_left_ = false;
  } else if (slot_period() != slot_ps_) {
    anchor_time_ = slot_end(done_slots_);
    anchor_slot_ = done_slots_;
    slot_ps_ = slot_period();
  }
  if (!transmitting()) have_left_ = false;
  replan();
}

uint64_t Iis::slots_due(VTime t) const {
  if (t <= anchor_time_) return anchor_slot_;
  return anchor_slot_ + (t - anchor_time_) / slot_ps_;
}

VTime Iis::slot_end(uint64_t slot) const {
  int64_t k = static_cast<int64_t>(slot) - static_cast<int64_t>(anchor_slot_);
  return static_cast<VTime>(static_cast<int64_t>(anchor_time_) + k * static_cast<int64_t>(slot_ps_));
}

// ---- who serves a slot -------------------------------------------------------

bool Iis::transmitting() const { return running_ && (mod_ & kModTransmit) && !(con_ & kConTxIdle); }
bool Iis::receiving() const { return running_ && (mod_ & kModReceive) && !(con_ & kConRxIdle); }

bool Iis::requests_dma(bool transmit) const {
  const uint32_t request = transmit ? kConTxDmaRequest : kConRxDmaRequest;
  const uint32_t mode = transmit ? kFconTxDma | kFconTxEnable : kFconRxDma | kFconRxEnable;
  return dma_ && (con_ & request) && (fcon_ & mode) == mode;
}

int Iis::tx_channel() const {
  if (!requests_dma(true)) return -1;
  for (int ch = 0; ch < Bdma::kChannels; ++ch)
    if (dma_->serves_iis(ch, true)) return ch;
  return -1;
}

int Iis::rx_channel() const {
  if (!requests_dma(false)) return -1;
  for (int ch = 0; ch < Bdma::kChannels; ++ch)
    if (dma_->serves_iis(ch, false)) return ch;
  return -1;
}

uint16_t Iis::transmit_sample() {
  if (fcon_ & kFconTxDma) {
    int ch = tx_channel();
    return ch >= 0 ? dma_->iis_fetch(ch) : 0;
  }
  if ((fcon_ & kFconTxEnable) && !tx_fifo_.empty()) {
    uint16_t v = tx_fifo_.front();
    tx_fifo_.pop_front();
    return v;
  }
  return 0;
}

void Iis::receive_sample(uint16_t sample) {
  if (fcon_ & kFconRxDma) {
    int ch = rx_channel();
    if (ch >= 0) dma_->iis_store(ch, sample);
    return;
  }
  if (!(fcon_ & kFconRxEnable)) return;
  if (rx_fifo_.size() < kFifoDepth) rx_fifo_.push_back(sample);
  else report_once("Rx FIFO overrun: received samples lost");
}

// ---- working off slots -------------------------------------------------------

void Iis::sync() {
  if (!running_ || in_sync_) return;
  uint64_t last = slots_due(scheduler_.now());
  if (last <= done_slots_) return;
  in_sync_ = true;
  process(last);
  in_sync_ = false;
}

void Iis::mclk_changed() {
  sync();
  update_clock();
}

void Iis::set_clock_enabled(bool on) {
  if (on == gate_.on) return;
  sync();
  gate_.on = on;
  update_clock();
}

bool Iis::pins_wired() {
  if (!ports_) return true;
  bool wired = true;
  for (Ports::Function f : {Ports::kIisLrck, Ports::kIisDo, Ports::kIisDi, Ports::kIisClk, Ports::kCodeclk})
    wired = ports_->pin_given(f, name()) && wired;
  return wired;
}

void Iis::process(uint64_t last) {
  const bool tx = transmitting();
  const bool rx = receiving();
  const bool wired = pins_wired();
  const VTime frame = 2 * slot_ps_;
  const uint64_t first = done_slots_ + 1;
  const uint64_t first_frame = (first - 1) / 2;
  // These slots ask the BDMA for data: with its clock off none answers.
  if ((tx && requests_dma(true)) || (rx && requests_dma(false))) dma_->clock_check();
  if (rx) {
    // The frame the first slot belongs to may have been fetched before for
    // its other slot: the input is a function of time, so fetching it again
    // gives the same samples.
    size_t frames = static_cast<size_t>((last - 1) / 2 - first_frame + 1);
    in_.assign(frames, AudioFrame{});
    if (codec_ && wired) codec_->adc_frames(slot_start(2 * first_frame + 1), frame, in_.data(), frames);
  }
  for (uint64_t s = first; s <= last; ++s) {
    const bool right = ((s - 1) & 1) != 0;
    if (tx) {
      uint16_t v = transmit_sample();
      if (!right) {
        partial_.left = static_cast<int16_t>(v);
        partial_start_ = slot_start(s);
        have_left_ = true;
      } else if (have_left_) {
        partial_.right = static_cast<int16_t>(v);
        if (out_.empty()) out_start_ = partial_start_;
        out_.push_back(partial_);
        have_left_ = false;
      }
    }
    if (rx) {
      const AudioFrame& f = in_[static_cast<size_t>((s - 1) / 2 - first_frame)];
      receive_sample(static_cast<uint16_t>(right ? f.right : f.left));
    }
  }
  done_slots_ = last;
  if (!out_.empty()) {
    if (!wired) std::fill(out_.begin(), out_.end(), AudioFrame{});
    if (codec_) codec_->dac_frames(out_start_, frame, out_.data(), out_.size());
    out_.clear();
  }
}

void Iis::replan() {
  if (!running_) {
    batch_.cancel();
    return;
  }
  uint64_t next = (done_slots_ / kBatchSlots + 1) * kBatchSlots;
  if (transmitting()) {
    int ch = tx_channel();
    if (ch >= 0) next = std::min<uint64_t>(next, done_slots_ + dma_->transfers_until_event(ch));
  }
  if (receiving()) {
    int ch = rx_channel();
    if (ch >= 0) next = std::min<uint64_t>(next, done_slots_ + dma_->transfers_until_event(ch));
  }
  batch_.schedule_at(slot_end(next));
}

VTime Iis::next_request() const {
  if (!running_) return kForever;
  return slot_end(slots_due(scheduler_.now()) + 1);
}

// ---- registers ---------------------------------------------------------------

uint32_t Iis::read(uint32_t offset, unsigned) {
  sync();
  switch (offset) {
    case IISCON: {
      bool right = running_ ? (slots_due(scheduler_.now()) & 1) != 0 : true;
      return con_ | (right ? kConLrIndex : 0) | (tx_fifo_.empty() ? 0 : kConTxReady) |
             (rx_fifo_.empty() ? 0 : kConRxReady);
    }
    case IISMOD: return mod_;
    case IISPSR: return psr_;
    case IISFCON:
      return fcon_ | (static_cast<uint32_t>(tx_fifo_.size()) << 4) | static_cast<uint32_t>(rx_fifo_.size());
    case IISFIF: {
      if (rx_fifo_.empty()) {
        report_once("read of IISFIF with the Rx FIFO empty gives 0");
        return 0;
      }
      uint16_t v = rx_fifo_.front();
      rx_fifo_.pop_front();
      return v;
    }
    default: log_unmodelled(offset, false); return 0;
  }
}

uint32_t Iis::peek(uint32_t offset, unsigned size) {
  if (offset == IISFIF) return rx_fifo_.empty() ? 0 : rx_fifo_.front();
  return Device::peek(offset, size);
}

void Iis::write(uint32_t offset, uint32_t value, unsigned) {
  gate_.check(name(), ClockPower::kIis);
  sync();
  switch (offset) {
    case IISCON: con_ = value & kConWritable; break;
    case IISMOD: mod_ = value & kModWritable; break;
    case IISPSR: psr_ = value & 0xFF; break;
    case IISFCON:
      fcon_ = value & kFconWritable;
      if (!(fcon_ & kFconTxEnable)) tx_fifo_.clear();
      if (!(fcon_ & kFconRxEnable)) rx_fifo_.clear();
      break;
    case IISFIF:
      if (!(fcon_ & kFconTxEnable)) report_once("write to IISFIF with the Tx FIFO disabled is lost");
      else if (tx_fifo_.size() >= kFifoDepth) report_once("write to IISFIF with the Tx FIFO full is lost");
      else tx_fifo_.push_back(static_cast<uint16_t>(value));
      return;
    default: log_unmodelled(offset, true); return;
  }
  update_clock();
}

VTime Iis::stable_until(uint32_t offset) {
  switch (offset) {
    case IISCON:
    case IISFCON: return next_request();
    case IISFIF: return scheduler_.now();  // reading takes an entry
    default: return kForever;
  }
}

}  // namespace sim
