#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "joblog/job_entry.h"
#include "joblog/job_log_file.h"
#include "joblog/job_recorder.h"
#include "tests/support/temp_dir.h"

namespace velwin::joblog {
namespace {

using velwin::testing::TempDir;

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(JobLogPath, FollowsTheStateFolderRules) {
  const auto env = [](const char* state, const char* home) {
    return [state, home](const char* name) -> const char* {
      return std::string(name) == "XDG_STATE_HOME" ? state
             : std::string(name) == "HOME"         ? home
                                                   : nullptr;
    };
  };
  EXPECT_EQ(JobLogPath(env("/s", "/h")), "/s/velwin/velwin.log");
  // A relative or empty XDG_STATE_HOME is to be ignored.
  EXPECT_EQ(JobLogPath(env("rel", "/h")), "/h/.local/state/velwin/velwin.log");
  EXPECT_EQ(JobLogPath(env("", "/h")), "/h/.local/state/velwin/velwin.log");
  EXPECT_EQ(JobLogPath(env(nullptr, "h")), "");
}

TEST(JobLogFile, AppendsAndStartsAfreshPastItsLimit) {
  const TempDir dir;
  const std::string path = dir.File("state/velwin/velwin.log");
  const std::string line(40, 'a');
  ASSERT_EQ(AppendToJobLog(path, line + "\n", 85), "");
  ASSERT_EQ(AppendToJobLog(path, line + "\n", 85), "");
  EXPECT_EQ(Contents(path), line + "\n" + line + "\n");
  // The third would pass 85 bytes: the first two move to velwin.log.1.
  ASSERT_EQ(AppendToJobLog(path, "new\n", 85), "");
  EXPECT_EQ(Contents(path), "new\n");
  EXPECT_EQ(Contents(path + ".1"), line + "\n" + line + "\n");
  // And the next rotation replaces that older log.
  ASSERT_EQ(AppendToJobLog(path, std::string(99, 'b') + "\n", 85), "");
  EXPECT_EQ(Contents(path + ".1"), "new\n");
}

TEST(JobLogFile, RefusesWhatIsNoFileToAppendTo) {
  const TempDir dir;
  // A folder, a file where the folder should be, and a link in its place.
  std::filesystem::create_directories(dir.File("folder/velwin.log"));
  EXPECT_NE(AppendToJobLog(dir.File("folder/velwin.log"), "x\n"), "");
  dir.Write("plain", "keep");
  EXPECT_NE(AppendToJobLog(dir.File("plain/velwin.log"), "x\n"), "");
  std::filesystem::create_symlink(dir.File("plain"), dir.File("link.log"));
  EXPECT_NE(AppendToJobLog(dir.File("link.log"), "x\n"), "");
  EXPECT_EQ(Contents(dir.File("plain")), "keep");
  EXPECT_NE(AppendToJobLog("", "x\n"), "");
  // A device that takes nothing.
  EXPECT_NE(AppendToJobLog("/dev/full", "x\n"), "");
}

TEST(JobEntry, OneLinePerLineWithNoWayToForgeAnother) {
  JobEntry entry;
  entry.job = "velwin-cli card read c.gb";
  entry.port = "demo";
  entry.lines = {{0, "first"}, {0, "evil\nend: done; card: x"}};
  entry.outcome = "done (exit 0)";
  const std::string text = JobEntryText(entry);
  std::istringstream lines(text);
  std::string line;
  std::vector<std::string> got;
  while (std::getline(lines, line))
    got.push_back(line.substr(20));  // after the date and time
  ASSERT_EQ(got.size(), 4u) << text;
  EXPECT_EQ(got[0], "start: velwin-cli card read c.gb; port: demo");
  EXPECT_EQ(got[1], "  first");
  EXPECT_EQ(got[2], "  evil?end: done; card: x");
  EXPECT_EQ(got[3], "end: done (exit 0); card: none identified");
}

TEST(JobRecorder, KeepsEachJobAndSaysOnceThatItCannot) {
  const TempDir dir;
  JobRecorder good(dir.File("velwin.log"));
  good.Begin("Analyse Cart", "demo");
  good.Line("Found X-Changer");
  good.SetCard("16 Mbit flash card");
  EXPECT_EQ(good.End("done"), "");
  good.Line("alone");  // outside a job: an entry of its own
  const std::string text = Contents(dir.File("velwin.log"));
  EXPECT_NE(text.find("start: Analyse Cart; port: demo\n"), std::string::npos) << text;
  EXPECT_NE(text.find("   Found X-Changer\n"), std::string::npos) << text;
  EXPECT_NE(text.find("end: done; card: 16 Mbit flash card\n"), std::string::npos) << text;
  EXPECT_NE(text.find("   alone\n"), std::string::npos) << text;

  dir.Write("file", "");
  JobRecorder bad(dir.File("file/velwin.log"));
  bad.Begin("one", "demo");
  EXPECT_NE(bad.End("done").find("could not be written"), std::string::npos);
  bad.Begin("two", "demo");
  EXPECT_EQ(bad.End("done"), "");
}

}  // namespace
}  // namespace velwin::joblog
