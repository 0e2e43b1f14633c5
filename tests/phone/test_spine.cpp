// Start-up, the phone screen, the clock line and the fatal handlers.
#include <map>

#include "core/log.h"
#include "core/s3c44b0x.h"
#include "phone.h"

namespace phone_test {
namespace {

// The main menu as the phone must draw it, built independently of the
// firmware's drawing code from the screen's layout (x right, y down).
class Expected {
 public:
  explicit Expected(const uint8_t* font) : font_(font), px_(320 * 240, 0) {}
  void set(int x, int y) { px_[y * 320 + x] = 15; }
  void band(int x0, int x1, int y0, int y1) {  // inclusive
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) set(x, y);
  }
  void column(int x, int y0, int y1) { band(x, x, y0, y1); }
  void text(int x, int y, const char* s, int scale) {
    for (; *s; ++s, x += 8 * scale)
      for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 8; ++c)
          if (font_[static_cast<uint8_t>(*s) * 16 + r] & (0x80 >> c))
            band(x + scale * c, x + scale * c + scale - 1, y + scale * r, y + scale * r + scale - 1);
  }
  const std::vector<uint8_t>& pixels() const { return px_; }

 private:
  const uint8_t* font_;
  std::vector<uint8_t> px_;
};

Expected main_menu(const uint8_t* font, bool muted) {
  Expected e(font);
  // Outlines: 3-pixel bands with the bottom-right 3 x 3 notch left out.
  for (auto [top, bottom] : {std::pair{4, 32}, std::pair{40, 236}}) {
    e.band(4, 315, top, top + 2);
    e.band(4, 315, bottom, bottom + 2);
    e.band(4, 6, top, bottom - 1);
    e.band(316, 318, top, bottom - 1);
  }
  e.text(100, 45, "MORVANE", 2);
  // Signal strength: columns standing on row 21; 295 stays empty.
  const int signal[][2] = {{296, 21}, {298, 20}, {299, 19}, {301, 18}, {302, 17},
                           {304, 16}, {305, 15}, {307, 14}, {308, 13}};
  for (auto& s : signal) e.column(s[0], s[1], 21);
  // Battery: outline without (291, 22), terminal, three cells.
  e.band(278, 290, 13, 13);
  e.band(278, 290, 22, 22);
  e.column(278, 13, 21);
  e.column(291, 13, 21);
  e.column(292, 15, 20);
  for (int x : {279, 280, 281, 283, 284, 285, 287, 288, 289}) e.column(x, 15, 20);
  // Speaker body and cone.
  e.band(256, 259, 14, 17);
  for (int i = 0; i < 5; ++i) e.column(260 + i, 13 - i, 18 + i);
  if (muted) {
    for (int t = 0; t <= 8; ++t) {
      e.set(266 + t, 11 + t);
      e.set(274 - t, 11 + t);
    }
  } else {
    e.set(266, 14), e.set(266, 18), e.column(267, 15, 17);
    e.set(267, 12), e.set(268, 13), e.column(269, 14, 18), e.set(268, 19), e.set(267, 20);
    e.set(269, 10), e.set(270, 11), e.set(271, 12), e.column(271, 13, 18), e.set(271, 19), e.set(270, 20),
        e.set(269, 21);
  }
  const char* lines[] = {"1. Agenda", "2. Fecha y Hora", "3. Llamar", "4. Sonido", "5. Contestador"};
  for (int i = 0; i < 5; ++i) e.text(18, 79 + 18 * i, lines[i], 1);
  return e;
}

void expect_same_screen(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected) {
  int differences = 0;
  std::string first;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x)
      if (actual[y * 320 + x] != expected[y * 320 + x] && differences++ < 5)
        first += " (" + std::to_string(x) + "," + std::to_string(y) + ")=" + std::to_string(actual[y * 320 + x]) +
                 " want " + std::to_string(expected[y * 320 + x]);
  EXPECT_EQ(differences, 0) << "first differences:" << first;
}

TEST(Spine, MainMenuIsDrawnPixelForPixelBeforeTheFirstTick) {
  Phone p;
  p.run(900 * kMillisecond);
  ASSERT_FALSE(p.board.halted()) << p.board.halt_report();
  ASSERT_NE(p.board.font(), nullptr);
  expect_same_screen(p.screen(), main_menu(p.board.font(), false).pixels());
  EXPECT_EQ(p.board.segment_latch(), 0xFF);
  EXPECT_FALSE(p.board.led_lit(9));
  EXPECT_FALSE(p.board.led_lit(10));
}

TEST(Spine, StartUpWritesTheSystemAndLcdRegistersInOrder) {
  Phone p;
  p.run(900 * kMillisecond);
  const std::vector<Write> sys_init = {
      {0x01D30000, 0x0}, {0x01E0000C, 0xFFFFFFFF}, {0x01D80000, 0x38021}, {0x01D80004, 0x7FF8},
      {0x01D80008, 0x8}, {0x01D8000C, 0xFFF},      {0x01C40000, 0x8000001B}, {0x01C00000, 0x0},
      {0x01E00014, 0x1F1B}, {0x01E00010, 0x1B1B1B1B}, {0x01E00008, 0x0}, {0x01D20054, 0xF},
      {0x01E00024, 0xFFFFFFFF}, {0x01E00000, 0x1}, {0x01D20008, 0x1FF}, {0x01D2001C, 0xAAAA},
      {0x01D20034, 0x251A}, {0x01D2003C, 0x74}};
  ASSERT_GE(p.writes.size(), sys_init.size());
  for (size_t i = 0; i < sys_init.size(); ++i) {
    EXPECT_EQ(p.writes[i].address, sys_init[i].address) << "register write " << i;
    EXPECT_EQ(p.writes[i].value, sys_init[i].value) << "register write " << i;
  }
  const std::vector<Write> lcd_init = {
      {0x01F00000, 0xD020},     {0x01F00004, 0x13CEF},    {0x01F00040, 0x0},        {0x01F00008, 0x16180000},
      {0x01F0000C, 0x184B00},   {0x01F00010, 0x50},       {0x01F00014, 0x0},        {0x01F00018, 0x0},
      {0x01F0001C, 0x0},        {0x01F00044, 0x12210},    {0x01F00020, 0xA5A5},     {0x01F00024, 0x0BA5DA65},
      {0x01F00028, 0xA5A5F},    {0x01F0002C, 0xD6B},      {0x01F00030, 0x0EB7B5ED}, {0x01F00034, 0x77DBE},
      {0x01F00038, 0x7EBDF},    {0x01F0003C, 0x07FDFBFE}, {0x01F00000, 0xD021}};
  std::vector<Write> lcd;
  for (const Write& w : p.writes)
    if (w.address >= 0x01F00000 && w.address < 0x01F00048) lcd.push_back(w);
  ASSERT_EQ(lcd.size(), lcd_init.size());
  for (size_t i = 0; i < lcd.size(); ++i) {
    EXPECT_EQ(lcd[i].address, lcd_init[i].address) << "LCD write " << i;
    EXPECT_EQ(lcd[i].value, lcd_init[i].value) << "LCD write " << i;
  }
}

TEST(Spine, EveryVectorSlotHoldsItsDefaultHandlerUnlessADriverTookIt) {
  Phone p;
  p.run(900 * kMillisecond);
  const char* handlers[] = {
      nullptr,          "ISR_UNDEF_DUMMY",  "ISR_SWI_DUMMY",    "ISR_PABORT_DUMMY", "ISR_DABORT_DUMMY",
      nullptr,          "ISR_IRQ_DUMMY",    "ISR_FIQ_DUMMY",    "ISR_ADC_DUMMY",    "ISR_RTC_DUMMY",
      "ISR_UTXD1_DUMMY", "ISR_UTXD0_DUMMY", "ISR_SIO_DUMMY",    "ISR_IIC_DUMMY",    "ISR_URXD1_DUMMY",
      "ISR_URXD0_DUMMY", "ISR_TIMER5_DUMMY", "ISR_TIMER4_DUMMY", "ISR_TIMER3_DUMMY", "ISR_TIMER2_DUMMY",
      "ISR_TIMER1_DUMMY", "ISR_TIMER0_DUMMY", "ISR_UERR01_DUMMY", "ISR_WDT_DUMMY",   "ISR_BDMA1_DUMMY",
      "isr_dma",        "ISR_ZDMA1_DUMMY",  "ISR_ZDMA0_DUMMY",  "rtc_interruption", "ISR_PB_DUMMY",
      "ISR_ETHERNET_DUMMY", "ISR_TOUCHPAD_DUMMY", "ISR_KEYPAD_DUMMY", "ISR_USB_DUMMY"};
  for (int i = 0; i < 34; ++i) {
    uint32_t slot = sim::chip::kVectorTable + 4 * i;
    uint32_t value = p.board.ram().read32(slot);
    if (!handlers[i]) {
      EXPECT_EQ(value, 0u) << "slot " << sim::hex32(slot);
      continue;
    }
    auto address = p.board.symbol_address(handlers[i]);
    ASSERT_TRUE(address) << handlers[i];
    EXPECT_EQ(value, *address) << "slot " << sim::hex32(slot) << " should hold " << handlers[i];
  }
}

TEST(Spine, EveryDrawingSequenceRestoresTheInterruptMask) {
  Phone p;
  p.run(1100 * kMillisecond);
  p.key(3);  // the sound menu draws its lines, then waits
  p.key(15);
  p.run(500 * kMillisecond);
  ASSERT_FALSE(p.board.halted()) << p.board.halt_report();
  auto masks = p.writes_to(0x01E0000C);
  // From the first unmask on, each full mask is followed by the restore of
  // the value it replaced.
  uint32_t current = 0xFFFFFFFF;
  size_t sequences = 0;
  for (size_t i = 0; i < masks.size(); ++i) {
    if (masks[i].value == 0xFFFFFFFF && current != 0xFFFFFFFF) {
      ASSERT_LT(i + 1, masks.size()) << "a drawing sequence never restored INTMSK";
      EXPECT_EQ(masks[i + 1].value, current) << "INTMSK write " << i + 1;
      ++sequences;
    }
    current = masks[i].value;
  }
  EXPECT_GE(sequences, 4u);
  EXPECT_NE(p.board.intc().mask() & (1u << sim::chip::kIrqTick), 1u << sim::chip::kIrqTick);
}

TEST(Spine, ClockLineAppearsAfterOneSecondAndLeavesNothingStale) {
  Phone p;
  p.run(990 * kMillisecond);
  EXPECT_FALSE(p.shows("1/1/13")) << "no clock before the first tick";
  // Drawing the line pixel by pixel from SDRAM with the cache off takes
  // about 90 ms of the board's time.
  p.run(150 * kMillisecond);
  auto runs = p.text();
  ASSERT_FALSE(runs.empty());
  const sim::TextRun* clock = nullptr;
  for (const auto& r : runs)
    if (r.y == 12) clock = &r;
  ASSERT_NE(clock, nullptr) << p.screen_text();
  EXPECT_EQ(clock->x, 10);
  EXPECT_EQ(clock->text, "0:0:1 - 1/1/13");
  p.run_to(59 * kSecond + 500 * kMillisecond);
  EXPECT_TRUE(p.shows("0:0:59 - 1/1/13")) << p.screen_text();
  p.run_to(60 * kSecond + 500 * kMillisecond);
  for (const auto& r : p.text()) {
    if (r.y == 12) {
      EXPECT_EQ(r.text, "0:1:0 - 1/1/13");
    }
  }
}

TEST(Spine, AnUnexpectedInterruptReportsLightsBothLedsAndHalts) {
  Phone p;
  p.run(1100 * kMillisecond);
  uint32_t mask = p.board.intc().mask();
  p.board.bus().write(0x01E0000C, mask & ~(1u << sim::chip::kIrqWdt), 4);
  p.board.intc().request(sim::chip::kIrqWdt);
  p.run(100 * kMillisecond);
  EXPECT_TRUE(p.board.halted());
  EXPECT_NE(p.board.console().find("Error por la rutina de servicio de interrupcion ISR_WDT"), std::string::npos)
      << p.board.console();
  EXPECT_TRUE(p.board.led_lit(9));
  EXPECT_TRUE(p.board.led_lit(10));
  EXPECT_NE(p.board.halt_report().find("ISR_WDT"), std::string::npos) << p.board.halt_report();
}

// The firmware has no heap: its formatter must never reach the allocator.
// Every allocator entry point gets an undefined instruction, which would end
// in the fatal handler.
TEST(Spine, TheAllocatorIsNeverEntered) {
  Phone p;
  for (const char* name : {"malloc", "_malloc_r", "calloc", "_calloc_r", "realloc", "_realloc_r", "_sbrk", "_sbrk_r"}) {
    if (auto address = p.board.symbol_address(name)) p.board.ram().write32(*address, 0xE7F000F0);
  }
  p.board.core().flush_code();
  p.run(1100 * kMillisecond);
  p.key(3);
  p.key(15);
  p.key(1);
  p.key(15);
  p.run(1 * kSecond);
  EXPECT_FALSE(p.board.halted()) << p.board.halt_report();
  EXPECT_EQ(p.board.console().find("ISR_UNDEF"), std::string::npos);
}

}  // namespace
}  // namespace phone_test
