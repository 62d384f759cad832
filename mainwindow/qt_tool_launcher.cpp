#include "mainwindow/qt_tool_launcher.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

namespace velwin::mainwindow {

void QtToolLauncher::Start(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory) {
  QStringList qtArguments;
  for (const std::string& argument : arguments) {
    qtArguments.append(QString::fromStdString(argument));
  }
  // The outcome is not examined: a missing tool simply does not start.
  QProcess::startDetached(QFile::decodeName(QByteArray::fromStdString(program)), qtArguments,
                          QFile::decodeName(QByteArray::fromStdString(workingDirectory)));
}

}  // namespace velwin::mainwindow
