// The LCD controller's registers and the picture it scans; the PNG writer.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "devices/lcd_controller.h"
#include "frontends/png_writer.h"

namespace sim {
namespace {

using Reg = LcdController::Reg;
constexpr int W = LcdController::kWidth;
constexpr int H = LcdController::kHeight;

// Collects the simulator's diagnostics while alive.
struct LogCapture {
  std::vector<std::string> lines;
  LogSink previous;
  LogCapture() {
    previous = set_log_sink([this](const std::string& l) { lines.push_back(l); });
  }
  ~LogCapture() { set_log_sink(previous); }
};

// LCDSADDR1 for a buffer at `a` in the given mode (0 mono, 1 4 grey, 2 16 grey).
uint32_t saddr1(uint32_t a, uint32_t modesel) {
  return (modesel << 27) | ((a >> 22) << 21) | ((a & 0x003FFFFF) >> 1);
}

// The phone's lcd_init for a buffer at `a`, then lcd_on.
void program_like_phone(LcdController& lcd, uint32_t a = 0x0C300000) {
  lcd.write(Reg::LCDCON1, 0x0000D020, 4);
  lcd.write(Reg::LCDCON2, 0x00013CEF, 4);
  lcd.write(Reg::LCDCON3, 0, 4);
  lcd.write(Reg::LCDSADDR1, saddr1(a, 2), 4);
  lcd.write(Reg::LCDSADDR2, 0x00184B00, 4);
  lcd.write(Reg::LCDSADDR3, 0x00000050, 4);
  lcd.write(Reg::LCDCON1, lcd.read(Reg::LCDCON1, 4) | 1, 4);
}

struct LcdTest : ::testing::Test {
  Sdram ram;
  LcdController lcd{0x01F00000};
  std::vector<uint8_t> frame = std::vector<uint8_t>(LcdController::kPixels, 0xEE);

  void render() { lcd.render(ram, frame.data()); }
  uint8_t px(int x, int y) const { return frame[static_cast<size_t>(y) * W + x]; }
  bool all_white() const {
    for (uint8_t v : frame)
      if (v != 0) return false;
    return true;
  }
  // Fills the first `words` words at `a` with a pattern in which no nibble is
  // 0: word i is 0x11111111 x (1 + i mod 15).
  void fill_nonzero(uint32_t a, int words) {
    for (int i = 0; i < words; ++i) ram.write32(a + 4u * i, 0x11111111u * (1 + i % 15));
  }
};

TEST_F(LcdTest, ResetValues) {
  const std::pair<uint32_t, uint32_t> expected[] = {
      {Reg::LCDCON1, 0},          {Reg::LCDCON2, 0},          {Reg::LCDSADDR1, 0},       {Reg::LCDSADDR2, 0},
      {Reg::LCDSADDR3, 0},        {Reg::REDLUT, 0},           {Reg::GREENLUT, 0},        {Reg::BLUELUT, 0},
      {Reg::DP1_2, 0xA5A5},       {Reg::DP4_7, 0xBA5DA65},    {Reg::DP3_5, 0xA5A5F},     {Reg::DP2_3, 0xD6B},
      {Reg::DP5_7, 0xEB7B5ED},    {Reg::DP3_4, 0x7DBE},       {Reg::DP4_5, 0x7EBDF},     {Reg::DP6_7, 0x7FDFBFE},
      {Reg::LCDCON3, 0},          {Reg::DITHMODE, 0},
  };
  for (auto [offset, value] : expected) EXPECT_EQ(lcd.read(offset, 4), value) << "offset " << offset;
  EXPECT_FALSE(lcd.output_enabled());
}

TEST_F(LcdTest, ResetRestoresAfterWrites) {
  lcd.write(Reg::DP1_2, 0x1234, 4);
  lcd.write(Reg::LCDCON1, 0x0000D021, 4);
  lcd.reset();
  EXPECT_EQ(lcd.read(Reg::DP1_2, 4), 0xA5A5u);
  EXPECT_EQ(lcd.read(Reg::LCDCON1, 4), 0u);
}

TEST_F(LcdTest, PhoneSetUpReadsBack) {
  program_like_phone(lcd);
  lcd.write(Reg::DITHMODE, 0x00012210, 4);
  lcd.write(Reg::DP3_4, 0x00077DBE, 4);
  EXPECT_EQ(lcd.read(Reg::LCDCON1, 4), 0x0000D021u);
  EXPECT_EQ(lcd.read(Reg::LCDCON2, 4), 0x00013CEFu);
  EXPECT_EQ(lcd.read(Reg::LCDSADDR1, 4), 0x16180000u);
  EXPECT_EQ(lcd.read(Reg::LCDSADDR2, 4), 0x00184B00u);
  EXPECT_EQ(lcd.read(Reg::LCDSADDR3, 4), 0x00000050u);
  EXPECT_EQ(lcd.read(Reg::DITHMODE, 4), 0x00012210u);
  EXPECT_EQ(lcd.read(Reg::DP3_4, 4), 0x00077DBEu);
  EXPECT_TRUE(lcd.output_enabled());
  EXPECT_EQ(lcd.mode(), LcdController::Mode::kGrey16);
  EXPECT_EQ(lcd.panel(), LcdController::Panel::kSingle4);
  EXPECT_EQ(lcd.start_address(), 0x0C300000u);
  EXPECT_EQ(lcd.line_stride(), 160u);
  EXPECT_EQ(lcd.picture_width(), 320);
  EXPECT_EQ(lcd.picture_height(), 240);
}

TEST_F(LcdTest, LinecntIsReadOnlyAndReservedBitsStayZero) {
  lcd.write(Reg::LCDCON1, 0xFFFFFFFF, 4);
  EXPECT_EQ(lcd.read(Reg::LCDCON1, 4), 0x003FFFFFu);
  lcd.write(Reg::LCDSADDR1, 0xFFFFFFFF, 4);
  EXPECT_EQ(lcd.read(Reg::LCDSADDR1, 4), 0x1FFFFFFFu);
  lcd.write(Reg::LCDSADDR2, 0xFFFFFFFF, 4);
  EXPECT_EQ(lcd.read(Reg::LCDSADDR2, 4), 0x3FFFFFFFu);
  lcd.write(Reg::LCDSADDR3, 0xFFFFFFFF, 4);
  EXPECT_EQ(lcd.read(Reg::LCDSADDR3, 4), 0x000FFFFFu);
  lcd.write(Reg::LCDCON3, 0xFFFFFFFF, 4);
  EXPECT_EQ(lcd.read(Reg::LCDCON3, 4), 1u);
}

TEST_F(LcdTest, ByteAndHalfWordAccessesUseTheirLanes) {
  lcd.write(Reg::LCDCON2, 0x11223344, 4);
  EXPECT_EQ(lcd.read(Reg::LCDCON2 + 1, 1), 0x33u);
  EXPECT_EQ(lcd.read(Reg::LCDCON2 + 2, 2), 0x1122u);
  lcd.write(Reg::LCDCON2 + 3, 0xAB, 1);
  EXPECT_EQ(lcd.read(Reg::LCDCON2, 4), 0xAB223344u);
  lcd.write(Reg::LCDCON2, 0xCDEF, 2);
  EXPECT_EQ(lcd.read(Reg::LCDCON2, 4), 0xAB22CDEFu);
}

TEST_F(LcdTest, OffsetOutsideTheBlockIsLoggedOnce) {
  LogCapture log;
  EXPECT_EQ(lcd.read(0x48, 4), 0u);
  lcd.write(0x48, 5, 4);
  lcd.write(0x48, 5, 4);
  EXPECT_EQ(log.lines.size(), 2u);
}

TEST_F(LcdTest, PixelLayoutOf16GreyMode) {
  program_like_phone(lcd);
  const uint32_t a = 0x0C300000;
  ram.write32(a + 0, 0x1234567F);         // pixels (0..7, 0)
  ram.write32(a + 4, 0xA0000000);         // (8, 0) = A
  ram.write32(a + 40 * 4, 0xC0000000);    // (0, 1) = C
  ram.write32(a + 9599 * 4, 0x0000000E);  // (319, 239) = E
  render();
  EXPECT_EQ(px(0, 0), 0x1);
  EXPECT_EQ(px(1, 0), 0x2);
  EXPECT_EQ(px(6, 0), 0x7);
  EXPECT_EQ(px(7, 0), 0xF);
  EXPECT_EQ(px(8, 0), 0xA);
  EXPECT_EQ(px(9, 0), 0x0);
  EXPECT_EQ(px(0, 1), 0xC);
  EXPECT_EQ(px(319, 239), 0xE);
  EXPECT_EQ(px(318, 239), 0x0);
  // Little-endian words: the leftmost pixel is the high nibble of the
  // highest-addressed byte.
  ram.write32(a, 0);
  ram.write8(a + 3, 0xB0);
  render();
  EXPECT_EQ(px(0, 0), 0xB);
  int ink = 0;
  for (uint8_t v : frame) ink += v != 0;
  EXPECT_EQ(ink, 4);  // (0,0), (8,0), (0,1), (319,239)
}

TEST_F(LcdTest, EveryPixelOfAFullFrame) {
  program_like_phone(lcd);
  // Pixel (x, y) gets (x + 3y) mod 16, packed as the firmware's lcd_putpixel does.
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; x += 8) {
      uint32_t word = 0;
      for (int k = 0; k < 8; ++k) word |= static_cast<uint32_t>((x + k + 3 * y) & 15) << (28 - 4 * k);
      ram.write32(0x0C300000u + static_cast<uint32_t>((y * 40 + x / 8) * 4), word);
    }
  render();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_EQ(px(x, y), (x + 3 * y) & 15) << x << "," << y;
}

TEST_F(LcdTest, OutputOffShowsWhite) {
  program_like_phone(lcd);
  fill_nonzero(0x0C300000, 9600);
  render();
  EXPECT_EQ(px(5, 5), 1 + 200 % 15);  // word 200
  lcd.write(Reg::LCDCON1, lcd.read(Reg::LCDCON1, 4) & ~1u, 4);
  EXPECT_FALSE(lcd.output_enabled());
  render();
  EXPECT_TRUE(all_white());
}

TEST_F(LcdTest, ResetControllerShowsWhite) {
  fill_nonzero(0x0C000000, 9600);
  render();
  EXPECT_TRUE(all_white());
}

TEST_F(LcdTest, BufferMovedByLcdsaddr1) {
  const uint32_t a = 0x0C123450;  // another bank, not a multiple of 32
  program_like_phone(lcd, a);
  EXPECT_EQ(lcd.start_address(), a);
  ram.write32(0x0C300000, 0xFFFFFFFF);  // the usual place is no longer scanned
  ram.write32(a, 0x50000003);
  ram.write32(a + 160 * 10 + 4 * 5, 0x0F000000);  // (41, 10)
  render();
  EXPECT_EQ(px(0, 0), 5);
  EXPECT_EQ(px(7, 0), 3);
  EXPECT_EQ(px(41, 10), 15);
  EXPECT_EQ(px(40, 10), 0);
}

TEST_F(LcdTest, OffsizeAddsToTheLineStride) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDSADDR3, (8u << 9) | 80u, 4);  // 8 half-words skipped per line
  EXPECT_EQ(lcd.line_stride(), 176u);
  ram.write32(0x0C300000 + 176, 0x70000000);  // (0, 1)
  ram.write32(0x0C300000 + 160, 0x10000000);  // skipped
  ram.write32(0x0C300000 + 176 * 239 + 39 * 4, 0x00000006);  // (319, 239)
  render();
  EXPECT_EQ(px(0, 1), 7);
  EXPECT_EQ(px(319, 239), 6);
  int ink = 0;
  for (uint8_t v : frame) ink += v != 0;
  EXPECT_EQ(ink, 2);
}

TEST_F(LcdTest, ByteSwapTakesTheLowestByteFirst) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDSADDR2, 0x00184B00 | (1u << 29), 4);
  EXPECT_TRUE(lcd.byte_swap());
  ram.write32(0x0C300000, 0x12345678);  // bytes in memory: 78 56 34 12
  render();
  const uint8_t expected[8] = {7, 8, 5, 6, 3, 4, 1, 2};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(px(k, 0), expected[k]) << k;
}

TEST_F(LcdTest, FourGreyModeUsesBluelut) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDSADDR1, saddr1(0x0C300000, 1), 4);
  lcd.write(Reg::LCDSADDR3, 40, 4);  // 320 pixels x 2 bits = 40 half-words
  lcd.write(Reg::BLUELUT, 0xFA50, 4);  // values 0, 1, 2, 3 -> levels 0, 5, 10, 15
  EXPECT_EQ(lcd.mode(), LcdController::Mode::kGrey4);
  ram.write32(0x0C300000, 0x1B000003);  // 00 01 10 11 00 ... 11
  ram.write32(0x0C300004, 0x80000000);  // (16, 0) = 10
  ram.write32(0x0C300000 + 80, 0xC0000000);  // (0, 1) = 11
  render();
  EXPECT_EQ(px(0, 0), 0);
  EXPECT_EQ(px(1, 0), 5);
  EXPECT_EQ(px(2, 0), 10);
  EXPECT_EQ(px(3, 0), 15);
  EXPECT_EQ(px(15, 0), 15);
  EXPECT_EQ(px(16, 0), 10);
  EXPECT_EQ(px(0, 1), 15);
  // With the reset lookup table every value is level 0.
  lcd.write(Reg::BLUELUT, 0, 4);
  render();
  EXPECT_TRUE(all_white());
}

TEST_F(LcdTest, MonoMode) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDSADDR1, saddr1(0x0C300000, 0), 4);
  lcd.write(Reg::LCDSADDR3, 20, 4);  // 320 pixels x 1 bit = 20 half-words
  EXPECT_EQ(lcd.mode(), LcdController::Mode::kMono);
  ram.write32(0x0C300000, 0x80000001);  // (0, 0) and (31, 0)
  ram.write32(0x0C300004, 0x40000000);  // (33, 0)
  ram.write32(0x0C300000 + 40 * 239 + 36, 0x00000001);  // (319, 239)
  render();
  EXPECT_EQ(px(0, 0), 15);
  EXPECT_EQ(px(1, 0), 0);
  EXPECT_EQ(px(31, 0), 15);
  EXPECT_EQ(px(32, 0), 0);
  EXPECT_EQ(px(33, 0), 15);
  EXPECT_EQ(px(319, 239), 15);
  int ink = 0;
  for (uint8_t v : frame) ink += v != 0;
  EXPECT_EQ(ink, 4);
}

TEST_F(LcdTest, InvvdInvertsTheLevels) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDCON1, lcd.read(Reg::LCDCON1, 4) | 2, 4);
  ram.write32(0x0C300000, 0x0F300000);
  render();
  EXPECT_EQ(px(0, 0), 15);
  EXPECT_EQ(px(1, 0), 0);
  EXPECT_EQ(px(2, 0), 12);
  EXPECT_EQ(px(100, 100), 15);
}

TEST_F(LcdTest, ColourModeShowsWhiteAndLogsOnce) {
  LogCapture log;
  program_like_phone(lcd);
  lcd.write(Reg::LCDSADDR1, saddr1(0x0C300000, 3), 4);
  fill_nonzero(0x0C300000, 9600);
  render();
  EXPECT_TRUE(all_white());
  render();
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("colour"), std::string::npos);
}

TEST_F(LcdTest, SmallerPictureLeavesTheRestWhite) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDCON2, (39u << 10) | 99u, 4);  // 160 x 100
  lcd.write(Reg::LCDSADDR3, 40, 4);
  fill_nonzero(0x0C300000, 9600);
  render();
  EXPECT_EQ(lcd.picture_width(), 160);
  EXPECT_EQ(lcd.picture_height(), 100);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_EQ(px(x, y) != 0, x < 160 && y < 100) << x << "," << y;
}

TEST_F(LcdTest, LargerPictureIsClippedToThePanel) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDCON2, (99u << 10) | 299u, 4);  // 400 x 300
  lcd.write(Reg::LCDSADDR3, 100, 4);
  ram.write32(0x0C300000 + 200 * 239 + 4 * 39, 0x0000000D);  // (319, 239)
  ram.write32(0x0C300000 + 200 * 239 + 4 * 40, 0xFFFFFFFF);  // beyond the panel
  render();
  EXPECT_EQ(px(319, 239), 13);
}

TEST_F(LcdTest, EightBitSingleScanDoublesTheWidthPerHozval) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDCON1, (lcd.read(Reg::LCDCON1, 4) & ~0x60u) | 0x40u, 4);
  lcd.write(Reg::LCDCON2, (39u << 10) | 239u, 4);  // 40 x 8 = 320 pixels
  EXPECT_EQ(lcd.picture_width(), 320);
  ram.write32(0x0C300000 + 4 * 39, 0x0000000B);
  render();
  EXPECT_EQ(px(319, 0), 11);
}

TEST_F(LcdTest, DualScanTakesTheLowerHalfFromLcdbasel) {
  program_like_phone(lcd);
  lcd.write(Reg::LCDCON1, lcd.read(Reg::LCDCON1, 4) & ~0x60u, 4);  // 4-bit dual scan
  lcd.write(Reg::LCDCON2, (79u << 10) | 119u, 4);                  // 120 lines per half
  const uint32_t lower = 0x0C340000;
  lcd.write(Reg::LCDSADDR2, (lower & 0x3FFFFF) >> 1, 4);
  EXPECT_EQ(lcd.picture_height(), 240);
  EXPECT_EQ(lcd.lower_start_address(), lower);
  ram.write32(0x0C300000 + 160 * 119, 0x30000000);  // (0, 119)
  ram.write32(0x0C300000 + 160 * 120, 0x40000000);  // not shown: the lower half starts elsewhere
  ram.write32(lower, 0x50000000);                   // (0, 120)
  ram.write32(lower + 160 * 119, 0x60000000);       // (0, 239)
  render();
  EXPECT_EQ(px(0, 119), 3);
  EXPECT_EQ(px(0, 120), 5);
  EXPECT_EQ(px(0, 239), 6);
}

TEST_F(LcdTest, ReadsOutsideSdramShowWhite) {
  // The last 10 lines of a buffer that starts 230 lines before the end of SDRAM.
  const uint32_t a = 0x0C800000 - 230 * 160;
  program_like_phone(lcd, a);
  fill_nonzero(a, 230 * 40);
  render();
  EXPECT_NE(px(0, 229), 0);
  EXPECT_NE(px(319, 229), 0);
  for (int y = 230; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_EQ(px(x, y), 0);
  // A buffer in bank 0 (the monitor's ROM, not SDRAM).
  program_like_phone(lcd, 0x00000000);
  render();
  EXPECT_TRUE(all_white());
}

TEST_F(LcdTest, AddressCounterWrapsInsideTheBank) {
  // LCDBANK fixes A[27:22]: a buffer that runs past 0x0C3FFFFF continues at 0x0C000000.
  const uint32_t a = 0x0C3FFF00;  // 256 bytes = 1.6 lines before the bank's end
  program_like_phone(lcd, a);
  ram.write32(a, 0x10000000);               // (0, 0)
  ram.write32(0x0C400000 - 4, 0x00000002);  // the bank's last word: buffer byte 252
  ram.write32(0x0C000000 + 64, 0x30000000); // offset 0x400040 wraps to 0x40: start of line 2
  ram.write32(0x0C400000 + 64, 0x70000000); // the next bank is not scanned
  render();
  EXPECT_EQ(px(0, 0), 1);
  // Buffer byte 252 is in line 1 (bytes 160..319): pixels 184..191 of it.
  EXPECT_EQ(px(191, 1), 2);
  EXPECT_EQ(px(0, 2), 3);
}

// ---- PNG writer ----

struct PngFile {
  std::string path;
  explicit PngFile(const std::string& name)
      : path((std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()) + ".png")).string()) {}
  ~PngFile() { std::remove(path.c_str()); }
};

// Reads a PNG back with libpng in the given format; empty on failure.
std::vector<uint8_t> read_png(const std::string& path, png_uint_32 format, int& width, int& height,
                              png_uint_32* file_format = nullptr) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  if (file_format) *file_format = image.format;
  image.format = format;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return pixels;
}

TEST(PngWriter, LcdFrameRoundTrip) {
  std::vector<uint8_t> levels(LcdController::kPixels);
  for (int i = 0; i < LcdController::kPixels; ++i) levels[i] = static_cast<uint8_t>((i * 7 + i / 320) % 16);
  PngFile file("lcd-roundtrip");
  std::string error;
  ASSERT_TRUE(write_lcd_png(file.path, levels.data(), error)) << error;
  int w = 0, h = 0;
  png_uint_32 file_format = 99;
  auto grey = read_png(file.path, PNG_FORMAT_GRAY, w, h, &file_format);
  ASSERT_EQ(w, 320);
  ASSERT_EQ(h, 240);
  EXPECT_EQ(file_format, static_cast<png_uint_32>(PNG_FORMAT_GRAY));  // 8-bit grey, no alpha, no colour
  for (int i = 0; i < LcdController::kPixels; ++i) ASSERT_EQ(grey[i], 255 - 17 * levels[i]) << i;
  EXPECT_FALSE(std::filesystem::exists(file.path + ".tmp." + std::to_string(::getpid())));
}

TEST(PngWriter, LevelsAboveFifteenAreBlack) {
  const uint8_t levels[4] = {0, 15, 16, 255};
  PngFile file("lcd-clamp");
  std::string error;
  ASSERT_TRUE(write_grey16_png(file.path, levels, 4, 1, error)) << error;
  int w = 0, h = 0;
  auto grey = read_png(file.path, PNG_FORMAT_GRAY, w, h);
  ASSERT_EQ(grey.size(), 4u);
  EXPECT_EQ(grey[0], 255);
  EXPECT_EQ(grey[1], 0);
  EXPECT_EQ(grey[2], 0);
  EXPECT_EQ(grey[3], 0);
}

TEST(PngWriter, RgbImageWithStride) {
  const int w = 3, h = 2, stride = 12;  // 9 bytes of pixels + 3 of padding per row
  std::vector<uint8_t> pixels(stride * h, 0xEE);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) pixels[y * stride + x * 3 + c] = static_cast<uint8_t>(y * 100 + x * 30 + c);
  PngFile file("rgb");
  std::string error;
  ASSERT_TRUE(write_png(file.path, pixels.data(), w, h, PngFormat::kRgb8, error, stride)) << error;
  int rw = 0, rh = 0;
  png_uint_32 file_format = 0;
  auto back = read_png(file.path, PNG_FORMAT_RGB, rw, rh, &file_format);
  ASSERT_EQ(rw, w);
  ASSERT_EQ(rh, h);
  EXPECT_EQ(file_format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(back[(y * w + x) * 3 + c], y * 100 + x * 30 + c);
}

TEST(PngWriter, ReplacesAnExistingFile) {
  PngFile file("replace");
  {
    FILE* f = std::fopen(file.path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not a png", f);
    std::fclose(f);
  }
  const uint8_t levels[2] = {15, 0};
  std::string error;
  ASSERT_TRUE(write_grey16_png(file.path, levels, 2, 1, error)) << error;
  int w = 0, h = 0;
  auto grey = read_png(file.path, PNG_FORMAT_GRAY, w, h);
  ASSERT_EQ(grey.size(), 2u);
  EXPECT_EQ(grey[0], 0);
  EXPECT_EQ(grey[1], 255);
}

TEST(PngWriter, ErrorsAreOneClearLine) {
  std::vector<uint8_t> levels(LcdController::kPixels, 0);
  std::string error;
  EXPECT_FALSE(write_lcd_png("/nonexistent-dir/x/shot.png", levels.data(), error));
  EXPECT_NE(error.find("/nonexistent-dir/x/shot.png"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);

  error.clear();
  PngFile empty("empty");
  EXPECT_FALSE(write_png(empty.path, levels.data(), 0, 10, PngFormat::kGrey8, error));
  EXPECT_NE(error.find("empty image"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(empty.path));
}

TEST(PngWriter, WritesToANonRegularFileInPlace) {
  // /dev/null is not replaced by a rename: the bytes go to the device.
  std::vector<uint8_t> levels(LcdController::kPixels, 3);
  std::string error;
  EXPECT_TRUE(write_lcd_png("/dev/null", levels.data(), error)) << error;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

}  // namespace
}  // namespace sim
