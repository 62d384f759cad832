#include "rom/global_checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fileio/file_error.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::rom {
namespace {

bool MatchesInPieces(const std::vector<std::uint8_t>& bytes, std::size_t piece) {
  GlobalChecksum checksum;
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    checksum.Add(std::span(bytes).subspan(at, std::min(piece, bytes.size() - at)));
  return checksum.Matches();
}

// 64 KiB of 0xFF sum to 65,534 x 255 = 0xFE02 in 16 bits, the two stored
// bytes left out; pieces of any size, split between the two stored bytes
// too, give the same answer.
TEST(GlobalChecksum, SumsEveryByteButTheStoredTwo) {
  std::vector<std::uint8_t> full(65536, 0xFF);
  full[0x14E] = 0xFE;
  full[0x14F] = 0x02;
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
    bool matches;
  };
  const Case cases[] = {
      {"as stored", 0, 0xFF, true},
      {"one byte less", 0x8000, 0xFE, false},
      {"stored low byte off", 0x14F, 0x03, false},
      {"last byte counted", 65535, 0xFE, false},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = full;
    bytes[c.offset] = c.value;
    for (const std::size_t piece : {std::size_t{1}, std::size_t{0x14F}, std::size_t{65536}})
      EXPECT_EQ(MatchesInPieces(bytes, piece), c.matches) << c.what << ", pieces of " << piece;
  }
}

TEST(GlobalChecksum, NeedsTheStoredBytes) {
  EXPECT_TRUE(MatchesInPieces(std::vector<std::uint8_t>(0x150, 0), 16));
  EXPECT_FALSE(MatchesInPieces(std::vector<std::uint8_t>(0x14F, 0), 16));  // cut in the value
}

class GlobalChecksumFileTest : public testing::TempDirTest {};

TEST_F(GlobalChecksumFileTest, ReadsTheWholeFileOrThrows) {
  std::vector<std::uint8_t> rom(200000, 0x01);
  rom[0x14E] = 0x0D;  // 199,998 ones = 0x30D3E, 0x0D3E in 16 bits
  rom[0x14F] = 0x3E;
  EXPECT_TRUE(GlobalChecksumMatches(Write("rom.gb", rom)));
  rom[199999] = 0x02;
  EXPECT_FALSE(GlobalChecksumMatches(Write("rom.gb", rom)));
  EXPECT_THROW(GlobalChecksumMatches(PathOf("missing.gb")), fileio::FileError);
  EXPECT_THROW(GlobalChecksumMatches(dir_.string()), fileio::FileError);
}

}  // namespace
}  // namespace velwin::rom
