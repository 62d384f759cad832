// The ways back onto the card: the restore list of kept backups, and
// Restore Now after a write that stopped half-way.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "card/backup_review.h"
#include "card/card_backup.h"
#include "card/card_kind.h"
#include "sramman/backup_restore_dialog.h"
#include "sramman/card_write_action.h"
#include "sramman/way_back_bar.h"

namespace velwin::sramman {

namespace {

// The folder's own review of path, when path is one of its files.
std::optional<card::BackupReview> BackupInFolder(const std::string& folder,
                                                 const std::string& cardFile,
                                                 const std::string& path) {
  const std::filesystem::path wanted = std::filesystem::path(path).lexically_normal();
  if (wanted.parent_path() != std::filesystem::path(folder).lexically_normal())
    return std::nullopt;
  for (card::BackupReview& file : card::ReviewBackupFolder(folder, cardFile).files) {
    if (std::filesystem::path(file.path).lexically_normal() == wanted)
      return std::move(file);
  }
  return std::nullopt;
}

}  // namespace

void CardWriteAction::SetWayBack(WayBackBar* wayBack) {
  wayBack_ = wayBack;
  connect(wayBack_, &WayBackBar::RestoreRequested, this, &CardWriteAction::RestoreNow);
}

void CardWriteAction::RestoreCardFromBackup() {
  if (!host_.BeginLinkJob())
    return;
  const LinkJobScope scope(host_, jobBar_);
  host_.NameLinkJob("Restore Card from Backup");
  const std::string folder = UserCardBackupFolder();
  // The list marks the backups of another card size, so the card is told
  // first; without one the list still opens, to remove backups or choose
  // another file, and the write says why it cannot go on.
  const card::CardIdentification found = card::IdentifyCard(cart_);
  const std::uint8_t cardMbit =
      found.card && found.card->kind == card::CardKind::kFlashCard ? found.card->flashMbit : 0;
  BackupRestoreDialog list(window_, folder, cardFile_, cardMbit, confirm_);
  if (restoreListDriver_)
    restoreListDriver_(list);
  else
    list.exec();
  // Remove may have taken the backup that Restore Now offers.
  if (wayBack_ != nullptr && wayBack_->Offered() &&
      !QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(wayBack_->BackupPath()))))
    wayBack_->Withdraw();
  switch (list.Chosen()) {
    case BackupRestoreDialog::Choice::kRestore: {
      const Restore restore{*list.ChosenBackup(), false};
      WriteImage(restore.backup.path, Source::kBackup, &restore);
      break;
    }
    case BackupRestoreDialog::Choice::kOtherFile: {
      const std::string chosen =
          ChooseCardImage(dialogs_, window_, QStringLiteral("Restore Card from Backup"),
                          QFile::decodeName(QByteArray::fromStdString(folder)),
                          QStringLiteral("Card backups (*.gb)"));
      if (chosen.empty())
        break;
      // A file of the backup folder chosen this way is still a backup, and
      // is written only with what is wrong with it said, or not at all.
      if (const auto backup = BackupInFolder(folder, cardFile_, chosen)) {
        const Restore restore{*backup, false};
        WriteImage(chosen, Source::kBackup, &restore);
      } else {
        WriteImage(chosen, Source::kFile);
      }
      break;
    }
    case BackupRestoreDialog::Choice::kNone:
      break;
  }
}

void CardWriteAction::RestoreNow() {
  if (wayBack_ == nullptr || !wayBack_->Offered() || !host_.BeginLinkJob())
    return;
  const LinkJobScope scope(host_, jobBar_);
  host_.NameLinkJob("Restore Now");
  const std::string path = wayBack_->BackupPath();
  // The write made this backup of the whole card it read: its size tells
  // the card.
  const Restore restore{card::ReviewBackupFile(path, 0), true};
  WriteImage(path, Source::kBackup, &restore);
}

bool CardWriteAction::RestoreAllowed(const Restore& restore, std::uint8_t cardMbit,
                                     const std::string& path) {
  const std::string refusal = card::RestoreRefusal(restore.backup, cardMbit);
  if (refusal.empty())
    return true;
  host_.LogStatus(ShownPath(path) + " is not written: " + refusal + ".");
  return false;
}

std::string CardWriteAction::RestoreNotes(const Restore& restore) {
  std::string notes;
  for (const std::string& warning : restore.backup.warnings)
    notes += "\n\nThis backup " + warning + ".";
  return notes;
}

std::string CardWriteAction::AfterWrite(const card::CardWriteResult& result, bool wayBack) {
  host_.CardWritten();
  if (wayBack_ == nullptr)
    return {};
  if (result.outcome.Ok()) {
    wayBack_->Withdraw();
    return {};
  }
  if (result.writtenBegin == result.writtenEnd)
    return {};
  // The first stop keeps the way back: a later write or restore that stops
  // too started from a card already part written, and its own backup holds
  // that, not the card as the user had it.
  if (!wayBack && !wayBack_->Offered() && !result.backupPath.empty())
    wayBack_->Offer(result.backupPath, card::RangeText(result.writtenBegin, result.writtenEnd));
  if (!wayBack_->Offered())
    return {};
  host_.HoldOpenForResult();
  if (wayBack_->BackupPath() == result.backupPath)
    return " Restore Now, below, writes it back.";
  return " Restore Now, below, writes back " + ShownPath(wayBack_->BackupPath()) +
         ", the card as it was before the first write that stopped.";
}

}  // namespace velwin::sramman
