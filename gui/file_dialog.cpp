#include <QFileDialog>

#include "gui/file_dialog.h"

namespace velwin::gui {

QStringList NativeFileDialogs::Run(QWidget* parent, const FileDialogRequest& request) {
  // A dialog object rather than the static helpers, so that every option of
  // the request applies. QFileDialog never touches the process's current
  // directory, which the flash job and the databases rely on.
  QFileDialog dialog(parent, request.title, request.initialDirectory);
  dialog.setNameFilters(request.filters);
  dialog.setOption(QFileDialog::ReadOnly, false);
  switch (request.kind) {
    case FileDialogRequest::Kind::kOpenOne:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
      break;
    case FileDialogRequest::Kind::kOpenMany:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFiles);
      break;
    case FileDialogRequest::Kind::kSave:
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.promptOverwrite);
      break;
  }
  if (!request.defaultSuffix.isEmpty()) {
    dialog.setDefaultSuffix(request.defaultSuffix);
  }
  if (!request.fileName.isEmpty()) {
    dialog.selectFile(request.fileName);
  }
  if (dialog.exec() != QDialog::Accepted) {
    return {};
  }
  return dialog.selectedFiles();
}

}  // namespace velwin::gui
