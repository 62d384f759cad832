#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sram/sram_port.h"
#include "sramman/backup_restore_dialog.h"
#include "sramman/link_job_bar.h"
#include "sramman/sram_manager_form.h"
#include "tests/cardwrite/card_write_window_fixture.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// "Write File to Card…" on a simulated 4 Mbit card holding one game.
TEST_F(CardWriteJobs, WritesOnlyOnceTheUserAgreedToWhatItOverwrites) {
  auto old = Pattern(512 * 1024, 5);
  PutHeader(old, 0, "OLDGAME", 0x04, 0x02);
  Open("4", old);
  auto image = Pattern(256 * 1024, 6);
  PutHeader(image, 0, "NEWGAME", 0x03, 0x02);
  const std::string imageFile = files_.Write("new.gb", image);

  WriteImage(imageFile, false);
  ASSERT_EQ(asked_.size(), 1);
  EXPECT_TRUE(asked_[0].startsWith("Write new.gb (262144 bytes) onto the 4 Mbit flash card?"))
      << asked_[0].toStdString();
  EXPECT_TRUE(
      asked_[0].contains("\n\nThe write covers 0x000000-0x03FFFF of the card; the rest stays "
                         "as it is.\nThis write overwrites OLDGAME.\nTime: up to about "))
      << asked_[0].toStdString();
  EXPECT_TRUE(CardNow() == old) << "declined: nothing written";

  // What the bar says while the job runs: its phase, the page in hand and
  // the time left, never moving back.
  QStringList shown;
  std::vector<int> values;
  QProgressBar* bar = form_->JobBar()->Bar();
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
    if (bar->maximum() <= 1)
      return;  // the bar at rest, before and after the job
    shown.push_back(bar->text());
    values.push_back(value);
  });
  WriteImage(imageFile, true);
  EXPECT_TRUE(LastLog().startsWith("\u2022 Card verified: 262144 bytes. Written in "))
      << LastLog().toStdString();
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_FALSE(
      shown.filter(QRegularExpression("^Backing up bank \\d+ of 32 \u00B7 \\d+:\\d\\d left$"))
          .isEmpty())
      << shown.join('\n').toStdString();
  EXPECT_FALSE(shown.filter(QRegularExpression("^Programming page \\d+ of \\d+ \u00B7 ")).isEmpty())
      << shown.join('\n').toStdString();
  EXPECT_FALSE(shown.filter(QRegularExpression("^Verifying page ")).isEmpty());
  auto expected = old;
  std::copy(image.begin(), image.end(), expected.begin());
  EXPECT_TRUE(ReadBytes(romFile_) == expected) << "the card's file holds what was verified";
  EXPECT_TRUE(form_->Card()->ReadAction()->isEnabled());
}

TEST_F(CardWriteJobs, RestoreWritesAKeptCardBackWithTheUsualQuestionAndBackup) {
  auto old = Pattern(512 * 1024, 5);
  PutHeader(old, 0, "OLDGAME", 0x04, 0x02);
  Open("4", old);
  QString summary;
  form_->CardWrite()->SetRestoreListDriver(
      [&summary](BackupRestoreDialog& list) { summary = list.Summary()->text(); });
  form_->CardWrite()->RestoreAction()->trigger();
  EXPECT_EQ(summary, "No card backups yet in " + QString::fromStdString(backupFolder_) + ".");
  EXPECT_TRUE(dialogs_.Requests().empty());

  auto image = Pattern(512 * 1024, 6);
  PutHeader(image, 0, "NEWGAME", 0x04, 0x02);
  WriteImage(files_.Write("new.gb", image), true);
  ASSERT_EQ(CardNow(), image);
  ASSERT_EQ(Backups().size(), 1u);
  const std::filesystem::path backup = Backups()[0];

  agree_ = true;
  // "Other File…" still opens a file from anywhere, starting in the folder.
  form_->CardWrite()->SetRestoreListDriver(
      [](BackupRestoreDialog& list) { list.OtherFileButton()->click(); });
  dialogs_.QueueAnswer({QString::fromStdString(backup.string())});
  form_->CardWrite()->RestoreAction()->trigger();
  const gui::FileDialogRequest& request = dialogs_.Requests().back();
  EXPECT_EQ(request.initialDirectory, QString::fromStdString(backupFolder_));
  EXPECT_TRUE(request.fileMustExist);
  EXPECT_TRUE(asked_.last().startsWith("Write " + QString::fromStdString(backup.filename()) +
                                       " (524288 bytes) onto the 4 Mbit flash card?"))
      << asked_.last().toStdString();
  EXPECT_TRUE(
      asked_.last().contains("This overwrites the whole card (0x000000-0x07FFFF).\nThe "
                             "backup holds: OLDGAME; the card now holds: NEWGAME.\n"))
      << asked_.last().toStdString();
  EXPECT_TRUE(LastLog().startsWith("\u2022 Card verified: 524288 bytes. Written in "))
      << LastLog().toStdString();
  EXPECT_EQ(CardNow(), old);
  // The card the restore replaced is kept as well, beside the first.
  ASSERT_EQ(Backups().size(), 2u);
  EXPECT_EQ(ReadBytes(backup), old);
  EXPECT_EQ(ReadBytes(Backups()[0] == backup ? Backups()[1] : Backups()[0]), image);
}

// A card whose file cannot take the image is not called verified: the
// window might never write it, and the user would trust a file that lies.
TEST_F(CardWriteJobs, ACardWhoseFileCannotBeWrittenBackIsNotVerified) {
  Open("4", Pattern(512 * 1024, 5));
  // The window holds the card from its first job on.
  WriteImage(files_.Write("first.gb", Pattern(64 * 1024, 6)), true);
  ASSERT_TRUE(LastLog().startsWith("\u2022 Card verified: 65536 bytes. Written in "))
      << LastLog().toStdString();
  std::filesystem::remove(romFile_);
  std::filesystem::create_directory(romFile_);
  WriteImage(files_.Write("second.gb", Pattern(64 * 1024, 7)), true);
  EXPECT_FALSE(LastLog().contains("Card verified"));
  EXPECT_TRUE(LastLog().contains("The backup ")) << LastLog().toStdString();
}

// Closing the window once the backup is saved: the question says what
// stopping leaves; No lets the write finish, Yes stops it and the window
// closes when it has.
TEST_F(CardWriteJobs, ClosingDuringAWriteAsksAndSaysWhatStoppingLeaves) {
  const auto old = Pattern(512 * 1024, 5);
  Open("4", old);
  const auto image = Pattern(512 * 1024, 6);
  const std::string imageFile = files_.Write("image.gb", image);
  QStringList closeAsked;
  bool stop = false;
  form_->SetCloseQuestion([&](QWidget*, const QString& question) {
    closeAsked.append(question);
    return stop;
  });
  const auto closeOnceBackedUp = [this](QTimer& poll) {
    poll.setInterval(0);
    const int before = form_->Memo1()->toPlainText().count("Old card contents saved to");
    QObject::connect(&poll, &QTimer::timeout, form_.get(), [this, &poll, before] {
      if (form_->Memo1()->toPlainText().count("Old card contents saved to") > before) {
        poll.stop();
        form_->reject();
      }
    });
    poll.start();
  };

  form_->show();
  {
    QTimer poll;
    closeOnceBackedUp(poll);
    WriteImage(imageFile, true);
  }
  ASSERT_EQ(closeAsked.size(), 1);
  EXPECT_TRUE(
      closeAsked[0].contains("may leave the card part written; the window then offers Restore "
                             "Now, which writes back the backup named in the log"))
      << closeAsked[0].toStdString();
  EXPECT_TRUE(LastLog().startsWith("\u2022 Card verified: 524288 bytes. Written in "))
      << LastLog().toStdString();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(CardNow(), image);

  stop = true;
  {
    QTimer poll;
    closeOnceBackedUp(poll);
    WriteImage(files_.Write("old.gb", old), true);
  }
  ASSERT_EQ(closeAsked.size(), 2);
  EXPECT_TRUE(LastLog().startsWith("\u2022 Cancelled. ")) << LastLog().toStdString();
  EXPECT_TRUE(LastLog().endsWith(" holds the card as it was.")) << LastLog().toStdString();
  EXPECT_NE(CardNow(), old) << "stopped before the card was whole again";
  QCoreApplication::processEvents();
  EXPECT_FALSE(form_->isVisible());

  // A close while the card is still being identified: the write never
  // starts, and its question is not asked.
  form_->show();
  const Bytes before = CardNow();
  const qsizetype questions = asked_.size();
  QTimer::singleShot(0, form_.get(), [this] { form_->reject(); });
  WriteImage(imageFile, true);
  ASSERT_EQ(closeAsked.size(), 3);
  EXPECT_TRUE(closeAsked[2].contains("Nothing on the card has changed yet"));
  EXPECT_EQ(asked_.size(), questions);
  EXPECT_EQ(CardNow(), before);
  QCoreApplication::processEvents();
  EXPECT_FALSE(form_->isVisible());
}

// The time left counts the job's own pace: a question that the user
// answers slowly holds the job, and adds nothing to what is left.
TEST_F(CardWriteJobs, TimeLeftLeavesOutTheWaitForAnAnswer) {
  Open("4", Pattern(512 * 1024, 5));
  constexpr int kAnswerSeconds = 4;
  bool asked = false;
  form_->SetCloseQuestion([&](QWidget*, const QString&) {
    asked = true;
    std::this_thread::sleep_for(std::chrono::seconds(kAnswerSeconds));
    return false;  // let the write go on
  });
  QStringList afterAnswer;
  QProgressBar* bar = form_->JobBar()->Bar();
  QObject::connect(bar, &QProgressBar::valueChanged, [&] {
    if (asked && bar->maximum() > 1)
      afterAnswer.push_back(bar->text());
  });
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, form_.get(), [&] {
    if (form_->Memo1()->toPlainText().contains("Old card contents saved to")) {
      poll.stop();
      form_->reject();
    }
  });
  form_->show();
  poll.start();
  WriteImage(files_.Write("image.gb", Pattern(512 * 1024, 6)), true);
  ASSERT_TRUE(asked);
  EXPECT_TRUE(LastLog().startsWith("\u2022 Card verified: 524288 bytes. Written in "))
      << LastLog().toStdString();
  ASSERT_FALSE(afterAnswer.isEmpty());
  // About three quarters of the work is left after the backup: counting
  // the wait would say three times the wait at least.
  const QRegularExpressionMatch left =
      QRegularExpression(" (\\d+):(\\d\\d) left$").match(afterAnswer.first());
  ASSERT_TRUE(left.hasMatch()) << afterAnswer.first().toStdString();
  EXPECT_LT(left.captured(1).toInt() * 60 + left.captured(2).toInt(), 2 * kAnswerSeconds)
      << afterAnswer.first().toStdString();
}

}  // namespace
}  // namespace velwin::sramman::testing
