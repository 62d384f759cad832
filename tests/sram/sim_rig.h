#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "sim/sim_config.h"
#include "sim/simulated_xchanger.h"
#include "sram/memory_sram_view.h"
#include "sram/sram_manager.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace velwin::sramman::testing {

// A clock that moves on by a few milliseconds each time it is read, so the
// identification's wait ends at once.
class SteppingTicks : public xchanger::TickCounter {
 public:
  std::uint32_t GetTickCount() override { return now_ += 3; }

 private:
  std::uint32_t now_ = 0;
};

// Counts its runs and can do something during one, as a user clicking
// while the window handles events would.
class CountingPump : public xchanger::EventPump {
 public:
  void ProcessEvents() override {
    ++runs;
    if (during)
      during();
  }
  int runs = 0;
  std::function<void()> during;
};

inline xchanger::sim::SimConfig CartConfig(
    std::vector<std::uint8_t> rom,
    xchanger::sim::FlashChip card = xchanger::sim::FlashChip::k64Mbit) {
  xchanger::sim::SimConfig config;
  config.hasCart = true;
  config.rom = std::move(rom);
  config.card = card;
  config.sram.assign(16 * 8192, 0x00);
  return config;
}

// The simulated X-Changer and cart with the link, cart access and the SRAM
// manager on top, its log and grid kept in memory.
struct SimRig {
  explicit SimRig(xchanger::sim::SimConfig config)
      : sim(std::move(config)),
        link(sim, ticks, linkPump),
        cart(link),
        manager(cart, scanPump, view) {}

  xchanger::sim::SimulatedXChanger sim;
  SteppingTicks ticks;
  CountingPump linkPump;  // the identification's wait
  CountingPump scanPump;  // the GBPACK scan
  xchanger::XChangerLink link;
  xchanger::CartAccess cart;
  MemorySramView view;
  SramManager manager;

  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int r = 0; r < view.RowCount(); ++r)
      rows.push_back(view.Cell(0, r) + "|" + view.Cell(1, r));
    return rows;
  }
};

}  // namespace velwin::sramman::testing
