// The window's way back onto the card: Restore Now after a write that
// stopped half-way, the stale game list, and the restore list's marks,
// refusals and Remove.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "sramman/backup_restore_dialog.h"
#include "sramman/link_job_bar.h"
#include "sramman/way_back_bar.h"
#include "tests/cardwrite/card_write_window_fixture.h"

namespace velwin::sramman::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t k4Mbit = 512 * 1024;

class WayBack : public CardWriteJobs {
 protected:
  // Writes image after the question, answered yes.
  void WriteImage(const Bytes& image) {
    CardWriteJobs::WriteImage(files_.Write("image.gb", image), /*agree=*/true);
  }
  QString Log() const { return form_->Memo1()->toPlainText(); }
  std::string OnlyBackup() const {
    const std::vector<fs::path> found = Backups();
    EXPECT_EQ(found.size(), 1u);
    return found.empty() ? std::string() : found[0].string();
  }
};

TEST_F(WayBack, ACancelledWriteIsOneClickAndOneQuestionFromTheCardAsItWas) {
  Bytes old = Pattern(k4Mbit, 5);
  PutHeader(old, 0, "OLDGAME", 0x04, 0x02);
  ASSERT_NO_FATAL_FAILURE(Open("4", old));
  form_->Button3Click();
  ASSERT_NE(form_->StringGrid1()->item(0, 0), nullptr);
  ASSERT_EQ(form_->StringGrid1()->item(0, 0)->text().trimmed(), "OLDGAME");

  // Cancel once the first pages are being programmed.
  QProgressBar* bar = form_->JobBar()->Bar();
  bool cancelled = false;
  QObject::connect(bar, &QProgressBar::valueChanged, form_.get(), [&] {
    if (!cancelled && bar->text().startsWith("Programming page ")) {
      cancelled = true;
      form_->JobBar()->CancelButton()->click();
    }
  });
  WriteImage(Pattern(k4Mbit, 6));
  const std::string backup = OnlyBackup();
  const QString shown = QString::fromStdString(backup);
  EXPECT_TRUE(Log().contains("\u2022 Cancelled. Written: 0x000000-0x")) << Log().toStdString();
  EXPECT_TRUE(LastLog().endsWith(" of the card. The backup " + shown +
                                 " holds the card as it was. Restore Now, below, writes it back."))
      << LastLog().toStdString();
  ASSERT_TRUE(form_->WayBack()->Offered());
  EXPECT_EQ(form_->WayBack()->BackupPath(), backup);
  EXPECT_TRUE(form_->WayBack()->Note()->text().startsWith("Card part written: 0x000000-0x"));
  ASSERT_NE(CardNow(), old);

  // The grid still names the games of the card before the write: no
  // transfer runs on it.
  const std::size_t dialogsBefore = dialogs_.Requests().size();
  form_->Button1()->click();
  EXPECT_EQ(LastLog(),
            "\u2022 Save Marked refused: the card was written since Analyse Cart listed its "
            "games. Analyse Cart first.");
  form_->Button2()->click();
  EXPECT_TRUE(LastLog().startsWith("\u2022 Load Marked refused: "));
  EXPECT_EQ(dialogs_.Requests().size(), dialogsBefore);

  // One click, one question, and the card is as it was, read back.
  asked_.clear();
  form_->WayBack()->RestoreButton()->click();
  ASSERT_EQ(asked_.size(), 1);
  EXPECT_TRUE(asked_[0].startsWith("Write " + QString::fromStdString(fs::path(backup).filename()) +
                                   " (524288 bytes) onto the 4 Mbit flash card?"))
      << asked_[0].toStdString();
  EXPECT_TRUE(LastLog().startsWith("\u2022 Card verified: 524288 bytes. Written in "))
      << LastLog().toStdString();
  EXPECT_EQ(CardNow(), old);
  EXPECT_FALSE(form_->WayBack()->Offered());
  EXPECT_TRUE(form_->WayBack()->isHidden());

  EXPECT_TRUE(form_->ListingStale());
  form_->Button3Click();
  EXPECT_FALSE(form_->ListingStale());
}

// Closing the window mid-write stops the write; the window stays on the
// result and its way back rather than take them out of sight.
TEST_F(WayBack, ClosingMidWriteKeepsTheWindowOnItsResult) {
  ASSERT_NO_FATAL_FAILURE(Open("4", Pattern(k4Mbit, 5)));
  QStringList closeAsked;
  form_->SetCloseQuestion([&closeAsked](QWidget*, const QString& question) {
    closeAsked.append(question);
    return true;
  });
  form_->show();
  QProgressBar* bar = form_->JobBar()->Bar();
  bool closed = false;
  QObject::connect(bar, &QProgressBar::valueChanged, form_.get(), [&] {
    if (!closed && bar->text().startsWith("Programming page ")) {
      closed = true;
      form_->reject();
    }
  });
  WriteImage(Pattern(k4Mbit, 6));
  QCoreApplication::processEvents();
  ASSERT_EQ(closeAsked.size(), 1);
  EXPECT_TRUE(closeAsked[0].contains("the window then offers Restore Now"))
      << closeAsked[0].toStdString();
  EXPECT_FALSE(closeAsked[0].contains("velwin-cli"));
  EXPECT_EQ(LastLog(), "\u2022 The window stays open: the card is part written.");
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->WayBack()->isVisible());
  // With no job running, a close closes.
  form_->reject();
  QCoreApplication::processEvents();
  EXPECT_FALSE(form_->isVisible());
}

// A write that fails on the chip offers the same way back; a restore the
// user declines leaves it offered.
TEST_F(WayBack, AFailedWriteOffersItsBackupToo) {
  const Bytes old = Pattern(4 * k4Mbit, 1);
  ASSERT_NO_FATAL_FAILURE(Open("16", old, ",erasefail=1"));
  WriteImage(Pattern(k4Mbit / 2, 2));
  EXPECT_FALSE(Log().contains("Card verified")) << Log().toStdString();
  ASSERT_TRUE(form_->WayBack()->Offered()) << Log().toStdString();
  const std::string backup = OnlyBackup();
  EXPECT_EQ(form_->WayBack()->BackupPath(), backup);
  ASSERT_NE(CardNow(), old);

  agree_ = false;
  form_->WayBack()->RestoreButton()->click();
  EXPECT_TRUE(form_->WayBack()->Offered());
  EXPECT_NE(CardNow(), old);

  agree_ = true;
  form_->WayBack()->RestoreButton()->click();
  EXPECT_TRUE(LastLog().startsWith("\u2022 Card verified: 2097152 bytes. Written in "))
      << LastLog().toStdString();
  EXPECT_EQ(CardNow(), old);
  EXPECT_FALSE(form_->WayBack()->Offered());
}

TEST_F(WayBack, TheRestoreListMarksRefusesAndRemoves) {
  ASSERT_NO_FATAL_FAILURE(Open("4", Pattern(k4Mbit, 9)));
  fs::create_directories(backupFolder_);
  const auto put = [this](const std::string& name, const Bytes& bytes, int minutesAgo) {
    const fs::path path = fs::path(backupFolder_) / name;
    velwin::testing::WriteBytes(path, bytes);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(minutesAgo));
    return path.string();
  };
  Bytes partly = Pattern(k4Mbit, 3);
  PutHeader(partly, 0, "EUROPA", 0x04, 0x00);  // its global checksum is not right
  const std::string bigger = put("card-2026-12-01-100000-16Mbit.gb", Pattern(4 * k4Mbit, 4), 30);
  const std::string half = put("card-2026-12-02-100000-4Mbit.gb", partly, 20);
  const std::string spare = put("card-2026-12-03-100000-4Mbit.gb", Pattern(k4Mbit, 7), 10);
  const std::string link = backupFolder_ + "/card-2026-12-04-100000-4Mbit.gb";
  fs::create_symlink(spare, link);

  QStringList notes;
  QStringList problems;
  std::vector<bool> restorable;
  bool removedDeclined = false;
  form_->CardWrite()->SetRestoreListDriver([&](BackupRestoreDialog& list) {
    QTreeWidget* rows = list.List();
    const auto rowOf = [rows](const std::string& path) {
      for (int row = 0; row < rows->topLevelItemCount(); ++row) {
        if (rows->topLevelItem(row)->toolTip(0) == QString::fromStdString(path))
          return row;
      }
      return -1;
    };
    for (const std::string& path : {bigger, half, spare, link}) {
      list.SelectRow(rowOf(path));
      notes.append(rows->currentItem()->text(3));
      problems.append(list.Problem()->text());
      restorable.push_back(list.RestoreButton()->isEnabled());
    }
    // Remove asks; No keeps the file, Yes removes it from disk and list.
    list.SelectRow(rowOf(spare));
    agree_ = false;
    list.RemoveButton()->click();
    removedDeclined = fs::exists(spare) && rowOf(spare) >= 0;
    agree_ = true;
    list.RemoveButton()->click();
    EXPECT_EQ(rowOf(spare), -1);
    list.SelectRow(rowOf(half));
    list.RestoreButton()->click();
  });
  form_->CardWrite()->RestoreAction()->trigger();

  ASSERT_EQ(notes.size(), 4);
  EXPECT_EQ(notes[0], "Refused: a backup of a 16 Mbit card; the card in the X-Changer is 4 Mbit");
  EXPECT_TRUE(
      problems[0].endsWith(" cannot be restored: a backup of a 16 Mbit card; the card in "
                           "the X-Changer is 4 Mbit."));
  EXPECT_EQ(notes[1], "may hold a partly written card: EUROPA fails its global checksum");
  EXPECT_EQ(notes[2], "");
  EXPECT_TRUE(notes[3].startsWith("Refused: a symbolic link to " + QString::fromStdString(spare)));
  EXPECT_EQ(restorable, (std::vector<bool>{false, true, true, false}));
  EXPECT_TRUE(removedDeclined);
  EXPECT_FALSE(fs::exists(spare));
  ASSERT_GE(asked_.size(), 3);
  EXPECT_TRUE(asked_[0].startsWith("Remove the backup " + QString::fromStdString(spare)));
  // The restore of a backup that may hold a partly written card says so.
  EXPECT_TRUE(asked_.last().contains(
      "\n\nThis backup may hold a partly written card: EUROPA fails its global checksum."))
      << asked_.last().toStdString();
  EXPECT_TRUE(LastLog().startsWith("\u2022 Card verified: 524288 bytes. Written in "))
      << LastLog().toStdString();
  EXPECT_EQ(CardNow(), partly);
}

}  // namespace
}  // namespace velwin::sramman::testing
