#include "sramman/way_back_bar.h"

#include <QByteArray>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "encoding/windows1252.h"

namespace velwin::sramman {

std::string ShownPath(const std::string& path) {
  return encoding::Utf8ToWindows1252(
      QFile::decodeName(QByteArray::fromStdString(path)).toStdString());
}

WayBackBar::WayBackBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("WayBackBar"));
  note_ = new QLabel(this);
  note_->setObjectName(QStringLiteral("WayBackNote"));
  note_->setGeometry(8, 2, 240, 22);
  restore_ = new QPushButton(QStringLiteral("Restore Now"), this);
  restore_->setObjectName(QStringLiteral("RestoreNow"));
  restore_->setGeometry(252, 1, 85, 22);
  connect(restore_, &QPushButton::clicked, this, &WayBackBar::RestoreRequested);
  hide();
}

void WayBackBar::Offer(const std::string& backupPath, const std::string& range) {
  backupPath_ = backupPath;
  const QString path = QFile::decodeName(QByteArray::fromStdString(backupPath));
  note_->setText(QStringLiteral("Card part written: ") + QString::fromStdString(range));
  // The whole path where there is room for it: the strip is narrow.
  const QString tip = QStringLiteral("Restore Now writes back ") + path +
                      QStringLiteral(", which holds the card as it was.");
  note_->setToolTip(tip);
  restore_->setToolTip(tip);
  if (isHidden()) {
    show();
    emit ShownChanged(true);
  }
}

void WayBackBar::Withdraw() {
  backupPath_.clear();
  if (!isHidden()) {
    hide();
    emit ShownChanged(false);
  }
}

}  // namespace velwin::sramman
