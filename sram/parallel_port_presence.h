#pragma once

#include <filesystem>
#include <string>

#include "port/parport_sysctl.h"

namespace velwin::sramman {

// Whether the machine has any parallel port: a ppdev device (parport0,
// parport1, ... in deviceFolder) or a port the parport driver lists under
// sysctlRoot. Without one no X-Changer can be reached however the port is
// named, and the demo card is the only way to try the SRAM manager.
bool MachineHasParallelPort(const std::filesystem::path& deviceFolder = "/dev",
                            const std::filesystem::path& sysctlRoot = xchanger::kParportSysctlRoot);

// What the port problem adds on such a machine.
inline constexpr const char* kNoParallelPortHint =
    "This machine has no parallel port: start velwin --demo to try the demo card.";

// Whether the port description names real hardware (ppdev, direct), which
// such a machine cannot have, rather than the simulator or the demo card.
bool NeedsParallelPort(const std::string& description);

// What a command-line port failure adds on such a machine.
inline constexpr const char* kNoParallelPortCliHint =
    "This machine has no parallel port: add --port demo to try the demo card.";

// A port failure of velwin-cli: error, followed by the hint to the demo card
// where the port named needs a parallel port (ppdev, direct) and the machine
// has none, since then no fix of the port's name or rights can help.
std::string CliPortError(const std::string& description, const std::string& error,
                         const std::filesystem::path& deviceFolder = "/dev",
                         const std::filesystem::path& sysctlRoot = xchanger::kParportSysctlRoot);

}  // namespace velwin::sramman
