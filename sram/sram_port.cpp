#include "sram/sram_port.h"

#include <utility>
#include <vector>

#include "sram/demo_card.h"

#include "port/locked_port.h"
#include "port/port_lock.h"
#include "port/port_trace.h"
#include "sim/sim_config.h"
#include "sim/simulated_xchanger.h"
#include "xchanger/port_choice.h"

namespace velwin::sramman {

namespace {

std::unique_ptr<xchanger::PortBackend> OpenDemoPort() {
  DemoCard card = BuildDemoCard();
  xchanger::sim::SimConfig config;
  config.hasCart = true;
  // No file behind it: the cart lives in memory, and a write to it is gone
  // with the program, as the demo promises.
  config.rom = std::move(card.rom);
  config.sram = std::move(card.sram);
  config.card = xchanger::sim::FlashChip::k16Mbit;
  config.lpt = 1;
  return std::make_unique<xchanger::sim::SimulatedXChanger>(std::move(config));
}

// The port under the locks of what it drives; the demo card and a
// simulated cart without files are this process's own and need none.
std::unique_ptr<xchanger::PortBackend> OpenLockedPort(const std::string& description,
                                                      std::string& error,
                                                      const SramPortOptions& options) {
  if (description == kDemoPortDescription)
    return OpenDemoPort();
  if (xchanger::PortLockKeys(description).empty())
    return xchanger::OpenPortBackend(description, error);
  auto port = std::make_unique<xchanger::LockedPort>(
      description, [description] { return xchanger::PortLockKeys(description); },
      xchanger::PortLockFolder(),
      [description](std::string& why) { return xchanger::OpenPortBackend(description, why); });
  std::string why;
  if (!port->Reserve(why) && !(options.busyIsNoFailure && port->InUse())) {
    error = why;
    return nullptr;
  }
  return port;
}

}  // namespace

std::unique_ptr<xchanger::PortBackend> OpenSramPort(const std::string& description,
                                                    std::string& error,
                                                    const SramPortOptions& options) {
  auto port = OpenLockedPort(description, error, options);
  if (port && !options.tracePath.empty())
    port = std::make_unique<xchanger::TracedPort>(std::move(port), options.tracePath);
  return port;
}

std::string PortProblemText(const std::string& description, const std::string& error) {
  return "Port \"" + description + "\" could not be opened: " + error;
}

}  // namespace velwin::sramman
