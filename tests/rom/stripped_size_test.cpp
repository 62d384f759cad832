#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "fileio/byte_file.h"
#include "rom/equal_bytes.h"
#include "rom/filler_block.h"
#include "rom/rom_analysis.h"
#include "rom/stripped_size.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::rom {
namespace {

using testing::RomImage;
using namespace std::string_literals;
constexpr std::size_t kBlock = 32768;

// The definition, walked forwards the slow way: the first block boundary
// from which the rest of the file holds one value.
std::int64_t ForwardStrippedSize(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t p = kBlock;; p += kBlock) {
    if (p >= bytes.size() || std::all_of(bytes.begin() + std::ptrdiff_t(p), bytes.end(),
                                         [&](std::uint8_t b) { return b == bytes[p]; })) {
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

TEST_F(StrippedSizeTest, StripsTheLastRunOfOneValueInWholeBlocks) {
  struct Case {
    std::size_t size, fillFrom, fillTo;
    std::uint8_t value;
    std::int64_t expected;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 32768},          // never less than one block
      {1, 0, 1, 9, 32768},          //
      {32768, 0, 32767, 9, 32768},  // the first block is never examined
      {32769, 32768, 32769, 7, 32768},
      {40000, 32768, 32769, 7, 65536},  // a partial last block counts whole
      {65536, 32768, 65536, 0xFF, 32768},
      {65536, 32768, 65535, 0xFF, 65536},  // all 0xFF but the last byte
      {98304, 32768, 65536, 0xFF, 65536},  // 0xFF then 0x00: only the last run
      {98304, 32768, 98304, 0x3C, 32768},  // any filler value
      {98304, 32768, 65537, 0x11, 98304},  // a run starting inside a block
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StrippedOf(RomImage(c.size).Fill(c.fillFrom, c.fillTo, c.value)), c.expected)
        << c.size << " bytes, " << c.fillFrom << "-" << c.fillTo;
  }
}

// What a read may cost beyond the trailing filler: the block that ends it,
// and below that at most as much again as the filler, up to half a MiB.
std::uint64_t ReadAllowance(std::size_t size, std::size_t filler) {
  const std::size_t tail = filler + kBlock + std::min<std::size_t>(filler, 16 * kBlock);
  return std::min(size > kBlock ? size - kBlock : 0, tail);
}

TEST_F(StrippedSizeTest, ReadsTheFillerAndLittleMore) {
  std::uint64_t bytesRead = 0;
  RomImage rom(7 * kBlock + kBlock / 2);  // 4 blocks of code, then filler
  rom.Fill(0, 4 * kBlock - 1, 0x12).Fill(4 * kBlock, rom.Bytes().size(), 0xFF);
  EXPECT_EQ(StrippedOf(rom, &bytesRead), std::int64_t(4 * kBlock));
  EXPECT_EQ(bytesRead, 3 * kBlock + kBlock / 2 + kBlock);

  // One value to the end but a different last byte: a single block.
  RomImage odd(64 * kBlock);
  odd.Fill(0, 64 * kBlock - 1, 0xFF);
  EXPECT_EQ(StrippedOf(odd, &bytesRead), std::int64_t(64 * kBlock));
  EXPECT_EQ(bytesRead, kBlock);

  EXPECT_EQ(StrippedOf(RomImage(1000), &bytesRead), 32768);
  EXPECT_EQ(bytesRead, 0u);

  // Long runs of filler are read in large pieces, which stop near the code:
  // 8 MiB with code in its first 40 blocks and in one byte further on.
  for (const std::size_t code : {40 * kBlock - 1, 200 * kBlock + 7}) {
    RomImage big(256 * kBlock);
    big.Fill(0, 40 * kBlock, 0x12).Fill(40 * kBlock, big.Bytes().size(), 0x00).Set(code, 0x77);
    const std::size_t filler = big.Bytes().size() - code - 1;
    EXPECT_EQ(StrippedOf(big, &bytesRead), std::int64_t((code / kBlock + 1) * kBlock)) << code;
    EXPECT_GT(bytesRead, filler) << code;
    EXPECT_LE(bytesRead, ReadAllowance(big.Bytes().size(), filler)) << code;
  }
}

TEST_F(StrippedSizeTest, ZeroWhenTheFileCannotBeRead) {
  const std::string fifo = PathOf("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {PathOf("missing.gb"), dir_.string(), fifo, "/dev/zero"s}) {
    EXPECT_EQ(StrippedSize(path), 0) << path;  // and a FIFO does not wait for a writer
  }
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
    RomImage rom(size);
    for (std::size_t i = 0; i < size; ++i)
      rom.Set(i, values[pick(0, 2)]);
    // Runs of filler at the tail, maybe of several values, maybe with one
    // odd byte in them.
    std::size_t end = size;
    for (std::size_t runs = pick(0, 3); runs > 0 && end > 0; --runs) {
      const std::size_t length = pick(0, std::min<std::size_t>(end, 3 * kBlock));
      rom.Fill(end - length, end, values[pick(0, 2)]);
      end -= length;
    }
    if (size > 0 && pick(0, 2) == 0)
      rom.Set(pick(0, size - 1), 0x99);

    const auto& bytes = rom.Bytes();
    std::uint64_t bytesRead = 0;
    ASSERT_EQ(StrippedOf(rom, &bytesRead), ForwardStrippedSize(bytes)) << "round " << round;
    // The same on a file opened once for the header and the filler alike.
    std::uint64_t readBytes = 0;
    auto file = fileio::ByteFile::Open(PathOf("rom.gb"), fileio::ByteFile::Access::kRead);
    ASSERT_EQ(StrippedSizeOf(file, file.Size(), readBytes), ForwardStrippedSize(bytes))
        << "round " << round;
    ASSERT_EQ(readBytes, bytesRead) << round;
    // Never the first block, never much more than the filler.
    std::size_t filler = 0;
    while (filler < size && bytes[size - 1 - filler] == bytes[size - 1])
      ++filler;
    ASSERT_LE(bytesRead, ReadAllowance(size, filler)) << round;
  }
}

TEST_F(StrippedSizeTest, AFileThatCannotBeMappedIsRead) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer needs more address space than the limit below leaves";
#endif
  // A sparse 4 GiB file of zeros with one odd byte 100,000 bytes before its
  // end, and an address-space limit that leaves no room to map it.
  constexpr off_t kSize = off_t{4} << 30;
  constexpr off_t kOdd = kSize - 100001;
  const std::string path = Write("big.gb", "");
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const bool made = ::pwrite(fd, "\x01", 1, kOdd) == 1 && ::ftruncate(fd, kSize) == 0;
  if (!made) {
    ::close(fd);
    GTEST_SKIP() << "no room for a sparse 4 GiB file";
  }
  std::size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{1} << 30);
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &limited), 0);
  void* mapped = ::mmap(nullptr, kSize, PROT_READ, MAP_PRIVATE, fd, 0);
  std::uint64_t bytesRead = 0;
  const std::int64_t stripped = StrippedSize(path, &bytesRead);
  ::setrlimit(RLIMIT_AS, &saved);
  const bool refused = mapped == MAP_FAILED;
  if (!refused)
    ::munmap(mapped, kSize);
  ::close(fd);

  ASSERT_TRUE(refused) << "the limit did not stop the mapping";
  EXPECT_EQ(stripped, (kOdd / kStripBlock + 1) * kStripBlock);
  EXPECT_EQ(bytesRead, std::uint64_t(kSize - kOdd / kStripBlock * kStripBlock));
}

// The vector compares take 1 KiB rounds and a word loop for the rest: one odd
// byte anywhere, in any length about those steps, must be seen at every
// width this processor runs.
TEST(FillerCompare, SeesOneOddByteWhereverItLies) {
  for (const CompareWidth width : CompareWidths()) {
    for (const std::size_t length :
         {0u, 1u, 7u, 8u, 9u, 63u, 64u, 1023u, 1024u, 1025u, 2047u, 2100u, 3072u}) {
      std::vector<std::uint8_t> bytes(length, 0xFF);
      EXPECT_TRUE(AllBytesEqual(bytes.data(), length, 0xFF, width)) << length;
      for (std::size_t at = 0; at < length; ++at) {
        bytes[at] = 0x7F;  // differs from the filler in its top bit only
        EXPECT_FALSE(AllBytesEqual(bytes.data(), length, 0xFF, width))
            << static_cast<int>(width) << "-byte steps, " << length << " at " << at;
        bytes[at] = 0xFF;
      }
    }
  }
}

}  // namespace
}  // namespace velwin::rom
