#include "ips/buffered_reader.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velwin::ips
