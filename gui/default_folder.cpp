#include "gui/default_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace velwin::gui {

QString DesktopOrHomeFolder() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
    return desktop;
  return QDir::homePath();
}

}  // namespace velwin::gui
