#include "sramman/sram_manager_startup.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "card/backup_review.h"
#include "joblog/job_log_file.h"
#include "port/default_port.h"
#include "sram/parallel_port_presence.h"
#include "sram/sram_port.h"
#include "sramman/port_choices.h"
#include "sramman/port_menu.h"

namespace velwin::sramman {

std::unique_ptr<xchanger::PortBackend> OpenWindowPort(const std::string& description,
                                                      QString& problem) {
  std::string portError;
  SramPortOptions options;
  // VELWIN_TRACE names the file for a trace of every port access.
  if (const char* trace = std::getenv("VELWIN_TRACE"); trace != nullptr)
    options.tracePath = trace;
  // The window opens its port at program start: one that another velwin
  // holds then refuses the first job instead.
  options.busyIsNoFailure = true;
  auto port = OpenSramPort(description, portError, options);
  if (!port) {
    std::string text = PortProblemText(description, portError);
    if (NeedsParallelPort(description) && !MachineHasParallelPort())
      text.append(" ").append(kNoParallelPortHint);
    // Port instructions need root, which the window never has: the card
    // can still be written by velwin-cli with the rights.
    else if (description.rfind("direct", 0) == 0 && ::geteuid() != 0)
      text.append(" Card > Write with Administrator Rights\u2026 writes the card with them.");
    problem = QString::fromStdString(text);
  }
  return port;
}

std::unique_ptr<TSRAMManForm> CreateSramManager(QWidget* mainWindow,
                                                const QString& portDescription) {
  SramManagerParts parts;
  parts.jobLogPath = joblog::JobLogPath(std::getenv);
  PortSelection& selection = parts.portSelection;
  // --port and --demo, then VELWIN_PORT, win over the Port menu's choice.
  if (!portDescription.isEmpty()) {
    selection.setBy = "the command line";
    selection.setPort = portDescription.toStdString();
  } else if (const char* environment = std::getenv("VELWIN_PORT"); environment != nullptr) {
    selection.setBy = "VELWIN_PORT";
    selection.setPort = environment;
  }
  selection.chosen = SavedPortChoice();
  parts.portDescription =
      selection.setBy.empty() ? ResolvePortChoice(selection.chosen) : selection.setPort;
  parts.port = OpenWindowPort(parts.portDescription, parts.portProblem);
  parts.openPort = OpenWindowPort;
  const std::string cardFile = card::SimulatedCardFile(parts.portDescription);
  auto form = std::make_unique<TSRAMManForm>(mainWindow, std::move(parts));
  form->CardWrite()->SetCardFile(cardFile);
  return form;
}

}  // namespace velwin::sramman
