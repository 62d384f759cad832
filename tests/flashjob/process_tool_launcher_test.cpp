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

#include "cli/flash_command.h"
#include "flashjob/process_tool_launcher.h"
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

TEST_F(ToolTest, ToolThatCannotStartComesBackAsTheSystemError) {
  std::ofstream(dir_ / "plain") << "not runnable\n";
  fs::permissions(dir_ / "plain", fs::perms::owner_read | fs::perms::owner_write);
  // Runnable by its permissions, but no format the system can execute: only
  // the failed exec itself can tell.
  std::ofstream(dir_ / "noformat") << "\x01\x02not a program\n";
  fs::permissions(dir_ / "noformat", fs::perms::owner_all);
  fs::create_directory(dir_ / "folder");
  struct Case {
    const char* program;
    const char* directory;
    int error;
  };
  const Case cases[] = {
      {"../no-such-tool", "paldmi.tmp", ENOENT}, {"../veltra", "missing-dir", ENOENT},
      {"../plain", "paldmi.tmp", EACCES},        {"../folder", "paldmi.tmp", EISDIR},
      {"../noformat", "paldmi.tmp", ENOEXEC},
  };
  for (const Case& c : cases) {
    const std::error_code error =
        ProcessToolLauncher().Start(c.program, {"*.stp"}, (dir_ / c.directory).string());
    EXPECT_EQ(error.value(), c.error) << c.program << " in " << c.directory;
  }
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
  const auto a = testing::RomImage(1000).Varied().WithLogo();
  const auto b = testing::RomImage(400).Varied().WithLogo();
  Write("a.gb", a);
  Write("b.gb", b);
  EXPECT_EQ(Run({"a.gb", "b.gb"}), 0);
  EXPECT_EQ(out_.str(), "Accessing a.gb ...  OK\nAccessing b.gb ...  OK\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(fs::current_path(), dir_);
  EXPECT_EQ(ToolLog(), "1\n*.stp\n" + (dir_ / "paldmi.tmp").string() + "\n0.stp\n1.stp\n");
  EXPECT_EQ(testing::ReadBytes(dir_ / "paldmi.tmp" / "1.stp"), b.Bytes());
}

TEST_F(FlashCommandTest, FailuresGoToStandardErrorWithExitStatusOne) {
  Write("a.gb", testing::RomImage(1000).Varied().WithLogo());
  Write("short.gb", testing::RomImage(100).Varied());
  struct Case {
    cli::Arguments args;
    const char* tool;  // what stands where the tool belongs
    std::string out;
    std::string err;
    bool copiesStay;
  };
  const Case cases[] = {
      {{"a.gb", "missing.gb"},
       "veltra",
       "Accessing a.gb ...  OK\nAccessing missing.gb ...  ERROR\n",
       "velwin-cli: missing.gb: File not found. VELTRA was not started; check the file or "
       "remove it from the list.\n",
       false},
      {{"a.gb", "short.gb"},
       "veltra",
       "Accessing a.gb ...  OK\nAccessing short.gb ...  ERROR\n",
       "velwin-cli: short.gb: File shorter than a Game Boy header. VELTRA was not started; "
       "check the file or remove it from the list.\n",
       false},
      {{"a.gb"},
       nullptr,
       "Accessing a.gb ...  OK\n",
       "velwin-cli: ../veltra: No such file or directory. Put the VELTRA tool next to the "
       "paldmi.tmp folder.\n",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    out_.str("");
    err_.str("");
    if (c.tool == nullptr)
      fs::remove(dir_ / "veltra");
    EXPECT_EQ(Run(c.args), 1);
    EXPECT_EQ(out_.str(), c.out);
    EXPECT_EQ(err_.str(), c.err);
    EXPECT_EQ(fs::exists(dir_ / "paldmi.tmp" / "0.stp"), c.copiesStay);
  }
  EXPECT_TRUE(NoChildLeft());
  EXPECT_FALSE(fs::exists(dir_ / "tool.log"));
}

TEST_F(FlashCommandTest, AFileErrorNamesTheFileItConcerns) {
  Write("a.gb", testing::RomImage(1000).Varied().WithLogo());
  Write("paldmi.tmp", testing::RomImage(10));  // a file where the scratch folder belongs
  EXPECT_EQ(Run({"a.gb"}), 1);
  EXPECT_EQ(err_.str(), "velwin-cli: ./paldmi.tmp: File access denied\n");
  EXPECT_EQ(fs::file_size(dir_ / "paldmi.tmp"), 10u);
}

TEST_F(FlashCommandTest, NoRomOrAnUnknownOptionShowsUsage) {
  for (const cli::Arguments& args : {cli::Arguments{}, cli::Arguments{"--fast", "a.gb"}}) {
    out_.str("");
    err_.str("");
    EXPECT_EQ(Run(args), 2);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), (args.empty() ? "" : "velwin-cli: --fast: Unknown option\n") +
                              std::string("usage: velwin-cli flash ROM...\n"));
  }
  EXPECT_FALSE(fs::exists(dir_ / "paldmi.tmp"));
}

TEST_F(FlashCommandTest, DoubleDashLetsARomNameBeginWithADash) {
  const auto rom = testing::RomImage(500).Varied().WithLogo();
  Write("-x.gb", rom);
  EXPECT_EQ(Run({"--", "-x.gb"}), 0);
  EXPECT_EQ(out_.str(), "Accessing -x.gb ...  OK\n");
  EXPECT_EQ(testing::ReadBytes(dir_ / "paldmi.tmp" / "0.stp"), rom.Bytes());
  EXPECT_EQ(ToolLog(), "1\n*.stp\n" + (dir_ / "paldmi.tmp").string() + "\n0.stp\n");
}

}  // namespace
}  // namespace velwin::flash
