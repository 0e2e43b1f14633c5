#include "frontends/session.h"

#include <chrono>
#include <thread>

#include "frontends/gdb_stub.h"
#include "frontends/interactive.h"

namespace sim {

std::atomic<bool> g_stop_requested{false};

void run_paced(Board& board, VTime until, bool real_time, const std::function<void()>& poll, GdbStub* gdb) {
  constexpr VTime kChunk = 10 * kMillisecond;
  auto stop = [] { return g_stop_requested.load(); };
  Pacer pacer(board.now());
  pacer.set_fast(!real_time, board.now());
  auto goes_on = [&] {
    if (g_stop_requested) return false;
    if (gdb && (gdb->killed() || gdb->holding())) return !gdb->killed();
    return !board.halted() && board.now() < until;
  };
  while (goes_on()) {
    if (gdb) {
      gdb->poll(gdb->holding() ? 20 : 0);
      if (gdb->holding()) {
        pacer.restart(board.now());
        if (poll) poll();
        continue;
      }
    }
    VTime target = std::min(until, board.now() + kChunk);
    // Ahead of the wall clock: wait until the chunk is due.
    VTime due = pacer.due(board.now());
    if (due < target) std::this_thread::sleep_for(std::chrono::nanoseconds((target - due) / kNanosecond));
    if (gdb) gdb->run_until(target, stop);
    else board.run_until(target, stop, paced_end(target, until));
    if (poll) poll();
  }
}

void run_board(Board& board, GdbStub* gdb, VTime until, const std::function<bool()>& stop) {
  if (!gdb) {
    board.run_until(until, stop);
    return;
  }
  constexpr VTime kChunk = 10 * kMillisecond;
  while (!board.halted() && board.now() < until && !gdb->killed() && !(stop && stop())) {
    gdb->poll(gdb->holding() ? 20 : 0);
    if (gdb->holding()) continue;
    gdb->run_until(std::min(until, board.now() + kChunk), stop);
  }
}

}  // namespace sim
