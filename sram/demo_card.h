#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velwin::sramman {

// A VELTRA multi-game card that the program builds for itself, so the SRAM
// manager can be tried without hardware: a menu in bank 0, its directory in
// bank 1 and a handful of small games behind it, and an SRAM whose every
// bank says which game and bank it belongs to.
struct DemoCard {
  std::vector<std::uint8_t> rom;
  std::vector<std::uint8_t> sram;  // 16 banks of 8 KB
};

// One game of the demo card's directory, for those who want to check it.
struct DemoGame {
  std::string name;  // as the directory holds it, at most 18 bytes
  bool usesSram;
  std::uint8_t sramByte;  // high nibble 3: 256 kbit; low nibble: first SRAM bank
};

const std::vector<DemoGame>& DemoGames();

// The flash chip the demo card is built for has 16 Mbit: 128 ROM banks and
// sixteen SRAM banks.
inline constexpr int kDemoCardMbit = 16;

DemoCard BuildDemoCard();

// The text the demo SRAM repeats throughout bank n.
std::string DemoSramBankText(int bank);

}  // namespace velwin::sramman
