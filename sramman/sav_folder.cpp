#include "sramman/sav_folder.h"

#include <QFileInfo>

#include "gui/default_folder.h"

namespace velwin::sramman {

QString DefaultSavFolder() {
#ifdef Q_OS_WIN
  // The desktop folder of the Windows versions the settings come from.
  return QStringLiteral("c:\\windows\\desktop");
#else
  return gui::DesktopOrHomeFolder();
#endif
}

QString SavDialogStartFolder(const QString& stored) {
#ifdef Q_OS_WIN
  // The common dialogs fall back to a folder of their own choice.
  return stored;
#else
  if (!stored.isEmpty() && QFileInfo(stored).isDir())
    return stored;
  return DefaultSavFolder();
#endif
}

}  // namespace velwin::sramman
