#include "devices/at24c04.h"

#include "core/log.h"

namespace sim {

namespace {
constexpr uint8_t kDeviceMask = 0xFC;  // 1010 A2 A1; P0 and R/W vary
constexpr uint8_t kReadBit = 0x01;
constexpr uint16_t kPageMask = At24c04::kPageSize - 1;
}  // namespace

At24c04::At24c04(Scheduler& scheduler)
    : cycle_event_(scheduler, "at24c04 write cycle", [this](VTime late) { cycle_done(late); }) {
  cycle_event_.set_interrupt_sources(0);  // the part's own write cycle: no line of its own
  mem_.fill(0xFF);  // a new part comes erased
}

void At24c04::reset() {
  cycle_event_.cancel();
  state_ = State::kIdle;
  latched_ = 0;
  data_bytes_ = 0;
}

void At24c04::set_connected(bool connected) {
  connected_ = connected;
  if (!connected) state_ = State::kIdle;
}

void At24c04::start() {
  if (state_ == State::kData && data_bytes_ > 0) drop_page("a repeated START");
  // During the write cycle the part does not look at the bus at all.
  state_ = (connected_ && !write_cycle_busy()) ? State::kDeviceByte : State::kIdle;
}

bool At24c04::address(uint8_t device_byte) {
  if (state_ != State::kDeviceByte || (device_byte & kDeviceMask) != kDeviceCode) {
    state_ = State::kIdle;
    return false;
  }
  if (device_byte & kReadBit) {
    state_ = State::kRead;
  } else {
    block_ = (device_byte >> 1) & 1;
    latched_ = 0;
    data_bytes_ = 0;
    state_ = State::kWordAddress;
  }
  return true;
}

bool At24c04::write(uint8_t byte) {
  switch (state_) {
    case State::kWordAddress:
      counter_ = static_cast<uint16_t>(block_ << 8 | byte);
      page_ = counter_ & ~kPageMask;
      state_ = State::kData;
      return true;
    case State::kData: {
      const uint16_t offset = counter_ & kPageMask;
      latch_[offset] = byte;
      latched_ |= 1u << offset;
      if (++data_bytes_ == kPageSize + 1)
        log_warning("at24c04", "page write longer than " + std::to_string(kPageSize) +
                                   " bytes: the address wrapped inside the page and overwrote its first bytes");
      counter_ = page_ | ((offset + 1) & kPageMask);
      return true;
    }
    default: return false;  // not addressed for writing
  }
}

uint8_t At24c04::read() {
  if (state_ != State::kRead) return 0xFF;
  const uint8_t byte = mem_[counter_];
  counter_ = (counter_ + 1) % kSize;  // sequential reads cross the block boundary and wrap at the end
  return byte;
}

void At24c04::master_ack(bool ack) {
  if (state_ == State::kRead && !ack) state_ = State::kIdle;
}

void At24c04::stop() {
  if (state_ == State::kData && data_bytes_ > 0) cycle_event_.schedule_in(write_cycle_time_);
  state_ = State::kIdle;
}

void At24c04::drop_page(const char* why) {
  log_warning("at24c04", "page write of " + std::to_string(data_bytes_) + " bytes dropped: " + why +
                             " came before the STOP that starts the write cycle");
  latched_ = 0;
  data_bytes_ = 0;
}

void At24c04::cycle_done(VTime late) {
  (void)late;
  for (unsigned i = 0; i < kPageSize; ++i)
    if (latched_ & (1u << i)) mem_[page_ + i] = latch_[i];
  latched_ = 0;
  data_bytes_ = 0;
  if (write_listener_) write_listener_(mem_);
}

}  // namespace sim
