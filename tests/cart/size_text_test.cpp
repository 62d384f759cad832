#include <gtest/gtest.h>

#include "cart/sram_size_text.h"

namespace velwin::cart {
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

}  // namespace
}  // namespace velwin::cart
