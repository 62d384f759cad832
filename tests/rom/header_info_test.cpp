#include "rom/header_info.h"

#include <gtest/gtest.h>

#include "gbheader/header_logo.h"
#include "rom/rom_analysis.h"

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

TEST(RomSizeTable, EveryCodeGivesItsBanksInKilobits) {
  // A bank is 16 KiB, 128 kilobits: codes 0-6 mean 2 << code banks, and
  // 0x52-0x54 mean 72, 80 and 96 banks; nothing else is known.
  for (int code = 0; code <= 0xFF; ++code) {
    const int oddSizes[] = {72, 80, 96};
    int banks = code <= 6 ? 2 << code : 0;
    if (code >= 0x52 && code <= 0x54)
      banks = oddSizes[code - 0x52];
    const std::string expected = banks != 0 ? std::to_string(banks * 128) : "Unknown/Invalid";
    EXPECT_EQ(RomSizeText(static_cast<std::uint8_t>(code)), expected) << "code " << code;
  }
}

TEST(HeaderLogoTest, AcceptsUpToSixteenDifferingBytesAnywhere) {
  const auto damaged = [](std::size_t first, std::size_t step, int count) {
    RomHeaderBuffer header = HeaderWithLogo();
    for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) {
      header[gbheader::kLogoOffset + first + k * step] ^= 0x01;
    }
    return HasGameBoyLogo(header);
  };
  EXPECT_TRUE(damaged(0, 1, 0));
  EXPECT_TRUE(damaged(0, 1, 16));   // the first 16
  EXPECT_TRUE(damaged(32, 1, 16));  // the last 16
  EXPECT_TRUE(damaged(1, 3, 16));   // spread out
  EXPECT_FALSE(damaged(0, 1, 17));
  EXPECT_FALSE(damaged(31, 1, 17));
  EXPECT_FALSE(damaged(0, 2, 17));
}

TEST(HeaderLabels, ShowTheFieldsOfAGameBoyHeader) {
  RomHeaderBuffer header = HeaderWithLogo();
  const std::string full = "ABCDEFGHIJKLMNO";
  std::copy(full.begin(), full.end(), header.begin() + kTitleOffset);
  header[kColourFlagOffset] = 0x80;  // not a title character
  header[kRomSizeCodeOffset] = 0x53;
  header[kChecksumOffset + 1] = 0x0F;
  RomInfoLabels labels = LabelsOf(header);
  EXPECT_EQ(labels.fileisgbrom, "YES");
  EXPECT_EQ(labels.romname, full);
  EXPECT_EQ(labels.romcolor, "YES");
  EXPECT_EQ(labels.romsize, "10240");
  EXPECT_EQ(labels.ROMCRC, "000F");
  EXPECT_EQ(labels.fname, kUnsetCaption);  // not a header label

  header[kTitleOffset] = 0xE9;  // 8-bit characters pass unchanged
  header[kTitleOffset + 6] = 0;
  header[kChecksumOffset] = 0xFF;
  header[kChecksumOffset + 1] = 0xAB;
  labels = LabelsOf(header);
  EXPECT_EQ(labels.romname,
            "\xE9"
            "BCDEF");
  EXPECT_EQ(labels.ROMCRC, "FFAB");
  header[kTitleOffset] = 0;
  EXPECT_EQ(LabelsOf(header).romname, "");

  for (const int flag : {0x80, 0xC0, 0x00, 0x40, 0x7F, 0x81, 0xC1, 0xFF}) {
    header[kColourFlagOffset] = static_cast<std::uint8_t>(flag);
    EXPECT_EQ(LabelsOf(header).romcolor, flag == 0x80 || flag == 0xC0 ? "YES" : "NO") << flag;
  }
}

// The boot ROM's sum: x = x - byte - 1 over 0x134-0x14C, in 8 bits.
TEST(HeaderChecksum, CoversTitleToVersionAndWraps) {
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
    std::uint8_t checksum;
  };
  const Case cases[] = {
      {"all zero: 25 times minus one", kTitleOffset, 0x00, 0xE7},
      {"first byte counted", kTitleOffset, 0x41, 0xA6},
      {"last byte (0x14C) counted", 0x14C, 0x01, 0xE6},
      {"wraps below zero", kTitleOffset, 0xE8, 0xFF},
      {"0x14D itself not counted", kHeaderChecksumOffset, 0x55, 0xE7},
      {"global checksum not counted", kChecksumOffset, 0x55, 0xE7},
      {"logo not counted", 0x133, 0x00, 0xE7},
  };
  for (const Case& c : cases) {
    RomHeaderBuffer header = HeaderWithLogo();
    header[c.offset] = c.value;
    EXPECT_EQ(ComputeHeaderChecksum(header), c.checksum) << c.what;
  }
}

TEST(HeaderChecksum, TextSaysOkBadOrNotARom) {
  RomHeaderBuffer header = HeaderWithLogo();
  header[kTitleOffset] = 'T';
  header[kHeaderChecksumOffset] = static_cast<std::uint8_t>(0xE7 - 'T');
  EXPECT_EQ(HeaderChecksumText(header), "OK");
  header[kHeaderChecksumOffset]++;
  EXPECT_EQ(HeaderChecksumText(header), "BAD");
  EXPECT_EQ(HeaderChecksumText(RomHeaderBuffer{}), "-");
}

}  // namespace
}  // namespace velwin::rom
