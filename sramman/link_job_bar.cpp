#include "sramman/link_job_bar.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "card/job_progress_text.h"

namespace velwin::sramman {
namespace {

// The bar counts in int; KiB keep the largest card well inside it.
int InKiB(std::uint64_t bytes) {
  return static_cast<int>(bytes / 1024);
}

// A card job's bar counts in tenths of a percent of its weighted work.
constexpr int kJobSteps = 1000;

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
  control_.SetProgressSink([this](const card::JobProgress& progress) { ShowJob(progress); });
}

void LinkJobBar::Begin(bool cancellable) {
  control_.Reset();
  bar_->setRange(0, 1);
  bar_->setValue(0);
  bar_->setFormat(QStringLiteral("%p%"));
  bar_->setTextVisible(true);
  cancel_->setEnabled(cancellable);
  started_ = std::chrono::steady_clock::now();
  fraction_ = 0.0;
}

void LinkJobBar::ShowJob(const card::JobProgress& progress) {
  // A write's total shrinks once it knows its plan; the bar only moves on.
  fraction_ = std::max(fraction_, progress.Fraction());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  QString text = QString::fromStdString(card::JobStepText(progress));
  const std::string left = card::TimeLeftText(seconds, fraction_);
  if (!left.empty())
    text += QStringLiteral(" \u00B7 ") + QString::fromStdString(left);
  bar_->setRange(0, kJobSteps);
  bar_->setFormat(text);
  bar_->setValue(static_cast<int>(fraction_ * kJobSteps));
  // The job waits while the events run, the question whether to stop it
  // included, however long the user takes: that is no part of its pace.
  const auto before = std::chrono::steady_clock::now();
  QCoreApplication::processEvents();
  started_ += std::chrono::steady_clock::now() - before;
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
