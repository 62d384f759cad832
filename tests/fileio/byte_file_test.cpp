#include "fileio/byte_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <vector>

#include "fileio/file_error.h"
#include "tests/support/immutable_file.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::fileio {
namespace {

namespace fs = std::filesystem;

class ByteFileTest : public velwin::testing::TempDirTest {
 protected:
  std::string ErrorTextOf(void (*action)(const std::string&), const std::string& path) {
    try {
      action(path);
    } catch (const FileError& e) {
      return e.what();
    }
    return "no error";
  }
};

TEST(RuntimeText, NamesTheCommonFailures) {
  EXPECT_EQ(RuntimeText(ENOENT), "File not found");
  EXPECT_EQ(RuntimeText(EACCES), "File access denied");
  EXPECT_EQ(RuntimeText(EROFS), "File access denied");
  EXPECT_EQ(RuntimeText(ENOSPC), "Disk full");
  EXPECT_EQ(RuntimeText(EIO), "I/O error 5");
}

TEST_F(ByteFileTest, ReadsAtPositionsAndReportsShortReadsAtTheEnd) {
  auto file = ByteFile::Open(Write("a.bin", "0123456789"), ByteFile::Access::kRead);
  EXPECT_EQ(file.Size(), 10);
  std::vector<std::uint8_t> buffer(4);
  EXPECT_EQ(file.Read(buffer), 4u);
  EXPECT_EQ(buffer[0], '0');
  EXPECT_EQ(file.ReadAt(8, buffer), 2u);
  EXPECT_EQ(buffer[1], '9');
  EXPECT_EQ(file.Read(buffer), 4u);  // ReadAt leaves the position alone
  EXPECT_EQ(buffer[0], '4');
  EXPECT_EQ(file.ReadAt(20, buffer), 0u);
  file.Close();
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(ByteFileTest, OpenRefusesWhatIsNotARegularFile) {
  const auto open = [](const std::string& p) { ByteFile::Open(p, ByteFile::Access::kRead); };
  EXPECT_EQ(ErrorTextOf(open, (dir_ / "missing").string()), "File not found");
  EXPECT_EQ(ErrorTextOf(open, dir_.string()), "File access denied");
  EXPECT_EQ(ErrorTextOf(open, "/dev/zero"), "File access denied");
  const auto fifo = (dir_ / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ErrorTextOf(open, fifo), "File access denied");  // and does not block
}

TEST_F(ByteFileTest, ReadWriteOpenOfAReadOnlyFileIsDenied) {
  const auto path = Write("ro.bin", "x");
  fs::permissions(path, fs::perms::owner_read);
  // Permission bits do not stop root; the immutable attribute does.
  std::optional<velwin::testing::ImmutableFile> locked;
  if (::geteuid() == 0) {
    locked.emplace(path);
    if (!locked->Applied())
      GTEST_SKIP() << "root may write any file and cannot lock one here";
  }
  const auto open = [](const std::string& p) { ByteFile::Open(p, ByteFile::Access::kReadWrite); };
  EXPECT_EQ(ErrorTextOf(open, path), "File access denied");
}

TEST_F(ByteFileTest, CreateTruncatesAndWritesAtOffsets) {
  const auto path = Write("out.bin", "old contents");
  {
    auto file = ByteFile::Create(path);
    const std::vector<std::uint8_t> bytes{'a', 'b'};
    file.Write(bytes);
    file.WriteAt(5, bytes);
    file.Close();
  }
  auto file = ByteFile::Open(path, ByteFile::Access::kRead);
  std::vector<std::uint8_t> back(16);
  ASSERT_EQ(file.Read(back), 7u);
  EXPECT_EQ(back[0], 'a');
  EXPECT_EQ(back[2], 0);  // the gap reads as zero
  EXPECT_EQ(back[6], 'b');
}

TEST_F(ByteFileTest, AFullDeviceReportsDiskFull) {
  if (!fs::exists("/dev/full"))
    GTEST_SKIP() << "no /dev/full";
  auto file = ByteFile::Create("/dev/full");
  const std::vector<std::uint8_t> bytes(100, 1);
  EXPECT_EQ(file.WriteSome(bytes), 0u);
  try {
    file.Write(bytes);
    FAIL() << "a write to a full device succeeded";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "Disk full");
    EXPECT_EQ(e.path(), "/dev/full");  // the error names its file for velwin-cli
  }
}

}  // namespace
}  // namespace velwin::fileio
