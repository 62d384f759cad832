#include "sramman/link_job_bar.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace velwin::sramman {
namespace {

// The bar counts in int; KiB keep the largest card well inside it.
int InKiB(std::uint64_t bytes) {
  return static_cast<int>(bytes / 1024);
}

}  // namespace

LinkJobBar::LinkJobBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("LinkJobBar"));
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("JobProgress"));
  bar_->setGeometry(8, 2, 255, 20);
  bar_->setRange(0, 1);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("JobCancel"));
  cancel_->setGeometry(268, 1, 69, 22);
  cancel_->setEnabled(false);
  connect(cancel_, &QPushButton::clicked, this, [this] { RequestCancel(); });
  control_.SetProgressSink(
      [this](const card::JobProgress& progress) { Show(progress.bytesDone, progress.bytesToDo); });
}

void LinkJobBar::Begin(bool cancellable) {
  control_.Reset();
  bar_->setRange(0, 1);
  bar_->setValue(0);
  bar_->setTextVisible(true);
  cancel_->setEnabled(cancellable);
}

bool LinkJobBar::Show(std::uint64_t done, std::uint64_t toDo) {
  bar_->setRange(0, std::max(InKiB(toDo), 1));
  bar_->setValue(InKiB(done));
  QCoreApplication::processEvents();
  return !control_.CancelRequested();
}

void LinkJobBar::End() {
  bar_->setRange(0, 1);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  cancel_->setEnabled(false);
}

}  // namespace velwin::sramman
