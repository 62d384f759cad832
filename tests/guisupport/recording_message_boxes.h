#pragma once

#include <QStringList>

#include "gui/message_boxes.h"

namespace velwin::gui::testing {

// Message boxes that never open: the texts are kept, in the order shown.
class RecordingMessageBoxes : public MessageBoxes {
 public:
  void ShowError(QWidget* /*parent*/, const QString& text) override { errors_.append(text); }

  const QStringList& Errors() const { return errors_; }
  void Clear() { errors_.clear(); }

 private:
  QStringList errors_;
};

}  // namespace velwin::gui::testing
