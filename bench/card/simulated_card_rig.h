#pragma once

// What the card write benchmarks share: a simulated X-Changer with a card in
// it, the link and cart operations on it, patterned card contents, and the
// figures each program prints after its benchmarks.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/simulated_xchanger.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace velwin::card::bench {

// The figures a program reports beside its benchmarks, by name.
std::map<std::string, double>& Figures();

// Runs the benchmarks named on the command line, then prints Figures() in
// simulated time; main's whole body.
int RunAndPrintFigures(int argc, char** argv);

// size bytes that differ from page to page and from seed to seed.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed);

// A simulated X-Changer's settings for a card of mbit megabits holding rom.
xchanger::sim::SimConfig CardConfig(std::uint8_t mbit, std::vector<std::uint8_t> rom);

// One simulated X-Changer holding a card of mbit megabits with these
// contents, and the link and cart operations on it. Every port access takes
// 1 us of its clock and every wait advances it.
struct Rig {
  Rig(std::uint8_t mbit, std::vector<std::uint8_t> rom);
  explicit Rig(xchanger::sim::SimConfig config);

  std::uint64_t Accesses() const { return port.Counters().reads + port.Counters().writes; }
  std::uint64_t Now() { return port.Clock().NowMicroseconds(); }
  double Seconds() { return static_cast<double>(Now()) / 1e6; }

  xchanger::sim::SimulatedXChanger port;
  xchanger::SteadyTickCounter ticks;
  xchanger::NoEventPump pump;
  xchanger::XChangerLink link{port, ticks, pump};
  xchanger::CartAccess cart{link};
};

}  // namespace velwin::card::bench
