#include "fileio/atomic_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "fileio/file_error.h"
#include "tests/support/temp_dir.h"

namespace velwin::fileio {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// A file that must never replace another: the name is taken only where it
// is free, even when another writer took it after this one began.
TEST(AtomicFileCommitNew, TakesOnlyAFreeNameAndLeavesTheOtherFile) {
  TempDir dir;
  const std::string path = dir.File("backup.gb");
  const std::uint8_t mine[] = {1, 2, 3};
  AtomicFile late = AtomicFile::Begin(path);
  late.File().Write(mine);
  dir.Write("backup.gb", std::string_view("first"));  // another writer wins the name
  try {
    late.CommitNew();
    ADD_FAILURE() << "replaced the other writer's file";
  } catch (const FileError& error) {
    EXPECT_EQ(error.code(), EEXIST);
  }
  const auto kept = ReadBytes(path);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "first");

  AtomicFile free = AtomicFile::Begin(dir.File("free.gb"));
  free.File().Write(mine);
  free.CommitNew();
  EXPECT_EQ(ReadBytes(dir.File("free.gb")).size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(AtomicFile::TempPathFor(dir.File("free.gb"))));
}

}  // namespace
}  // namespace velwin::fileio
