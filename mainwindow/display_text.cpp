#include "mainwindow/display_text.h"

#include <QFile>

#include "encoding/windows1252.h"

namespace velwin::mainwindow {

QString DisplayText(const std::string& bytes) {
  return QString::fromStdString(encoding::Windows1252ToUtf8(bytes));
}

std::string EightBitText(const QString& text) {
  return encoding::Utf8ToWindows1252(text.toStdString());
}

std::string NativePath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace velwin::mainwindow
