// The phone on the simulated board, as the system tests drive it.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board/board.h"
#include "core/log.h"
#include "frontends/lcd_text.h"

namespace phone_test {

using sim::kMillisecond;
using sim::kSecond;
using sim::VTime;

struct Write {
  uint32_t address;
  uint32_t value;
};

class Phone {
 public:
  explicit Phone(const std::string& eeprom_name = "", sim::BoardOptions options = {}) : board(options) {
    // The phone's IIC set-up writes IICADD with the output on, which the
    // model reports on every run; the tests have no use for that line.
    sim::set_log_sink([](const std::string& line) {
      if (line.find("IICADD") == std::string::npos) std::fprintf(stderr, "%s\n", line.c_str());
    });
    std::string error;
    if (!board.load(PHONE_ELF, &error)) ADD_FAILURE() << error;
    std::string path = eeprom_file(eeprom_name.empty() ? std::to_string(reinterpret_cast<uintptr_t>(this)) : eeprom_name);
    if (eeprom_name.empty()) std::remove(path.c_str());
    if (!board.use_eeprom_file(path, &error)) ADD_FAILURE() << error;
    eeprom_path = path;
    board.bus().add_watcher([this](bool is_write, uint32_t address, uint32_t value, unsigned) {
      if (is_write) writes.push_back({address, value});
    });
  }

  // Where a named EEPROM image lives: the same name is the same board's EEPROM
  // across power cycles (an unnamed one starts erased).
  static std::string eeprom_file(const std::string& name) {
    return ::testing::TempDir() + "phone-eeprom-" + name + ".bin";
  }

  void run(VTime duration) { board.run_for(duration); }
  void run_to(VTime when) { board.run_until(when); }

  std::vector<uint8_t> screen() {
    std::vector<uint8_t> frame(sim::kLcdWidth * sim::kLcdHeight);
    board.screen(frame.data());
    return frame;
  }
  std::vector<sim::TextRun> text() {
    auto frame = screen();
    return sim::find_lcd_text(board.font(), frame.data());
  }
  bool shows(const std::string& s) { return sim::lcd_contains(text(), s); }
  std::string screen_text() { return sim::format_runs(text()); }

  // A person's key press: hold, release, then a pause before the next.
  void key(int k, VTime hold = 100 * kMillisecond, VTime pause = 150 * kMillisecond) {
    board.keypad().key_down(k);
    run(hold);
    board.keypad().key_up(k);
    run(pause);
  }
  void button(uint8_t mask, VTime hold = 100 * kMillisecond, VTime pause = 150 * kMillisecond) {
    board.buttons().press(mask);
    run(hold);
    board.buttons().release(mask);
    run(pause);
  }
  // Runs until the text is on the screen (or `limit` passes).
  bool wait_for(const std::string& s, VTime limit = 3 * kSecond) {
    VTime end = board.now() + limit;
    while (board.now() < end && !board.halted()) {
      if (shows(s)) return true;
      run(10 * kMillisecond);
    }
    return shows(s);
  }
  std::vector<Write> writes_to(uint32_t address) const {
    std::vector<Write> out;
    for (const Write& w : writes)
      if (w.address == address) out.push_back(w);
    return out;
  }

  sim::Board board;
  std::vector<Write> writes;
  std::string eeprom_path;
};

}  // namespace phone_test
