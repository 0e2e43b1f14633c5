// S3C44B0X clock and power management (PLLCON, CLKCON, CLKSLOW, LOCKTIME).
//
// MCLK = Fout = (MDIV + 8) x Fin / ((PDIV + 2) x 2^SDIV), Fin = 8 MHz on this
// board; until software writes PLLCON the chip runs from Fin. In slow mode
// (CLKSLOW[4]) MCLK = Fin / (2 x SLOW_VAL), or Fin when SLOW_VAL is 0. A new
// PLL or slow-mode setting takes effect at once (the lock time is not
// modelled); the scheduler's cycle period is the one source of MCLK, and the
// blocks that derive a rate from it are told at that moment (on_mclk_change)
// so they settle what ran at the old rate first.
//
// Clock gating: CLKCON[14:3] give each block its clock (1 = on). A gated
// block does not run (its counters hold, nothing moves); the blocks hear it
// through on_gate_change and report their first use with the clock off
// (ClockGateState). The watchdog has no gate bit: it stops only in SL_IDLE
// and STOP (bit kCoreClocks). The RTC counts on its own 32.768 kHz crystal
// in every mode; its bit, like the GPIO's, only gates the register interface.
//
// Power modes (the manual's "Power management"):
// - IDLE (CLKCON[2]): the core stops at once, the peripherals run; a request
//   of any interrupt source that INTMSK lets through wakes it and the bit
//   clears. The board lets the time pass at once (Board::sleep).
// - SL_IDLE (CLKCON[1], with IDLE): as IDLE, but only the LCD controller's
//   clock runs; an EINT0..7 or RTC alarm request wakes it.
// - STOP (CLKCON[0]): every clock stops (the LCD too); EINT0..7 or the RTC
//   alarm wake it. Judgement call: in every mode a wake source counts only
//   when INTMSK lets it through (the manual's flow charts unmask it first).
// On waking, CLKCON's mode bits clear and the clock bits are as written.
// Judgement call: SL_IDLE without IDLE is taken as SL_IDLE (the manual sets
// both); STOP wins over the others.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/device.h"

namespace sim {

// A block's view of its CLKCON bit: reports the first use while it is off.
struct ClockGateState {
  bool on = true;
  bool reported = false;
  // True while the clock runs; otherwise reports once, as `who`, that the
  // block was used with its clock off, and `effect`.
  bool check(const std::string& who, int clkcon_bit, const char* effect = "the block does not run") {
    return on || report_off(who, clkcon_bit, effect);
  }
  bool report_off(const std::string& who, int clkcon_bit, const char* effect);
};

// An event a number of MCLK cycles away that keeps in step with MCLK: a
// change of MCLK stretches or shrinks the cycles still to go, a stopped clock
// holds them until it runs again.
class CycleTimer {
 public:
  explicit CycleTimer(Event& event) : event_(event) {}
  void start(Scheduler& scheduler, uint64_t cycles);
  void cancel();
  void mclk_changed(Scheduler& scheduler, VTime old_period);
  void set_clock(Scheduler& scheduler, bool on);
  bool pending() const { return event_.armed() || held_; }

 private:
  Event& event_;
  bool on_ = true;
  bool held_ = false;
  uint64_t held_cycles_ = 0;
};

class ClockPower : public Device {
 public:
  // This board's crystal; another S3C44B0X board's may differ (set_fin_hz).
  static constexpr uint64_t kFinHz = 8000000;
  // CLKCON bits of the blocks.
  enum Gate : int {
    kCoreClocks = -1,  // no bit of its own: stops in SL_IDLE and STOP (the watchdog)
    kPwm = 3, kZdma = 4, kSio = 5, kLcd = 6, kBdma = 7, kUart0 = 8, kUart1 = 9,
    kGpio = 10, kRtc = 11, kAdc = 12, kIic = 13, kIis = 14,
  };
  enum class Mode { kNormal, kIdle, kSlIdle, kStop };

  ClockPower(uint32_t base, Scheduler& scheduler);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;

  uint64_t mclk_hz() const { return mclk_hz_; }
  // The crystal (Fin) the PLL and slow mode divide: MCLK follows from it at
  // the next reset or clock register write.
  void set_fin_hz(uint64_t hz) { fin_hz_ = hz; }
  uint32_t clkcon() const { return clkcon_; }

  // Fout for a PLLCON value (0 for a setting that divides by zero).
  static uint64_t pll_output_hz(uint32_t pllcon, uint64_t fin_hz = kFinHz);

  // Told after MCLK changed (the scheduler already has the new period), with
  // the period before.
  void on_mclk_change(std::function<void(VTime old_period)> listener) { mclk_listeners_.push_back(std::move(listener)); }
  // Told when the clock of `gate` starts (true) or stops (false), by CLKCON
  // or by a power mode; told once at once with its current state.
  void on_gate_change(int gate, std::function<void(bool on)> listener);
  bool clock_on(int gate) const;

  // Power modes. core_stopped(): the core does not execute. wake() ends the
  // mode if one of `requests` (INTPND bits INTMSK lets through) may end it;
  // true when the core runs again.
  Mode mode() const { return mode_; }
  bool core_stopped() const { return mode_ != Mode::kNormal; }
  bool wake(uint32_t requests);
  // Told when the core must end its slice: a write entered a power mode, or
  // MCLK changed (the slice was planned at the old rate).
  void set_stop_listener(std::function<void()> listener) { stop_listener_ = std::move(listener); }

 private:
  void set_mclk(uint64_t hz);
  void update_mclk();
  void update_gates();

  Scheduler& scheduler_;
  uint32_t pllcon_, clkcon_, clkslow_, locktime_;
  bool pll_written_ = false;
  uint64_t fin_hz_ = kFinHz;
  uint64_t mclk_hz_ = kFinHz;
  Mode mode_ = Mode::kNormal;
  bool pll_off_reported_ = false;
  std::vector<std::function<void(VTime)>> mclk_listeners_;
  struct GateListener {
    int gate;
    bool on;
    std::function<void(bool)> listener;
  };
  std::vector<GateListener> gate_listeners_;
  std::function<void()> stop_listener_;
};

}  // namespace sim
