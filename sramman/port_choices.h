#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velwin::sramman {

// One port the SRAM manager offers: its name in the Port menu and the port
// description it stands for ("" for the automatic choice).
struct PortChoice {
  std::string label;
  std::string description;
};

// The ports of this machine: the automatic choice (VELWIN_PORT aside, ppdev
// where the kernel offers /dev/parport0, else direct), each ppdev device
// under dev ("/dev/parport0 (ppdev)"), each port the parport driver lists
// under sysctl with its base ("Direct at 0x378"), and the demo card.
std::vector<PortChoice> ListPortChoices(const std::filesystem::path& dev,
                                        const std::filesystem::path& sysctl);

// The description the automatic choice stands for on this machine: ppdev
// where dev holds parport0, else direct.
std::string AutomaticPortDescription(const std::filesystem::path& dev);

// The port a choice of the Port menu opens: the description itself, or
// for the automatic choice (empty) this machine's.
std::string ResolvePortChoice(const std::string& choice);

}  // namespace velwin::sramman
