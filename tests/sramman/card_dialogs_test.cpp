// What the SRAM manager's file dialogs are titled and propose, and what
// Escape does to a card job, on the demo card.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "sram/sram_port.h"
#include "sramman/sram_manager_form.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman {
namespace {

class SramManagerDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::testing::EnsureQtApplication();
    qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(files_.File("config")));
    SramManagerParts parts;
    parts.dialogs = &dialogs_;
    parts.messages = &messages_;
    std::string error;
    parts.port = OpenSramPort("demo", error);
    form_ = std::make_unique<TSRAMManForm>(nullptr, std::move(parts));
  }
  void TearDown() override {
    form_.reset();
    qunsetenv("VELWIN_CONFIG_DIR");
  }

  velwin::testing::TempDir files_;
  gui::testing::ScriptedFileDialogs dialogs_;
  gui::testing::RecordingMessageBoxes messages_;
  std::unique_ptr<TSRAMManForm> form_;
};

TEST_F(SramManagerDialogs, EachSaysWhatItIsForAndSaveMarkedProposesTheGamesName) {
  form_->Button3Click();
  form_->StringGrid1()->selectRow(1);  // "Tidepool Tactics  ", padded by the menu
  for (int i = 0; i < 5; ++i)
    dialogs_.QueueCancel();
  form_->Button1()->click();  // Save Marked
  form_->Button2()->click();  // Load Marked
  form_->Card()->ReadAction()->trigger();
  form_->Card()->CompareAction()->trigger();
  form_->CardWrite()->Action()->trigger();
  const auto& asked = dialogs_.Requests();
  ASSERT_EQ(asked.size(), 5u);
  EXPECT_EQ(asked[0].fileName, "Tidepool Tactics.sav");
  EXPECT_EQ(asked[1].fileName, "") << "a load opens an existing file";
  EXPECT_EQ(asked[2].title, "Read Card to File");
  EXPECT_EQ(asked[3].title, "Compare Card with File");
  EXPECT_EQ(asked[4].title, "Write File to Card");
}

// Escape is the window's close: while a card job runs it asks whether to
// stop the job, then stops it at the next bank and closes the window once
// the job has logged how it ended.
TEST_F(SramManagerDialogs, EscapeAsksToStopARunningCardRead) {
  QStringList asked;
  form_->SetCloseQuestion([&asked](QWidget*, const QString& question) {
    asked.append(question);
    return true;
  });
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  dialogs_.QueueAnswer({QString::fromStdString(files_.File("card.gb"))});
  // Handled once the read lets the window's events in.
  QWidget* focus = QApplication::focusWidget();
  QCoreApplication::postEvent(focus != nullptr ? focus : form_.get(),
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  form_->Card()->ReadAction()->trigger();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].startsWith("A job on the cart is still running.")) << asked[0].toStdString();
  EXPECT_EQ(form_->Memo1()->toPlainText().split('\n').last(), "\u2022 Cancelled; nothing written.");
  EXPECT_FALSE(std::filesystem::exists(files_.File("card.gb")));
  EXPECT_TRUE(QTest::qWaitFor([this] { return !form_->isVisible(); }));
}

}  // namespace
}  // namespace velwin::sramman
