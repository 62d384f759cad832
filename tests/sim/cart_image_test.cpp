#include "sim/cart_image.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "gbheader/header_logo.h"

namespace velwin::xchanger::sim {
namespace {

std::string Text(const std::vector<std::uint8_t>& rom, std::size_t at, std::size_t n) {
  return {rom.begin() + static_cast<std::ptrdiff_t>(at),
          rom.begin() + static_cast<std::ptrdiff_t>(at + n)};
}

TEST(CartImage, HeaderPassesTheBootCheckAndCarriesTheGlobalChecksum) {
  std::vector<std::uint8_t> rom(0x4000);
  for (std::size_t i = 0; i < rom.size(); ++i)
    rom[i] = static_cast<std::uint8_t>(i * 7);
  WriteCartHeader(rom, 0, {"POKEMON RED", "", 0x13, 0x02, 0x03});

  ASSERT_EQ(rom.size(), 8u * 0x4000) << "code 2 declares 128 KiB";
  EXPECT_EQ(rom[0x4000], 0xFF);
  EXPECT_TRUE(std::equal(gbheader::HeaderLogo.begin(), gbheader::HeaderLogo.end(),
                         rom.begin() + gbheader::kLogoOffset));
  EXPECT_EQ(Text(rom, 0x134, 16), std::string("POKEMON RED\0\0\0\0\0", 16));
  EXPECT_EQ(Text(rom, 0x147, 3), "\x13\x02\x03");
  // The boot ROM's test: header bytes 0x134-0x14D plus 25 sum to zero.
  EXPECT_EQ(std::accumulate(rom.begin() + 0x134, rom.begin() + 0x14E, 25) % 256, 0);
  const unsigned total = std::accumulate(rom.begin(), rom.end(), 0u) - rom[0x14E] - rom[0x14F];
  EXPECT_EQ(rom[0x14E] << 8 | rom[0x14F], total & 0xFFFF);
}

TEST(CartImage, LaterGamesGetTheirHeaderAndSignatureInTheirOwnBank) {
  std::vector<std::uint8_t> rom;
  WriteCartHeader(rom, 0, {"GBPACK MENU", "", 0x19, 0x00, 0x00});
  WriteCartHeader(rom, 2, {"ZELDA", "VELTRA", 0x1B, 0x01, 0x02});
  ASSERT_EQ(rom.size(), 6u * 0x4000);
  EXPECT_EQ(Text(rom, 0x8000 + 0x134, 6), std::string("ZELDA\0", 6));
  EXPECT_EQ(Text(rom, 0x8000 + 0x30, 6), "VELTRA");
  EXPECT_EQ(Text(rom, 0x30, 6), std::string(6, '\0'));
  EXPECT_EQ(Text(rom, 0x134, 6), "GBPACK");

  WriteCartHeader(rom, 7, {"ODD", "", 0x1B, 0x52, 0});
  EXPECT_EQ(rom.size(), 8u * 0x4000) << "an unused size code gets its header bank only";
  EXPECT_EQ(RomBanksOfSizeCode(8), 512u);
  EXPECT_EQ(RomBanksOfSizeCode(9), 0u);

  const std::vector<std::uint8_t> before = rom;
  EXPECT_THROW(WriteCartHeader(rom, 0, {std::string(17, 'A'), "", 0x1B, 0, 0}),
               std::invalid_argument);
  EXPECT_THROW(WriteCartHeader(rom, 0, {"A", "SEVEN77", 0x1B, 0, 0}), std::invalid_argument);
  EXPECT_EQ(rom, before);
}

TEST(MenuDirectory, EntriesLieAt47ByteStepsInBankOne) {
  std::vector<std::uint8_t> rom(0x8000, 0xFF);
  WriteMenuDirectory(rom, std::vector<MenuEntry>{{"TETRIS", false, 0x00},
                                                 {"WARIO LAND", true, 0x01},
                                                 {std::string(18, 'N'), true, 0x3C}});
  const std::size_t entry = 0x4000 + 1;
  EXPECT_EQ(rom[0x4000], 3);
  EXPECT_EQ(Text(rom, entry, 18), std::string("TETRIS") + std::string(12, '\0'));
  EXPECT_EQ(rom[entry + 19], 0x00);
  EXPECT_EQ(Text(rom, entry + 47, 10), "WARIO LAND");
  EXPECT_EQ(rom[entry + 47 + 19], 0x80);
  EXPECT_EQ(rom[entry + 47 + 21], 0x01);
  EXPECT_EQ(rom[entry + 94 + 21], 0x3C);
  EXPECT_EQ(rom[entry + 3 * 47], 0xFF) << "nothing past the last entry";

  const std::vector<std::uint8_t> before = rom;
  EXPECT_THROW(WriteMenuDirectory(rom, std::vector<MenuEntry>(256, {"G", false, 0})),
               std::invalid_argument);
  EXPECT_THROW(WriteMenuDirectory(
                   rom, std::vector<MenuEntry>{{"OK", true, 0}, {std::string(19, 'L'), true, 1}}),
               std::invalid_argument);
  EXPECT_EQ(rom, before);
}

}  // namespace
}  // namespace velwin::xchanger::sim
