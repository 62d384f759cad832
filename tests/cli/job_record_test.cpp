// The job log as velwin-cli's card and SRAM commands leave it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "cli/card_command.h"
#include "cli/job_record.h"
#include "cli/sram_command.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::cli {
namespace {

using velwin::testing::TempDir;

struct JobRun {
  int status;
  std::string out;
  std::string err;
};

JobRun Recorded(const std::string& command, const Arguments& args, const std::string& log) {
  std::ostringstream out;
  std::ostringstream err;
  const RecordedCommand run =
      command == "card" ? RecordedCommand(RunCardCommand) : RecordedCommand(RunSramCommand);
  const int status = RunRecorded(command, args, out, err, log, run);
  return {status, out.str(), err.str()};
}

// The log's lines without their date and time.
std::string LogText(const std::string& path) {
  std::ifstream file(path);
  std::string text;
  for (std::string line; std::getline(file, line);) {
    EXPECT_TRUE(
        std::regex_match(line.substr(0, 20), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )")))
        << line;
    text += line.substr(20) + '\n';
  }
  return text;
}

TEST(JobRecord, EachCardAndSramJobLeavesItsLinesPortCardAndOutcome) {
  const TempDir dir;
  const std::string log = dir.File("state/velwin/velwin.log");
  const std::string card = dir.Write("card.gb", sramman::testing::Pattern(2 << 20, 5));
  const std::string port = "sim:card=16,rom=" + card;
  const std::string image = dir.Write("image.gb", sramman::testing::Pattern(1 << 19, 9));

  const JobRun readRun = Recorded("card", {"read", "--port", port, dir.File("copy.gb")}, log);
  ASSERT_EQ(readRun.status, 0) << readRun.err;
  const JobRun writeRun = Recorded("card", {"write", "--no-backup", "--port", port, image}, log);
  ASSERT_EQ(writeRun.status, 0) << writeRun.err;
  // A finished write says how long it took, after the words scripts match.
  EXPECT_TRUE(std::regex_match(
      writeRun.out,
      std::regex(
          R"((Time: up to about [^\n]*\n)?Card verified: 524288 bytes\. Written in \d+:\d\d\.\n)")))
      << writeRun.out;
  const JobRun analyse = Recorded("sram", {"analyse", "--port", "demo"}, log);
  ASSERT_EQ(analyse.status, 0) << analyse.err;
  const JobRun refused = Recorded("card", {"read", "--port", "nowhere", dir.File("x.gb")}, log);
  EXPECT_EQ(refused.status, 1);
  // Bad words are no job.
  EXPECT_EQ(Recorded("card", {"read", "--bogus"}, log).status, 2);

  const std::string text = LogText(log);
  const std::string expectedRead = "start: velwin-cli card read --port " + port + " " +
                                   dir.File("copy.gb") + "; port: " + port + "\n  " + readRun.out +
                                   "end: done (exit 0); card: 16 Mbit flash card\n";
  EXPECT_EQ(text.substr(0, expectedRead.size()), expectedRead);
  EXPECT_NE(text.find("  Card verified: 524288 bytes. Written in "), std::string::npos) << text;
  EXPECT_NE(text.find("start: velwin-cli sram analyse --port demo; port: demo\n"
                      "  \u2022 VELTRA - cart found.\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("port: nowhere\n  velwin-cli: port \"nowhere\" could not be opened"),
            std::string::npos)
      << text;
  EXPECT_TRUE(text.ends_with("end: failed (exit 1); card: none identified\n")) << text;
  EXPECT_EQ(text.find("--bogus"), std::string::npos);
}

// The objects of --progress-stream are what a terminal's redrawn progress
// line is: they leave nothing; its log lines and result stay.
TEST(JobRecord, ProgressObjectsLeaveNothing) {
  const TempDir dir;
  const std::string log = dir.File("velwin.log");
  std::ostringstream out;
  std::ostringstream err;
  const auto streamed = [](const Arguments&, std::ostream& to, std::ostream&) {
    to << "{\"phase\":\"erasing\",\"unit\":1}\n{\"log\":\"Unlocked\"}\n"
       << "{\"phase\":\"programming\",\"unit\":1}\n{\"verified\":true}\n";
    return 0;
  };
  ASSERT_EQ(RunRecorded("card", {"write", "--progress-stream"}, out, err, log, streamed), 0);
  const std::string text = LogText(log);
  EXPECT_EQ(text.find("phase"), std::string::npos) << text;
  EXPECT_NE(text.find("  {\"log\":\"Unlocked\"}\n  {\"verified\":true}\n"), std::string::npos)
      << text;
}

TEST(JobRecord, ALogThatCannotBeWrittenIsSaidOnceAndTheJobStands) {
  const TempDir dir;
  const std::string blocker = dir.Write("state", "a file where the folder belongs");
  const JobRun run =
      Recorded("sram", {"analyse", "--port", "demo"}, blocker + "/velwin/velwin.log");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("VELTRA - cart found."), std::string::npos);
  const std::string said = "velwin-cli: the job log could not be written (";
  EXPECT_EQ(run.err.find(said), 0u) << run.err;
  EXPECT_EQ(run.err.find(said, 1), std::string::npos) << run.err;
  EXPECT_TRUE(run.err.ends_with("); the job went on without it.\n")) << run.err;
}

}  // namespace
}  // namespace velwin::cli
