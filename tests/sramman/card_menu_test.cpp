#include <gtest/gtest.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <memory>
#include <string>

#include "sram/sram_port.h"
#include "sramman/sram_manager_form.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// The SRAM manager on a simulated 4 Mbit card of distinct banks, with its
// settings and dialogs kept apart from the user's.
class CardMenuWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::testing::EnsureQtApplication();
    qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(config_.Path().string()));
    rom_ = Pattern(512 * 1024, 5);
    PutHeader(rom_, 0, "PATTERN", 0x04, 0x02);
    const std::string romFile = files_.Write("card.gb", rom_);
    SramManagerParts parts;
    parts.dialogs = &dialogs_;
    parts.messages = &messages_;
    std::string error;
    parts.port = OpenSramPort("sim:card=4,rom=" + romFile, error);
    ASSERT_TRUE(parts.port) << error;
    form_ = std::make_unique<TSRAMManForm>(nullptr, std::move(parts));
  }
  void TearDown() override { qunsetenv("VELWIN_CONFIG_DIR"); }

  QString LastLogLine() const { return form_->Memo1()->toPlainText().split('\n').last(); }
  QString File(const char* name) const { return QString::fromStdString(files_.File(name)); }

  TempDir config_;
  TempDir files_;
  gui::testing::ScriptedFileDialogs dialogs_;
  gui::testing::RecordingMessageBoxes messages_;
  std::vector<std::uint8_t> rom_;
  std::unique_ptr<TSRAMManForm> form_;
};

TEST_F(CardMenuWindow, ReadsTheCardToAFileAndComparesItWithOne) {
  dialogs_.QueueAnswer({File("backup.gb")});
  form_->Card()->ReadAction()->trigger();
  EXPECT_EQ(LastLogLine(), "\u2022 4 Mbit flash card read to backup.gb (524288 bytes).");
  EXPECT_TRUE(ReadBytes(files_.File("backup.gb")) == rom_);
  ASSERT_EQ(dialogs_.Requests().size(), 1u);
  EXPECT_EQ(dialogs_.Requests()[0].initialDirectory, form_->OpenDialogDirectory());

  dialogs_.QueueAnswer({File("backup.gb")});
  form_->Card()->CompareAction()->trigger();
  EXPECT_EQ(LastLogLine(), "\u2022 Card matches backup.gb (524288 bytes).");
  EXPECT_TRUE(dialogs_.Requests().back().fileMustExist);
}

TEST_F(CardMenuWindow, CancelStopsTheReadWhileTheWindowAnswers) {
  // The job lets events in at its first bank boundary: the window is then
  // running one link job and offers nothing else but Cancel.
  bool commandsDisabled = false;
  bool cancelOffered = false;
  QTimer::singleShot(0, form_.get(), [&] {
    commandsDisabled = !form_->Button1()->isEnabled() && !form_->Button3()->isEnabled() &&
                       !form_->Card()->ReadAction()->isEnabled();
    cancelOffered = form_->JobBar()->CancelButton()->isEnabled();
    form_->JobBar()->CancelButton()->click();
  });
  dialogs_.QueueAnswer({File("backup.gb")});
  form_->Card()->ReadAction()->trigger();

  EXPECT_TRUE(commandsDisabled);
  EXPECT_TRUE(cancelOffered);
  EXPECT_EQ(LastLogLine(), "\u2022 Cancelled; nothing written.");
  EXPECT_FALSE(std::filesystem::exists(files_.File("backup.gb")));
  EXPECT_FALSE(std::filesystem::exists(files_.File(".backup.gb.velwin-tmp")));
  EXPECT_TRUE(form_->Button3()->isEnabled());
  EXPECT_TRUE(form_->Card()->ReadAction()->isEnabled());
  EXPECT_FALSE(form_->JobBar()->CancelButton()->isEnabled());
}

TEST_F(CardMenuWindow, AnSramSaveShowsItsProgressAndCanBeCancelled) {
  form_->Button3Click();
  ASSERT_EQ(LastLogLine(), "\u2022 Cart \"PATTERN\" found.");
  form_->StringGrid1()->selectRow(0);
  int barMaximum = 0;
  QTimer::singleShot(0, form_.get(), [&] {
    barMaximum = form_->JobBar()->Bar()->maximum();
    form_->JobBar()->CancelButton()->click();
  });
  dialogs_.QueueAnswer({File("game.sav")});
  form_->Button1Click();
  EXPECT_EQ(barMaximum, 8);  // KiB of the one 8 KB bank
  EXPECT_EQ(LastLogLine(), "\u2022 Cancelled; nothing written.");
  EXPECT_FALSE(std::filesystem::exists(files_.File("game.sav")));
}

// Load Marked keeps the game's save as it was on the cart before it writes,
// and writes nothing when that save cannot be kept.
TEST_F(CardMenuWindow, LoadMarkedKeepsTheOldSaveOrWritesNothing) {
  const ScopedDataHome data(files_.File("data"));
  form_->Button3Click();
  form_->StringGrid1()->selectRow(0);
  const auto saveCart = [this](const char* name) {
    dialogs_.QueueAnswer({File(name)});
    form_->Button1Click();
    return ReadBytes(files_.File(name));
  };
  const auto before = saveCart("before.sav");
  ASSERT_EQ(before.size(), 8192u);
  const auto first = Pattern(8192, 0x21);
  dialogs_.QueueAnswer({QString::fromStdString(files_.Write("first.sav", first))});
  form_->Button2Click();
  const QStringList log = form_->Memo1()->toPlainText().split('\n');
  ASSERT_GE(log.size(), 2);
  const QString keptLine = log[log.size() - 2];
  ASSERT_TRUE(keptLine.startsWith("\u2022 Old save kept in ")) << keptLine.toStdString();
  const std::string kept = keptLine.mid(19).toStdString();
  EXPECT_TRUE(kept.starts_with(files_.File("data/velwin/sram-backups/PATTERN "))) << kept;
  EXPECT_EQ(ReadBytes(kept), before);
  EXPECT_EQ(LastLogLine(), "\u2022 64kbit SRAM transferred to cart.");
  EXPECT_EQ(saveCart("after.sav"), first);

  // A data folder that is a file: no backup, no load.
  const ScopedDataHome unusable(files_.Write("not-a-folder", std::vector<std::uint8_t>{1}));
  dialogs_.QueueAnswer({QString::fromStdString(files_.Write("second.sav", Pattern(8192, 0x33)))});
  form_->Button2Click();
  EXPECT_TRUE(LastLogLine().startsWith("\u2022 Old save not kept: Not a directory ("))
      << LastLogLine().toStdString();
  EXPECT_TRUE(LastLogLine().endsWith("). Nothing written to the cart."));
  EXPECT_EQ(saveCart("unchanged.sav"), first);
}

// Test Link shows per card whether the link in hand can write it and, where
// not, why and what to do; a slow link is no failure of the test itself.
TEST(TestLinkWindow, ShowsPerCardWhetherThisLinkCanWriteIt) {
  gui::testing::EnsureQtApplication();
  TempDir config;
  qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(config.Path().string()));
  gui::testing::ScriptedFileDialogs dialogs;
  gui::testing::RecordingMessageBoxes messages;
  SramManagerParts parts;
  parts.dialogs = &dialogs;
  parts.messages = &messages;
  std::string error;
  // 5 us a port access: 20 us a loaded byte, too slow for the 16 Mbit chip.
  parts.port = OpenSramPort("sim:card=16,access=5000", error);
  ASSERT_TRUE(parts.port) << error;
  TSRAMManForm form(nullptr, std::move(parts));
  QStringList shown;
  form.LinkTest()->SetShow([&](QWidget*, const QString& text) { shown.append(text); });
  form.LinkTest()->Action()->trigger();
  ASSERT_EQ(shown.size(), 1);
  const std::string text = shown[0].toStdString();
  EXPECT_NE(text.find("X-Changer found in EPP mode."), std::string::npos) << text;
  EXPECT_NE(text.find("20 us for 99.9% of bytes"), std::string::npos) << text;
  EXPECT_NE(text.find("\n16 Mbit card: too slow over this path (a byte must take under 5.71 us): "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("To write it: "), std::string::npos) << text;
  EXPECT_NE(text.find("\n64 Mbit card: can be written over this path (its chip waits"),
            std::string::npos)
      << text;
  // The job is over: the card commands are back.
  EXPECT_TRUE(form.Card()->ReadAction()->isEnabled());
  EXPECT_TRUE(form.LinkTest()->Action()->isEnabled());

  // Over SPP at 2.5 us an access every 4 Mbit page load fits, but a pause
  // every 50 ms would cut too many of them: said as link test says it.
  SramManagerParts pausing;
  pausing.dialogs = &dialogs;
  pausing.messages = &messages;
  pausing.port = OpenSramPort("sim:modes=spp,access=2500,jitter=20000:900", error);
  ASSERT_TRUE(pausing.port) << error;
  TSRAMManForm busy(nullptr, std::move(pausing));
  busy.LinkTest()->SetShow([&](QWidget*, const QString& found) { shown.append(found); });
  busy.LinkTest()->Action()->trigger();
  EXPECT_TRUE(shown.last().contains(
      "\n4 Mbit card: fast enough, but its pauses come too often: the link's pauses would cut "
      "about 18% of the page loads"))
      << shown.last().toStdString();
  qunsetenv("VELWIN_CONFIG_DIR");
}

}  // namespace
}  // namespace velwin::sramman::testing
