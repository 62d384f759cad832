#include "fileio/page_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "tests/support/temp_dir_test.h"

namespace velwin::fileio {
namespace {

class PageCacheTest : public testing::TempDirTest {};

TEST_F(PageCacheTest, AFileJustWrittenIsInMemoryAndWhatIsNoFileIsNot) {
  const std::string written = Write("rom.gb", std::string(3 << 20, '\xFF'));
  EXPECT_TRUE(LooksWhollyCached(written));
  EXPECT_TRUE(LooksWhollyCached(Write("empty.gb", std::string())));
  EXPECT_FALSE(LooksWhollyCached((dir_ / "missing.gb").string()));
  EXPECT_FALSE(LooksWhollyCached(dir_.string()));
  EXPECT_FALSE(LooksWhollyCached("/dev/zero"));
}

TEST_F(PageCacheTest, AFileDroppedFromMemoryIsNotInIt) {
  const std::string path = Write("rom.gb", std::string(3 << 20, '\xFF'));
  struct statfs fs {};
  ASSERT_EQ(::statfs(path.c_str(), &fs), 0);
  if (fs.f_type == TMPFS_MAGIC)
    GTEST_SKIP() << "a file in memory-backed storage never leaves memory";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::fdatasync(fd), 0);
  // Only the last MiB is dropped: the sample must look beyond the start.
  ASSERT_EQ(::posix_fadvise(fd, 2 << 20, 1 << 20, POSIX_FADV_DONTNEED), 0);
  const bool lastByteCached = ByteInPageCache(fd, (3 << 20) - 1);
  ::close(fd);
  if (lastByteCached)
    GTEST_SKIP() << "this file system keeps the pages it was asked to drop";
  EXPECT_FALSE(LooksWhollyCached(path));
}

}  // namespace
}  // namespace velwin::fileio
