#include "chips/flash_chip_table.h"

#include <gtest/gtest.h>

#include <set>

#include "sim/flash_chip.h"

namespace velwin::xchanger {
namespace {

// Walks the table as flashrom's self-check walks its chip list: every row
// must describe a chip the write job can plan for.
TEST(FlashChipTable, EveryRowIsConsistent) {
  std::set<int> cards;
  for (const FlashChipSpec& chip : FlashChipTable()) {
    SCOPED_TRACE(std::string(chip.name));
    EXPECT_TRUE(cards.insert(chip.cardMbit).second) << "one row per card";
    EXPECT_EQ(chip.sizeBytes, std::uint32_t{chip.cardMbit} * 128 * 1024);
    EXPECT_EQ(chip.sizeBytes % 0x4000, 0u) << "whole ROM banks";
    ASSERT_GT(chip.programUnitBytes, 0u);
    const std::uint32_t unit =
        chip.eraseUnitBytes != 0 ? chip.eraseUnitBytes : chip.programUnitBytes;
    EXPECT_EQ(chip.sizeBytes % unit, 0u);
    EXPECT_EQ(unit % chip.programUnitBytes, 0u) << "program units never straddle erase units";
    EXPECT_EQ(0x4000 % chip.programUnitBytes, 0u) << "program units never straddle banks";
    EXPECT_GE(chip.programMaxUs, chip.programTypicalUs);
    EXPECT_GE(chip.eraseMaxUs, chip.eraseTypicalUs);
    EXPECT_EQ(chip.eraseUnitBytes == 0, chip.eraseMaxUs == 0);
    EXPECT_EQ(FlashChipForCard(chip.cardMbit), &chip);
    // A chip with a byte-load window has a longest gap of at least one byte
    // to fit into it; a chip without one has none.
    EXPECT_EQ(chip.byteLoadWindowUs == 0, chip.loadGapBytes == 0.0);
    EXPECT_TRUE(chip.byteLoadWindowUs == 0 || chip.loadGapBytes >= 1.0);
  }
  EXPECT_EQ(FlashChipForCard(0), nullptr);
  EXPECT_EQ(FlashChipForCard(32), nullptr);
}

// The identification codes the write job trusts are those the emulated
// cards answer with, row for row.
TEST(FlashChipTable, AgreesWithTheEmulatedCards) {
  for (const auto& simulated : sim::FlashChipTable()) {
    const FlashChipSpec* chip = FlashChipForCard(static_cast<std::uint8_t>(simulated.sizeMbit));
    ASSERT_NE(chip, nullptr) << simulated.sizeMbit;
    EXPECT_EQ(chip->manufacturer, simulated.manufacturer);
    EXPECT_EQ(chip->device, simulated.device);
    EXPECT_EQ(chip->sizeBytes / 0x4000, simulated.bankCount);
  }
}

}  // namespace
}  // namespace velwin::xchanger
