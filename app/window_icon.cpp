#include "app/window_icon.h"

#include <QDir>
#include <QString>

namespace velwin::app {

QIcon VelwinIcon() {
  // The PNGs rendered from data/icons/velwin.svg, so that no SVG reader is
  // needed; each file tells its own size.
  QIcon icon;
  const QDir icons(QStringLiteral(":/icons"));
  for (const QString& name : icons.entryList(QDir::Files)) {
    icon.addFile(icons.filePath(name));
  }
  return icon;
}

}  // namespace velwin::app
