#include "cli/command_port.h"

#include <ostream>

#include "cli/file_failure.h"
#include "cli/json_text.h"
#include "sram/parallel_port_presence.h"
#include "sram/sram_port.h"

namespace velwin::cli {

void ReportPortFailure(const std::string& port, const std::string& error, std::ostream& err,
                       std::ostream* json, const std::string& jsonLead) {
  const std::string why = sramman::CliPortError(port, error);
  err << "velwin-cli: port \"" << ShownName(port) << "\" could not be opened: " << ShownName(why)
      << '\n';
  if (json)
    *json << '{' << jsonLead << "\"port\":" << JsonString(port) << ",\"error\":" << JsonString(why)
          << "}\n";
}

std::unique_ptr<xchanger::PortBackend> OpenCommandPort(const std::string& port,
                                                       const std::string& trace, std::ostream& err,
                                                       std::ostream* json,
                                                       const std::string& jsonLead) {
  std::string error;
  sramman::SramPortOptions portOptions;
  portOptions.tracePath = trace;
  auto backend = sramman::OpenSramPort(port, error, portOptions);
  if (!backend)
    ReportPortFailure(port, error, err, json, jsonLead);
  return backend;
}

}  // namespace velwin::cli
