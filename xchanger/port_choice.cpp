#include "xchanger/port_choice.h"

#include <string_view>

#include "port/direct_port.h"
#include "port/parport_sysctl.h"
#include "port/ppdev_port.h"
#include "sim/simulated_xchanger.h"

namespace velwin::xchanger {

namespace {

// Splits "name:options" into the name and the rest from the colon on.
bool Named(std::string_view description, std::string_view name, std::string_view& options) {
  if (description.substr(0, name.size()) != name) {
    return false;
  }
  options = description.substr(name.size());
  return options.empty() || options.front() == ':';
}

}  // namespace

std::unique_ptr<PortBackend> OpenPortBackend(const std::string& description, std::string& error) {
  std::string_view options;
  if (Named(description, "direct", options)) {
    return OpenDirectPort(options, MakeDirectPortSystem(), kParportSysctlRoot, error);
  }
  if (Named(description, "ppdev", options)) {
    return OpenPpdevPort(options, MakePpdevSystem(), MakeDirectPortSystem(), kParportSysctlRoot,
                         error);
  }
  if (Named(description, "sim", options)) {
    sim::SimConfig config;
    if (!sim::ParseSimSpec(options.empty() ? options : options.substr(1), config, error)) {
      return nullptr;
    }
    return std::make_unique<sim::SimulatedXChanger>(std::move(config));
  }
  error = "unknown port \"" + description +
          "\": use direct, direct:BASE, ppdev, ppdev:DEVICE or sim:KEY=VALUE,...";
  return nullptr;
}

}  // namespace velwin::xchanger
