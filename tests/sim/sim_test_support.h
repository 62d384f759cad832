#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/sim_config.h"

namespace velwin::xchanger::sim::testing {

// A ROM whose every byte tells its bank and offset apart from its
// neighbours': byte i is the low byte of i plus three times its bank.
inline std::vector<std::uint8_t> PatternRom(std::size_t banks) {
  std::vector<std::uint8_t> rom(banks * 0x4000);
  for (std::size_t i = 0; i < rom.size(); ++i) {
    rom[i] = static_cast<std::uint8_t>(i + 3 * (i / 0x4000));
  }
  return rom;
}

inline std::uint8_t PatternByte(std::size_t bank, std::size_t offset) {
  const std::size_t i = bank * 0x4000 + offset;
  return static_cast<std::uint8_t>(i + 3 * bank);
}

inline SimConfig CartConfig(FlashChip card, std::vector<std::uint8_t> rom,
                            std::size_t sramBytes = 0x20000) {
  SimConfig config;
  config.hasCart = true;
  config.card = card;
  config.rom = std::move(rom);
  config.sram.assign(sramBytes, 0x00);
  for (std::size_t i = 0; i < sramBytes; ++i) {
    config.sram[i] = static_cast<std::uint8_t>(i * 13 + i / 0x2000);
  }
  return config;
}

}  // namespace velwin::xchanger::sim::testing
