// The one event scheduler of the board.
//
// Devices own named Events and arm them at absolute virtual times; the board
// runs the CPU up to the earliest armed event, then fires every event that is
// due, in time order (ties: higher priority first, then the order of arming).
// A callback is told how late it runs, so a periodic event re-arms relative
// to its own due time and never drifts.
//
// An event may name the interrupt sources its callback can request (bits
// as in INTPND): the core then splits its blocks only at events that could
// make an interrupt takeable (see ArmCore). An event that names none is
// taken to be able to request anything, or to reset the chip.
//
// The scheduler also keeps the MCLK cycle count. While the CPU executes a
// slice, now() includes its progress in that slice: during a register
// access, the cycle of the accessing instruction (see ArmCore), and the
// events due before it are fired first with fire_due().
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vtime.h"

namespace sim {

class Scheduler;

class Event {
 public:
  using Callback = std::function<void(VTime late)>;
  Event(Scheduler& scheduler, std::string name, Callback callback, int priority = 0);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void schedule_at(VTime when);
  void schedule_in(VTime delta);
  void cancel();
  bool armed() const { return armed_; }
  VTime when() const { return when_; }
  // The interrupt sources the callback may request (INTPND bits), directly
  // or through the device it drives: a DMA transfer it makes, a pin it
  // flips. kAnySource (the default) also covers a reset.
  static constexpr uint32_t kAnySource = ~0u;
  void set_interrupt_sources(uint32_t sources) { sources_ = sources; }
  uint32_t interrupt_sources() const { return sources_; }
  const std::string& name() const { return name_; }

 private:
  friend class Scheduler;
  Scheduler& scheduler_;
  std::string name_;
  Callback callback_;
  int priority_;
  uint32_t sources_ = kAnySource;
  bool armed_ = false;
  VTime when_ = 0;
  uint64_t sequence_ = 0;
};

class Scheduler {
 public:
  Scheduler();

  VTime now() const { return firing_ ? firing_now_ : now_ + inflight_cycles() * cycle_ps_; }
  uint64_t cycles() const { return firing_ ? firing_cycles_ : cycles_ + inflight_cycles(); }
  // How many event callbacks have run so far: a value read before the
  // count moved may have changed since.
  uint64_t fired() const { return fired_; }
  // The time the CPU's slice in progress began (now() without it).
  VTime slice_base() const { return now_; }

  // Period of one MCLK cycle. Changing it affects only time still to come.
  VTime cycle_period() const { return cycle_ps_; }
  void set_cycle_period(VTime ps);
  uint64_t mclk_hz() const { return kSecond / cycle_ps_; }
  // Duration of n MCLK cycles at the current clock.
  VTime cycles_to_time(uint64_t n) const { return n * cycle_ps_; }

  // Earliest armed event, or kForever.
  VTime next_deadline() const;
  // Earliest armed event that may request one of `sources`, or kForever.
  VTime next_deadline(uint32_t sources) const;

  // Let n MCLK cycles pass, firing events as they fall due.
  void run_cycles(uint64_t n);
  // Let time pass up to `when` (nothing executes meanwhile), firing events.
  void advance_to(VTime when);
  // Fire every event due at or before now(), the CPU's progress in its
  // slice included (a register access fires what is due before it).
  void fire_due();

  // The CPU's progress inside the slice it is executing, in cycles.
  void set_inflight_source(const uint64_t* cycles) { inflight_ = cycles; }
  // Called when an event is armed earlier than the previous deadline, so a
  // running CPU slice can be shortened.
  void set_deadline_listener(std::function<void(VTime)> listener) { deadline_listener_ = std::move(listener); }

  // Forget every armed event and reset the clocks.
  void reset();
  // Forget every armed event; time goes on (a chip reset does not rewind it).
  void cancel_all();

 private:
  friend class Event;
  void arm(Event* event, VTime when);
  void disarm(Event* event);
  uint64_t inflight_cycles() const { return inflight_ ? *inflight_ : 0; }
  void advance_clock(VTime to);
  Event* earliest() const;

  VTime now_ = 0;
  uint64_t cycles_ = 0;
  // While a callback runs: its own due time.
  bool firing_ = false;
  VTime firing_now_ = 0;
  uint64_t firing_cycles_ = 0;
  uint64_t fired_ = 0;
  VTime cycle_ps_;
  const uint64_t* inflight_ = nullptr;
  std::vector<Event*> armed_;
  uint64_t sequence_ = 0;
  std::function<void(VTime)> deadline_listener_;
};

}  // namespace sim
