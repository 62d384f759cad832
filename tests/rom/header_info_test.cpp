#include "mainwindow/rom/header_info.h"

#include <gtest/gtest.h>

#include <string>

#include "gbheader/header_logo.h"
#include "mainwindow/rom/rom_analysis.h"

namespace velwin::rom {
namespace {

RomHeaderBuffer HeaderWithLogo() {
  RomHeaderBuffer header{};
  for (std::size_t i = 0; i < gbheader::HeaderLogo.size(); ++i) {
    header[gbheader::kLogoOffset + i] = gbheader::HeaderLogo[i];
  }
  return header;
}

RomInfoLabels LabelsOf(const RomHeaderBuffer& header) {
  RomInfoLabels labels;
  WriteHeaderLabels(header, labels);
  return labels;
}

TEST(RomSizeTable, KnownCodesGiveTheirSizeInKilobits) {
  // A bank is 16 KiB, 128 kilobits. Codes 0-6 mean 2 << code banks, and the
  // three odd codes 72, 80 and 96 banks; everything else is unknown.
  int known = 0;
  for (int code = 0; code <= 0xFF; ++code) {
    int banks = 0;
    if (code <= 6)
      banks = 2 << code;
    if (code == 0x52)
      banks = 72;
    if (code == 0x53)
      banks = 80;
    if (code == 0x54)
      banks = 96;
    const std::string expected = banks != 0 ? std::to_string(banks * 128) : "Unknown/Invalid";
    EXPECT_EQ(RomSizeText(static_cast<std::uint8_t>(code)), expected) << "code " << code;
    if (banks != 0)
      ++known;
  }
  EXPECT_EQ(known, 10);
  EXPECT_EQ(RomSizeText(7), "Unknown/Invalid");
  EXPECT_EQ(RomSizeText(0x51), "Unknown/Invalid");
  EXPECT_EQ(RomSizeText(0x55), "Unknown/Invalid");
}

TEST(HeaderLogoTable, HoldsTheCartridgeLogo) {
  ASSERT_EQ(gbheader::HeaderLogo.size(), 48u);
  EXPECT_EQ(gbheader::HeaderLogo[0], 0xCE);
  EXPECT_EQ(gbheader::HeaderLogo[1], 0xED);
  EXPECT_EQ(gbheader::HeaderLogo[46], 0x33);
  EXPECT_EQ(gbheader::HeaderLogo[47], 0x3E);
  EXPECT_EQ(gbheader::kLogoOffset + gbheader::HeaderLogo.size(), kTitleOffset);
}

TEST(HeaderLogoTest, AcceptsUpToSixteenDifferingBytesAnywhere) {
  const auto damage = [](RomHeaderBuffer header, std::size_t first, std::size_t step, int count) {
    for (int k = 0; k < count; ++k) {
      const std::size_t at = gbheader::kLogoOffset + (first + static_cast<std::size_t>(k) * step);
      header[at] = static_cast<std::uint8_t>(header[at] ^ 0x01);
    }
    return header;
  };
  const RomHeaderBuffer good = HeaderWithLogo();
  EXPECT_TRUE(HasGameBoyLogo(good));
  EXPECT_TRUE(HasGameBoyLogo(damage(good, 0, 1, 16)));   // the first 16
  EXPECT_TRUE(HasGameBoyLogo(damage(good, 32, 1, 16)));  // the last 16
  EXPECT_TRUE(HasGameBoyLogo(damage(good, 1, 3, 16)));   // spread out
  EXPECT_FALSE(HasGameBoyLogo(damage(good, 0, 1, 17)));
  EXPECT_FALSE(HasGameBoyLogo(damage(good, 31, 1, 17)));
  EXPECT_FALSE(HasGameBoyLogo(damage(good, 0, 2, 17)));
  EXPECT_FALSE(HasGameBoyLogo(RomHeaderBuffer{}));
}

TEST(HeaderLabels, WithoutALogoOnlyNoAndDashes) {
  RomHeaderBuffer header{};
  header[kTitleOffset] = 'X';
  header[kChecksumOffset] = 0x12;
  const RomInfoLabels labels = LabelsOf(header);
  EXPECT_EQ(labels.fileisgbrom, "NO");
  EXPECT_EQ(labels.romname, "-");
  EXPECT_EQ(labels.romcolor, "-");
  EXPECT_EQ(labels.romsize, "-");
  EXPECT_EQ(labels.ROMCRC, "-");
  EXPECT_EQ(labels.fname, kUnsetCaption);  // not a header label
}

TEST(HeaderLabels, TitleEndsAtTheFirstZeroOrAfterFifteenBytes) {
  RomHeaderBuffer header = HeaderWithLogo();
  const std::string full = "ABCDEFGHIJKLMNO";
  for (std::size_t i = 0; i < full.size(); ++i) {
    header[kTitleOffset + i] = static_cast<std::uint8_t>(full[i]);
  }
  header[kColourFlagOffset] = 'P';  // never part of the title
  EXPECT_EQ(LabelsOf(header).romname, full);

  header[kTitleOffset + 6] = 0;
  EXPECT_EQ(LabelsOf(header).romname, "ABCDEF");
  header[kTitleOffset] = 0;
  EXPECT_EQ(LabelsOf(header).romname, "");

  // 8-bit characters pass unchanged.
  header[kTitleOffset] = 0xE9;
  EXPECT_EQ(LabelsOf(header).romname,
            "\xE9"
            "BCDEF");
}

TEST(HeaderLabels, ColourOnlyForTheTwoColourFlags) {
  RomHeaderBuffer header = HeaderWithLogo();
  for (const int flag : {0x80, 0xC0}) {
    header[kColourFlagOffset] = static_cast<std::uint8_t>(flag);
    EXPECT_EQ(LabelsOf(header).romcolor, "YES") << flag;
  }
  for (const int flag : {0x00, 0x40, 0x7F, 0x81, 0xBF, 0xC1, 0xFF}) {
    header[kColourFlagOffset] = static_cast<std::uint8_t>(flag);
    EXPECT_EQ(LabelsOf(header).romcolor, "NO") << flag;
  }
}

TEST(HeaderLabels, SizeAndChecksumFromTheirFields) {
  RomHeaderBuffer header = HeaderWithLogo();
  header[kRomSizeCodeOffset] = 0x53;
  header[kChecksumOffset] = 0x00;
  header[kChecksumOffset + 1] = 0x0F;
  RomInfoLabels labels = LabelsOf(header);
  EXPECT_EQ(labels.fileisgbrom, "YES");
  EXPECT_EQ(labels.romsize, "10240");
  EXPECT_EQ(labels.ROMCRC, "000F");

  header[kRomSizeCodeOffset] = 7;
  header[kChecksumOffset] = 0x0A;
  header[kChecksumOffset + 1] = 0x3F;
  labels = LabelsOf(header);
  EXPECT_EQ(labels.romsize, "Unknown/Invalid");
  EXPECT_EQ(labels.ROMCRC, "0A3F");

  header[kChecksumOffset] = 0xFF;
  header[kChecksumOffset + 1] = 0xAB;
  EXPECT_EQ(LabelsOf(header).ROMCRC, "FFAB");
}

}  // namespace
}  // namespace velwin::rom
