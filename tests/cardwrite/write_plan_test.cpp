#include "card/write_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace velwin::card {
namespace {

const xchanger::FlashChipSpec& Chip(std::uint8_t mbit) {
  return *xchanger::FlashChipForCard(mbit);
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 9));
  return bytes;
}

TEST(WritePlan, AnEqualImageNeedsNothing) {
  for (const std::uint8_t mbit : {4, 16, 64}) {
    const auto card = Pattern(Chip(mbit).sizeBytes);
    const WritePlan plan = PlanWrite(Chip(mbit), card, card);
    EXPECT_TRUE(plan.units.empty()) << int{mbit};
    EXPECT_EQ(plan.programmedBytes, 0u);
  }
}

TEST(WritePlan, ClearingBitsProgramsOnlyTheStepThatDiffers) {
  for (const std::uint8_t mbit : {16, 64}) {
    const auto& chip = Chip(mbit);
    const auto old = Pattern(chip.sizeBytes);
    auto target = old;
    target[0x30005] = old[0x30005] & 0x0F;  // 1 to 0 only: no erase
    if (target[0x30005] == old[0x30005])
      target[0x30005] = 0;
    const WritePlan plan = PlanWrite(chip, old, target);
    ASSERT_EQ(plan.units.size(), 1u);
    EXPECT_FALSE(plan.units[0].erase);
    EXPECT_EQ(plan.erasedUnits, 0u);
    ASSERT_EQ(plan.units[0].programs.size(), 1u);
    EXPECT_EQ(plan.units[0].programs[0].address,
              0x30005u / chip.programUnitBytes * chip.programUnitBytes);
    EXPECT_EQ(plan.programmedBytes, chip.programUnitBytes);
  }
}

TEST(WritePlan, SettingABitErasesItsUnitAndReprogramsWhatIsNotBlank) {
  const auto& chip = Chip(16);
  auto old = Pattern(chip.sizeBytes);
  // The second half of sector 1 is blank on the card and in the target.
  std::fill(old.begin() + 0x30000, old.begin() + 0x40000, 0xFF);
  auto target = old;
  old[0x20010] = 0x00;
  target[0x20010] = 0x01;
  const WritePlan plan = PlanWrite(chip, old, target);
  ASSERT_EQ(plan.units.size(), 1u);
  EXPECT_TRUE(plan.units[0].erase);
  EXPECT_EQ(plan.units[0].address, 0x20000u);
  EXPECT_EQ(plan.erasedUnits, 1u);
  // Every page of the sector but the blank half.
  EXPECT_EQ(plan.programmedBytes, 0x10000u);
  for (const ProgramStep& step : plan.units[0].programs)
    EXPECT_LT(step.address, 0x30000u);
}

TEST(WritePlan, ThePageWriteChipRewritesWholePagesWithoutErase) {
  const auto& chip = Chip(4);
  const auto old = Pattern(chip.sizeBytes);
  auto target = old;
  target[0x1234] = static_cast<std::uint8_t>(~old[0x1234]);  // 0s to 1s as well
  target[0x1235] = static_cast<std::uint8_t>(~old[0x1235]);
  const WritePlan plan = PlanWrite(chip, old, target);
  ASSERT_EQ(plan.units.size(), 1u);
  EXPECT_FALSE(plan.units[0].erase);
  ASSERT_EQ(plan.units[0].programs.size(), 1u);
  EXPECT_EQ(plan.units[0].programs[0].address, 0x1200u);
  EXPECT_EQ(plan.units[0].programs[0].length, 256u);
}

TEST(WritePlan, TheCardPastTheImageKeepsItsContents) {
  const std::vector<std::uint8_t> old{1, 2, 3, 4, 5};
  const std::vector<std::uint8_t> image{9, 8};
  EXPECT_EQ(TargetContents(old, image), (std::vector<std::uint8_t>{9, 8, 3, 4, 5}));
}

}  // namespace
}  // namespace velwin::card
