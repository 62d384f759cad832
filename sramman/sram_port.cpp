#include "sramman/sram_port.h"

#include <utility>

#include "sramman/demo_card.h"

#include "xchanger/sim/sim_config.h"
#include "xchanger/sim/simulated_xchanger.h"

namespace velwin::sramman {

std::unique_ptr<xchanger::PortBackend> OpenSramPort(const std::string& description,
                                                    std::string& error) {
  if (description != kDemoPortDescription)
    return xchanger::OpenPortBackend(description, error);

  DemoCard card = BuildDemoCard();
  xchanger::sim::SimConfig config;
  config.hasCart = true;
  config.rom = std::move(card.rom);
  config.romPath = "demo card";
  config.sram = std::move(card.sram);
  config.card = xchanger::sim::FlashChip::k16Mbit;
  config.lpt = 1;
  return std::make_unique<xchanger::sim::SimulatedXChanger>(std::move(config));
}

std::string PortProblemText(const std::string& description, const std::string& error) {
  return "Port \"" + description + "\" could not be opened: " + error;
}

}  // namespace velwin::sramman
