#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>
#include <string>
#include <vector>

#include "sram/sram_port.h"
#include "sramman/elevated_write.h"
#include "sramman/elevated_write_action.h"
#include "sramman/sram_manager_form.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

std::string Text(const std::string& path) {
  const auto bytes = velwin::testing::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// Stands in for pkexec: runs the test's velwin-cli for the installed one it
// is given, as the user FAKE_UID (the test's own by default). In the mode
// file, "refuse" ends as pkexec does when the password question is
// refused, "unauthorised" as when the rights cannot be had (each with
// pkexec's own line on standard error), and "kill"
// kills velwin-cli once it has begun to program.
constexpr const char* kFakeLauncher = R"(#!/bin/sh
printf '%s\n' "$@" > "$0.args"
mode=$(cat "$0.mode" 2>/dev/null)
if [ "$mode" = refuse ]; then
  echo 'Error executing command as another user: Request dismissed' >&2; exit 126
fi
if [ "$mode" = unauthorised ]; then
  printf 'Error executing command as another user: Not authorized\n\nThis incident has been reported.\n' >&2
  exit 127
fi
shift
export PKEXEC_UID="${FAKE_UID:-$(id -u)}"
if [ "$mode" = kill ]; then
  rm -f "$0.fifo"; mkfifo "$0.fifo"
  # A job in the background reads /dev/null unless told otherwise.
  exec 3<&0
  "$CLI" "$@" <&3 3<&- > "$0.fifo" & pid=$!
  while IFS= read -r line; do
    printf '%s\n' "$line"
    case $line in *'"phase":"programming"'*) kill -9 $pid ;; esac
  done < "$0.fifo"
  wait $pid; exit $?
fi
exec "$CLI" "$@"
)";

class ElevatedWriteWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::testing::EnsureQtApplication();
    qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(files_.File("config")));
    old_ = Pattern(2048 * 1024, 4);
    PutHeader(old_, 0, "OLDGAME", 0x06, 0x02);
    image_ = Pattern(2048 * 1024, 8);
    PutHeader(image_, 0, "NEWGAME", 0x06, 0x02);
    rom_ = files_.Write("card.gb", old_);
    imagePath_ = files_.Write("new.gb", image_);
    std::string script = kFakeLauncher;
    script.replace(script.find("\"$CLI\""), 6, std::string("'") + VELWIN_CLI_PATH + "'");
    script.replace(script.find("\"$CLI\""), 6, std::string("'") + VELWIN_CLI_PATH + "'");
    launcher_ = files_.Write("fake-pkexec", script);
    std::filesystem::permissions(launcher_, std::filesystem::perms::owner_all);
    qputenv("VELWIN_ELEVATE", QByteArray::fromStdString(launcher_));

    SramManagerParts parts;
    parts.dialogs = &dialogs_;
    parts.messages = &messages_;
    std::string error;
    parts.portDescription = "sim:card=16,rom=" + rom_;
    parts.port = OpenSramPort(parts.portDescription, error);
    ASSERT_TRUE(parts.port) << error;
    form_ = std::make_unique<TSRAMManForm>(nullptr, std::move(parts));
    form_->AdminWrite()->SetConfirm([this](QWidget*, const QString& question) {
      asked_ = question;
      return true;
    });
    // What the bar says while the write runs.
    QObject::connect(form_->JobBar()->Bar(), &QProgressBar::valueChanged, form_.get(),
                     [this] { shown_ << form_->JobBar()->Bar()->format(); });
  }
  void TearDown() override {
    qunsetenv("VELWIN_ELEVATE");
    qunsetenv("VELWIN_CONFIG_DIR");
    qunsetenv("FAKE_UID");
  }

  void Mode(const std::string& mode) { files_.Write("fake-pkexec.mode", mode); }
  void Write() {
    dialogs_.QueueAnswer({QString::fromStdString(imagePath_)});
    form_->AdminWrite()->Action()->trigger();
  }
  QString Log() const { return form_->Memo1()->toPlainText(); }
  std::string Backups() const { return data_.File("velwin/card-backups"); }

  TempDir files_;
  TempDir data_;
  ScopedDataHome dataHome_{data_.Path().string()};
  std::vector<std::uint8_t> old_;
  std::vector<std::uint8_t> image_;
  std::string rom_;
  std::string imagePath_;
  std::string launcher_;
  gui::testing::ScriptedFileDialogs dialogs_;
  gui::testing::RecordingMessageBoxes messages_;
  std::unique_ptr<TSRAMManForm> form_;
  QString asked_;
  QStringList shown_;
};

TEST_F(ElevatedWriteWindow, RunsTheCommandLineWriteWithItsProgressAndResult) {
  Write();
  EXPECT_TRUE(asked_.startsWith("Write new.gb (2097152 bytes) onto the 16 Mbit flash card?"))
      << asked_.toStdString();
  EXPECT_TRUE(asked_.contains("administrator's password")) << asked_.toStdString();
  const std::string args = Text(launcher_ + ".args");
  EXPECT_EQ(args.substr(args.find('\n') + 1), "card\nwrite\n--port\nsim:card=16,rom=" + rom_ +
                                                  "\n--progress-stream\n--backup-dir\n" +
                                                  Backups() + "\n--\n" + imagePath_ + "\n");
  EXPECT_TRUE(Log().endsWith("Card verified: 2097152 bytes.")) << Log().toStdString();
  EXPECT_TRUE(Log().contains("Old card contents saved to " + QString::fromStdString(Backups())));
  EXPECT_TRUE(shown_.filter("Programming").size() > 2) << shown_.join('|').toStdString();
  EXPECT_TRUE(ReadBytes(rom_) == image_);
  EXPECT_TRUE(form_->ListingStale()) << "the game list named the old card";
}

TEST_F(ElevatedWriteWindow, CancelAndEscapeStopItAndTheLogSaysWhatWasWritten) {
  QString question;
  form_->SetCloseQuestion([&](QWidget*, const QString& asked) {
    question = asked;
    return true;
  });
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "Cancel");
    files_.Write("card.gb", old_);
    bool pressed = false;
    const auto press =
        QObject::connect(form_->JobBar()->Bar(), &QProgressBar::valueChanged, form_.get(), [&] {
          if (pressed || !form_->JobBar()->Bar()->format().startsWith("Programming"))
            return;
          pressed = true;
          if (escape) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(form_.get(), &key);
          } else {
            form_->JobBar()->CancelButton()->click();
          }
        });
    Write();
    QObject::disconnect(press);
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(Log().contains("card write cancelled.")) << Log().toStdString();
    EXPECT_FALSE(ReadBytes(rom_) == image_);
  }
  EXPECT_TRUE(question.contains("velwin-cli stops at its next bank")) << question.toStdString();
}

TEST_F(ElevatedWriteWindow, ARefusedQuestionOrAKilledWriteIsSaidPlainly) {
  Mode("refuse");
  Write();
  EXPECT_TRUE(
      Log().endsWith("The administrator rights were not given: the system's password "
                     "question was refused or cancelled. Nothing was written."))
      << Log().toStdString();
  Mode("unauthorised");
  Write();
  EXPECT_TRUE(Log().endsWith("no program runs that asks for them. Nothing was written."))
      << Log().toStdString();
  EXPECT_TRUE(ReadBytes(rom_) == old_);
  EXPECT_FALSE(std::filesystem::exists(Backups()));

  Mode("kill");
  Write();
  EXPECT_TRUE(
      Log().contains("was ended by signal 9 before it said how it ended. The card may "
                     "be part written; the backup " +
                     QString::fromStdString(Backups())))
      << Log().toStdString();
}

TEST_F(ElevatedWriteWindow, WithoutALauncherShowsTheSudoCommand) {
  qputenv("VELWIN_ELEVATE", "/nonexistent/pkexec");
  QString command;
  form_->AdminWrite()->SetShowCommand([&](QWidget*, const QString& shown) { command = shown; });
  Write();
  EXPECT_EQ(command.toStdString(), "sudo velwin-cli card write --port sim:card=16,rom=" + rom_ +
                                       " --backup-dir " + Backups() + " -- " + imagePath_);
  EXPECT_TRUE(ReadBytes(rom_) == old_);
}

// The command to copy stays one line a shell reads back byte for byte, for
// a file name with a quote or a line break in it too.
TEST(SudoCommand, QuotesWhatIsNotPlainAsTheCommandLineDoes) {
  ElevatedWriteRequest request;
  request.port = QStringLiteral("direct");
  request.backupFolder = QStringLiteral("/home/ada/it's");
  request.image = QStringLiteral("/tmp/a\nb.gb");
  EXPECT_EQ(SudoWriteCommand(request).toStdString(),
            "sudo velwin-cli card write --port direct --backup-dir '/home/ada/it'\\''s' -- "
            "$'/tmp/a\\nb.gb'");
}

// As root, the backup is written with the rights of the user pkexec names.
TEST_F(ElevatedWriteWindow, TheBackupIsTheUsersAndAFolderTheyMayNotWriteStopsTheWrite) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root, to be another user";
  constexpr uid_t kUser = 65534;
  qputenv("FAKE_UID", QByteArray::number(kUser));
  Write();
  EXPECT_TRUE(Log().contains("Backup not written: File access denied")) << Log().toStdString();
  EXPECT_TRUE(Log().contains("Nothing was erased.")) << Log().toStdString();
  EXPECT_TRUE(ReadBytes(rom_) == old_);

  std::filesystem::create_directories(Backups());
  // The user reaches the folder through the test's own.
  for (std::filesystem::path folder = Backups(); folder != data_.Path().parent_path();
       folder = folder.parent_path())
    ::chmod(folder.c_str(), 0755);
  ASSERT_EQ(::chown(Backups().c_str(), kUser, kUser), 0);
  Write();
  EXPECT_TRUE(Log().endsWith("Card verified: 2097152 bytes.")) << Log().toStdString();
  for (const auto& entry : std::filesystem::directory_iterator(Backups())) {
    struct stat status {};
    ASSERT_EQ(::stat(entry.path().c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, kUser);
    EXPECT_TRUE(ReadBytes(entry.path()) == old_);
  }
}

}  // namespace
}  // namespace velwin::sramman::testing
