#include "core/s3c44b0x.h"

#include <cctype>

namespace sim::chip {

const char* irq_name(int source) {
  static const char* const kNames[kIrqCount] = {
      "ADC",    "RTC",    "UTXD1",  "UTXD0",  "SIO",   "IIC",   "URXD1", "URXD0", "TIMER5",   "TIMER4",
      "TIMER3", "TIMER2", "TIMER1", "TIMER0", "UERR01", "WDT",  "BDMA1", "BDMA0", "ZDMA1",    "ZDMA0",
      "TICK",   "EINT4567", "EINT3", "EINT2", "EINT1", "EINT0"};
  return source >= 0 && source < kIrqCount ? kNames[source] : "?";
}

uint32_t irq_vector_address(int source) {
  switch (source) {
    case kIrqEint0: return 0x20;
    case kIrqEint1: return 0x24;
    case kIrqEint2: return 0x28;
    case kIrqEint3: return 0x2C;
    case kIrqEint4567: return 0x30;
    case kIrqTick: return 0x34;
    case kIrqZdma0: return 0x40;
    case kIrqZdma1: return 0x44;
    case kIrqBdma0: return 0x48;
    case kIrqBdma1: return 0x4C;
    case kIrqWdt: return 0x50;
    case kIrqUerr01: return 0x54;
    case kIrqTimer0: return 0x60;
    case kIrqTimer1: return 0x64;
    case kIrqTimer2: return 0x68;
    case kIrqTimer3: return 0x6C;
    case kIrqTimer4: return 0x70;
    case kIrqTimer5: return 0x74;
    case kIrqUrxd0: return 0x80;
    case kIrqUrxd1: return 0x84;
    case kIrqIic: return 0x88;
    case kIrqSio: return 0x8C;
    case kIrqUtxd0: return 0x90;
    case kIrqUtxd1: return 0x94;
    case kIrqRtc: return 0xA0;
    case kIrqAdc: return 0xC0;
    default: return 0x18;
  }
}

}  // namespace sim::chip

namespace sim::chip {

namespace {

bool same_name(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::vector<RegisterInfo> uart_registers(uint32_t base, const char* n) {
  std::vector<RegisterInfo> regs;
  const struct {
    const char* r;
    uint32_t offset;
    unsigned size;
    bool write_only;
  } layout[] = {{"ULCON", 0x00, 4, false},  {"UCON", 0x04, 4, false},   {"UFCON", 0x08, 4, false},
                {"UMCON", 0x0C, 4, false},  {"UTRSTAT", 0x10, 4, false}, {"UERSTAT", 0x14, 4, false},
                {"UFSTAT", 0x18, 4, false}, {"UMSTAT", 0x1C, 4, false}, {"UTXH", 0x20, 1, true},
                {"URXH", 0x24, 1, false},   {"UBRDIV", 0x28, 4, false}};
  for (const auto& l : layout) regs.push_back({std::string(l.r) + n, base + l.offset, l.size, l.write_only});
  return regs;
}

std::vector<RegisterBlock> make_blocks() {
  std::vector<RegisterBlock> b;
  b.push_back({"uart0", uart_registers(kUart0, "0")});
  b.push_back({"uart1", uart_registers(kUart1, "1")});
  b.push_back({"intc",
               {{"INTCON", kIntc + 0x00, 4, false}, {"INTPND", kIntc + 0x04, 4, false},
                {"INTMOD", kIntc + 0x08, 4, false}, {"INTMSK", kIntc + 0x0C, 4, false},
                {"I_PSLV", kIntc + 0x10, 4, false}, {"I_PMST", kIntc + 0x14, 4, false},
                {"I_CSLV", kIntc + 0x18, 4, false}, {"I_CMST", kIntc + 0x1C, 4, false},
                {"I_ISPR", kIntc + 0x20, 4, false}, {"I_ISPC", kIntc + 0x24, 4, true},
                {"F_ISPR", kIntc + 0x38, 4, false}, {"F_ISPC", kIntc + 0x3C, 4, true}}});
  b.push_back({"ports",
               {{"PCONA", kPorts + 0x00, 4, false}, {"PDATA", kPorts + 0x04, 4, false},
                {"PCONB", kPorts + 0x08, 4, false}, {"PDATB", kPorts + 0x0C, 4, false},
                {"PCONC", kPorts + 0x10, 4, false}, {"PDATC", kPorts + 0x14, 4, false},
                {"PUPC", kPorts + 0x18, 4, false},  {"PCOND", kPorts + 0x1C, 4, false},
                {"PDATD", kPorts + 0x20, 4, false}, {"PUPD", kPorts + 0x24, 4, false},
                {"PCONE", kPorts + 0x28, 4, false}, {"PDATE", kPorts + 0x2C, 4, false},
                {"PUPE", kPorts + 0x30, 4, false},  {"PCONF", kPorts + 0x34, 4, false},
                {"PDATF", kPorts + 0x38, 4, false}, {"PUPF", kPorts + 0x3C, 4, false},
                {"PCONG", kPorts + 0x40, 4, false}, {"PDATG", kPorts + 0x44, 4, false},
                {"PUPG", kPorts + 0x48, 4, false},  {"SPUCR", kPorts + 0x4C, 4, false},
                {"EXTINT", kPorts + 0x50, 4, false}, {"EXTINTPND", kPorts + 0x54, 4, false}}});
  b.push_back({"pwm",
               {{"TCFG0", kPwm + 0x00, 4, false},  {"TCFG1", kPwm + 0x04, 4, false},  {"TCON", kPwm + 0x08, 4, false},
                {"TCNTB0", kPwm + 0x0C, 4, false}, {"TCMPB0", kPwm + 0x10, 4, false}, {"TCNTO0", kPwm + 0x14, 4, false},
                {"TCNTB1", kPwm + 0x18, 4, false}, {"TCMPB1", kPwm + 0x1C, 4, false}, {"TCNTO1", kPwm + 0x20, 4, false},
                {"TCNTB2", kPwm + 0x24, 4, false}, {"TCMPB2", kPwm + 0x28, 4, false}, {"TCNTO2", kPwm + 0x2C, 4, false},
                {"TCNTB3", kPwm + 0x30, 4, false}, {"TCMPB3", kPwm + 0x34, 4, false}, {"TCNTO3", kPwm + 0x38, 4, false},
                {"TCNTB4", kPwm + 0x3C, 4, false}, {"TCMPB4", kPwm + 0x40, 4, false}, {"TCNTO4", kPwm + 0x44, 4, false},
                {"TCNTB5", kPwm + 0x48, 4, false}, {"TCNTO5", kPwm + 0x4C, 4, false}}});
  b.push_back({"rtc",
               {{"RTCCON", kRtc + 0x40, 1, false},  {"RTCALM", kRtc + 0x50, 1, false},
                {"ALMSEC", kRtc + 0x54, 1, false},  {"ALMMIN", kRtc + 0x58, 1, false},
                {"ALMHOUR", kRtc + 0x5C, 1, false}, {"ALMDAY", kRtc + 0x60, 1, false},
                {"ALMMON", kRtc + 0x64, 1, false},  {"ALMYEAR", kRtc + 0x68, 1, false},
                {"RTCRST", kRtc + 0x6C, 1, false},  {"BCDSEC", kRtc + 0x70, 1, false},
                {"BCDMIN", kRtc + 0x74, 1, false},  {"BCDHOUR", kRtc + 0x78, 1, false},
                {"BCDDAY", kRtc + 0x7C, 1, false},  {"BCDDATE", kRtc + 0x80, 1, false},
                {"BCDMON", kRtc + 0x84, 1, false},  {"BCDYEAR", kRtc + 0x88, 1, false},
                {"TICNT", kRtc + 0x8C, 1, false}}});
  b.push_back({"iic",
               {{"IICCON", kIic + 0x0, 4, false}, {"IICSTAT", kIic + 0x4, 4, false},
                {"IICADD", kIic + 0x8, 4, false}, {"IICDS", kIic + 0xC, 4, false}}});
  b.push_back({"iis",
               {{"IISCON", kIis + 0x0, 4, false}, {"IISMOD", kIis + 0x4, 4, false}, {"IISPSR", kIis + 0x8, 4, false},
                {"IISFCON", kIis + 0xC, 4, false}, {"IISFIF", kIis + 0x10, 2, false}}});
  std::vector<RegisterInfo> bdma;
  const char* const kBdmaNames[] = {"BDCON", "BDISRC", "BDIDES", "BDICNT", "BDCSRC", "BDCDES", "BDCCNT"};
  for (uint32_t ch = 0; ch < 2; ++ch)
    for (uint32_t r = 0; r < 7; ++r)
      bdma.push_back({kBdmaNames[r] + std::to_string(ch), kBdma + 0x20 * ch + 4 * r, 4, false});
  b.push_back({"bdma", bdma});
  b.push_back({"lcd",
               {{"LCDCON1", kLcd + 0x00, 4, false},   {"LCDCON2", kLcd + 0x04, 4, false},
                {"LCDSADDR1", kLcd + 0x08, 4, false}, {"LCDSADDR2", kLcd + 0x0C, 4, false},
                {"LCDSADDR3", kLcd + 0x10, 4, false}, {"REDLUT", kLcd + 0x14, 4, false},
                {"GREENLUT", kLcd + 0x18, 4, false},  {"BLUELUT", kLcd + 0x1C, 4, false},
                {"DP1_2", kLcd + 0x20, 4, false},     {"DP4_7", kLcd + 0x24, 4, false},
                {"DP3_5", kLcd + 0x28, 4, false},     {"DP2_3", kLcd + 0x2C, 4, false},
                {"DP5_7", kLcd + 0x30, 4, false},     {"DP3_4", kLcd + 0x34, 4, false},
                {"DP4_5", kLcd + 0x38, 4, false},     {"DP6_7", kLcd + 0x3C, 4, false},
                {"LCDCON3", kLcd + 0x40, 4, false},   {"DITHMODE", kLcd + 0x44, 4, false}}});
  b.push_back({"clock",
               {{"PLLCON", kClockPower + 0x0, 4, false}, {"CLKCON", kClockPower + 0x4, 4, false},
                {"CLKSLOW", kClockPower + 0x8, 4, false}, {"LOCKTIME", kClockPower + 0xC, 4, false}}});
  b.push_back({"watchdog",
               {{"WTCON", kWatchdog + 0x0, 4, false}, {"WTDAT", kWatchdog + 0x4, 4, false},
                {"WTCNT", kWatchdog + 0x8, 4, false}}});
  b.push_back({"adc",
               {{"ADCCON", kAdc + 0x0, 4, false}, {"ADCPSR", kAdc + 0x4, 4, false}, {"ADCDAT", kAdc + 0x8, 4, false}}});
  b.push_back({"syscfg",
               {{"SYSCFG", kSysCfg + 0x0, 4, false}, {"NCACHBE0", kSysCfg + 0x4, 4, false},
                {"NCACHBE1", kSysCfg + 0x8, 4, false}, {"SBUSCON", kSbusCon, 4, false}}});
  b.push_back({"memctl",
               {{"BWSCON", kMemCtl + 0x00, 4, false},   {"BANKCON0", kMemCtl + 0x04, 4, false},
                {"BANKCON1", kMemCtl + 0x08, 4, false}, {"BANKCON2", kMemCtl + 0x0C, 4, false},
                {"BANKCON3", kMemCtl + 0x10, 4, false}, {"BANKCON4", kMemCtl + 0x14, 4, false},
                {"BANKCON5", kMemCtl + 0x18, 4, false}, {"BANKCON6", kMemCtl + 0x1C, 4, false},
                {"BANKCON7", kMemCtl + 0x20, 4, false}, {"REFRESH", kMemCtl + 0x24, 4, false},
                {"BANKSIZE", kMemCtl + 0x28, 4, false}, {"MRSRB6", kMemCtl + 0x2C, 4, false},
                {"MRSRB7", kMemCtl + 0x30, 4, false}}});
  return b;
}

}  // namespace

const std::vector<RegisterBlock>& register_blocks() {
  static const std::vector<RegisterBlock> blocks = make_blocks();
  return blocks;
}

const RegisterInfo* find_register(const std::string& name) {
  for (const RegisterBlock& b : register_blocks())
    for (const RegisterInfo& r : b.registers)
      if (same_name(name, r.name)) return &r;
  return nullptr;
}

const RegisterBlock* find_register_block(const std::string& name) {
  for (const RegisterBlock& b : register_blocks())
    if (same_name(name, b.name)) return &b;
  return nullptr;
}

}  // namespace sim::chip
