#include "mainwindow/file_name_directory.h"

namespace velwin::mainwindow {
namespace {

QString PosixDirectory(const QString& fileName) {
  const qsizetype slash = fileName.lastIndexOf('/');
  if (slash < 0) {
    return {};
  }
  return slash == 0 ? QStringLiteral("/") : fileName.left(slash);
}

// Drive letters make the root special: "C:\roms\a.gb" -> "C:\roms", but
// "C:\a.gb" -> "C:\" and "\\server\a.gb" keeps "\\".
QString WindowsDirectory(const QString& fileName) {
  const qsizetype separator = std::max(fileName.lastIndexOf('\\'), fileName.lastIndexOf(':'));
  if (separator < 0) {
    return {};
  }
  QString directory = fileName.left(separator + 1);
  if (directory.size() > 1 && directory.endsWith('\\')) {
    const QChar before = directory.at(directory.size() - 2);
    if (before != ':' && before != '\\') {
      directory.chop(1);
    }
  }
  return directory;
}

}  // namespace

QString DirectoryOfFileName(const QString& fileName, PathStyle style) {
  return style == PathStyle::kWindows ? WindowsDirectory(fileName) : PosixDirectory(fileName);
}

QString DialogStartFolder(const QString& lastFileName, const QString& savedDirectory) {
  return lastFileName.isEmpty() ? savedDirectory : DirectoryOfFileName(lastFileName);
}

}  // namespace velwin::mainwindow
