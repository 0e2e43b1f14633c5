// The UARTs on the board with a real program: tests/firmware/uart_fifo
// answers a line on UART1 through its FIFOs and interrupt handlers in the
// monitor's RAM table, and the phone's console keeps working at the rate the
// firmware sets. What a far end at another rate makes of it is garbled, and
// said once.
#include <gtest/gtest.h>

#include <string>

#include "board/board.h"
#include "test_firmwares.h"

namespace sim {
namespace {

struct UartBoardTest : ::testing::Test {
  LogCapture log;
  Board board;
  void load(const std::string& name) {
    std::string error;
    ASSERT_TRUE(board.load(elf_path(name), &error)) << error;
  }
  void run_until_console(const std::string& text, VTime limit) {
    const VTime end = board.now() + limit;
    while (board.console().find(text) == std::string::npos && board.now() < end && !board.halted())
      board.run_until(std::min(end, board.now() + kMillisecond));
  }
};

// 18 bytes with the Rx trigger at 8: requests at 8 and 16, the last two by
// the time-out. 20 bytes back with the Tx trigger at 4: 17 go at once (one
// to the shifter, 16 into the FIFO), the FIFO falls to 4 twice.
TEST_F(UartBoardTest, FifosAndInterruptsThroughTheRamTable) {
  load("uart_fifo");
  run_until_console("uart1 ready\n", 10 * kMillisecond);
  ASSERT_EQ(board.console(), "uart1 ready\n");
  board.uart1_input({'h', 'e', 'l', 'l', 'o', ',', ' ', 'f', 'i', 'f', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\r'});
  board.run_until(board.now() + kSecond);
  EXPECT_EQ(board.uart1_output(), "HELLO, FIFO WORLD\r\n");
  EXPECT_EQ(board.console(), "uart1 ready\nrx irqs 3, tx irqs 2, bytes 18\n");
  EXPECT_EQ(board.halt_reason(), "main returned");
  for (const std::string& l : log.lines) EXPECT_EQ(l.find("baud"), std::string::npos) << l;
}

// The same program with the far end at 9600 baud: the line comes in
// garbled, so no carriage return ends it; the mismatch is said once.
TEST_F(UartBoardTest, AFarEndAtAnotherRateGetsGarbage) {
  board.set_uart_baud(9600);
  load("uart_fifo");
  board.run_until(20 * kMillisecond);
  EXPECT_NE(board.console().substr(0, 12), "uart1 ready\n");
  int said = 0;
  for (const std::string& l : log.lines) said += l.find("uart0") != std::string::npos && l.find("9600 baud") != std::string::npos;
  EXPECT_EQ(said, 1) << "once, naming both rates";
}

}  // namespace
}  // namespace sim
