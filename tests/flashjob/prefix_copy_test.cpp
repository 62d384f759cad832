#include "flashjob/prefix_copy.h"

#include <gtest/gtest.h>

#include "fileio/file_error.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::flash {
namespace {

using testing::Bytes;

// Both ways of copying must give the same files: the kernel's and the
// buffered one it falls back to.
class PrefixCopyTest : public testing::TempDirTest, public ::testing::WithParamInterface<bool> {
 protected:
  Bytes CopyOf(const Bytes& source, std::int64_t length, std::int64_t* copied) {
    testing::WriteBytes(dir_ / "in", source);
    testing::WriteBytes(dir_ / "out", Bytes(100, 0xEE));  // truncated by Create
    auto from = fileio::ByteFile::Open((dir_ / "in").string(), fileio::ByteFile::Access::kRead);
    auto to = fileio::ByteFile::Create((dir_ / "out").string());
    *copied = CopyPrefix(from, to, length, GetParam());
    to.Close();
    return testing::ReadBytes(dir_ / "out");
  }
};

TEST_P(PrefixCopyTest, CopiesThePrefixOrTheWholeShorterFile) {
  Bytes source(200000);
  for (std::size_t i = 0; i < source.size(); ++i)
    source[i] = static_cast<std::uint8_t>(i % 251);
  for (std::int64_t length : {0, 1, 32767, 32768, 32769, 65536, 199999, 200000, 200001, 262144}) {
    SCOPED_TRACE(length);
    std::int64_t copied = -1;
    const Bytes out = CopyOf(source, length, &copied);
    const auto expected = std::min<std::int64_t>(length, 200000);
    EXPECT_EQ(copied, expected);
    EXPECT_EQ(out, Bytes(source.begin(), source.begin() + expected));
  }
}

TEST_P(PrefixCopyTest, EmptySourceGivesEmptyCopy) {
  std::int64_t copied = -1;
  EXPECT_TRUE(CopyOf({}, 32768, &copied).empty());
  EXPECT_EQ(copied, 0);
}

TEST_P(PrefixCopyTest, FullDeviceReportsDiskFull) {
  testing::WriteBytes(dir_ / "in", Bytes(5000, 1));
  auto from = fileio::ByteFile::Open((dir_ / "in").string(), fileio::ByteFile::Access::kRead);
  auto to = fileio::ByteFile::Create("/dev/full");
  try {
    CopyPrefix(from, to, 32768, GetParam());
    ADD_FAILURE() << "copy to a full device succeeded";
  } catch (const fileio::FileError& e) {
    EXPECT_STREQ(e.what(), "Disk full");
  }
}

INSTANTIATE_TEST_SUITE_P(KernelAndBuffer, PrefixCopyTest, ::testing::Bool());

}  // namespace
}  // namespace velwin::flash
