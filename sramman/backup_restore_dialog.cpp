#include "sramman/backup_restore_dialog.h"

#include <QBrush>
#include <QByteArray>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "card/backup_removal.h"
#include "encoding/windows1252.h"

namespace velwin::sramman {
namespace {

QString FromAnsi(const std::string& text) {
  return QString::fromStdString(encoding::Windows1252ToUtf8(text));
}

QString FromPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QString CardColumn(const card::BackupReview& backup) {
  if (backup.kind != card::BackupFileKind::kBackup || backup.cardMbit == 0)
    return QStringLiteral("?");
  return QString::number(backup.cardMbit) + QStringLiteral(" Mbit");
}

// What the row says is wrong: why it cannot be restored, else what a
// restore must say first.
QString NoteColumn(const card::BackupReview& backup, std::uint8_t cardMbit) {
  if (const std::string refusal = card::RestoreRefusal(backup, cardMbit); !refusal.empty())
    return QStringLiteral("Refused: ") + FromAnsi(refusal);
  QStringList notes;
  for (const std::string& warning : backup.warnings)
    notes.append(FromAnsi(warning));
  return notes.join(QStringLiteral("; "));
}

}  // namespace

BackupRestoreDialog::BackupRestoreDialog(QWidget* parent, std::string folder, std::string cardFile,
                                         std::uint8_t cardMbit, Confirm confirm)
    : QDialog(parent),
      folder_(std::move(folder)),
      cardFile_(std::move(cardFile)),
      cardMbit_(cardMbit),
      confirm_(std::move(confirm)) {
  setObjectName(QStringLiteral("BackupRestoreDialog"));
  setWindowTitle(QStringLiteral("Restore Card from Backup"));
  resize(620, 320);
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("BackupFolderSummary"));
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(summary_);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("BackupList"));
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Card"), QStringLiteral("Games"),
                          QStringLiteral("Note")});
  list_->header()->setStretchLastSection(true);
  list_->setColumnWidth(0, 130);
  list_->setColumnWidth(1, 55);
  list_->setColumnWidth(2, 180);
  layout->addWidget(list_);
  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("BackupProblem"));
  problem_->setWordWrap(true);
  layout->addWidget(problem_);
  auto* buttons = new QDialogButtonBox(this);
  restore_ = buttons->addButton(QStringLiteral("Restore\u2026"), QDialogButtonBox::AcceptRole);
  remove_ = buttons->addButton(QStringLiteral("Remove\u2026"), QDialogButtonBox::ActionRole);
  other_ = buttons->addButton(QStringLiteral("Other File\u2026"), QDialogButtonBox::ActionRole);
  buttons->addButton(QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(restore_, &QPushButton::clicked, this, [this] {
    if (const card::BackupReview* backup = Selected();
        backup != nullptr && card::RestoreRefusal(*backup, cardMbit_).empty()) {
      choice_ = Choice::kRestore;
      chosen_ = *backup;
      accept();
    }
  });
  connect(other_, &QPushButton::clicked, this, [this] {
    choice_ = Choice::kOtherFile;
    accept();
  });
  connect(remove_, &QPushButton::clicked, this, &BackupRestoreDialog::RemoveSelected);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &BackupRestoreDialog::SelectionChanged);
  Refresh();
}

void BackupRestoreDialog::Refresh() {
  review_ = card::ReviewBackupFolder(folder_, cardFile_);
  list_->clear();
  const QString folder = FromPath(folder_);
  if (review_.error) {
    summary_->setText(QStringLiteral("Cannot read the backup folder ") + folder +
                      QStringLiteral(": ") + QString::fromStdString(review_.error.message()) +
                      QStringLiteral(". Other File\u2026 opens a backup from anywhere."));
  } else if (review_.files.empty()) {
    summary_->setText(QStringLiteral("No card backups yet in ") + folder + QStringLiteral("."));
  } else {
    summary_->setText(
        folder + QStringLiteral(": ") + QString::number(review_.files.size()) +
        (review_.files.size() == 1 ? QStringLiteral(" file, ") : QStringLiteral(" files, ")) +
        QString::number(review_.totalBytes) + QStringLiteral(" bytes."));
  }
  for (const card::BackupReview& backup : review_.files) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, QString::fromStdString(card::BackupDateText(backup.modified)));
    item->setText(1, CardColumn(backup));
    item->setText(2, FromAnsi(card::BackupGamesText(backup)));
    item->setText(3, NoteColumn(backup, cardMbit_));
    for (int column = 0; column < 4; ++column)
      item->setToolTip(column, FromPath(backup.path));
    // A backup that cannot be restored is greyed, but stays selectable so
    // that it can be removed and its reason read.
    if (!card::RestoreRefusal(backup, cardMbit_).empty()) {
      for (int column = 0; column < 4; ++column)
        item->setForeground(column, palette().brush(QPalette::Disabled, QPalette::Text));
    }
  }
  if (list_->topLevelItemCount() > 0)
    SelectRow(0);
  SelectionChanged();
}

void BackupRestoreDialog::SelectRow(int row) {
  if (QTreeWidgetItem* item = list_->topLevelItem(row))
    list_->setCurrentItem(item);
}

const card::BackupReview* BackupRestoreDialog::Selected() const {
  const int row = list_->indexOfTopLevelItem(list_->currentItem());
  if (row < 0 || static_cast<std::size_t>(row) >= review_.files.size())
    return nullptr;
  return &review_.files[static_cast<std::size_t>(row)];
}

void BackupRestoreDialog::SelectionChanged() {
  const card::BackupReview* backup = Selected();
  const std::string refusal = backup ? card::RestoreRefusal(*backup, cardMbit_) : std::string();
  restore_->setEnabled(backup != nullptr && refusal.empty());
  remove_->setEnabled(backup != nullptr &&
                      card::BackupRemovalRefusal(folder_, backup->path).empty());
  if (backup == nullptr)
    problem_->clear();
  else if (!refusal.empty())
    problem_->setText(FromPath(backup->path) + QStringLiteral(" cannot be restored: ") +
                      FromAnsi(refusal) + QStringLiteral("."));
  else
    problem_->setText(FromPath(backup->path));
}

void BackupRestoreDialog::RemoveSelected() {
  const card::BackupReview* backup = Selected();
  if (backup == nullptr)
    return;
  const QString games = FromAnsi(card::BackupGamesText(*backup));
  const QString question = QStringLiteral("Remove the backup ") + FromPath(backup->path) +
                           QStringLiteral(" (") +
                           QString::fromStdString(card::BackupDateText(backup->modified)) +
                           (games.isEmpty() ? QString() : QStringLiteral(": ") + games) +
                           QStringLiteral(")?\n\nA removed backup cannot put its card back.");
  if (!confirm_(this, question))
    return;
  const std::string failure = card::RemoveCardBackup(folder_, backup->path);
  const QString shown = FromPath(backup->path);
  Refresh();
  if (!failure.empty())
    problem_->setText(shown + QStringLiteral(" was not removed: ") + FromAnsi(failure) +
                      QStringLiteral("."));
}

}  // namespace velwin::sramman
