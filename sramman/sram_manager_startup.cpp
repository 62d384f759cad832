#include "sramman/sram_manager_startup.h"

#include <string>

#include "sramman/sram_port.h"

namespace velwin::sramman {

std::unique_ptr<TSRAMManForm> CreateSramManager(QWidget* mainWindow, const QStringList& args,
                                                QString& error) {
  error.clear();
  QString description;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == QStringLiteral("--demo")) {
      description = QString::fromLatin1(kDemoPortDescription);
    } else if (arg == QStringLiteral("--port")) {
      if (i + 1 < args.size()) {
        description = args[++i];
      } else {
        error = QStringLiteral("--port needs a port description");
      }
    } else if (arg.startsWith(QStringLiteral("--port="))) {
      description = arg.mid(7);
    }
  }
  if (description.isEmpty())
    description = QString::fromStdString(xchanger::DefaultPortDescription());

  SramManagerParts parts;
  std::string portError;
  parts.port = OpenSramPort(description.toStdString(), portError);
  if (!parts.port) {
    parts.portProblem = QStringLiteral("Port \"%1\" could not be opened: %2")
                            .arg(description, QString::fromStdString(portError));
    if (error.isEmpty())
      error = parts.portProblem;
  }
  return std::make_unique<TSRAMManForm>(mainWindow, std::move(parts));
}

}  // namespace velwin::sramman
