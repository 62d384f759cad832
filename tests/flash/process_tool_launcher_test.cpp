#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "mainwindow/flash/tool_launcher.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::flash {
namespace {

namespace fs = std::filesystem;

// A stand-in for the flashing tool: writes its argument count, arguments,
// working directory and the files it sees there into ../tool.log, renamed
// into place only when complete.
constexpr const char* kFakeTool =
    "#!/bin/sh\n"
    "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; pwd -P; ls; } > ../tool.log.part\n"
    "mv ../tool.log.part ../tool.log\n";

class ToolTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    dir_ = fs::canonical(dir_);
    std::ofstream(dir_ / "veltra") << kFakeTool;
    fs::permissions(dir_ / "veltra", fs::perms::owner_all);
    fs::create_directory(dir_ / "paldmi.tmp");
  }

  // The tool runs on its own; wait until it has left its log, for at most
  // a generous while (this is not a measurement of anything).
  std::string ToolLog() {
    const fs::path log = dir_ / "tool.log";
    for (int i = 0; i < 1000 && !fs::exists(log); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static bool NoChildLeft() {
    int status = 0;
    errno = 0;
    return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
  }
};

TEST_F(ToolTest, StartsTheToolInTheDirectoryWithTheLiteralPattern) {
  // A copy present, so a shell expanding the pattern would show.
  testing::WriteBytes(dir_ / "paldmi.tmp" / "0.stp", {1});
  const fs::path before = fs::current_path();
  ProcessToolLauncher().Start("../veltra", {"*.stp"}, (dir_ / "paldmi.tmp").string());
  EXPECT_EQ(fs::current_path(), before);
  EXPECT_TRUE(NoChildLeft());  // nothing for this process to reap, now or later
  EXPECT_EQ(ToolLog(), "1\n*.stp\n" + (dir_ / "paldmi.tmp").string() + "\n0.stp\n");
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(ToolTest, MissingToolIsPassedOverSilently) {
  ProcessToolLauncher().Start("../no-such-tool", {"*.stp"}, (dir_ / "paldmi.tmp").string());
  ProcessToolLauncher().Start("../veltra", {"*.stp"}, (dir_ / "missing-dir").string());
  EXPECT_TRUE(NoChildLeft());
}

// velwin-cli flash, in-process, on the real launcher and the fake tool.
class FlashCommandTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    fs::remove(dir_ / "paldmi.tmp");
    before_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(before_);
    ToolTest::TearDown();
  }

  int Run(const cli::Arguments& args) { return cli::RunFlashCommand(args, out_, err_); }

  fs::path before_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(FlashCommandTest, PrintsEachAnalysisAndStartsTheTool) {
  testing::WriteBytes(dir_ / "a.gb", testing::Bytes(1000, 0x11));
  testing::WriteBytes(dir_ / "b.gb", testing::Bytes(100, 0x22));
  EXPECT_EQ(Run({"a.gb", "b.gb"}), 0);
  EXPECT_EQ(out_.str(), "Accessing a.gb ...  OK\nAccessing b.gb ...  ERROR\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(fs::current_path(), dir_);
  EXPECT_EQ(ToolLog(), "1\n*.stp\n" + (dir_ / "paldmi.tmp").string() + "\n0.stp\n1.stp\n");
  EXPECT_EQ(testing::ReadBytes(dir_ / "paldmi.tmp" / "1.stp"), testing::Bytes(100, 0x22));
}

TEST_F(FlashCommandTest, FailureGoesToStandardErrorAndTheToolIsNotStarted) {
  testing::WriteBytes(dir_ / "a.gb", testing::Bytes(1000, 0x11));
  EXPECT_EQ(Run({"a.gb", "missing.gb"}), 1);
  EXPECT_EQ(out_.str(), "Accessing a.gb ...  OK\nAccessing missing.gb ...  ERROR\n");
  EXPECT_EQ(err_.str(), "File not found\n");
  EXPECT_TRUE(fs::exists(dir_ / "paldmi.tmp" / "0.stp"));
  EXPECT_TRUE(NoChildLeft());
  EXPECT_FALSE(fs::exists(dir_ / "tool.log"));
}

TEST_F(FlashCommandTest, NoRomOrAnUnknownOptionShowsUsage) {
  for (const cli::Arguments& args : {cli::Arguments{}, cli::Arguments{"--fast", "a.gb"}}) {
    out_.str("");
    err_.str("");
    EXPECT_EQ(Run(args), 2);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), "usage: velwin-cli flash ROM...\n");
  }
  EXPECT_FALSE(fs::exists(dir_ / "paldmi.tmp"));
}

TEST_F(FlashCommandTest, DoubleDashLetsARomNameBeginWithADash) {
  testing::WriteBytes(dir_ / "-x.gb", testing::Bytes(500, 0x33));
  EXPECT_EQ(Run({"--", "-x.gb"}), 0);
  EXPECT_EQ(out_.str(), "Accessing -x.gb ...  OK\n");
  EXPECT_EQ(testing::ReadBytes(dir_ / "paldmi.tmp" / "0.stp"), testing::Bytes(500, 0x33));
  EXPECT_EQ(ToolLog(), "1\n*.stp\n" + (dir_ / "paldmi.tmp").string() + "\n0.stp\n");
}

}  // namespace
}  // namespace velwin::flash
