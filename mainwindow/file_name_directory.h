#pragma once

#include <QString>

namespace velwin::mainwindow {

// How a path names its directory.
enum class PathStyle {
  kPosix,    // '/' separates; "/a.gb" lies in "/"
  kWindows,  // '\\' and ':' separate; "C:\a.gb" lies in "C:\"
#ifdef Q_OS_WIN
  // Windows: drive letters and backslashes in the paths the dialogs return.
  kNative = kWindows,
#else
  kNative = kPosix,
#endif
};

// The directory part of a file name, as the settings remember a dialog's
// folder: everything before the last separator, the root keeping its
// separator; empty for a bare name.
QString DirectoryOfFileName(const QString& fileName, PathStyle style = PathStyle::kNative);

// The folder a dialog opens in: the folder of the file chosen last, or the
// one the settings remembered.
QString DialogStartFolder(const QString& lastFileName, const QString& savedDirectory);

}  // namespace velwin::mainwindow
