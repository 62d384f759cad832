// The Port menu's change of the port the SRAM manager talks through.
#include "sramman/sram_manager_form.h"

#include <memory>
#include <string>

#include "encoding/windows1252.h"
#include "sram/sram_port.h"
#include "sramman/port_choices.h"

namespace velwin::sramman {

void TSRAMManForm::ChangePort(const std::string& choice) {
  if (linkJobRunning_ || manager_.Busy())
    return;
  SavePortChoice(choice);
  const std::string description = ResolvePortChoice(choice);
  // The port in hand goes first: the chosen one may be the same device
  // under another name, and its lock must be free.
  port_->Replace(std::make_unique<AbsentPort>());
  QString problem;
  std::unique_ptr<xchanger::PortBackend> next;
  if (openPort_) {
    next = openPort_(description, problem);
  } else {
    std::string error;
    SramPortOptions options;
    options.busyIsNoFailure = true;
    next = OpenSramPort(description, error, options);
    if (!next)
      problem = QString::fromStdString(PortProblemText(description, error));
  }
  if (next)
    port_->Replace(std::move(next));
  portDescription_ = description;
  portProblem_ = problem;
  // The list was made over the old port: another cart may be behind the
  // new one. The way back stays, since its backup names its card and a
  // restore checks the card first.
  MarkListingStale(
      QStringLiteral("The port was changed since this list was made: Analyse Cart lists the "
                     "cart on it."));
  LogStatus("Port: " + encoding::Utf8ToWindows1252(description));
  if (!portProblem_.isEmpty())
    LogStatus(encoding::Utf8ToWindows1252(portProblem_.toStdString()));
}

}  // namespace velwin::sramman
