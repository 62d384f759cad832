// The SRAM manager's log: the newest line in view, failures apart from
// what was found and done, and a port problem explained.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <string>

#include "sram/parallel_port_presence.h"
#include "sramman/sram_manager_startup.h"
#include "tests/sramman/sram_manager_window_fixture.h"

namespace velwin::sramman::testing {
namespace {

TEST_F(SramManagerWindow, LogScrollsToItsNewestLine) {
  const auto form = MakeForm();
  // Written while hidden, as the first line of a port problem is.
  for (int i = 0; i < 30; ++i)
    form->LogStatus("line " + std::to_string(i));
  form->show();
  QApplication::processEvents();
  EXPECT_TRUE(NewestLineVisible(*form));
  // An error that wraps past the bottom of the memo, then a short result.
  std::string error;
  for (int i = 0; i < 100; ++i)
    error += "err ";
  form->LogStatus(error);
  form->LogStatus("64kbit SRAM transferred to cart.");
  QApplication::processEvents();
  EXPECT_TRUE(NewestLineVisible(*form));
  form->hide();
}

TEST_F(SramManagerWindow, PortThatCannotBeOpenedIsExplainedInTheLog) {
  const auto form = CreateSramManager(nullptr, QStringLiteral("sim:rom=/nonexistent/cart.gb"));
  ASSERT_TRUE(form);
  const QStringList atStart = LogLines(*form);
  ASSERT_EQ(atStart.size(), 1);
  EXPECT_TRUE(atStart[0].startsWith(
      QStringLiteral("\u2022 Port \"sim:rom=/nonexistent/cart.gb\" could not be opened: ")));
  EXPECT_FALSE(atStart[0].contains("--demo")) << "the simulator needs no parallel port";
  if (!MachineHasParallelPort()) {
    const auto direct = CreateSramManager(nullptr, QStringLiteral("direct"));
    EXPECT_TRUE(LogLines(*direct)[0].endsWith(kNoParallelPortHint))
        << LogLines(*direct)[0].toStdString();
  }
  // Every analysis gives the reason again, after the line that it explains.
  for (int run = 0; run < 2; ++run) {
    form->Button3Click();
    EXPECT_EQ(LogLines(*form),
              QStringList({QStringLiteral("\u2022 No X-Changer found"), atStart[0]}));
  }
}

// A failure stands out from the lines of what was found and done, which
// keep the memo's lime.
TEST_F(SramManagerWindow, FailuresStandOutInTheLog) {
  const auto bold = [](const TSRAMManForm& form, int line) {
    const QTextBlock block = form.Memo1()->document()->findBlockByNumber(line);
    const QTextCharFormat format = block.begin().fragment().charFormat();
    return format.fontWeight() == QFont::Bold && format.foreground().color() != Qt::green;
  };
  const auto none = MakeForm("sim:lpt=none");
  none->Button3Click();
  ASSERT_EQ(LogLines(*none), QStringList({QStringLiteral("\u2022 No X-Changer found")}));
  EXPECT_TRUE(bold(*none, 0));

  const auto demo = MakeForm();
  demo->Button3Click();
  demo->StringGrid1()->selectRow(0);
  dialogs_.QueueAnswer({QString::fromStdString(files_.File("lantern.sav"))});
  demo->Button1Click();
  const QStringList lines = LogLines(*demo);
  ASSERT_EQ(lines.last(), QStringLiteral("\u2022 64kbit read from cart."))
      << lines.join('\n').toStdString();
  for (int i = 0; i < lines.size(); ++i)
    EXPECT_FALSE(bold(*demo, i)) << lines[i].toStdString();
  // The line after a failure is back to the memo's own colours.
  none->Button3Click();
  none->LogStatus("64kbit SRAM transferred to cart.");
  EXPECT_TRUE(bold(*none, 0));
  EXPECT_FALSE(bold(*none, 1));
}

}  // namespace
}  // namespace velwin::sramman::testing
