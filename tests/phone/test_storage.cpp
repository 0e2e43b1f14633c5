// The address book on the console and in the EEPROM, and the date and time
// editors on the push-buttons.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/s3c44b0x.h"
#include "phone.h"

namespace phone_test {
namespace {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string field(const std::vector<uint8_t>& image, size_t at) {
  std::string s;
  for (size_t i = at; i < at + 16 && i < image.size() && image[i]; ++i) s.push_back(static_cast<char>(image[i]));
  return s;
}

class Agenda {
 public:
  explicit Agenda(Phone& p) : p_(p) {}
  // Runs until the console has sent `text` since the last wait.
  bool console(const std::string& text, VTime limit = 3 * kSecond) {
    VTime end = p_.board.now() + limit;
    for (;;) {
      size_t at = p_.board.console().find(text, cursor_);
      if (at != std::string::npos) {
        cursor_ = at + text.size();
        return true;
      }
      if (p_.board.now() >= end || p_.board.halted()) return false;
      p_.run(10 * kMillisecond);
    }
  }
  void type(const std::string& line) { p_.board.uart_input(std::vector<uint8_t>(line.begin(), line.end())); }
  void add(const std::string& name_line, const std::string& number_line, const std::string& outcome) {
    p_.key(0);  // "1. Agenda"
    p_.key(0);  // "1. Anadir contacto"
    ASSERT_TRUE(console("Introduzca el Nombre: \n\r")) << p_.board.console();
    EXPECT_TRUE(p_.shows("Mirar la UART")) << p_.screen_text();
    type(name_line + "\r");
    if (outcome == "Nombre vacio. ") {
      ASSERT_TRUE(console("\n\rNombre vacio. \n\r")) << p_.board.console();
      return;
    }
    ASSERT_TRUE(console("Introduzca el Numero: \n\r")) << p_.board.console();
    type(number_line + "\r");
    ASSERT_TRUE(console("\n\r" + outcome + "\n\r")) << p_.board.console();
  }
  std::string list() {
    p_.key(0);
    p_.key(1);  // "2. Mostrar contactos"
    p_.run(300 * kMillisecond);
    std::string out = p_.board.console().substr(cursor_);
    cursor_ = p_.board.console().size();
    return out;
  }

 private:
  Phone& p_;
  size_t cursor_ = 0;
};

TEST(AddressBook, ContactsAreStoredAtTheirRecordsAndSurviveARestart) {
  std::string path;
  std::remove(Phone::eeprom_file("agenda-restart").c_str());
  {
    Phone p("agenda-restart");
    p.run(1100 * kMillisecond);
    Agenda a(p);
    a.add("Ana Maria", "612 345", "Contacto anadido. ");  // two words: the first is kept
    a.add("Luis", "699000111", "Contacto anadido. ");
    ASSERT_FALSE(p.board.halted()) << p.board.halt_report();
    auto image = read_file(p.eeprom_path);
    ASSERT_EQ(image.size(), 512u);
    EXPECT_EQ(field(image, 0), "Ana");
    EXPECT_EQ(field(image, 16), "612");
    EXPECT_EQ(field(image, 32), "Luis");
    EXPECT_EQ(field(image, 48), "699000111");
    EXPECT_EQ(a.list(),
              "\n\rNombre: Ana \n\rNumero: 612 \n\r \n\rNombre: Luis \n\rNumero: 699000111 \n\r ");
    path = p.eeprom_path;
  }
  Phone p("agenda-restart");  // the same EEPROM file, a new power-on
  p.run(1100 * kMillisecond);
  Agenda a(p);
  EXPECT_EQ(a.list(), "\n\rNombre: Ana \n\rNumero: 612 \n\r \n\rNombre: Luis \n\rNumero: 699000111 \n\r ");
  a.add("Eva", "600", "Contacto anadido. ");
  auto image = read_file(path);
  EXPECT_EQ(field(image, 0), "Ana");
  EXPECT_EQ(field(image, 32), "Luis");
  EXPECT_EQ(field(image, 64), "Eva");
  EXPECT_EQ(field(image, 80), "600");
}

TEST(AddressBook, LimitsAreGuarded) {
  // A full book: sixteen contacts already stored.
  {
    std::vector<uint8_t> image(512, 0);
    for (int i = 0; i < 16; ++i) {
      std::string name = "N" + std::to_string(i), number = std::to_string(1000 + i);
      std::copy(name.begin(), name.end(), image.begin() + 32 * i);
      std::copy(number.begin(), number.end(), image.begin() + 32 * i + 16);
    }
    std::ofstream(Phone::eeprom_file("agenda-limits"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), 512);
  }
  Phone full("agenda-limits");
  full.run(1100 * kMillisecond);
  Agenda a(full);
  auto before = read_file(full.eeprom_path);
  full.key(0);
  full.key(0);
  EXPECT_TRUE(a.console("\n\rAgenda llena. \n\r")) << full.board.console();
  EXPECT_EQ(read_file(full.eeprom_path), before);

  Phone fresh;
  fresh.run(1100 * kMillisecond);
  Agenda b(fresh);
  b.add("   ", "", "Nombre vacio. ");
  EXPECT_TRUE(read_file(fresh.eeprom_path).empty() || read_file(fresh.eeprom_path) == std::vector<uint8_t>(512, 0xFF))
      << "nothing written for an empty name";
  b.add("Bartolome_de_las_Casas", "0034912345678901234", "Contacto anadido. ");
  auto image = read_file(fresh.eeprom_path);
  EXPECT_EQ(field(image, 0), "Bartolome_de_la");  // 15 characters and the zero
  EXPECT_EQ(image[15], 0);
  EXPECT_EQ(field(image, 16), "003491234567890");
  EXPECT_EQ(image[31], 0);
  EXPECT_EQ(image[32], 0xFF) << "nothing past the record";
}

TEST(AddressBook, ASilentEepromIsReportedAndNeverHangsThePhone) {
  Phone p;
  p.board.eeprom().set_connected(false);
  p.run(1100 * kMillisecond);
  Agenda a(p);
  p.key(0);
  ASSERT_TRUE(a.console("\n\rError de EEPROM. \n\r", 5 * kSecond)) << p.board.console();
  ASSERT_TRUE(p.wait_for("1. Anadir contacto", 5 * kSecond)) << p.screen_text();
  p.key(0);
  EXPECT_TRUE(a.console("Error de EEPROM. ", 5 * kSecond)) << p.board.console();
  EXPECT_TRUE(p.wait_for("1. Agenda", 5 * kSecond)) << "back in the main menu: " << p.screen_text();
  EXPECT_FALSE(p.board.halted());
}

TEST(AddressBook, WholeImageTransactionsHaveTheDevicesLayout) {
  Phone p;
  p.run(1100 * kMillisecond);
  Agenda a(p);
  p.writes.clear();
  a.add("Ana", "1", "Contacto anadido. ");
  // The store: 32 page writes, each START with the device byte, the page's
  // word address, 16 data bytes, STOP.
  std::vector<uint32_t> data;  // IICDS writes from the first store START on
  bool storing = false;
  int starts = 0;
  for (const Write& w : p.writes) {
    if (w.address == 0x01D60004 && w.value == 0xF0) {
      ++starts;
      storing = true;
    }
    if (storing && w.address == 0x01D6000C) data.push_back(w.value);
  }
  // The first entry loads the image (one START in master transmit), then the
  // store makes 32 more.
  ASSERT_EQ(starts, 33);
  ASSERT_GE(data.size(), 32u * 18u);
  std::vector<uint32_t> store(data.end() - 32 * 18, data.end());
  for (int page = 0; page < 32; ++page) {
    EXPECT_EQ(store[18 * page], page < 16 ? 0xA0u : 0xA2u) << "page " << page;
    EXPECT_EQ(store[18 * page + 1], static_cast<uint32_t>((page & 15) << 4)) << "page " << page;
  }
  EXPECT_EQ(store[2], static_cast<uint32_t>('A'));
}

// Sets the clock through the firmware's own driver.
void set_clock(Phone& p, int sec, int min, int hour, int mday, int mon, int year) {
  const uint32_t scratch = 0x0C600000;
  uint8_t f[7] = {uint8_t(sec), uint8_t(min), uint8_t(hour), uint8_t(mday), 1, uint8_t(mon), uint8_t(year)};
  for (int i = 0; i < 7; ++i) p.board.ram().write8(scratch + i, f[i]);
  std::string error;
  ASSERT_TRUE(p.board.call("rtc_puttime", {scratch}, nullptr, sim::kSecond, &error)) << error;
}

TEST(DateTime, DateEditorWrapsEachFieldAndKeepsTheTimeOfDayRunning) {
  Phone p;
  p.run(1100 * kMillisecond);
  set_clock(p, 0, 59, 23, 31, 12, 98);
  p.key(1);  // "2. Fecha y Hora"
  ASSERT_TRUE(p.wait_for("1. Cambiar fecha")) << p.screen_text();
  p.key(0);
  ASSERT_TRUE(p.wait_for("31/12/98")) << p.screen_text();
  for (int field = 0; field < 3; ++field) {
    p.button(0x40);
    p.button(0x80);
  }
  p.run(500 * kMillisecond);
  auto t = p.board.rtc().time();
  EXPECT_EQ(t.mday, 1);
  EXPECT_EQ(t.mon, 1);
  EXPECT_EQ(t.year, 0);
  // The clock went on while the date was edited.
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.min, 59);
  EXPECT_GE(t.sec, 1);

  set_clock(p, 10, 0, 12, 31, 1, 13);
  p.key(1);
  p.key(0);
  ASSERT_TRUE(p.wait_for("31/1/13")) << p.screen_text();
  p.button(0x80);  // day 31 as it is
  p.button(0x40);  // January -> February
  p.button(0x80);
  p.button(0x80);
  p.run(500 * kMillisecond);
  t = p.board.rtc().time();
  EXPECT_EQ(t.mday, 31);
  EXPECT_EQ(t.mon, 2);
  EXPECT_EQ(t.year, 13);
}

TEST(DateTime, TimeEditorWrapsTheHourAndLeavesTheDate) {
  Phone p;
  p.run(1100 * kMillisecond);
  set_clock(p, 30, 59, 23, 15, 6, 20);
  p.key(1);
  p.key(1);  // "2. Cambiar hora"
  ASSERT_TRUE(p.wait_for("23:59:3")) << p.screen_text();
  p.button(0x40);  // 23 -> 0
  p.button(0x80);
  p.button(0x80);
  p.button(0x80);
  p.run(200 * kMillisecond);
  auto t = p.board.rtc().time();
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.min, 59);
  EXPECT_EQ(t.mday, 15);
  EXPECT_EQ(t.mon, 6);
  EXPECT_EQ(t.year, 20);
}

TEST(DateTime, OtherMenuKeysRedrawTheMenuAndBackLeaves) {
  Phone p;
  p.run(1100 * kMillisecond);
  p.key(1);
  ASSERT_TRUE(p.wait_for("2. Cambiar hora"));
  for (int key : {2, 5, 14}) {
    p.key(key);
    EXPECT_TRUE(p.shows("1. Cambiar fecha")) << "after key " << key << ": " << p.screen_text();
  }
  p.key(15);
  EXPECT_TRUE(p.wait_for("2. Fecha y Hora")) << p.screen_text();
  EXPECT_FALSE(p.shows("1. Cambiar fecha"));
}

}  // namespace
}  // namespace phone_test
