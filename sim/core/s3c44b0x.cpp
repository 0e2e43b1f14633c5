#include "core/s3c44b0x.h"

namespace sim::chip {

const char* irq_name(int source) {
  static const char* const kNames[kIrqCount] = {
      "ADC",    "RTC",    "UTXD1",  "UTXD0",  "SIO",   "IIC",   "URXD1", "URXD0", "TIMER5",   "TIMER4",
      "TIMER3", "TIMER2", "TIMER1", "TIMER0", "UERR01", "WDT",  "BDMA1", "BDMA0", "ZDMA1",    "ZDMA0",
      "TICK",   "EINT4567", "EINT3", "EINT2", "EINT1", "EINT0"};
  return source >= 0 && source < kIrqCount ? kNames[source] : "?";
}

}  // namespace sim::chip
