// The collision and input rules of the files one run names (RunFiles).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "frontends/run_files.h"

namespace sim {
namespace {

struct RunFilesTest : ::testing::Test {
  RunFilesTest() {
    std::string tmpl = ::testing::TempDir() + "run-files-XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    std::ofstream(dir + "/fw.elf") << "ELF";
    std::ofstream(dir + "/in.txt") << "typed";
    ::mkdir((dir + "/sub").c_str(), 0755);
  }
  ~RunFilesTest() override { std::filesystem::remove_all(dir); }
  std::string dir;
};

TEST_F(RunFilesTest, OutputsMayNotNameAnInputOrAnotherOutput) {
  ASSERT_EQ(::symlink("fw.elf", (dir + "/link.elf").c_str()), 0);
  ASSERT_EQ(::symlink("new.out", (dir + "/dangling").c_str()), 0);
  const std::string d = dir;
  struct Case {
    std::string out_a, out_b;  // out_b empty: only out_a
    std::string input;         // an input besides the firmware, or empty
    bool ok;
  } cases[] = {
      {d + "/fw.elf", "", "", false},                  // the firmware itself
      {d + "/./fw.elf", "", "", false},                // another spelling
      {d + "/sub/../fw.elf", "", "", false},
      {d + "/link.elf", "", "", false},                // a symlink to it
      {d + "/in.txt", "", d + "/in.txt", false},       // an input
      {d + "/a.out", d + "/./a.out", "", false},       // two outputs, one file still to come
      {d + "/dangling", d + "/new.out", "", false},    // a link to a file still to come
      {d + "/a.out", d + "/b.out", "", true},
      {"/dev/null", "/dev/null", "", true},            // devices are exempt
      {d + "/a.out", "", d + "/in.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out_a + " / " + c.out_b + " / " + c.input);
    RunFiles files;
    files.input("firmware", d + "/fw.elf", 1 << 20);
    files.input("--uart-in", c.input, 1 << 20);
    files.output("--uart-out", c.out_a);
    files.output("--trace", c.out_b);
    std::string error;
    EXPECT_EQ(files.check(&error), c.ok) << error;
    if (!c.ok) {
      EXPECT_NE(error.find("is the same file as"), std::string::npos) << error;
    }
  }
}

TEST_F(RunFilesTest, InputsAreRegularFilesWithinTheirLimit) {
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    uint64_t limit;
    const char* why;  // empty: accepted
  } cases[] = {
      {dir + "/in.txt", 5, ""},
      {dir + "/in.txt", 4, "more than the 4 bytes"},
      {dir + "/sub", 100, "is a directory"},
      {dir + "/fifo", 100, "is a FIFO"},
      {"/dev/zero", 100, "is a device"},
      {dir + "/missing", 100, "No such file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    RunFiles files;
    files.input("--uart-in", c.path, c.limit);
    std::string error;
    EXPECT_EQ(files.check(&error), !*c.why) << error;
    if (*c.why) {
      EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
    std::vector<uint8_t> bytes;
    error.clear();
    EXPECT_EQ(read_regular_file(c.path, c.limit, &bytes, &error), !*c.why) << error;
  }
}

TEST_F(RunFilesTest, OutputsAreCheckedWhereTheyWouldBeWritten) {
  std::ofstream(dir + "/ro.png") << "old";
  ASSERT_EQ(::chmod((dir + "/ro.png").c_str(), 0444), 0);
  const struct {
    std::string path;
    const char* why;
  } cases[] = {
      {dir + "/new.png", ""},
      {dir + "/no/such/dir/x.png", "does not exist"},
      {dir + "/sub", "is a directory"},
      {dir + "/ro.png", "is read-only"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    RunFiles files;
    files.output("--screenshot", c.path);
    std::string error;
    EXPECT_EQ(files.check(&error), !*c.why) << error;
    if (*c.why) {
      EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/new.png")) << "checking writes nothing";
}

}  // namespace
}  // namespace sim
