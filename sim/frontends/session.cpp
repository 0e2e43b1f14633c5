#include "frontends/session.h"

#include <chrono>
#include <thread>

#include "frontends/interactive.h"

namespace sim {

std::atomic<bool> g_stop_requested{false};

void run_paced(Board& board, VTime until, bool real_time, const std::function<void()>& poll) {
  constexpr VTime kChunk = 10 * kMillisecond;
  Pacer pacer(board.now());
  pacer.set_fast(!real_time, board.now());
  while (!board.halted() && board.now() < until && !g_stop_requested) {
    VTime target = std::min(until, board.now() + kChunk);
    // Ahead of the wall clock: wait until the chunk is due.
    VTime due = pacer.due(board.now());
    if (due < target) std::this_thread::sleep_for(std::chrono::nanoseconds((target - due) / kNanosecond));
    board.run_until(target, [] { return g_stop_requested.load(); });
    if (poll) poll();
  }
}

}  // namespace sim
