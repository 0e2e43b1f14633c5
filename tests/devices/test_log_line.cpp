// A note on stderr starts on a line of its own only when the console's line
// is unfinished and stdout and stderr are the same terminal: a file or a
// pipe, or another terminal, keeps its bytes as the firmware sent them.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <fcntl.h>

#include "core/log.h"

namespace sim {
namespace {

TEST(LogLine, BreaksTheConsoleLineOnlyOnTheSameTerminal) {
  int master = -1, terminal = -1, other_master = -1, other = -1;
  ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(openpty(&other_master, &other, nullptr, nullptr, nullptr), 0);
  const int again = ::dup(terminal);  // the same terminal through another descriptor
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const int file = ::open("/dev/null", O_WRONLY);
  struct Case {
    const char* what;
    bool mid_line;
    int out, err;
    bool breaks;
  } cases[] = {
      {"same terminal, unfinished line", true, terminal, again, true},
      {"same terminal, line ended", false, terminal, again, false},
      {"stdout to a pipe", true, pipe_fds[1], terminal, false},
      {"stderr to a file", true, terminal, file, false},
      {"two terminals", true, terminal, other, false},
  };
  for (const Case& c : cases) EXPECT_EQ(needs_line_break(c.mid_line, c.out, c.err), c.breaks) << c.what;
  for (int fd : {master, terminal, other_master, other, again, pipe_fds[0], pipe_fds[1], file}) ::close(fd);
}

}  // namespace
}  // namespace sim
