#include "sramman/demo_card.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "gbheader/header_logo.h"

namespace velwin::sramman {
namespace {

constexpr std::size_t kRomBankBytes = 16384;
constexpr std::size_t kSramBanks = 16;
constexpr std::size_t kSramBytes = kSramBanks * 8192;

// Header fields of a Game Boy cartridge, as offsets into ROM bank 0 of a game.
constexpr std::size_t kSignatureOffset = 0x30;
constexpr std::size_t kTitleOffset = 0x134;
constexpr std::size_t kTitleBytes = 16;
constexpr std::size_t kCartTypeOffset = 0x147;
constexpr std::size_t kRomSizeOffset = 0x148;
constexpr std::size_t kRamSizeOffset = 0x149;
constexpr std::size_t kHeaderChecksumOffset = 0x14D;

constexpr std::uint8_t kMbc5RamBattery = 0x1B;
constexpr std::uint8_t kRomCode32k = 0x00;
constexpr std::uint8_t kRomCode2M = 0x06;  // the whole 16 Mbit chip
constexpr std::uint8_t kRamCodeNone = 0x00;
constexpr std::uint8_t kRamCode8k = 0x02;
constexpr std::uint8_t kRamCode32k = 0x03;
constexpr std::uint8_t kRamCode128k = 0x04;

constexpr std::size_t kMenuEntryBytes = 47;
constexpr std::uint8_t kMenuUsesSram = 0x80;
constexpr std::size_t kGameBanks = 2;  // every demo game is 32 KB
constexpr std::size_t kFirstGameBank = 2;

void WriteHeader(std::vector<std::uint8_t>& rom, std::size_t bank, std::string_view title,
                 std::uint8_t romCode, std::uint8_t ramCode) {
  std::uint8_t* base = rom.data() + bank * kRomBankBytes;
  std::copy(gbheader::HeaderLogo.begin(), gbheader::HeaderLogo.end(), base + gbheader::kLogoOffset);
  std::fill(base + kTitleOffset, base + kTitleOffset + kTitleBytes, 0);
  std::copy_n(title.begin(), std::min(title.size(), kTitleBytes), base + kTitleOffset);
  base[kCartTypeOffset] = kMbc5RamBattery;
  base[kRomSizeOffset] = romCode;
  base[kRamSizeOffset] = ramCode;
  std::uint8_t checksum = 0;
  for (std::size_t i = kTitleOffset; i < kHeaderChecksumOffset; ++i) {
    checksum = static_cast<std::uint8_t>(checksum - base[i] - 1);
  }
  base[kHeaderChecksumOffset] = checksum;
}

std::string UpperCase(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::uint8_t RamCodeOf(const DemoGame& game) {
  if (!game.usesSram)
    return kRamCodeNone;
  return (game.sramByte >> 4) == 3 ? kRamCode32k : kRamCode8k;
}

int BanksOf(const DemoGame& game) {
  return (game.sramByte >> 4) == 3 ? 4 : 1;
}

}  // namespace

const std::vector<DemoGame>& DemoGames() {
  // Invented games. "Glass Harbour" starts its 256 kbit at bank 12, where
  // the transfers refuse it, to show what that looks like.
  static const std::vector<DemoGame> games = {
      {"Lantern Keep", true, 0x00},     {"Orbit Gardener", false, 0x00},
      {"Tidepool Tactics", true, 0x31}, {"Copper Caravan", true, 0x05},
      {"Moth and Lamp", true, 0x36},    {"Quarry Quest", false, 0x00},
      {"Pocket Almanac", true, 0x0A},   {"Glass Harbour", true, 0x3C},
  };
  return games;
}

std::string DemoSramBankText(int bank) {
  for (const DemoGame& game : DemoGames()) {
    if (!game.usesSram)
      continue;
    const int first = game.sramByte & 0x0F;
    const int count = BanksOf(game);
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
  card.rom.assign((kFirstGameBank + kGameBanks * games.size()) * kRomBankBytes, 0xFF);

  WriteHeader(card.rom, 0, "VELWIN DEMO", kRomCode2M, kRamCode128k);
  constexpr std::string_view kSignature = "VELTRA";
  std::copy(kSignature.begin(), kSignature.end(), card.rom.begin() + kSignatureOffset);

  std::uint8_t* directory = card.rom.data() + kRomBankBytes;
  std::fill(directory, directory + kRomBankBytes, 0);
  directory[0] = static_cast<std::uint8_t>(games.size());
  for (std::size_t k = 0; k < games.size(); ++k) {
    const DemoGame& game = games[k];
    std::uint8_t* entry = directory + 1 + kMenuEntryBytes * k;
    std::copy_n(game.name.begin(), std::min<std::size_t>(game.name.size(), 18), entry);
    entry[19] = game.usesSram ? kMenuUsesSram : 0x00;
    entry[21] = game.sramByte;
    WriteHeader(card.rom, kFirstGameBank + kGameBanks * k, UpperCase(game.name), kRomCode32k,
                RamCodeOf(game));
  }

  card.sram.resize(kSramBytes);
  for (std::size_t bank = 0; bank < kSramBanks; ++bank) {
    const std::string text = DemoSramBankText(static_cast<int>(bank));
    for (std::size_t i = 0; i < 8192; ++i) {
      card.sram[bank * 8192 + i] = static_cast<std::uint8_t>(text[i % text.size()]);
    }
  }
  return card;
}

}  // namespace velwin::sramman
