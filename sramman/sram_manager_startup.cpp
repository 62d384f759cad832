#include "sramman/sram_manager_startup.h"

#include <string>

#include "sramman/parallel_port_presence.h"
#include "sramman/sram_port.h"
#include "xchanger/default_port.h"

namespace velwin::sramman {

std::unique_ptr<TSRAMManForm> CreateSramManager(QWidget* mainWindow,
                                                const QString& portDescription) {
  const QString description = portDescription.isEmpty()
                                  ? QString::fromStdString(xchanger::DefaultPortDescription())
                                  : portDescription;
  SramManagerParts parts;
  std::string portError;
  parts.port = OpenSramPort(description.toStdString(), portError);
  if (!parts.port) {
    std::string problem = PortProblemText(description.toStdString(), portError);
    if (!MachineHasParallelPort())
      problem.append(" ").append(kNoParallelPortHint);
    parts.portProblem = QString::fromStdString(problem);
  }
  return std::make_unique<TSRAMManForm>(mainWindow, std::move(parts));
}

}  // namespace velwin::sramman
