#include <gtest/gtest.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "sramman/link_job_bar.h"
#include "sramman/sram_manager_form.h"
#include "sramman/sram_port.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/sramman/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// "Write File to Card…" on a simulated 4 Mbit card holding one game.
TEST(CardWriteWindow, WritesOnlyOnceTheUserAgreedToWhatItOverwrites) {
  gui::testing::EnsureQtApplication();
  TempDir files;
  qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(files.File("config")));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(files.File("data")));
  auto old = Pattern(512 * 1024, 5);
  PutHeader(old, 0, "OLDGAME", 0x04, 0x02);
  const std::string romFile = files.Write("card.gb", old);
  auto image = Pattern(256 * 1024, 6);
  PutHeader(image, 0, "NEWGAME", 0x03, 0x02);
  const QString imageFile = QString::fromStdString(files.Write("new.gb", image));

  gui::testing::ScriptedFileDialogs dialogs;
  gui::testing::RecordingMessageBoxes messages;
  SramManagerParts parts;
  parts.dialogs = &dialogs;
  parts.messages = &messages;
  std::string error;
  parts.port = OpenSramPort("sim:card=4,rom=" + romFile, error);
  ASSERT_TRUE(parts.port) << error;
  xchanger::PortBackend& port = *parts.port;
  TSRAMManForm form(nullptr, std::move(parts));
  QString asked;
  bool agree = false;
  form.CardWrite()->SetConfirm([&](QWidget*, const QString& question) {
    asked = question;
    return agree;
  });
  const auto lastLog = [&form] { return form.Memo1()->toPlainText().split('\n').last(); };

  dialogs.QueueAnswer({imageFile});
  form.CardWrite()->Action()->trigger();
  EXPECT_TRUE(asked.startsWith("Write new.gb (262144 bytes) onto the 4 Mbit flash card?"))
      << asked.toStdString();
  EXPECT_TRUE(
      asked.contains("from 0x000000-0x03FFFF; the rest of the card stays as it is, with OLDGAME."))
      << asked.toStdString();
  std::string flushError;
  ASSERT_TRUE(port.Flush(flushError));
  EXPECT_TRUE(ReadBytes(romFile) == old) << "declined: nothing written";

  agree = true;
  dialogs.QueueAnswer({imageFile});
  // What the bar says while the job runs: its phase, the page in hand and
  // the time left, never moving back.
  QStringList shown;
  std::vector<int> values;
  QProgressBar* bar = form.JobBar()->Bar();
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
    if (bar->maximum() <= 1)
      return;  // the bar at rest, before and after the job
    shown.push_back(bar->text());
    values.push_back(value);
  });
  form.CardWrite()->Action()->trigger();
  EXPECT_EQ(lastLog(), "\u2022 Card verified: 262144 bytes.");
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_FALSE(
      shown.filter(QRegularExpression("^Backing up bank \\d+ of 32 \u00B7 \\d+:\\d\\d left$"))
          .isEmpty())
      << shown.join('\n').toStdString();
  EXPECT_FALSE(shown.filter(QRegularExpression("^Programming page \\d+ of \\d+ \u00B7 ")).isEmpty())
      << shown.join('\n').toStdString();
  EXPECT_FALSE(shown.filter(QRegularExpression("^Verifying page ")).isEmpty());
  ASSERT_TRUE(port.Flush(flushError));
  auto expected = old;
  std::copy(image.begin(), image.end(), expected.begin());
  EXPECT_TRUE(ReadBytes(romFile) == expected);
  EXPECT_TRUE(form.Card()->ReadAction()->isEnabled());
  qunsetenv("VELWIN_CONFIG_DIR");
  qunsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace velwin::sramman::testing
