#include "sram/demo_card.h"

#include <cstddef>
#include <vector>

#include "sim/cart_image.h"
#include "sram/sram_game_table.h"

namespace velwin::sramman {
namespace {

namespace sim = xchanger::sim;

constexpr std::size_t kSramBanks = 16;

constexpr std::uint8_t kRomCode32k = 0x00;
constexpr std::uint8_t kRomCode2M = 0x06;  // the whole 16 Mbit chip
constexpr std::uint8_t kRamCodeNone = 0x00;
constexpr std::uint8_t kRamCode8k = 0x02;
constexpr std::uint8_t kRamCode32k = 0x03;
constexpr std::uint8_t kRamCode128k = 0x04;

// Every demo game is 32 KB, placed behind the menu's two banks.
constexpr std::uint16_t kGameBanks = 2;
constexpr std::uint16_t kFirstGameBank = 2;

std::string UpperCase(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool Is256k(const DemoGame& game) {
  return (game.sramByte >> 4) == 3;
}

std::uint8_t RamCodeOf(const DemoGame& game) {
  if (!game.usesSram)
    return kRamCodeNone;
  return Is256k(game) ? kRamCode32k : kRamCode8k;
}

}  // namespace

const std::vector<DemoGame>& DemoGames() {
  // Invented games, whose saves fill the card's SRAM but for its last bank:
  // a 256 kbit save may start no later than bank 11, and "Glass Harbour"
  // sits there, so every game the menu lists can be saved and loaded.
  static const std::vector<DemoGame> games = {
      {"Lantern Keep", true, 0x00},     {"Orbit Gardener", false, 0x00},
      {"Tidepool Tactics", true, 0x31}, {"Copper Caravan", true, 0x05},
      {"Moth and Lamp", true, 0x36},    {"Quarry Quest", false, 0x00},
      {"Pocket Almanac", true, 0x0A},   {"Glass Harbour", true, 0x3B},
  };
  return games;
}

std::string DemoSramBankText(int bank) {
  for (const DemoGame& game : DemoGames()) {
    if (!game.usesSram)
      continue;
    const int first = game.sramByte & 0x0F;
    const int count = Is256k(game) ? 4 : 1;
    if (bank >= first && bank < first + count) {
      return "velwin demo save: " + game.name + ", bank " + std::to_string(bank - first + 1) +
             " of " + std::to_string(count) + "\n";
    }
  }
  return "velwin demo SRAM: free bank " + std::to_string(bank) + "\n";
}

DemoCard BuildDemoCard() {
  const auto& games = DemoGames();
  DemoCard card;

  // The games first: a header's checksums cover what is already there.
  std::vector<sim::MenuEntry> directory;
  for (std::size_t k = 0; k < games.size(); ++k) {
    const DemoGame& game = games[k];
    const auto bank = static_cast<std::uint16_t>(kFirstGameBank + kGameBanks * k);
    sim::CartHeaderFields fields;
    fields.title = UpperCase(game.name);
    fields.romSizeCode = kRomCode32k;
    fields.ramSizeCode = RamCodeOf(game);
    sim::WriteCartHeader(card.rom, bank, fields);
    directory.push_back({game.name, game.usesSram, game.sramByte});
  }
  sim::WriteMenuDirectory(card.rom, directory);
  sim::CartHeaderFields menu;
  menu.title = "VELWIN DEMO";
  menu.signature = "VELTRA";
  menu.romSizeCode = kRomCode2M;
  menu.ramSizeCode = kRamCode128k;
  sim::WriteCartHeader(card.rom, 0, menu);

  card.sram.resize(kSramBanks * kSramBankBytes);
  for (std::size_t bank = 0; bank < kSramBanks; ++bank) {
    const std::string text = DemoSramBankText(static_cast<int>(bank));
    for (std::size_t i = 0; i < kSramBankBytes; ++i) {
      card.sram[bank * kSramBankBytes + i] = static_cast<std::uint8_t>(text[i % text.size()]);
    }
  }
  return card;
}

}  // namespace velwin::sramman
