// S3C44B0X PWM timers 0..5 (user's manual, "PWM timer"): TCFG0/TCFG1 clock
// selection, TCON control, TCNTBn/TCMPBn buffers and the TCNTOn observation
// registers.
//
// A timer counts down once per tick of MCLK / (prescaler + 1) / divider; at 0
// it requests its interrupt, then either stops there (one-shot) or reloads
// TCNTB on the next tick (auto-reload, so a period is TCNTB + 1 ticks).
// TCNTO is computed from the virtual clock; the only events are the zero
// crossings.
//
// TOUT0..4: each timer's output level, seen on its port pin (PE3..PE7) when
// PCONE gives the pin to TOUT (Ports::set_level_source): low from the
// (re)load until the count reaches TCMP, high from there to the end of the
// period, so the duty is (TCMP + 1) / (TCNTB + 1); the inverter (TCON)
// swaps the levels. TCMPB is buffered like TCNTB: it takes effect at a
// manual update or a reload. A timer that never ran drives low (high with
// the inverter); a stopped one holds its level.
//
// Not modelled: the dead zone (TCON[4], TCFG0[31:24]: reported once when
// timer 0 starts with it on; TOUT0 shows without it), DMA requests, the
// external clocks TCLK/EXTCLK of timers 4 and 5 (a timer switched to one is
// reported once and holds its count).
//
// Judgement calls:
// - The tick rate follows MCLK: a PLL or slow-mode change (mclk_changed)
//   settles the counts at the old rate and goes on at the new one. With the
//   PWM clock gated (CLKCON[3]) or stopped by a power mode every timer
//   holds its count.
// - The prescaler runs free on the chip, so the first tick after a start
//   comes at an arbitrary phase. Here the phase starts at the start (or at a
//   change of the tick rate), which makes the first tick a whole period
//   away: a count read k periods after the start has dropped by exactly k.
// - While TCON's manual-update bit is 1 the counter is held at TCNTB (a TCNTB
//   write then shows at once); it counts only with start 1 and update 0.
// - A one-shot timer started at 0 stays at 0 and requests nothing.
#pragma once
#include <array>
#include <memory>

#include "devices/clock_power.h"
#include "core/device.h"
#include "devices/intc.h"

namespace sim {

class PwmTimers : public Device {
 public:
  static constexpr int kTimers = 6;

  PwmTimers(uint32_t base, Scheduler& scheduler, Intc& intc);

  void reset() override;
  uint32_t read(uint32_t offset, unsigned size) override;
  void write(uint32_t offset, uint32_t value, unsigned size) override;
  VTime stable_until(uint32_t offset) override;
  bool predict(uint32_t offset, VTime when, uint32_t* value) override;

  // TCNTOn now.
  uint32_t count(int timer) const;
  // Length of timer n's tick as last latched, in ps (0 while held by an
  // external clock).
  VTime tick_period(int timer) const { return timers_[timer].tick; }
  bool counting(int timer) const { return timers_[timer].counting; }
  // TOUTn's level now (n = 0..4) and when it next changes.
  bool tout(int timer) const;
  VTime tout_next_change(int timer) const;

  void mclk_changed();
  void set_clock_enabled(bool on);

 private:
  struct Timer {
    uint32_t tcntb = 0, tcmpb = 0;
    uint32_t tcmp = 0;       // the compare value in use (TCMPB at the last load)
    bool ran = false;        // started at least once: TOUT follows the count
    uint32_t count0 = 0;     // count at t0, or the held count while not counting
    VTime t0 = 0;            // a tick boundary at or before now
    VTime tick = 0;          // ps per tick
    bool counting = false;   // start 1, manual update 0, internal clock
    bool reload = false;
    bool external_reported = false;
    std::unique_ptr<Event> zero;  // the next time the count reaches 0
  };

  uint32_t count_at(const Timer& t, VTime when) const;
  void rebase(Timer& t, VTime when);
  void catch_up(int n, VTime when);
  void reached_zero(int n, VTime due);
  void arm_zero(Timer& t);
  void reconfigure(int n, VTime when);
  uint32_t tcon_bits(int n) const;
  void settle_all(VTime when);
  VTime input_tick(int n, bool* external) const;

  Scheduler& scheduler_;
  Intc& intc_;
  uint32_t tcfg0_ = 0, tcfg1_ = 0, tcon_ = 0;
  std::array<Timer, kTimers> timers_;
  ClockGateState gate_;
  bool dead_zone_reported_ = false;
};

}  // namespace sim
