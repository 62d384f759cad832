#include <gtest/gtest.h>

#include "sramman/sram_game_table.h"
#include "sramman/sram_size_text.h"

namespace velwin::sramman {
namespace {

TEST(SramSizeText, KnownCodesAndEverythingElse) {
  EXPECT_EQ(SramSizeText(0), "0 k");
  EXPECT_EQ(SramSizeText(1), "64 k");
  EXPECT_EQ(SramSizeText(2), "64 k");
  EXPECT_EQ(SramSizeText(3), "256 k");
  EXPECT_EQ(SramSizeText(4), "1024 k");
  for (int code = 5; code < 256; ++code) {
    EXPECT_EQ(SramSizeText(static_cast<std::uint8_t>(code)), "?") << code;
  }
}

TEST(MenuSramSizeText, OnlyHighNibbleThreeIs256k) {
  EXPECT_EQ(MenuSramSizeText(0x2F), "64 k");
  EXPECT_EQ(MenuSramSizeText(0x30), "256 k");
  EXPECT_EQ(MenuSramSizeText(0x3F), "256 k");
  EXPECT_EQ(MenuSramSizeText(0x40), "64 k");
  EXPECT_EQ(MenuSramSizeText(0xB3), "64 k");
}

// The transfer table must agree with itself: banks, bytes, messages and the
// capacity limit fit the 16 banks the transfers reach.
TEST(KindInfo, TableIsConsistent) {
  EXPECT_FALSE(KindInfo(kNoSram));
  EXPECT_FALSE(KindInfo(4));
  const int expectedBanks[] = {0, 1, 4, 16};
  for (std::uint8_t kind = kSram64k; kind <= kSram1024k; ++kind) {
    const auto info = KindInfo(kind);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->bankCount, expectedBanks[kind]);
    const std::string kbit = std::to_string(info->bankCount * 64) + "kbit";
    EXPECT_EQ(info->sizeText, kbit);
    EXPECT_EQ(info->tooSmallText, "File too small. " + kbit + " (" +
                                      std::to_string(info->bankCount * 8) + "kbyte) required");
    if (info->lastFirstBank) {
      EXPECT_LE(*info->lastFirstBank + info->bankCount, 16);
    }
  }
  EXPECT_EQ(KindInfo(kSram256k)->lastFirstBank, 11);
  EXPECT_EQ(KindInfo(kSram64k)->lastFirstBank, 15);
}

}  // namespace
}  // namespace velwin::sramman
