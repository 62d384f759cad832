// The write's question in the window: what it names, the choice over
// locked blocks, and what is refused before anyone is asked.
#include <gtest/gtest.h>

#include <QList>
#include <algorithm>

#include "sramman/card_write_action.h"
#include "sramman/elevated_write_action.h"
#include "tests/cardwrite/card_write_window_fixture.h"

namespace velwin::sramman::testing {
namespace {

TEST_F(CardWriteJobs, QuestionSaysAMultiGameCardLosesItsMenu) {
  auto card = MenuCard({{"LANTERN", 0x80, 0x30}, {"TIDEPOOL", 0x00, 0x00}, {"MOTH", 0x80, 0x31}});
  card.resize(512 * 1024, 0xFF);
  Open("4", card);
  WriteImage(files_.Write("small.gb", Pattern(64 * 1024, 3)), false);
  ASSERT_EQ(asked_.size(), 1);
  EXPECT_TRUE(
      asked_[0].contains("the rest stays as it is.\nThe card's menu is "
                         "overwritten: its 3 games become unreachable. Its games: "
                         "LANTERN, TIDEPOOL, MOTH.\n"))
      << asked_[0].toStdString();
  EXPECT_EQ(CardNow(), card);
}

// The 64 Mbit card's blocks carry lock bits: the question names the locked
// ones the write changes, and its own answer clears them for the write;
// "Write" keeps them and is refused before the backup read.
TEST_F(CardWriteJobs, LockedBlocksAreOfferedToBeClearedForTheWrite) {
  const auto old = Pattern(8 * 1024 * 1024, 1);
  Open("64", old, ",locked=1");
  const auto image = Pattern(512 * 1024, 2);
  const std::string imageFile = files_.Write("image.gb", image);
  QList<bool> offered;
  CardWriteAction::Answer answer = CardWriteAction::Answer::kCancel;
  form_->CardWrite()->SetAsk([&](QWidget*, const QString& question, bool offerUnlock) {
    asked_.append(question);
    offered.append(offerUnlock);
    return answer;
  });

  for (const auto keep : {CardWriteAction::Answer::kCancel, CardWriteAction::Answer::kWrite}) {
    answer = keep;
    WriteImage(imageFile, true);
    EXPECT_TRUE(offered.last());
    EXPECT_TRUE(
        asked_.last().contains("Locked, and changed by this write: block 1 "
                               "(0x020000-0x03FFFF). Unlock and Write clears"))
        << asked_.last().toStdString();
    EXPECT_EQ(CardNow(), old);
    EXPECT_TRUE(Backups().empty());
  }
  EXPECT_EQ(LastLog(),
            "\u2022 Cannot write block 1 (0x020000-0x03FFFF): it is locked. Nothing was erased; "
            "Unlock and Write clears the lock bits.");

  answer = CardWriteAction::Answer::kUnlockAndWrite;
  WriteImage(imageFile, true);
  const QString log = form_->Memo1()->toPlainText();
  EXPECT_TRUE(log.contains("\u2022 Unlocked for this write: block 1 (0x020000-0x03FFFF).\n"))
      << log.toStdString();
  EXPECT_TRUE(
      log.contains("\u2022 Locked again: block 1 (0x020000-0x03FFFF).\n"
                   "\u2022 Card verified: 524288 bytes. Written in "))
      << log.toStdString();
  auto expected = old;
  std::copy(image.begin(), image.end(), expected.begin());
  EXPECT_EQ(CardNow(), expected);

  // A write that stops short of the locked block is offered nothing.
  answer = CardWriteAction::Answer::kCancel;
  WriteImage(files_.Write("first.gb", Pattern(64 * 1024, 4)), false);
  EXPECT_FALSE(offered.last());
  EXPECT_FALSE(asked_.last().contains("Locked")) << asked_.last().toStdString();
}

// The write with administrator rights asks with Yes and No: its question
// says what Yes does to the lock bits, and names no button it lacks.
TEST_F(CardWriteJobs, TheAdministratorWriteSaysYesClearsTheLockBits) {
  const auto old = Pattern(8 * 1024 * 1024, 1);
  Open("64", old, ",locked=1");
  QString asked;
  form_->AdminWrite()->SetConfirm([&](QWidget*, const QString& question) {
    asked = question;
    return false;
  });
  dialogs_.QueueAnswer({QString::fromStdString(files_.Write("image.gb", Pattern(512 * 1024, 2)))});
  form_->AdminWrite()->Action()->trigger();
  EXPECT_TRUE(
      asked.contains("Locked, and changed by this write: block 1 (0x020000-0x03FFFF). Yes "
                     "clears the card's lock bits"))
      << asked.toStdString();
  EXPECT_FALSE(asked.contains("Unlock and Write")) << asked.toStdString();
  EXPECT_EQ(CardNow(), old);
}

// The question names the game a single-game card loses.
TEST_F(CardWriteJobs, QuestionNamesTheSingleGameItOverwrites) {
  auto card = Pattern(8 * 1024 * 1024, 3);
  PutHeader(card, 0, "EUROPA", 0x05, 0x00);  // 1 MiB at address 0
  Open("64", card);
  WriteImage(files_.Write("game.gb", Pattern(1024 * 1024, 4)), false);
  ASSERT_EQ(asked_.size(), 1);
  EXPECT_TRUE(
      asked_[0].contains("of the card; the rest stays as it is.\nThis write overwrites "
                         "EUROPA.\nTime: up to about "))
      << asked_[0].toStdString();
}

// What the identification already refuses is never asked about, and leaves
// no backup.
TEST_F(CardWriteJobs, AnImageLargerThanTheCardIsRefusedBeforeTheQuestion) {
  const auto card = Pattern(512 * 1024, 3);
  Open("4", card);
  WriteImage(files_.Write("big.gb", Pattern(1024 * 1024, 4)), true);
  EXPECT_TRUE(asked_.isEmpty());
  EXPECT_EQ(LastLog(),
            "\u2022 The image is 1048576 bytes; the 4 Mbit card takes 1 to 524288 bytes. "
            "Nothing was written.");
  EXPECT_TRUE(Backups().empty());
  EXPECT_EQ(CardNow(), card);
}

}  // namespace
}  // namespace velwin::sramman::testing
