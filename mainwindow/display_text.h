#pragma once

#include <QString>
#include <string>

namespace velwin::mainwindow {

// The labels and the status line hold 8-bit Windows-1252 text, as ROM
// titles and database names come; this is what the window shows for it.
QString DisplayText(const std::string& bytes);

// The other way, for file names and texts made here: characters outside
// the code page become '?'.
std::string EightBitText(const QString& text);

// Paths go to the core as the bytes the file system knows them by.
std::string NativePath(const QString& path);

}  // namespace velwin::mainwindow
