#include "sramman/card_write_action.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "card/card_backup.h"
#include "card/card_kind.h"
#include "card/card_listing.h"
#include "card/card_write_job.h"
#include "card/image_file.h"
#include "card/job_progress_text.h"
#include "card/write_confirmation.h"
#include "card/write_precheck.h"
#include "chips/flash_chip_table.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"
#include "gui/message_boxes.h"
#include "port/realtime_priority.h"
#include "sramman/sav_folder.h"
#include "sramman/way_back_bar.h"

namespace velwin::sramman {
namespace {

constexpr const char* kOneGameNote =
    "\n\nThe card will then hold this one game. A card of several games needs the "
    "menu program of the VELTRA flashing tool, which velwin does not have.";

CardWriteAction::Answer AskWrite(QWidget* parent, const QString& question, bool offerUnlock) {
  using Answer = CardWriteAction::Answer;
  if (!offerUnlock)
    return gui::AskYesNo(parent, question) ? Answer::kWrite : Answer::kCancel;
  QMessageBox box(QMessageBox::Question, gui::ApplicationTitle(), question, QMessageBox::NoButton,
                  parent);
  QPushButton* unlock = box.addButton(QStringLiteral("Unlock and Write"), QMessageBox::AcceptRole);
  QPushButton* write = box.addButton(QStringLiteral("Write"), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == unlock)
    return Answer::kUnlockAndWrite;
  return box.clickedButton() == write ? Answer::kWrite : Answer::kCancel;
}

}  // namespace

CardWriteAction::CardWriteAction(QMenu* menu, QWidget* window, xchanger::CartAccess& cart,
                                 xchanger::PortBackend& port, gui::FileDialogs& dialogs,
                                 LinkJobBar& jobBar, LinkJobHost& host)
    : QObject(window),
      window_(window),
      cart_(cart),
      port_(port),
      clock_(port.Clock()),
      dialogs_(dialogs),
      jobBar_(jobBar),
      host_(host),
      ask_(AskWrite),
      confirm_(gui::AskYesNo) {
  action_ = menu->addAction(QStringLiteral("Write File to Card\u2026"));
  connect(action_, &QAction::triggered, this, &CardWriteAction::WriteFileToCard);
}

void CardWriteAction::SetConfirm(Confirm confirm) {
  confirm_ = confirm;
  ask_ = [confirm = std::move(confirm)](QWidget* parent, const QString& question,
                                        bool offerUnlock) {
    if (!confirm(parent, question))
      return Answer::kCancel;
    return offerUnlock ? Answer::kUnlockAndWrite : Answer::kWrite;
  };
}

QAction* CardWriteAction::AddRestoreAction(QMenu* menu) {
  restore_ = menu->addAction(QStringLiteral("Restore Card from Backup\u2026"));
  connect(restore_, &QAction::triggered, this, &CardWriteAction::RestoreCardFromBackup);
  return restore_;
}

void CardWriteAction::WriteFileToCard() {
  if (!host_.BeginLinkJob())
    return;
  const LinkJobScope scope(host_, jobBar_);
  host_.NameLinkJob("Write File to Card");
  const std::string chosen =
      ChooseCardImage(dialogs_, window_, QStringLiteral("Write File to Card"),
                      SavDialogStartFolder(host_.CardDialogFolder()),
                      QStringLiteral("Game Boy ROM images (*.gb *.gbc)"));
  if (!chosen.empty())
    WriteImage(chosen, Source::kFile);
}

void CardWriteAction::WriteRomToCard(const QString& romPath) {
  if (romPath.isEmpty() || !host_.BeginLinkJob())
    return;
  const LinkJobScope scope(host_, jobBar_);
  host_.NameLinkJob("Write to Card");
  WriteImage(QFile::encodeName(QDir::toNativeSeparators(romPath)).toStdString(),
             Source::kRomFromList);
}

void CardWriteAction::WriteImage(const std::string& path, Source source, const Restore* restore) {
  host_.SetStopNote("Nothing on the card has changed yet: stopping leaves it as it was.");
  std::vector<std::uint8_t> image;
  if (!LoadCardImage(path, image, host_))
    return;

  // The question names the card in the X-Changer now, the games the write
  // would overwrite and the blocks it would find locked, so the card must be
  // identified, listed and asked first; what that already refuses is
  // refused before anyone is asked.
  const card::WriteCheck check = card::CheckWrite(cart_, clock_, image);
  if (!check.refusal.empty()) {
    host_.LogStatus(check.refusal);
    return;
  }
  if (restore != nullptr && !RestoreAllowed(*restore, check.chip->cardMbit, path))
    return;
  card::CardWriteOptions options;
  options.backupFolder = UserCardBackupFolder();
  options.now = std::time(nullptr);
  options.port = port_.Path();
  xchanger::NoEventPump pump;
  const bool fromBackup =
      source == Source::kBackup || card::IsCardBackup(path, options.backupFolder);
  const card::WritePreview preview =
      card::PreviewWrite(cart_, clock_, check, image, options.backup, fromBackup, pump);
  std::string question = card::WriteConfirmationText(preview.subject, ShownName(path),
                                                     preview.timeText, options.backupFolder);
  const bool offerUnlock = !check.lockedUnits.empty();
  if (offerUnlock)
    question += "\n\n" + card::UnlockOfferText(*check.chip, check.lockedUnits);
  // A ROM from the main window's list goes on as the card's only game: the
  // menu that starts one of several is the flashing tool's own program.
  if (source == Source::kRomFromList)
    question += kOneGameNote;
  if (restore != nullptr)
    question += RestoreNotes(*restore);
  // The identification waits with the window's events let in: a close
  // asked for meanwhile stops the job before the question.
  if (host_.StopRequested())
    return;
  const Answer answer =
      ask_(window_, QString::fromStdString(encoding::Windows1252ToUtf8(question)), offerUnlock);
  if (answer == Answer::kCancel)
    return;
  if (offerUnlock && answer == Answer::kWrite) {
    host_.LogStatus(
        card::LockedUnitRefusal(*check.chip, check.lockedUnits.front(), "Unlock and Write"));
    return;
  }
  options.unlock = answer == Answer::kUnlockAndWrite;

  // A real port's page loads run at real-time priority where the user may
  // have it; the simulator keeps its own time, which no pause can cut.
  xchanger::RealtimePriority realtime;
  if (!port_.KeepsOwnTime())
    options.priority = &realtime;
  jobBar_.Begin(true);
  const auto started = std::chrono::steady_clock::now();
  card::CardWriteResult result = card::WriteCard(
      cart_, clock_, image, options, jobBar_.Control(), [this](const std::string& line) {
        // The line that names the backup is the last before the first
        // erase: from here on a stop leaves the card part written.
        if (line.starts_with(card::kBackupSavedPrefix)) {
          host_.SetStopNote(
              "Stopping finishes the step in hand and may leave the card part written; the "
              "window then offers Restore Now, which writes back the backup named in the log, "
              "the card as it was.");
        }
        host_.LogStatus(line);
      });
  // A simulated card writes its contents back to its rom= file now, as the
  // command line does: the card is called verified only once that file
  // holds the image too, since the window may never get to write it later.
  std::string flushError;
  if (!port_.Flush(flushError)) {
    if (result.outcome.Ok()) {
      result.verified = false;
      result.outcome = card::JobOutcome::Failed(flushError);
    } else {
      host_.LogStatus(flushError);
    }
  }
  const std::string wayBack = AfterWrite(result, restore != nullptr && restore->wayBack);
  if (result.outcome.Ok()) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    host_.LogStatus("Card verified: " + std::to_string(result.bytes) + " bytes. Written in " +
                    card::ElapsedText(took.count()) + ".");
  } else if (result.outcome.status == card::JobStatus::kCancelled) {
    host_.LogStatus("Cancelled. " + card::StoppedWriteText(result, ShownPath(result.backupPath)) +
                    wayBack);
  } else {
    host_.LogStatus(result.outcome.message + " " +
                    card::StoppedWriteText(result, ShownPath(result.backupPath)) + wayBack);
    if (advise_ && result.writtenBegin == result.writtenEnd)
      advise_(result.outcome.message);
  }
}

}  // namespace velwin::sramman
