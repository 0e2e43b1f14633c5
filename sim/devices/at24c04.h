// Atmel AT24C04 serial EEPROM, 4 Kbit = 512 bytes (data sheet: "Device
// Addressing", "Write Operations", "Read Operations"), on the board's IIC bus
// with A2 = A1 = 0, so it answers the device bytes 0xA0..0xA3.
//
// Modelled: byte and page writes (16-byte pages, the address wraps inside the
// page), the self-timed write cycle after the STOP during which the part
// acknowledges nothing, current-address, random and sequential reads (the
// address counter runs on from 255 to 256 and wraps from 511 to 0), the
// master's NACK ending a read. Not modelled: the write-protect pin (tied low
// on the board), bus timing (the controller model owns it).
//
// Judgement calls:
// - The write cycle lasts its data-sheet maximum, 5 ms, unless set otherwise:
//   firmware that waits less finds the part busy, as a slow part would.
//   The part does not listen during the cycle at all: a START that comes
//   before the cycle ends is missed, even if its device byte ends after it.
// - The page is committed to the array at the end of the write cycle; a
//   board reset during the cycle (which forgets every scheduled event) loses
//   it, as a power cut would.
// - P0 of a write's device byte is address bit 8; a read's device byte does
//   not load the counter, so a read starts where the counter stands.
// - A repeated START after data bytes (no STOP) starts no write cycle: the
//   bytes are dropped and that is logged.
#pragma once
#include <array>
#include <cstdint>
#include <functional>

#include "core/scheduler.h"
#include "devices/iic.h"

namespace sim {

class At24c04 : public IicSlave {
 public:
  static constexpr unsigned kSize = 512;
  static constexpr unsigned kPageSize = 16;
  static constexpr uint8_t kDeviceCode = 0xA0;  // 1010 A2=0 A1=0
  static constexpr VTime kWriteCycle = 5 * kMillisecond;
  using Image = std::array<uint8_t, kSize>;

  explicit At24c04(Scheduler& scheduler);

  // Power cycle: the transaction in progress and an unfinished write cycle are
  // lost; the array keeps its contents.
  void reset();

  // Off the bus: acknowledges nothing (a missing or dead part).
  void set_connected(bool connected);
  bool connected() const { return connected_; }

  void set_write_cycle_time(VTime t) { write_cycle_time_ = t; }
  bool write_cycle_busy() const { return cycle_event_.armed(); }

  const Image& contents() const { return mem_; }
  void set_contents(const Image& image) { mem_ = image; }
  uint16_t address_counter() const { return counter_; }

  // Told after each completed write cycle, with the whole array.
  void set_write_listener(std::function<void(const Image&)> listener) { write_listener_ = std::move(listener); }

  // IicSlave
  void start() override;
  bool address(uint8_t device_byte) override;
  bool write(uint8_t byte) override;
  uint8_t read() override;
  void master_ack(bool ack) override;
  void stop() override;

 private:
  enum class State {
    kIdle,         // waiting for a START
    kDeviceByte,   // a START came: the next byte is a device byte
    kWordAddress,  // addressed for writing: the next byte is the word address
    kData,         // page write in progress
    kRead,         // sending bytes while the master acknowledges
  };

  void drop_page(const char* why);
  void cycle_done(VTime late);

  Event cycle_event_;
  Image mem_;
  bool connected_ = true;
  VTime write_cycle_time_ = kWriteCycle;
  State state_ = State::kIdle;
  uint16_t counter_ = 0;  // 9-bit address counter
  uint16_t block_ = 0;    // P0 of the last write device byte
  // The page latch: data bytes waiting for the STOP, by offset in the page.
  uint16_t page_ = 0;
  std::array<uint8_t, kPageSize> latch_{};
  uint16_t latched_ = 0;  // bit per page offset holding a byte
  unsigned data_bytes_ = 0;
  std::function<void(const Image&)> write_listener_;
};

}  // namespace sim
