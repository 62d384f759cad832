#include "sramman/sram_port.h"

#include <utility>

#include "sramman/demo_card.h"

#if __has_include("xchanger/sim/simulated_xchanger.h")
#include "xchanger/sim/sim_config.h"
#include "xchanger/sim/simulated_xchanger.h"
#define VELWIN_SRAM_HAVE_DEMO 1
#endif

namespace velwin::sramman {

std::unique_ptr<xchanger::PortBackend> OpenSramPort(const std::string& description,
                                                    std::string& error) {
  if (description != kDemoPortDescription)
    return xchanger::OpenPortBackend(description, error);

#ifdef VELWIN_SRAM_HAVE_DEMO
  DemoCard card = BuildDemoCard();
  xchanger::sim::SimConfig config;
  config.hasCart = true;
  config.rom = std::move(card.rom);
  config.romPath = "demo card";
  config.sram = std::move(card.sram);
  config.card = xchanger::sim::FlashChip::k16Mbit;
  config.lpt = 1;
  return std::make_unique<xchanger::sim::SimulatedXChanger>(std::move(config));
#else
  error = "this build has no simulated X-Changer for the demo card";
  return nullptr;
#endif
}

}  // namespace velwin::sramman
