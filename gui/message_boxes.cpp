#include <QMessageBox>

#include "gui/message_boxes.h"

namespace velwin::gui {

void NativeMessageBoxes::ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace velwin::gui
