#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "card/card_write_job.h"
#include "card/job_progress_text.h"
#include "cli/progress_line.h"
#include "tests/sram/sim_rig.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::Pattern;
using velwin::testing::Bytes;

constexpr std::size_t kKiB = 1024;

struct Report {
  JobPhase phase;
  std::string step;
  double fraction;
};

// Every report a write on the simulated 16 Mbit card makes, old contents
// all zero so that each sector the image reaches must be erased.
std::vector<Report> WriteReports(std::size_t imageBytes, bool backup, const std::string& folder) {
  sramman::testing::SimRig rig(
      sramman::testing::CartConfig(Bytes(2048 * kKiB, 0x00), xchanger::sim::FlashChip::k16Mbit));
  std::vector<Report> reports;
  JobControl control([&reports](const JobProgress& p) {
    reports.push_back({p.phase, JobStepText(p), p.Fraction()});
  });
  CardWriteOptions options;
  options.backup = backup;
  options.backupFolder = folder;
  const CardWriteResult result = WriteCard(rig.cart, rig.sim.Clock(), Pattern(imageBytes, 7),
                                           options, control, [](const std::string&) {});
  EXPECT_TRUE(result.outcome.Ok()) << result.outcome.message;
  return reports;
}

// The phases in the order the reports name them, each run of one phase
// given once.
std::vector<JobPhase> PhasesInOrder(const std::vector<Report>& reports) {
  std::vector<JobPhase> phases;
  for (const Report& r : reports) {
    if (phases.empty() || phases.back() != r.phase)
      phases.push_back(r.phase);
  }
  return phases;
}

TEST(WriteProgress, NamesEveryPhaseInOrderAndNeverGoesBack) {
  velwin::testing::TempDir dir;
  // Two sectors: read (for the backup), then each sector erased,
  // programmed and read back.
  const std::vector<Report> reports = WriteReports(256 * kKiB, true, dir.File("backups"));
  using P = JobPhase;
  EXPECT_EQ(PhasesInOrder(reports),
            (std::vector<P>{P::kBackingUp, P::kErasing, P::kProgramming, P::kVerifying, P::kErasing,
                            P::kProgramming, P::kVerifying}));
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front().step, "Backing up bank 1 of 128");
  const auto erase = std::find_if(reports.begin(), reports.end(),
                                  [](const Report& r) { return r.phase == P::kErasing; });
  ASSERT_NE(erase, reports.end());
  EXPECT_EQ(erase->step, "Erasing sector 1 of 2");
  EXPECT_EQ(reports.back().step, "Verifying sector 2 of 2");
  // Weighted by time, a whole-card read is the smaller part of programming
  // 2,048 pages of 3 ms each.
  EXPECT_LT(erase->fraction, 0.5);
  for (std::size_t i = 1; i < reports.size(); ++i)
    ASSERT_GE(reports[i].fraction, reports[i - 1].fraction) << i << " " << reports[i].step;
  EXPECT_LT(reports.back().fraction, 1.0) << "100% before the last sector is read back";

  // Without a backup only the sectors the image reaches are read.
  const std::vector<Report> plain = WriteReports(100 * kKiB, false, dir.File("none"));
  ASSERT_FALSE(plain.empty());
  EXPECT_EQ(plain.front().step, "Reading bank 1 of 8");
  EXPECT_EQ(PhasesInOrder(plain),
            (std::vector<P>{P::kReading, P::kErasing, P::kProgramming, P::kVerifying}));
}

// The line says the step, the percent and the time left, and keeps the
// percent where it was when a report would take it back.
TEST(WriteProgress, TheTerminalLineNeverShowsLessThanBefore) {
  std::ostringstream err;
  cli::ProgressLine line(err, true);
  JobProgress progress;
  progress.phase = JobPhase::kErasing;
  progress.unit = 5;
  progress.unitCount = 16;
  progress.unitName = "sector";
  progress.workDone = 40;
  progress.workToDo = 100;
  EXPECT_EQ(line.Text(progress, 20.0), "Erasing sector 5 of 16  40%  0:30 left");
  progress.workDone = 30;
  EXPECT_EQ(line.Text(progress, 22.0), "Erasing sector 5 of 16  40%  0:33 left");
}

}  // namespace
}  // namespace velwin::card::testing
