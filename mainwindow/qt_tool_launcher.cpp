#include "mainwindow/qt_tool_launcher.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

#include "flashjob/check_startable.h"

namespace velwin::mainwindow {

std::error_code QtToolLauncher::Start(const std::string& program,
                                      const std::vector<std::string>& arguments,
                                      const std::string& workingDirectory) {
  // startDetached only says whether the start worked, not why not; the
  // program's file tells the usual reasons beforehand.
  if (const std::error_code problem = flash::CheckStartable(program, workingDirectory))
    return problem;
  QStringList qtArguments;
  for (const std::string& argument : arguments) {
    qtArguments.append(QString::fromStdString(argument));
  }
  if (!QProcess::startDetached(QFile::decodeName(QByteArray::fromStdString(program)), qtArguments,
                               QFile::decodeName(QByteArray::fromStdString(workingDirectory)))) {
    // A file that passed the checks yet cannot be run: not a program the
    // system knows how to execute.
    return std::make_error_code(std::errc::executable_format_error);
  }
  return {};
}

}  // namespace velwin::mainwindow
