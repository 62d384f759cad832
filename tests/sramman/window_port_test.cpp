#include <gtest/gtest.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QToolButton>
#include <memory>
#include <string>

#include "sram/sram_port.h"
#include "sramman/sram_manager_startup.h"
#include "tests/guisupport/qt_application.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// The window and a command-line job on one simulated card, as two velwins
// would meet on one X-Changer.
TEST(WindowPort, WaitsForAJobElsewhereHoldsThePortWhileOpenAndTraces) {
  gui::testing::EnsureQtApplication();
  TempDir config;
  TempDir dir;
  qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(config.Path().string()));
  const std::string trace = dir.File("window.trace");
  qputenv("VELWIN_TRACE", QByteArray::fromStdString(trace));
  const std::string port = "sim:card=16,rom=" + dir.Write("card.gb", Bytes(2048 * 1024, 0xFF));

  std::string error;
  auto job = OpenSramPort(port, error);
  ASSERT_TRUE(job) << error;
  const auto form = CreateSramManager(nullptr, QString::fromStdString(port));
  qunsetenv("VELWIN_TRACE");
  qunsetenv("VELWIN_CONFIG_DIR");
  form->Button3()->click();
  const std::string inUse = "The X-Changer on " + port + " is in use by another velwin (process " +
                            std::to_string(getpid()) + ").";
  EXPECT_EQ(form->Memo1()->toPlainText().toStdString(), "\u2022 " + inUse);

  job.reset();
  form->Button3()->click();
  const std::string log = form->Memo1()->toPlainText().toStdString();
  EXPECT_EQ(log.find("No X-Changer found"), std::string::npos) << log;
  EXPECT_EQ(log.find(inUse), std::string::npos) << log;
  // The open window keeps the port between its jobs.
  EXPECT_FALSE(OpenSramPort(port, error));

  // Closed, it lets go and leaves the trace of what it did.
  form->reject();
  EXPECT_TRUE(OpenSramPort(port, error)) << error;
  EXPECT_GT(ReadBytes(trace).size(), 1000u);
}

}  // namespace
}  // namespace velwin::sramman::testing
