#include "ips/buffered_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/support/temp_dir_test.h"

namespace velwin::ips {
namespace {

using testing::Bytes;

class BufferedReaderTest : public testing::TempDirTest {
 protected:
  std::string Make(std::size_t size) {
    content_.resize(size);
    std::mt19937 random(static_cast<unsigned>(size));
    for (auto& b : content_)
      b = static_cast<std::uint8_t>(random());
    const auto path = (dir_ / "data.bin").string();
    testing::WriteBytes(path, content_);
    return path;
  }

  Bytes content_;
};

// Reads the whole file in pieces of random sizes (including pieces larger
// than the buffer, which bypass it) and checks it arrives unchanged, with a
// short count only for the last piece.
TEST_F(BufferedReaderTest, PiecesOfAnySizeReassembleTheFile) {
  std::mt19937 random(7);
  for (std::size_t capacity :
       {std::size_t{1}, std::size_t{5}, std::size_t{4096}, BufferedReader::kDefaultCapacity}) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, capacity - 1, capacity, capacity + 1,
                             std::size_t{200003}}) {
      SCOPED_TRACE("capacity " + std::to_string(capacity) + ", size " + std::to_string(size));
      auto file = fileio::ByteFile::Open(Make(size), fileio::ByteFile::Access::kRead);
      BufferedReader reader(file, capacity);
      Bytes got;
      for (;;) {
        Bytes piece(std::uniform_int_distribution<std::size_t>(0, 2 * capacity + 3)(random));
        const std::size_t n = reader.Read(piece);
        got.insert(got.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < piece.size())
          break;
      }
      EXPECT_EQ(got, content_);
      Bytes more(3);
      EXPECT_EQ(reader.Read(more), 0u);  // stays at the end
    }
  }
}

// Random reads, skips and jumps back, checked against the plain position in
// the file: skips past the buffer are jumps, and a jump back into the
// buffered bytes must see the same bytes as one that rereads them.
TEST_F(BufferedReaderTest, SkipsAndJumpsBackLandWhereThePositionSays) {
  std::mt19937 random(11);
  auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  for (std::size_t capacity : {std::size_t{1}, std::size_t{7}, std::size_t{600}}) {
    const std::size_t size = 5000;
    auto file = fileio::ByteFile::Open(Make(size), fileio::ByteFile::Access::kRead);
    BufferedReader reader(file, capacity);
    std::size_t position = 0;
    for (int step = 0; step < 3000; ++step) {
      SCOPED_TRACE("capacity " + std::to_string(capacity) + ", step " + std::to_string(step));
      const std::size_t count = below(2 * capacity + 700);
      const std::size_t left = size - std::min(position, size);
      switch (below(4)) {
        case 0: {
          const std::size_t skipped = reader.Skip(count);
          ASSERT_EQ(skipped, std::min(count, left));
          position += skipped;
          break;
        }
        case 1: {
          position = below(size + 3);  // now and then past the end
          reader.SeekTo(static_cast<std::int64_t>(position));
          break;
        }
        default: {
          Bytes piece(count);
          const std::size_t n = reader.Read(piece);
          ASSERT_EQ(n, std::min(count, left));
          ASSERT_TRUE(std::equal(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n),
                                 content_.begin() + static_cast<std::ptrdiff_t>(position)));
          position += n;
        }
      }
    }
  }
}

}  // namespace
}  // namespace velwin::ips
