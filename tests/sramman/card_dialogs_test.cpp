// What the SRAM manager's file dialogs are titled and propose, and what
// Escape does to a card job.
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "sramman/sram_manager_form.h"
#include "sramman/sram_port.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman {
namespace {

TEST(SramManagerDialogs, EachSaysWhatItIsForAndSaveMarkedProposesTheGamesName) {
  gui::testing::EnsureQtApplication();
  velwin::testing::TempDir config;
  qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(config.Path().string()));
  gui::testing::ScriptedFileDialogs dialogs;
  gui::testing::RecordingMessageBoxes messages;
  SramManagerParts parts;
  parts.dialogs = &dialogs;
  parts.messages = &messages;
  std::string error;
  parts.port = OpenSramPort("demo", error);
  TSRAMManForm form(nullptr, std::move(parts));
  form.Button3Click();
  form.StringGrid1()->selectRow(1);  // "Tidepool Tactics  ", padded by the menu

  for (int i = 0; i < 5; ++i)
    dialogs.QueueCancel();
  form.Button1()->click();  // Save Marked
  form.Button2()->click();  // Load Marked
  form.Card()->ReadAction()->trigger();
  form.Card()->CompareAction()->trigger();
  form.CardWrite()->Action()->trigger();
  const auto& asked = dialogs.Requests();
  ASSERT_EQ(asked.size(), 5u);
  EXPECT_EQ(asked[0].fileName, "Tidepool Tactics.sav");
  EXPECT_EQ(asked[1].fileName, "") << "a load opens an existing file";
  EXPECT_EQ(asked[2].title, "Read Card to File");
  EXPECT_EQ(asked[3].title, "Compare Card with File");
  EXPECT_EQ(asked[4].title, "Write File to Card");
  qunsetenv("VELWIN_CONFIG_DIR");
}

// Escape, which closes the window when it is idle, stops a card job at the
// next bank instead, and the window stays.
TEST(SramManagerDialogs, EscapeStopsARunningCardRead) {
  gui::testing::EnsureQtApplication();
  velwin::testing::TempDir files;
  qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(files.File("config")));
  gui::testing::ScriptedFileDialogs dialogs;
  gui::testing::RecordingMessageBoxes messages;
  SramManagerParts parts;
  parts.dialogs = &dialogs;
  parts.messages = &messages;
  std::string error;
  parts.port = OpenSramPort("demo", error);
  TSRAMManForm form(nullptr, std::move(parts));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

  dialogs.QueueAnswer({QString::fromStdString(files.File("card.gb"))});
  // Handled once the read lets the window's events in.
  QCoreApplication::postEvent(QApplication::focusWidget() ? QApplication::focusWidget() : &form,
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  form.Card()->ReadAction()->trigger();
  EXPECT_EQ(form.Memo1()->toPlainText().split('\n').last(), "\u2022 Cancelled; nothing written.");
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(std::filesystem::exists(files.File("card.gb")));

  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_FALSE(form.isVisible());
  qunsetenv("VELWIN_CONFIG_DIR");
}

}  // namespace
}  // namespace velwin::sramman
