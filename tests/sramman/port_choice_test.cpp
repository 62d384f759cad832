#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QToolButton>
#include <filesystem>
#include <string>
#include <vector>

#include "sram/sram_port.h"
#include "sramman/port_choices.h"
#include "sramman/port_menu.h"
#include "sramman/sram_manager_startup.h"
#include "tests/guisupport/qt_application.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::Bytes;
using velwin::testing::TempDir;

TEST(PortChoices, ListEachPpdevDeviceByNumberEachListedBaseAndTheDemo) {
  TempDir dev;
  for (const char* name : {"parport10", "parport1", "lp0", "parport0", "parportx"})
    dev.Write(name, "");
  TempDir sysctl;
  std::filesystem::create_directories(sysctl.Path() / "parport0");
  std::filesystem::create_directories(sysctl.Path() / "parport1");
  sysctl.Write("parport0/base-addr", "888\t1912\n");
  sysctl.Write("parport1/base-addr", "632\n");
  const std::string root = dev.Path().string();
  std::vector<std::string> listed;
  for (const PortChoice& choice : ListPortChoices(dev.Path(), sysctl.Path()))
    listed.push_back(choice.label + " = " + choice.description);
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "Automatic (ppdev) = ",
                        root + "/parport0 (ppdev) = ppdev:" + root + "/parport0",
                        root + "/parport1 (ppdev) = ppdev:" + root + "/parport1",
                        root + "/parport10 (ppdev) = ppdev:" + root + "/parport10",
                        "Direct at 0x278 = direct:0x278",
                        "Direct at 0x378 = direct:0x378",
                        "Demo card = demo",
                    }));
  // Without devices or the driver's list: direct, and the demo.
  TempDir empty;
  const auto bare = ListPortChoices(empty.Path(), empty.Path() / "missing");
  ASSERT_EQ(bare.size(), 2u);
  EXPECT_EQ(bare[0].label, "Automatic (direct)");
}

class PortMenuWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::testing::EnsureQtApplication();
    qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(files_.File("config")));
    qunsetenv("VELWIN_PORT");
  }
  void TearDown() override {
    qunsetenv("VELWIN_CONFIG_DIR");
    qunsetenv("VELWIN_PORT");
  }
  std::string SimPort() {
    return "sim:card=16,rom=" + files_.Write("card.gb", Bytes(2048 * 1024, 0xFF));
  }

  TempDir files_;
};

// The choice is kept, opens at the next start, and a change lets go of the
// port the window held.
TEST_F(PortMenuWindow, AChoiceIsKeptAndAChangeReleasesTheHeldPort) {
  const std::string sim = SimPort();
  SavePortChoice(sim);
  auto form = CreateSramManager(nullptr, QString());
  EXPECT_EQ(form->PortInUse(), sim);
  ASSERT_NE(form->Ports()->Entry(QString::fromStdString(sim)), nullptr) << "a saved port stays";
  EXPECT_TRUE(form->Ports()->Entry(QString::fromStdString(sim))->isChecked());
  form->Button3()->click();
  std::string error;
  EXPECT_FALSE(OpenSramPort(sim, error)) << "held by the window";

  form->Ports()->Entry(QStringLiteral("Demo card"))->trigger();
  EXPECT_TRUE(OpenSramPort(sim, error)) << error;
  EXPECT_TRUE(form->Memo1()->toPlainText().endsWith("Port: demo"));
  EXPECT_TRUE(form->ListingStale()) << "the list names the cart on the old port";
  form->Button3()->click();
  EXPECT_FALSE(form->ListingStale());
  EXPECT_GT(form->StringGrid1()->rowCount(), 1) << "the demo card's games";

  form.reset();
  const auto again = CreateSramManager(nullptr, QString());
  EXPECT_EQ(again->PortInUse(), "demo");
  EXPECT_TRUE(again->Ports()->Entry(QStringLiteral("Demo card"))->isChecked());
}

// VELWIN_PORT and the command line win, and the menu says which did.
TEST_F(PortMenuWindow, APortSetFromOutsideWinsAndTheMenuSaysSo) {
  SavePortChoice("demo");
  const std::string sim = SimPort();
  qputenv("VELWIN_PORT", QByteArray::fromStdString(sim));
  const auto fromEnvironment = CreateSramManager(nullptr, QString());
  EXPECT_EQ(fromEnvironment->PortInUse(), sim);
  const QString setBy = QString::fromStdString(sim + " (set by VELWIN_PORT)");
  ASSERT_NE(fromEnvironment->Ports()->Entry(setBy), nullptr);
  EXPECT_TRUE(fromEnvironment->Ports()->Entry(setBy)->isChecked());
  EXPECT_FALSE(fromEnvironment->Ports()->Entry(QStringLiteral("Demo card"))->isEnabled());
  // A job ending turns the commands back on, but not the fixed menu.
  fromEnvironment->Button3()->click();
  EXPECT_FALSE(fromEnvironment->Ports()->Entry(QStringLiteral("Demo card"))->isEnabled());

  const auto fromCommandLine = CreateSramManager(nullptr, QStringLiteral("demo"));
  EXPECT_EQ(fromCommandLine->PortInUse(), "demo");
  EXPECT_NE(fromCommandLine->Ports()->Entry(QStringLiteral("demo (set by the command line)")),
            nullptr);
}

}  // namespace
}  // namespace velwin::sramman::testing
