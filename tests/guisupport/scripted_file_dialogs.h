#pragma once

#include <QStringList>
#include <deque>
#include <vector>

#include "gui/file_dialog.h"

namespace velwin::gui::testing {

// File dialogs answered before they open. Each Run takes the next queued
// answer (an empty list is a cancel) and records the request. A dialog that
// opens with nothing queued fails the running test and is cancelled.
class ScriptedFileDialogs : public FileDialogs {
 public:
  void QueueAnswer(const QStringList& paths) { answers_.push_back(paths); }
  void QueueCancel() { answers_.push_back({}); }

  QStringList Run(QWidget* parent, const FileDialogRequest& request) override;

  const std::vector<FileDialogRequest>& Requests() const { return requests_; }
  std::size_t PendingAnswers() const { return answers_.size(); }

 private:
  std::deque<QStringList> answers_;
  std::vector<FileDialogRequest> requests_;
};

}  // namespace velwin::gui::testing
