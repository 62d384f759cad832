#include <QMessageBox>

#include "gui/message_boxes.h"

namespace velwin::gui {

bool AskYesNo(QWidget* parent, const QString& question) {
  return QMessageBox::question(parent, ApplicationTitle(), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void NativeMessageBoxes::ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace velwin::gui
