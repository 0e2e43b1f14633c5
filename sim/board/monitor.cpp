// The resident monitor: what the board's own loader does before it enters
// `main` (the program's segments, the sample clips, port G and EXTINT for the
// keypad line and the buttons, a stack for every mode), and the dispatch of
// every exception and IRQ through the handler table in SDRAM at 0x0C7FFF00,
// keeping every register as the real monitor's code at the vectors does.
#include <algorithm>

#include "board/board.h"
#include "board/clips.h"
#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

namespace {
// The monitor's stacks, below its vector table (top of SDRAM).
struct StackSetup {
  uint32_t mode;
  uint32_t top;
};
constexpr StackSetup kStacks[] = {
    {ArmCore::kUnd, 0x0C7FFF00}, {ArmCore::kAbt, 0x0C7FFE00}, {ArmCore::kFiq, 0x0C7FFD00},
    {ArmCore::kIrq, 0x0C7FFC00},  // 4 KB: the tick handler formats text on it
    {ArmCore::kSys, 0x0C780000}, {ArmCore::kSvc, 0x0C7FEC00},  // main runs on the supervisor stack
};

const char* exception_name(int offset) {
  switch (offset) {
    case 0x04: return "undefined instruction";
    case 0x08: return "software interrupt";
    case 0x0C: return "prefetch abort";
    case 0x10: return "data abort";
    case 0x18: return "IRQ";
    case 0x1C: return "FIQ";
    default: return "exception";
  }
}
}  // namespace

// What the resident monitor does before it enters the program.
void Board::monitor_setup() {
  for (const ElfSegment& seg : elf_.segments()) {
    ram_.populate(seg.address, seg.memory_size);
    uint8_t* p = ram_.at(seg.address, seg.memory_size);
    std::copy(seg.bytes.begin(), seg.bytes.end(), p);
    std::fill(p + seg.bytes.size(), p + seg.memory_size, 0);
  }
  std::fill(ram_.at(chip::kVectorTable), ram_.at(chip::kVectorTable) + chip::kVectorTableSize, 0);
  // The key tones and call clips the phone plays lie at fixed addresses.
  std::string error;
  if (clips_dir_.empty() || !load_clips(ram_, clips_dir_, &error)) generate_clips(ram_);
  core_->flush_code();

  // Clock and memory controller, as the board's monitor leaves them: MCLK
  // 64 MHz from the PLL (MDIV 0x38, PDIV 2, SDIV 1 with Fin 8 MHz; LOCKTIME,
  // CLKCON and CLKSLOW stay as at reset), and the bus set for this board:
  // bank 0 16-bit flash, banks 1..5 8-bit with reset timing (the 7-segment
  // latch, the keypad rows), bank 6 one 16-bit SDRAM part of 8 MB with
  // Trcd 2 clocks, 9 column bits, CAS latency 2, auto-refresh every 15.6 us.
  // SYSCFG stays as at reset: the cache off, all 8 KB internal SRAM.
  clock_.write(0x00, 0x00038021, 4);  // PLLCON
  constexpr uint32_t kMemoryController[] = {
      0x01000002,                                      // BWSCON: DW6 16-bit, DW0 (OM pins) 16-bit
      0x0700, 0x0700, 0x0700, 0x0700, 0x0700, 0x0700,  // BANKCON0..5: Tacc 14 clocks
      0x00018001, 0x00018001,                          // BANKCON6/7: SDRAM, Trcd 2, 9 column bits
      0x00AC041B,                                      // REFRESH: on, Trp 2, Trc 7, count 1051 (15.6 us)
      0x00000006,                                      // BANKSIZE: 8 MB
      0x00000020, 0x00000020,                          // MRSRB6/7: CAS latency 2, burst length 1
  };
  for (uint32_t i = 0; i < sizeof kMemoryController / 4; ++i) memctl_.write(4 * i, kMemoryController[i], 4);

  // Port G: the keypad's key-down line (PG1) and the buttons (PG6, PG7) as
  // external interrupts on falling edges, pull-ups on, so that PDATG reads
  // the lines and a press requests EINT1 / EINT4567.
  ports_.write(0x40, 0x0000F00C, 4);  // PCONG
  ports_.write(0x48, 0x00000000, 4);  // PUPG
  ports_.write(0x50, 0x22000020, 4);  // EXTINT
  // Port E: PE1/PE2 to TxD0/RxD0 for the monitor's console on UART0; every
  // other pin of every port as at reset.
  ports_.write(0x28, 0x00000028, 4);  // PCONE

  // UART0: the monitor keeps its own console there, and leaves it so for the
  // program: 8N1, receive and transmit in interrupt/polling mode (pulse
  // requests), FIFOs off, no flow control, UBRDIV0 = 34: 64 MHz / (16 x 35) =
  // 114286 baud, 0.8 % from the far end's 115200. UART1 stays as at reset.
  uart0_.write(Uart::ULCON, 0x03, 4);
  uart0_.write(Uart::UCON, 0x005, 4);
  uart0_.write(Uart::UFCON, 0x0, 4);
  uart0_.write(Uart::UMCON, 0x0, 4);
  uart0_.write(Uart::UBRDIV, 34, 4);

  for (const StackSetup& s : kStacks) {
    core_->set_cpsr(s.mode | ArmCore::kCpsrI | ArmCore::kCpsrF);
    core_->set_reg(ArmCore::SP, s.top);
  }
  // main: supervisor mode, IRQs enabled, FIQs disabled; in Thumb state when
  // main (or the entry point that names it) is Thumb code.
  auto main_symbol = elf_.symbol("main");
  bool thumb = main_symbol->thumb || (elf_.entry() == (main_symbol->address | 1u));
  core_->set_cpsr(ArmCore::kSvc | ArmCore::kCpsrF | (thumb ? ArmCore::kCpsrT : 0u));
  for (int r = 0; r < 13; ++r) core_->set_reg(r, 0);
  core_->set_reg(ArmCore::LR, kMainReturnTrap);
  core_->set_pc(elf_.symbol("main")->address);
}

bool Board::enter_exception(Exception kind, uint32_t link, int irq_source) {
  uint32_t mode, offset;
  switch (kind) {
    case Exception::kUndefined: mode = ArmCore::kUnd; offset = 0x04; break;
    case Exception::kSwi: mode = ArmCore::kSvc; offset = 0x08; break;
    case Exception::kPrefetchAbort: mode = ArmCore::kAbt; offset = 0x0C; break;
    case Exception::kDataAbort: mode = ArmCore::kAbt; offset = 0x10; break;
    case Exception::kFiq: mode = ArmCore::kFiq; offset = 0x1C; break;
    case Exception::kIrq:
    default:
      mode = ArmCore::kIrq;
      offset = (irq_source >= 0 && intc_.vectored()) ? 0x20 + 4 * static_cast<uint32_t>(irq_source) : 0x18;
      break;
  }
  if ((core_->cpsr() & 0x1F) == ArmCore::kIrq && kind != Exception::kIrq && kind != Exception::kFiq)
    check_irq_return(kind == Exception::kDataAbort ? " and ends in a data abort" : " and ends in an exception", true);
  uint32_t slot = chip::kVectorTable + offset;
  uint32_t handler = 0;
  std::string what = exception_name(offset < 0x20 ? offset : 0x18);
  if (irq_source >= 0) what += std::string(" from ") + chip::irq_name(irq_source);
  if (flash_boot_) {
    // The processor's own vectors, in the program's flash; in vectored mode
    // the interrupt controller sends an IRQ to its source's vector.
    handler = offset >= 0x20 ? chip::irq_vector_address(irq_source) : offset;
  } else if ((handler = ram_.read32(slot)) == 0) {
    halt("no handler for " + what + ": its slot " + hex32(slot) + " holds 0");
    return false;
  }
  if (!flash_boot_ && !ram_.contains(handler, 4)) {
    halt("the slot " + hex32(slot) + " for " + what + " holds " + hex32(handler) + ", which is not program memory");
    return false;
  }
  for (auto& observer : exception_observers_) observer(offset, link, handler);
  uint32_t old = core_->cpsr();
  bool interrupt = kind == Exception::kIrq || kind == Exception::kFiq;
  if (interrupt) {
    last_interrupt_ = {true, irq_source, handler, link - 4, old, core_->reg(ArmCore::SP), core_->reg(ArmCore::LR), 0,
                       scheduler_.now()};
  }
  uint32_t next = (old & ~0x3Fu) | mode | ArmCore::kCpsrI | (kind == Exception::kFiq ? ArmCore::kCpsrF : 0);
  core_->set_cpsr(next);
  core_->set_spsr(old);
  core_->set_reg(ArmCore::LR, link);
  core_->set_pc(handler);
  if (interrupt) last_interrupt_.handler_sp = core_->reg(ArmCore::SP);
  return true;
}

// An IRQ handler compiled as a plain C function returns with `bx lr` (or
// pops its lr into the pc): the interrupted code goes on one instruction
// late, still in IRQ mode with IRQs off, on the IRQ stack and with the
// registers the handler used clobbered, and usually ends in an abort, a
// loop or a return to nowhere. The chip says nothing of it. The sign here:
// the interrupted function runs in IRQ mode outside the handler, with the
// handler's frame gone (the IRQ stack pointer back where the handler
// started: a handler's own calls run below its saved registers) or while
// it ends in trouble (an abort, a dead loop).
void Board::check_irq_return(const char* what, bool trouble) {
  if (irq_return_said_ || !last_interrupt_.valid || (core_->cpsr() & 0x1F) != ArmCore::kIrq) return;
  if (!trouble && core_->reg(ArmCore::SP) != last_interrupt_.handler_sp) return;
  auto function_of = [this](uint32_t address) {
    std::string where = elf_.describe(address);
    return where.substr(0, where.find('+'));
  };
  const uint32_t pc = core_->pc();
  const std::string here = function_of(pc), interrupted = function_of(last_interrupt_.pc),
                    handler = function_of(last_interrupt_.handler);
  if (here.empty() || here != interrupted || here == handler) return;
  irq_return_said_ = true;
  log_warning("board", std::string("code of ") + here + " runs in IRQ mode (pc " + hex32(pc) + ")" + what +
                           ": the IRQ handler " + (handler.empty() ? hex32(last_interrupt_.handler) : handler) +
                           " seems to have returned like a plain function, leaving the processor in IRQ mode; "
                           "declare it __attribute__((interrupt(\"IRQ\"))) so that it returns with "
                           "subs pc, lr, #4 and restores the interrupted mode (said once)");
}

}  // namespace sim
