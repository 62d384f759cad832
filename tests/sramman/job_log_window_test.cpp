// The SRAM manager's jobs in the job log, and the log shown from the Card
// menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <fstream>
#include <sstream>
#include <string>

#include "sramman/job_log_viewer.h"
#include "tests/sramman/sram_manager_window_fixture.h"

namespace velwin::sramman::testing {
namespace {

std::string FileText(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

QAction* ShowLogAction(const TSRAMManForm& form) {
  for (QAction* action : form.Card()->Menu()->actions()) {
    if (action->text() == "Show Log")
      return action;
  }
  return nullptr;
}

TEST_F(SramManagerWindow, EachJobLeavesItsLinesInTheLogThatShowLogOpens) {
  const std::string log = files_.File("state/velwin/velwin.log");
  const auto form = MakeForm("demo", log);
  form->Button3Click();
  const QStringList memo = LogLines(*form);
  ASSERT_FALSE(memo.isEmpty());
  const std::string text = FileText(log);
  // The entry: its start with the port, every line of the status log
  // without its bullet, then the card and the outcome.
  const auto start = text.find(" start: SRAM manager: Analyse Cart; port: demo\n");
  ASSERT_NE(start, std::string::npos) << text;
  std::size_t at = start;
  for (const QString& line : memo) {
    at = text.find("   " + line.mid(2).toStdString() + "\n", at);
    ASSERT_NE(at, std::string::npos) << line.toStdString() << "\n" << text;
  }
  EXPECT_NE(text.find(" end: done; card: 16 Mbit flash card\n", at), std::string::npos) << text;

  QAction* showLog = ShowLogAction(*form);
  ASSERT_NE(showLog, nullptr);
  showLog->trigger();
  const auto* viewer = form->findChild<JobLogViewer*>();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(viewer->Text()->toPlainText().toStdString(), text);
  EXPECT_TRUE(viewer->Text()->isReadOnly());
}

TEST_F(SramManagerWindow, ALogThatCannotBeWrittenIsSaidOnceAndJobsGoOn) {
  const std::string blocker = files_.Write("state", "a file where the folder belongs");
  const auto form = MakeForm("demo", blocker + "/velwin/velwin.log");
  form->Button3Click();
  const QStringList first = LogLines(*form);
  ASSERT_GE(first.size(), 2);
  EXPECT_EQ(first[0], "\u2022 VELTRA - cart found.");
  EXPECT_TRUE(first.last().startsWith("\u2022 The job log could not be written ("))
      << first.last().toStdString();
  form->Button3Click();
  EXPECT_EQ(LogLines(*form), first.mid(0, first.size() - 1)) << "said once only";
  // The viewer says why there is nothing to show.
  ShowLogAction(*form)->trigger();
  EXPECT_TRUE(form->findChild<JobLogViewer*>()->Text()->toPlainText().startsWith(
      QString::fromStdString(blocker + "/velwin/velwin.log: ")));
}

TEST(JobLogViewerText, ShowsTheNewestWholeLinesOrWhyNot) {
  const velwin::testing::TempDir dir;
  EXPECT_TRUE(JobLogText(dir.File("none.log"), 100).startsWith("No job has been recorded yet"));
  EXPECT_TRUE(JobLogText(dir.Path().string(), 100).endsWith(": not a regular file"));
  const std::string log = dir.Write("velwin.log", "first line\nsecond\nthird\n");
  EXPECT_EQ(JobLogText(log, 100), "first line\nsecond\nthird\n");
  // Past the limit the view starts at the next whole line.
  EXPECT_EQ(JobLogText(log, 10), "third\n");
}

}  // namespace
}  // namespace velwin::sramman::testing
