#include "sramman/sram_manager_startup.h"

#include <cstdlib>
#include <string>

#include "card/backup_review.h"
#include "port/default_port.h"
#include "sram/parallel_port_presence.h"
#include "sram/sram_port.h"

namespace velwin::sramman {

std::unique_ptr<TSRAMManForm> CreateSramManager(QWidget* mainWindow,
                                                const QString& portDescription) {
  const QString description = portDescription.isEmpty()
                                  ? QString::fromStdString(xchanger::DefaultPortDescription())
                                  : portDescription;
  SramManagerParts parts;
  std::string portError;
  SramPortOptions options;
  // VELWIN_TRACE names the file for a trace of every port access.
  if (const char* trace = std::getenv("VELWIN_TRACE"); trace != nullptr)
    options.tracePath = trace;
  // The window opens its port at program start: one that another velwin
  // holds then refuses the first job instead.
  options.busyIsNoFailure = true;
  parts.port = OpenSramPort(description.toStdString(), portError, options);
  if (!parts.port) {
    std::string problem = PortProblemText(description.toStdString(), portError);
    if (NeedsParallelPort(description.toStdString()) && !MachineHasParallelPort())
      problem.append(" ").append(kNoParallelPortHint);
    parts.portProblem = QString::fromStdString(problem);
  }
  auto form = std::make_unique<TSRAMManForm>(mainWindow, std::move(parts));
  form->CardWrite()->SetCardFile(card::SimulatedCardFile(description.toStdString()));
  return form;
}

}  // namespace velwin::sramman
