#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <random>

#include "mainwindow/rom/rom_analysis.h"
#include "tests/rom/rom_files.h"

namespace velwin::rom {
namespace {

using testing::RomImage;
constexpr std::size_t kBlock = 32768;

// The definition, walked forward the slow way: the first block boundary
// from which the rest of the file holds one value.
std::int64_t ForwardStrippedSize(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t p = kBlock;; p += kBlock) {
    if (p >= bytes.size())
      return static_cast<std::int64_t>(p);
    const std::uint8_t filler = bytes[p];
    if (std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(p), bytes.end(),
                    [filler](std::uint8_t b) { return b == filler; })) {
      return static_cast<std::int64_t>(p);
    }
  }
}

class StrippedSizeTest : public testing::TempDirTest {
 protected:
  std::int64_t StrippedOf(const RomImage& rom, std::uint64_t* bytesRead = nullptr) {
    return StrippedSize(Write("rom.gb", rom), bytesRead);
  }
};

TEST_F(StrippedSizeTest, NeverLessThanOneBlock) {
  EXPECT_EQ(StrippedOf(RomImage(0)), 32768);
  EXPECT_EQ(StrippedOf(RomImage(1)), 32768);
  EXPECT_EQ(StrippedOf(RomImage(1000).Fill(0, 1000, 0x5A)), 32768);
  EXPECT_EQ(StrippedOf(RomImage(kBlock).Set(kBlock - 1, 1)), 32768);
  // One byte past the first block is a run of its own.
  EXPECT_EQ(StrippedOf(RomImage(kBlock + 1).Set(kBlock, 7)), 32768);
}

TEST_F(StrippedSizeTest, StripsOnlyTheLastRunOfOneValue) {
  // Second half all 0xFF: filler.
  EXPECT_EQ(StrippedOf(RomImage(65536).Fill(kBlock, 65536, 0xFF)), 32768);
  // ... except its last byte: nothing to strip.
  EXPECT_EQ(StrippedOf(RomImage(65536).Fill(kBlock, 65535, 0xFF)), 65536);
  // 0xFF then 0x00: only the last run is filler, whatever its value.
  EXPECT_EQ(StrippedOf(RomImage(98304).Fill(kBlock, 65536, 0xFF)), 65536);
  EXPECT_EQ(StrippedOf(RomImage(98304).Fill(kBlock, 98304, 0x3C)), 32768);
  // A run that starts inside a block leaves that block in.
  EXPECT_EQ(StrippedOf(RomImage(98304).Fill(kBlock, 70000, 0x11)), 98304);
  EXPECT_EQ(StrippedOf(RomImage(98304).Fill(kBlock, 65537, 0x11)), 98304);
  EXPECT_EQ(StrippedOf(RomImage(98304).Fill(kBlock, 65536, 0x11)), 65536);
}

TEST_F(StrippedSizeTest, ALastPartialBlockCountsWhole) {
  RomImage rom(40000);
  rom.Set(kBlock + 5, 1);
  EXPECT_EQ(StrippedOf(rom), 65536);
  // The first block is never looked at, whatever it holds.
  EXPECT_EQ(StrippedOf(RomImage(40000).Fill(0, kBlock, 0xAB)), 32768);
}

TEST_F(StrippedSizeTest, ReadsOnlyTheFillerAndOneBlockMore) {
  // 4 blocks of code, then 3.5 blocks of filler.
  RomImage rom(4 * kBlock + 3 * kBlock + kBlock / 2);
  rom.Fill(0, 4 * kBlock, 0x12).Fill(4 * kBlock, rom.Bytes().size(), 0xFF);
  rom.Set(4 * kBlock - 1, 0x00);
  std::uint64_t bytesRead = 0;
  EXPECT_EQ(StrippedOf(rom, &bytesRead), static_cast<std::int64_t>(4 * kBlock));
  const std::uint64_t filler = 3 * kBlock + kBlock / 2;
  EXPECT_LE(bytesRead, filler + kBlock);
  EXPECT_GT(bytesRead, filler);

  // One value to the end but a different last byte: one block is enough.
  RomImage odd(64 * kBlock);
  odd.Fill(0, odd.Bytes().size() - 1, 0xFF);
  EXPECT_EQ(StrippedOf(odd, &bytesRead), static_cast<std::int64_t>(64 * kBlock));
  EXPECT_EQ(bytesRead, kBlock);

  // Filler from block 1 on: everything but the first block, once.
  RomImage blank(10 * kBlock);
  blank.Fill(0, kBlock, 0x77);
  EXPECT_EQ(StrippedOf(blank, &bytesRead), 32768);
  EXPECT_EQ(bytesRead, 9 * kBlock);

  EXPECT_EQ(StrippedOf(RomImage(1000), &bytesRead), 32768);
  EXPECT_EQ(bytesRead, 0u);
}

TEST_F(StrippedSizeTest, ZeroWhenTheFileCannotBeRead) {
  std::uint64_t bytesRead = 99;
  EXPECT_EQ(StrippedSize(PathOf("missing.gb"), &bytesRead), 0);
  EXPECT_EQ(bytesRead, 0u);
  EXPECT_EQ(StrippedSize(dir_.string()), 0);
  EXPECT_EQ(StrippedSize("/dev/zero"), 0);
  const std::string fifo = PathOf("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(StrippedSize(fifo), 0);  // and does not wait for a writer
}

TEST_F(StrippedSizeTest, AgreesWithTheForwardDefinitionOnRandomFiles) {
  std::mt19937 random(20261207);
  const auto pick = [&random](std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(random);
  };
  const std::uint8_t values[] = {0x00, 0xFF, 0x5A};
  for (int round = 0; round < 300; ++round) {
    // Lengths cluster around block boundaries, where off-by-ones live.
    std::size_t size = pick(0, 6) * kBlock;
    size =
        pick(0, 3) == 0 ? pick(0, 6 * kBlock) : size + pick(0, 4) - std::min<std::size_t>(size, 2);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
      b = values[pick(0, 2)];
    // Runs of filler at the tail, maybe of several values, maybe with one
    // odd byte in them.
    std::size_t end = size;
    for (std::size_t runs = pick(0, 3); runs > 0 && end > 0; --runs) {
      const std::size_t length = pick(0, std::min<std::size_t>(end, 3 * kBlock));
      std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(end - length),
                bytes.begin() + static_cast<std::ptrdiff_t>(end), values[pick(0, 2)]);
      end -= length;
    }
    if (size > 0 && pick(0, 2) == 0)
      bytes[pick(0, size - 1)] = 0x99;

    const std::int64_t expected = ForwardStrippedSize(bytes);
    std::uint64_t bytesRead = 0;
    ASSERT_EQ(StrippedSize(Write("random.gb", bytes), &bytesRead), expected)
        << "round " << round << ", size " << size;
    // Never the first block, never more than the filler and one block.
    ASSERT_LE(bytesRead, size > kBlock ? size - kBlock : 0) << "round " << round;
    std::size_t filler = 0;
    while (filler < size && bytes[size - 1 - filler] == bytes[size - 1])
      ++filler;
    ASSERT_LE(bytesRead, filler + kBlock) << "round " << round;
  }
}

}  // namespace
}  // namespace velwin::rom
