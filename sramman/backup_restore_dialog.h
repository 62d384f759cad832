#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "card/backup_review.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace velwin::sramman {

// "Restore Card from Backup…": the backups of the card backup folder, newest
// first, each with its date, card, games and what is wrong with it, and
// the bytes the folder takes. A backup that must not go onto the card in
// the X-Changer (another card size, a link, no card at all, ...) cannot be
// chosen; one that may hold a partly written card can, and says so. Remove
// deletes the chosen backup after a question; "Other File…" leaves the
// choice to the open dialog.
class BackupRestoreDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Choice { kNone, kRestore, kOtherFile };
  using Confirm = std::function<bool(QWidget* parent, const QString& question)>;

  // cardMbit: the card in the X-Changer, 0 when it could not be told;
  // cardFile: the simulated card's own file, empty for a real card.
  BackupRestoreDialog(QWidget* parent, std::string folder, std::string cardFile,
                      std::uint8_t cardMbit, Confirm confirm);

  QTreeWidget* List() const { return list_; }
  QLabel* Summary() const { return summary_; }
  QLabel* Problem() const { return problem_; }
  QPushButton* RestoreButton() const { return restore_; }
  QPushButton* RemoveButton() const { return remove_; }
  QPushButton* OtherFileButton() const { return other_; }
  void SelectRow(int row);

  Choice Chosen() const { return choice_; }
  // The backup chosen to restore; null unless Chosen() is kRestore.
  const card::BackupReview* ChosenBackup() const { return chosen_ ? &*chosen_ : nullptr; }

 private:
  void Refresh();
  void SelectionChanged();
  void RemoveSelected();
  const card::BackupReview* Selected() const;

  std::string folder_;
  std::string cardFile_;
  std::uint8_t cardMbit_;
  Confirm confirm_;
  card::BackupFolderReview review_;
  QTreeWidget* list_ = nullptr;
  QLabel* summary_ = nullptr;
  QLabel* problem_ = nullptr;
  QPushButton* restore_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* other_ = nullptr;
  Choice choice_ = Choice::kNone;
  std::optional<card::BackupReview> chosen_;
};

}  // namespace velwin::sramman
