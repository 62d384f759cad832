#pragma once

#include <memory>
#include <string>

#include "port/port_backend.h"

namespace velwin::xchanger {

// The way to the X-Changer that a --port description names:
//   "direct"            x86 port instructions (root or CAP_SYS_RAWIO)
//   "ppdev"             /dev/parportN through the kernel's ppdev interface
//   "sim:KEY=VALUE,..." the simulated X-Changer and cart
// Opens that backend; on failure returns null and sets error to a message
// that says what to do.
std::unique_ptr<PortBackend> OpenPortBackend(const std::string& description, std::string& error);

}  // namespace velwin::xchanger
