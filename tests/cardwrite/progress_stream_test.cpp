#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/cardwrite/child_process.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

std::string Text(const std::string& path) {
  const auto bytes = velwin::testing::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

using velwin::testing::ChildProcess;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

std::uint64_t Member(const std::string& line, const std::string& name) {
  std::smatch found;
  const std::regex member("\"" + name + "\":([0-9]+)");
  return std::regex_search(line, found, member) ? std::stoull(found[1]) : 0;
}

// velwin-cli card write as the window runs it: progress as JSON lines on
// stdout, stopped through its input.
class ProgressStream : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = Pattern(2048 * 1024, 3);
    PutHeader(old_, 0, "OLDGAME", 0x06, 0x02);
    image_ = Pattern(2048 * 1024, 9);
    PutHeader(image_, 0, "NEWGAME", 0x06, 0x02);
    rom_ = files_.Write("card.gb", old_);
    imagePath_ = files_.Write("new.gb", image_);
    backups_ = files_.File("my backups");
  }
  ChildProcess Start() {
    return ChildProcess({VELWIN_CLI_PATH, "card", "write", "--port", "sim:card=16,rom=" + rom_,
                         "--progress-stream", "--backup-dir", backups_, "--", imagePath_},
                        files_.File("stderr.txt"));
  }
  std::vector<std::filesystem::path> Backups() const {
    std::vector<std::filesystem::path> found;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(backups_, ignored))
      found.push_back(entry.path());
    return found;
  }

  TempDir files_;
  std::vector<std::uint8_t> old_;
  std::vector<std::uint8_t> image_;
  std::string rom_;
  std::string imagePath_;
  std::string backups_;
};

TEST_F(ProgressStream, ReportsEveryPhaseInOrderAndEndsWithTheResult) {
  ChildProcess cli = Start();
  std::vector<std::string> lines;
  for (std::string line; cli.ReadLine(line);)
    lines.push_back(line);
  EXPECT_EQ(cli.Wait(), 0);
  ASSERT_GT(lines.size(), 10u);
  std::vector<std::string> phases;
  double shown = 0.0;
  std::string saved;
  for (const std::string& line : lines) {
    ASSERT_TRUE(line.front() == '{' && line.back() == '}') << line;
    std::smatch phase;
    if (std::regex_search(line, phase, std::regex("\"phase\":\"([a-z-]+)\""))) {
      if (phases.empty() || phases.back() != phase[1])
        phases.push_back(phase[1]);
      const double fraction = static_cast<double>(Member(line, "workDone")) /
                              static_cast<double>(Member(line, "workToDo"));
      // The total shrinks once the plan is known: the fraction only grows.
      EXPECT_GE(fraction + 1e-9, shown) << line;
      shown = std::max(shown, fraction);
    } else if (line.rfind("{\"log\":\"Old card contents saved to ", 0) == 0) {
      saved = line;
    }
  }
  EXPECT_EQ(phases.front(), "backing-up");
  EXPECT_NE(std::find(phases.begin(), phases.end(), "erasing"), phases.end());
  EXPECT_NE(std::find(phases.begin(), phases.end(), "programming"), phases.end());
  EXPECT_NE(std::find(phases.begin(), phases.end(), "verifying"), phases.end());
  EXPECT_NE(saved.find(backups_), std::string::npos) << saved;
  EXPECT_NE(lines.back().find("\"verified\":true"), std::string::npos) << lines.back();
  EXPECT_TRUE(ReadBytes(rom_) == image_);
  const auto backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_TRUE(ReadBytes(backups[0].string()) == old_);
}

// A "cancel" line, or the end of the input (the window gone), stops the
// write at its next bank; the result says so and the backup holds the card.
TEST_F(ProgressStream, StopsOnACancelLineOrTheEndOfItsInput) {
  for (const bool closeInput : {false, true}) {
    SCOPED_TRACE(closeInput ? "input closed" : "cancel line");
    files_.Write("card.gb", old_);
    std::filesystem::remove_all(backups_);
    ChildProcess cli = Start();
    std::string line;
    std::string last;
    bool asked = false;
    while (cli.ReadLine(line)) {
      if (!asked && line.find("\"phase\":\"programming\"") != std::string::npos) {
        asked = true;
        if (closeInput)
          cli.CloseInput();
        else
          cli.Write("cancel\n");
      }
      last = line;
    }
    EXPECT_EQ(cli.Wait(), 1);
    EXPECT_TRUE(asked);
    EXPECT_NE(last.find("\"error\":\"Cancelled\""), std::string::npos) << last;
    EXPECT_NE(last.find("\"verified\":false"), std::string::npos) << last;
    EXPECT_FALSE(ReadBytes(rom_) == image_) << "stopped before the end";
    const auto backups = Backups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(ReadBytes(backups[0].string()) == old_);
    const std::string said = Text(files_.File("stderr.txt"));
    EXPECT_NE(said.find("card write cancelled."), std::string::npos) << said;
  }
}

}  // namespace
}  // namespace velwin::sramman::testing
