// The board's clocks and power modes: which block follows MCLK and which
// CLKCON gate, and the time that passes while the core is stopped.
#include <algorithm>

#include "board/board.h"
#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

void Board::wire_clocks() {
  // MCLK changes: each block settles what ran at the old rate, then goes on
  // at the new one (the UARTs read MCLK themselves).
  clock_.on_mclk_change([this](VTime old_period) {
    timers_.mclk_changed();
    watchdog_.mclk_changed();
    iis_.mclk_changed();
    iic_.mclk_changed(old_period);
    adc_.mclk_changed(old_period);
    lcd_.mclk_changed();
  });
  clock_.on_gate_change(ClockPower::kPwm, [this](bool on) { timers_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kCoreClocks, [this](bool on) { watchdog_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kIis, [this](bool on) { iis_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kIic, [this](bool on) { iic_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kAdc, [this](bool on) { adc_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kLcd, [this](bool on) { lcd_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kUart0, [this](bool on) { uart0_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kUart1, [this](bool on) { uart1_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kBdma, [this](bool on) { bdma_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kZdma, [this](bool on) { zdma_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kSio, [this](bool on) { sio_->set_clock_enabled(on); });
  // GPIO and RTC: the register interfaces only (see ports.h, rtc.h).
  clock_.on_gate_change(ClockPower::kGpio, [this](bool on) { ports_.set_clock_enabled(on); });
  clock_.on_gate_change(ClockPower::kRtc, [this](bool on) { rtc_.set_clock_enabled(on); });
  clock_.set_stop_listener([this] {
    if (core_ && core_->running()) core_->request_stop();
  });
  // The blocks whose pins PCONx must give them.
  iic_.set_ports(&ports_);
  iis_.set_ports(&ports_);
  lcd_.set_ports(&ports_);
  uart0_.wire(&ports_, Ports::kTxD0, Ports::kRxD0, ClockPower::kUart0);
  uart1_.wire(&ports_, Ports::kTxD1, Ports::kRxD1, ClockPower::kUart1);
  for (int n = 0; n < 5; ++n)
    ports_.set_level_source(static_cast<Ports::Function>(Ports::kTout0 + n),
                            {[this, n] { return timers_.tout(n); }, [this, n] { return timers_.tout_next_change(n); }});
}

// The core is stopped (IDLE, SL_IDLE, STOP): nothing executes, so the time
// passes at once to the next event, a millisecond at most so that the
// caller's stop condition is checked as often as between slices; a request
// that may end the mode wakes the core, which then takes the interrupt.
void Board::sleep(VTime until) {
  if (carry_) {  // the store that stopped the core ends first
    uint64_t carried = carry_;
    carry_ = 0;
    pass_core_cycles(carried);
    if (carry_) return;
  }
  auto requests = [this] {
    return (intc_.mask() & chip::kGlobalMaskBit) ? 0u : intc_.pending() & ~intc_.mask();
  };
  if (clock_.wake(requests())) return;
  VTime now = scheduler_.now();
  VTime next = scheduler_.next_deadline();
  if (next == kForever && until == kForever) {
    halt(std::string("stopped in ") + (clock_.mode() == ClockPower::Mode::kIdle ? "IDLE" : "a power mode") +
         " with nothing that can wake it");
    return;
  }
  VTime target = std::min({next, until, now + kMillisecond});
  if (target > now) scheduler_.advance_to(target);
  // The core's clock starts again as the request wakes it; the request
  // passes its synchroniser meanwhile, so the exception comes before the
  // instruction after the one that stopped the core.
  if (clock_.wake(requests())) pass_core_cycles(ArmCore::kSyncCycles);
}

}  // namespace sim
