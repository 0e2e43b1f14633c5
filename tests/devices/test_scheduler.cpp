// The event scheduler: firing order, lateness, periodic events without
// drift, cancelling, and events armed from callbacks.
//
// Inside a callback now() and cycles() are the event's due time; `late` says
// how far the clock had already gone past it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/scheduler.h"

namespace sim {
namespace {

constexpr VTime kCycle64MHz = kSecond / 64000000;

struct SchedulerTest : ::testing::Test {
  Scheduler scheduler;
  std::vector<std::string> fired;
  std::vector<std::unique_ptr<Event>> events;

  void SetUp() override { scheduler.set_cycle_period(kCycle64MHz); }
  Event& make(const std::string& name, int priority = 0, std::function<void(VTime)> extra = {}) {
    events.push_back(std::make_unique<Event>(
        scheduler, name,
        [this, name, extra](VTime late) {
          fired.push_back(name);
          if (extra) extra(late);
        },
        priority));
    return *events.back();
  }
};

TEST_F(SchedulerTest, OrderByTimeThenPriorityThenArming) {
  struct Arm {
    const char* name;
    uint64_t cycle;
    int priority;
  };
  // In arming order.
  const Arm arms[] = {
      {"c", 20, 0}, {"a", 10, 0}, {"b", 10, 5}, {"d", 10, 0}, {"e", 5, -1}, {"f", 20, 0}, {"g", 20, 1},
  };
  const std::vector<std::string> expected = {"e", "b", "a", "d", "g", "c", "f"};
  // The same order whether time passes in one step or event by event.
  const std::function<void(Scheduler&)> passes[] = {
      [](Scheduler& s) { s.run_cycles(100); },
      [](Scheduler& s) { s.advance_to(100 * kCycle64MHz); },
  };
  for (const auto& pass : passes) {
    fired.clear();
    events.clear();
    for (const Arm& a : arms) make(a.name, a.priority).schedule_at(a.cycle * kCycle64MHz);
    pass(scheduler);
    EXPECT_EQ(fired, expected);
    scheduler.reset();
    scheduler.set_cycle_period(kCycle64MHz);
  }
}

TEST_F(SchedulerTest, RearmingCountsAsArmingAgain) {
  Event& a = make("a");
  Event& b = make("b");
  a.schedule_at(1000);
  b.schedule_at(1000);
  a.schedule_at(1000);
  scheduler.advance_to(1000);
  EXPECT_EQ(fired, (std::vector<std::string>{"b", "a"}));
}

TEST_F(SchedulerTest, CallbackRunsAtItsDueTimeAndLearnsHowLate) {
  struct Case {
    uint64_t due_cycle, run_cycles;
  };
  const Case cases[] = {{1000, 1000}, {1000, 1001}, {1000, 1500}, {1, 64000}};
  for (const Case& c : cases) {
    SCOPED_TRACE("due at cycle " + std::to_string(c.due_cycle) + ", run " + std::to_string(c.run_cycles));
    scheduler.reset();
    scheduler.set_cycle_period(kCycle64MHz);
    VTime seen_late = kForever, seen_now = 0;
    uint64_t seen_cycles = 0;
    Event e(scheduler, "e", [&](VTime late) {
      seen_late = late;
      seen_now = scheduler.now();
      seen_cycles = scheduler.cycles();
    });
    e.schedule_at(c.due_cycle * kCycle64MHz);
    scheduler.run_cycles(c.run_cycles);
    EXPECT_EQ(seen_late, (c.run_cycles - c.due_cycle) * kCycle64MHz);
    EXPECT_EQ(seen_now, c.due_cycle * kCycle64MHz);
    EXPECT_EQ(seen_cycles, c.due_cycle);
    EXPECT_EQ(scheduler.now(), c.run_cycles * kCycle64MHz) << "the clock is back where it was after firing";
    EXPECT_EQ(scheduler.cycles(), c.run_cycles);
  }
}

TEST_F(SchedulerTest, NotDueYetDoesNotFire) {
  Event& e = make("e");
  e.schedule_at(1000 * kCycle64MHz);
  scheduler.run_cycles(999);
  EXPECT_TRUE(fired.empty());
  EXPECT_TRUE(e.armed());
  EXPECT_EQ(scheduler.next_deadline(), 1000 * kCycle64MHz);
  scheduler.run_cycles(1);
  EXPECT_EQ(fired.size(), 1u);
  EXPECT_FALSE(e.armed());
  EXPECT_EQ(scheduler.next_deadline(), kForever);
}

// A period that is no whole number of cycles (one 8N1 frame at 115200 baud),
// with time passing in slices that do not line up with it.
TEST_F(SchedulerTest, PeriodicEventDoesNotDrift) {
  const VTime period = kSecond * 10 / 115200;
  std::vector<VTime> due_times, lates;
  std::unique_ptr<Event> tick;
  tick = std::make_unique<Event>(scheduler, "tick", [&](VTime late) {
    due_times.push_back(scheduler.now());
    lates.push_back(late);
    tick->schedule_at(scheduler.now() + period);
  });
  tick->schedule_at(period);
  const uint64_t slices[] = {100003, 7, 64000, 1, 333333};
  uint64_t ran = 0;
  for (int round = 0; round < 40; ++round) {
    for (uint64_t n : slices) {
      scheduler.run_cycles(n);
      ran += n;
    }
  }
  const VTime end = ran * kCycle64MHz;
  ASSERT_EQ(due_times.size(), end / period);
  for (size_t k = 0; k < due_times.size(); ++k) {
    ASSERT_EQ(due_times[k], (k + 1) * period) << "firing " << k;
    ASSERT_LT(lates[k], 333333 * kCycle64MHz);
  }
  EXPECT_EQ(tick->when(), (due_times.size() + 1) * period);
}

TEST_F(SchedulerTest, CancelledEventsDoNotFire) {
  Event& a = make("a");
  Event& b = make("b");
  Event& c = make("c", 0, [&](VTime) { b.cancel(); });  // same time as b, fires first
  a.schedule_at(100);
  c.schedule_at(200);
  b.schedule_at(200);
  a.cancel();
  EXPECT_FALSE(a.armed());
  EXPECT_EQ(scheduler.next_deadline(), VTime{200});
  a.cancel();  // cancelling twice is harmless
  scheduler.advance_to(1000);
  EXPECT_EQ(fired, (std::vector<std::string>{"c"}));
  EXPECT_EQ(scheduler.next_deadline(), kForever);
}

TEST_F(SchedulerTest, DestroyedEventIsForgotten) {
  auto e = std::make_unique<Event>(scheduler, "gone", [&](VTime) { fired.push_back("gone"); });
  e->schedule_at(100);
  e.reset();
  EXPECT_EQ(scheduler.next_deadline(), kForever);
  scheduler.advance_to(1000);
  EXPECT_TRUE(fired.empty());
}

TEST_F(SchedulerTest, EventsArmedByCallbacksFireInTheSamePass) {
  struct Case {
    const char* what;
    VTime child_delay;  // after the parent's due time
    bool child_fires;
  };
  const Case cases[] = {
      {"later, before the target", 500, true},
      {"at the parent's own time", 0, true},
      {"exactly at the target", 9000, true},
      {"after the target", 9001, false},
  };
  const std::function<void(Scheduler&, VTime)> passes[] = {
      [](Scheduler& s, VTime t) { s.advance_to(t); },
      [](Scheduler& s, VTime t) { s.run_cycles((t - s.now()) / s.cycle_period()); },
  };
  for (const auto& pass : passes) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      scheduler.reset();
      scheduler.set_cycle_period(1000);
      fired.clear();
      events.clear();
      VTime child_ran_at = 0;
      Event& child = make("child", 0, [&](VTime) { child_ran_at = scheduler.now(); });
      Event& parent = make("parent", 0, [&](VTime) { child.schedule_at(scheduler.now() + c.child_delay); });
      parent.schedule_at(1000);
      pass(scheduler, 10000);
      EXPECT_EQ(scheduler.now(), VTime{10000});
      if (c.child_fires) {
        EXPECT_EQ(fired, (std::vector<std::string>{"parent", "child"}));
        EXPECT_EQ(child_ran_at, 1000 + c.child_delay);
      } else {
        EXPECT_EQ(fired, (std::vector<std::string>{"parent"}));
        EXPECT_TRUE(child.armed());
      }
    }
  }
}

TEST_F(SchedulerTest, AdvanceToCountsCycles) {
  scheduler.advance_to(kMillisecond);
  EXPECT_EQ(scheduler.cycles(), 64000u);
  scheduler.set_cycle_period(kSecond / 8000000);
  scheduler.advance_to(2 * kMillisecond);
  EXPECT_EQ(scheduler.cycles(), 64000u + 8000u);
}

TEST_F(SchedulerTest, CancelAllKeepsTheClock) {
  make("a").schedule_at(kMillisecond);
  scheduler.run_cycles(10);
  scheduler.cancel_all();
  EXPECT_EQ(scheduler.next_deadline(), kForever);
  EXPECT_EQ(scheduler.cycles(), 10u);
  scheduler.advance_to(2 * kMillisecond);
  EXPECT_TRUE(fired.empty());
}

}  // namespace
}  // namespace sim
