#include "devices/ports.h"

#include <algorithm>

#include "core/log.h"
#include "core/s3c44b0x.h"

namespace sim {

namespace {
// Register offsets: PCONx, PDATx, PUPx per port (port A and B have no PUP).
constexpr uint32_t kCon[] = {0x00, 0x08, 0x10, 0x1C, 0x28, 0x34, 0x40};
constexpr uint32_t kDat[] = {0x04, 0x0C, 0x14, 0x20, 0x2C, 0x38, 0x44};
constexpr uint32_t kPup[] = {0, 0, 0x18, 0x24, 0x30, 0x3C, 0x48};
constexpr int kPins[] = {10, 11, 16, 8, 9, 9, 8};
constexpr uint32_t kConReset[] = {0x3FF, 0x7FF, 0, 0, 0, 0, 0};
enum : uint32_t { SPUCR = 0x4C, EXTINT = 0x50, EXTINTPND = 0x54 };

constexpr int kEintSource[4] = {chip::kIrqEint0, chip::kIrqEint1, chip::kIrqEint2, chip::kIrqEint3};
const char kPortLetter[] = "ABCDEFG";

// Where each function lives, from the manual's PCONx tables (the UART1 pins
// are unconfirmed: PC12/PC13 with their second function).
struct FunctionPin {
  const char* name;
  Ports::Port port;
  int pin;
  uint32_t field;
};
constexpr FunctionPin kFunctionPins[Ports::kFunctionCount] = {
    {"TxD0", Ports::E, 1, 2},    {"RxD0", Ports::E, 2, 2},    {"TxD1", Ports::C, 12, 3},  {"RxD1", Ports::C, 13, 3},
    {"IICSCL", Ports::F, 0, 2},  {"IICSDA", Ports::F, 1, 2},  {"IISLRCK", Ports::C, 0, 3}, {"IISDO", Ports::C, 1, 3},
    {"IISDI", Ports::C, 2, 3},   {"IISCLK", Ports::C, 3, 3},  {"CODECLK", Ports::E, 8, 2}, {"TOUT0", Ports::E, 3, 2},
    {"TOUT1", Ports::E, 4, 2},   {"TOUT2", Ports::E, 5, 2},   {"TOUT3", Ports::E, 6, 2},  {"TOUT4", Ports::E, 7, 2},
    {"VD0", Ports::D, 0, 2},     {"VD1", Ports::D, 1, 2},     {"VD2", Ports::D, 2, 2},    {"VD3", Ports::D, 3, 2},
    {"VCLK", Ports::D, 4, 2},    {"VLINE", Ports::D, 5, 2},   {"VM", Ports::D, 6, 2},     {"VFRAME", Ports::D, 7, 2},
};

// The board's outputs driven by port pins as GPIO.
struct WiredOutput {
  Ports::Port port;
  int pin;
  const char* what;
};
constexpr WiredOutput kWiredOutputs[] = {
    {Ports::B, 9, "the left LED"}, {Ports::B, 10, "the right LED"}, {Ports::B, 4, "L3MODE"},
    {Ports::B, 5, "L3CLOCK"},      {Ports::A, 9, "L3DATA"},
};

std::string con_name(Ports::Port port) { return std::string("PCON") + kPortLetter[port]; }

// "PCONE[3:2]" / "PCONB bit 9" / "PCONF[12:10]"
std::string field_name(Ports::Port port, int pin) {
  if (port == Ports::A || port == Ports::B) return con_name(port) + " bit " + std::to_string(pin);
  int low = port == Ports::F && pin >= 5 ? 10 + 3 * (pin - 5) : 2 * pin;
  int width = port == Ports::F && pin >= 5 ? 3 : 2;
  return con_name(port) + "[" + std::to_string(low + width - 1) + ":" + std::to_string(low) + "]";
}

std::string binary(uint32_t value, int width) {
  std::string s;
  for (int b = width - 1; b >= 0; --b) s += ((value >> b) & 1) ? '1' : '0';
  return s;
}
}  // namespace

Ports::Ports(uint32_t base, Intc& intc) : Device("ports", base, 0x58), intc_(intc) { reset(); }

void Ports::reset() {
  for (int p = 0; p < kPortCount; ++p) {
    con_[p] = kConReset[p];
    data_[p] = 0;
    pullup_[p] = 0;
    inputs_[p] = (1u << kPins[p]) - 1;  // pulled up
  }
  spucr_ = 0;
  extint_ = 0;
  extintpnd_ = 0;
  update_eint_lines();
}

uint32_t Ports::con_field(Port port, int pin) const {
  uint32_t c = con_[port];
  switch (port) {
    case A:
    case B: return (c >> pin) & 1;
    case F: return pin < 5 ? (c >> (2 * pin)) & 3 : (c >> (10 + 3 * (pin - 5))) & 7;  // PF5..PF8: 3 bits
    default: return (c >> (2 * pin)) & 3;
  }
}

Ports::Mode Ports::pin_mode(Port port, int pin) const {
  uint32_t field = con_field(port, pin);
  if (port == A || port == B) return field ? kFunction : kOutput;
  if (field == 0) return kInput;
  if (field == 1) return kOutput;
  return port == G && field == 3 ? kEint : kFunction;
}

bool Ports::pin_function_is(Function function) const {
  const FunctionPin& f = kFunctionPins[function];
  return con_field(f.port, f.pin) == f.field;
}

bool Ports::pin_given(Function function, const std::string& who) {
  if (pin_function_is(function)) return true;
  if (!function_reported_[function]) {
    function_reported_[function] = true;
    const FunctionPin& f = kFunctionPins[function];
    int width = f.port == A || f.port == B ? 1 : f.port == F && f.pin >= 5 ? 3 : 2;
    log(who + " gets no signal through " + f.name + ": P" + kPortLetter[f.port] + std::to_string(f.pin) +
        " needs " + field_name(f.port, f.pin) + " = " + binary(f.field, width) + " (" + con_name(f.port) + " is " +
        hex32(con_[f.port]) + ")");
  }
  return false;
}

void Ports::set_level_source(Function function, LevelSource source) { sources_[function] = std::move(source); }

void Ports::check_wired_outputs(Port port, uint32_t old_data) {
  for (const WiredOutput& w : kWiredOutputs) {
    if (w.port != port || ((old_data ^ data_[port]) >> w.pin & 1) == 0 || is_output(port, w.pin)) continue;
    if (output_reported_[port] & (1u << w.pin)) continue;
    output_reported_[port] |= 1u << w.pin;
    log(std::string("PDAT") + kPortLetter[port] + " bit " + std::to_string(w.pin) + " (" + w.what +
        ") written while P" + kPortLetter[port] + std::to_string(w.pin) + " is not an output: it needs " +
        field_name(port, w.pin) + " = " + (port == A || port == B ? "0" : "01") + "; " + w.what + " does not change");
  }
}

VTime Ports::stable_until(uint32_t offset) {
  VTime until = kForever;
  for (int fn = 0; fn < kFunctionCount; ++fn) {
    const FunctionPin& f = kFunctionPins[fn];
    if (offset == kDat[f.port] && sources_[fn].next_change && pin_function_is(static_cast<Function>(fn)))
      until = std::min(until, sources_[fn].next_change());
  }
  return until;
}

bool Ports::is_output(Port port, int pin) const { return pin_mode(port, pin) == kOutput; }

uint32_t Ports::output_levels(Port port) const {
  uint32_t levels = (1u << kPins[port]) - 1;
  for (int pin = 0; pin < kPins[port]; ++pin)
    if (is_output(port, pin) && !((data_[port] >> pin) & 1)) levels &= ~(1u << pin);
  return levels;
}

void Ports::notify(Port port, uint32_t old_levels) {
  uint32_t now = output_levels(port);
  if (now == old_levels) return;
  for (auto& l : listeners_) l(port, old_levels, now);
}

bool Ports::eint_pin(int eint) const { return pin_mode(G, eint) == kEint; }

bool Ports::eint_level_active(int eint) const {
  uint32_t mode = (extint_ >> (4 * eint)) & 7;
  if (mode > 1 || !eint_pin(eint)) return false;
  bool high = (inputs_[G] >> eint) & 1;
  return mode == 1 ? high : !high;
}

// Level modes and EXTINTPND are lines into the interrupt controller: INTPND
// is requested again after each I_ISPC for as long as they stay active.
void Ports::update_eint_lines() {
  uint32_t level4567 = 0;
  for (int eint = 0; eint < 8; ++eint) {
    bool active = eint_level_active(eint);
    if (eint < 4) intc_.set_line(kEintSource[eint], active);
    else if (active) level4567 |= 1u << (eint - 4);
  }
  extintpnd_ |= level4567;
  intc_.set_line(chip::kIrqEint4567, extintpnd_ != 0);
}

void Ports::eint_edge(int eint, bool old_level, bool new_level) {
  uint32_t mode = (extint_ >> (4 * eint)) & 7;
  bool fire = false;
  if (mode <= 1) fire = false;                          // levels: update_eint_lines
  else if (mode <= 3) fire = old_level && !new_level;  // falling edge
  else if (mode <= 5) fire = !old_level && new_level;  // rising edge
  else fire = old_level != new_level;                  // both edges
  if (fire) {
    if (eint < 4) intc_.request(kEintSource[eint]);
    else extintpnd_ |= 1u << (eint - 4);
  }
  update_eint_lines();
}

void Ports::set_input(Port port, int pin, bool high) {
  bool old_level = (inputs_[port] >> pin) & 1;
  if (high) inputs_[port] |= 1u << pin;
  else inputs_[port] &= ~(1u << pin);
  if (port == G && pin_mode(G, pin) == kEint) eint_edge(pin, old_level, high);
}

uint32_t Ports::read(uint32_t offset, unsigned) {
  for (int p = 0; p < kPortCount; ++p) {
    Port port = static_cast<Port>(p);
    if (offset == kCon[p]) return con_[p];
    if (offset == kDat[p]) {
      uint32_t value = 0;
      for (int pin = 0; pin < kPins[p]; ++pin) {
        Mode m = pin_mode(port, pin);
        uint32_t bit = (m == kInput || m == kEint) ? (inputs_[p] >> pin) & 1 : (data_[p] >> pin) & 1;
        value |= bit << pin;
      }
      for (int fn = 0; fn < kFunctionCount; ++fn) {
        const FunctionPin& f = kFunctionPins[fn];
        if (f.port == port && sources_[fn].level && pin_function_is(static_cast<Function>(fn)))
          value = (value & ~(1u << f.pin)) | (sources_[fn].level() ? 1u << f.pin : 0);
      }
      return value;
    }
    if (kPup[p] && offset == kPup[p]) return pullup_[p];
  }
  switch (offset) {
    case SPUCR: return spucr_;
    case EXTINT: return extint_;
    case EXTINTPND: return extintpnd_;
    default: log_unmodelled(offset, false); return 0;
  }
}

void Ports::write(uint32_t offset, uint32_t value, unsigned) {
  if (!gate_.check(name(), ClockPower::kGpio, "the write is lost, the pins keep their levels")) return;
  for (int p = 0; p < kPortCount; ++p) {
    Port port = static_cast<Port>(p);
    uint32_t mask = (1u << kPins[p]) - 1;
    if (offset == kCon[p] || offset == kDat[p]) {
      uint32_t old_levels = output_levels(port);
      uint32_t old_data = data_[p];
      if (offset == kCon[p]) con_[p] = value;
      else data_[p] = value & mask;
      notify(port, old_levels);
      if (offset == kDat[p]) check_wired_outputs(port, old_data);
      if (offset == kCon[p] && port == G) update_eint_lines();
      return;
    }
    if (kPup[p] && offset == kPup[p]) {
      pullup_[p] = value & mask;
      return;
    }
  }
  switch (offset) {
    case SPUCR: spucr_ = value & 7; return;
    case EXTINT:
      extint_ = value & 0x77777777;
      update_eint_lines();
      return;
    case EXTINTPND:  // write 1 to clear; an active level sets its bit again at once
      extintpnd_ &= ~(value & 0xF);
      update_eint_lines();
      return;
    default: log_unmodelled(offset, true); return;
  }
}

}  // namespace sim
