#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace velwin::gui {

// What a file dialog is asked to do. Filters are Qt filter strings such as
// "GB ROMs (*.gb*)".
struct FileDialogRequest {
  enum class Kind { kOpenOne, kOpenMany, kSave };
  Kind kind = Kind::kOpenOne;
  QString title;
  QString initialDirectory;
  QString fileName;  // the name proposed in the initial directory
  QStringList filters;
  QString defaultSuffix;         // "sav" for SRAM files
  bool promptOverwrite = false;  // save: ask before replacing a file
  bool fileMustExist = false;
  bool pathMustExist = false;
};

// Runs file dialogs. The windows reach every dialog through this, so tests
// answer dialogs before they open.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The chosen full paths; empty when the user cancelled.
  virtual QStringList Run(QWidget* parent, const FileDialogRequest& request) = 0;
};

// The platform's own dialogs. Never changes the process's current directory.
class NativeFileDialogs : public FileDialogs {
 public:
  QStringList Run(QWidget* parent, const FileDialogRequest& request) override;
};

}  // namespace velwin::gui
