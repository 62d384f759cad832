#include "xchanger/sim/cart_image.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "gbheader/header_logo.h"
#include "tests/simulator/port_driver.h"
#include "xchanger/sim/simulated_xchanger.h"

namespace velwin::xchanger::sim {
namespace {

std::string Text(const std::vector<std::uint8_t>& rom, std::size_t at, std::size_t n) {
  return std::string(rom.begin() + static_cast<std::ptrdiff_t>(at),
                     rom.begin() + static_cast<std::ptrdiff_t>(at + n));
}

TEST(CartImage, HeaderPassesTheChecksStartupCodeAndFlashToolsMake) {
  std::vector<std::uint8_t> rom(0x4000, 0x00);
  for (std::size_t i = 0; i < rom.size(); ++i)
    rom[i] = static_cast<std::uint8_t>(i * 7);
  WriteCartHeader(rom, 0, {"POKEMON RED", "", 0x13, 0x02, 0x03});

  ASSERT_EQ(rom.size(), 8u * 0x4000) << "code 2 declares 128 KiB";
  EXPECT_EQ(rom[0x4000], 0xFF);
  EXPECT_TRUE(std::equal(gbheader::HeaderLogo.begin(), gbheader::HeaderLogo.end(),
                         rom.begin() + gbheader::kLogoOffset));
  EXPECT_EQ(Text(rom, 0x134, 16), std::string("POKEMON RED\0\0\0\0\0", 16));
  EXPECT_EQ(Text(rom, 0x30, 6), std::string(6, '\0'));
  EXPECT_EQ(rom[0x147], 0x13);
  EXPECT_EQ(rom[0x148], 0x02);
  EXPECT_EQ(rom[0x149], 0x03);

  // The boot ROM's test: header bytes 0x134-0x14D plus 25 sum to zero.
  int sum = 25;
  for (std::size_t i = 0x134; i <= 0x14D; ++i)
    sum += rom[i];
  EXPECT_EQ(sum % 256, 0);

  // The global checksum: every byte but the two that hold it, big-endian.
  const unsigned total = std::accumulate(rom.begin(), rom.end(), 0u) - rom[0x14E] - rom[0x14F];
  EXPECT_EQ(rom[0x14E] << 8 | rom[0x14F], total & 0xFFFF);
}

TEST(CartImage, GamesAtLaterBanksCarryTheirOwnHeaderAndSignature) {
  std::vector<std::uint8_t> rom;
  WriteCartHeader(rom, 0, {"GBPACK MENU", "", 0x19, 0x00, 0x00});
  WriteCartHeader(rom, 2, {"ZELDA", "VELTRA", 0x1B, 0x01, 0x02});
  ASSERT_EQ(rom.size(), 6u * 0x4000);
  EXPECT_EQ(Text(rom, 0x8000 + 0x134, 5), "ZELDA");
  EXPECT_EQ(Text(rom, 0x8000 + 0x30, 6), "VELTRA");
  EXPECT_EQ(rom[0x8000 + 0x149], 0x02);
  EXPECT_EQ(Text(rom, 0x134, 6), "GBPACK");

  // The header is where a cart reader finds it: bank 2 at 0x4000.
  SimConfig config;
  config.hasCart = true;
  config.card = FlashChip::k16Mbit;
  config.rom = rom;
  SimulatedXChanger sim(std::move(config));
  testing::PortDriver port(sim, 0x378);
  port.CartWrite(0x2000, 2);
  std::string title;
  for (std::uint16_t a = 0x4134; a < 0x4139; ++a)
    title += static_cast<char>(port.CartRead(a));
  EXPECT_EQ(title, "ZELDA");
}

TEST(CartImage, RejectsFieldsTooLongForTheHeader) {
  std::vector<std::uint8_t> rom;
  EXPECT_THROW(WriteCartHeader(rom, 0, {std::string(17, 'A'), "", 0x1B, 0, 0}),
               std::invalid_argument);
  EXPECT_THROW(WriteCartHeader(rom, 0, {"A", "SEVEN77", 0x1B, 0, 0}), std::invalid_argument);
  EXPECT_TRUE(rom.empty());
  WriteCartHeader(rom, 0, {std::string(16, 'A'), "SIXSIX", 0x1B, 0, 0});
  EXPECT_EQ(Text(rom, 0x134, 16), std::string(16, 'A'));
}

TEST(CartImage, SizeCodesDeclareBanks) {
  EXPECT_EQ(RomBanksOfSizeCode(0), 2u);
  EXPECT_EQ(RomBanksOfSizeCode(5), 64u);
  EXPECT_EQ(RomBanksOfSizeCode(8), 512u);
  EXPECT_EQ(RomBanksOfSizeCode(9), 0u);
  EXPECT_EQ(RomBanksOfSizeCode(0x52), 0u);
  std::vector<std::uint8_t> rom;
  WriteCartHeader(rom, 3, {"ODD", "", 0x1B, 0x52, 0});
  EXPECT_EQ(rom.size(), 4u * 0x4000) << "an unknown code still gets its header bank";
}

TEST(MenuDirectory, EntriesLieAt47ByteStepsInBankOne) {
  std::vector<std::uint8_t> rom(0x8000, 0xFF);
  const std::vector<MenuEntry> entries = {
      {"TETRIS", false, 0x00}, {"WARIO LAND", true, 0x01}, {std::string(18, 'N'), true, 0x3C}};
  WriteMenuDirectory(rom, entries);
  const std::size_t dir = 0x4000;
  EXPECT_EQ(rom[dir], 3);
  EXPECT_EQ(Text(rom, dir + 1, 18), std::string("TETRIS") + std::string(12, '\0'));
  EXPECT_EQ(rom[dir + 1 + 19], 0x00);
  EXPECT_EQ(Text(rom, dir + 1 + 47, 10), "WARIO LAND");
  EXPECT_EQ(rom[dir + 1 + 47 + 19], 0x80);
  EXPECT_EQ(rom[dir + 1 + 47 + 21], 0x01);
  EXPECT_EQ(Text(rom, dir + 1 + 94, 18), std::string(18, 'N'));
  EXPECT_EQ(rom[dir + 1 + 94 + 21], 0x3C);
  EXPECT_EQ(rom[dir + 1 + 3 * 47], 0xFF) << "nothing written past the last entry";
  EXPECT_EQ(rom[0x3FFF], 0xFF) << "bank 0 untouched";
}

TEST(MenuDirectory, RejectsWhatTheDirectoryCannotHoldWithoutWriting) {
  std::vector<std::uint8_t> rom(0x8000, 0xFF);
  const std::vector<MenuEntry> tooMany(256, MenuEntry{"G", false, 0});
  EXPECT_THROW(WriteMenuDirectory(rom, tooMany), std::invalid_argument);
  const std::vector<MenuEntry> longName = {{"OK", true, 0}, {std::string(19, 'L'), true, 1}};
  EXPECT_THROW(WriteMenuDirectory(rom, longName), std::invalid_argument);
  EXPECT_EQ(rom, std::vector<std::uint8_t>(0x8000, 0xFF));

  const std::vector<MenuEntry> full(255, MenuEntry{"G", true, 0});
  WriteMenuDirectory(rom, full);
  EXPECT_EQ(rom[0x4000], 255);
  EXPECT_EQ(rom[0x4000 + 1 + 254 * 47], 'G');
}

}  // namespace
}  // namespace velwin::xchanger::sim
