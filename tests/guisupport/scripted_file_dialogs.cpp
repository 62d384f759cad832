#include "tests/guisupport/scripted_file_dialogs.h"

#include <gtest/gtest.h>

namespace velwin::gui::testing {

QStringList ScriptedFileDialogs::Run(QWidget* /*parent*/, const FileDialogRequest& request) {
  requests_.push_back(request);
  if (answers_.empty()) {
    ADD_FAILURE() << "file dialog \"" << request.title.toStdString()
                  << "\" opened without a prepared answer";
    return {};
  }
  QStringList answer = answers_.front();
  answers_.pop_front();
  return answer;
}

}  // namespace velwin::gui::testing
