#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QPushButton;

namespace velwin::sramman {

// A path as the log shows it, whole, in the log's code page.
std::string ShownPath(const std::string& path);

// The strip below the job bar that a write stopped half-way leaves: which
// range of the card it changed and "Restore Now", which writes back the
// backup that write kept of the card as it was. It stays until a write
// verifies the card whole again, so the way back outlives a closed box or
// another look at the card.
class WayBackBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 26;

  explicit WayBackBar(QWidget* parent);

  // A write stopped with range written; backupPath holds the card as it was.
  void Offer(const std::string& backupPath, const std::string& range);
  void Withdraw();
  bool Offered() const { return !backupPath_.empty(); }
  const std::string& BackupPath() const { return backupPath_; }
  QPushButton* RestoreButton() const { return restore_; }
  QLabel* Note() const { return note_; }

 signals:
  void RestoreRequested();
  // The strip appeared or went: the window makes room for it.
  void ShownChanged(bool shown);

 private:
  QLabel* note_ = nullptr;
  QPushButton* restore_ = nullptr;
  std::string backupPath_;
};

}  // namespace velwin::sramman
