#include "bench/card/simulated_card_rig.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <utility>

namespace velwin::card::bench {

xchanger::sim::SimConfig CardConfig(std::uint8_t mbit, std::vector<std::uint8_t> rom) {
  using xchanger::sim::FlashChip;
  xchanger::sim::SimConfig config;
  config.hasCart = true;
  config.card = mbit == 4    ? FlashChip::k4Mbit
                : mbit == 16 ? FlashChip::k16Mbit
                             : FlashChip::k64Mbit;
  config.rom = std::move(rom);
  return config;
}

std::map<std::string, double>& Figures() {
  static std::map<std::string, double> figures;
  return figures;
}

int RunAndPrintFigures(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nsimulated time (1 us per port access)\n");
  for (const auto& [name, value] : Figures())
    std::printf("  %-62s %8.3f\n", name.c_str(), value);
  return 0;
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return bytes;
}

Rig::Rig(std::uint8_t mbit, std::vector<std::uint8_t> rom)
    : port(CardConfig(mbit, std::move(rom))) {}

Rig::Rig(xchanger::sim::SimConfig config) : port(std::move(config)) {}

}  // namespace velwin::card::bench
