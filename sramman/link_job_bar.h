#pragma once

#include <QWidget>
#include <chrono>
#include <cstdint>

#include "card/job_progress.h"

class QProgressBar;
class QPushButton;

namespace velwin::sramman {

// The strip below the SRAM manager's controls: a progress bar and Cancel for
// the link job in hand. A card job's bar names its phase and the time left
// ("Erasing sector 5 of 16 · 1:20 left"); an SRAM transfer's shows its
// percent. Each report of progress
// lets the window handle its waiting events, so it repaints and answers
// while the job runs on the one GUI thread.
class LinkJobBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 26;

  explicit LinkJobBar(QWidget* parent);

  QProgressBar* Bar() const { return bar_; }
  QPushButton* CancelButton() const { return cancel_; }
  // For jobs that report through a JobControl: its progress goes to Show.
  card::JobControl& Control() { return control_; }

  // A job starts; Cancel is offered only where the job can stop cleanly.
  void Begin(bool cancellable);
  // Where the job stands; returns false once Cancel was pressed.
  bool Show(std::uint64_t done, std::uint64_t toDo);
  // Where a card job stands, with its phase and the time left.
  void ShowJob(const card::JobProgress& progress);
  void End();
  // Cancel pressed, or the window asked to close meanwhile.
  void RequestCancel() { control_.RequestCancel(); }

 private:
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
  card::JobControl control_;
  std::chrono::steady_clock::time_point started_;
  double fraction_ = 0.0;  // the most shown of the card job in hand
};

}  // namespace velwin::sramman
