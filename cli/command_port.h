#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "port/port_backend.h"

namespace velwin::cli {

// "velwin-cli: port "PORT" could not be opened: WHY" on err, and the object
// {"port": PORT, "error": WHY} on json when given, after the members
// jsonLead where the command's JSON always starts with some; on a machine
// without a parallel port WHY ends by pointing to --port demo.
void ReportPortFailure(const std::string& port, const std::string& error, std::ostream& err,
                       std::ostream* json, const std::string& jsonLead = {});

// Opens the port a command names, its trace to the file trace (none when
// empty); on failure reports it as above and returns null.
std::unique_ptr<xchanger::PortBackend> OpenCommandPort(const std::string& port,
                                                       const std::string& trace, std::ostream& err,
                                                       std::ostream* json,
                                                       const std::string& jsonLead = {});

}  // namespace velwin::cli
