#include "fileio/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Only plain files of this user are a killed writer's leftovers: a link of
// such a name, and another user's file in a folder both may write, stay.
TEST(AtomicFileLeftovers, OnlyOurOwnFilesOfAGoneWriterAreRemoved) {
  const pid_t gone = ::fork();
  if (gone == 0)
    ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string tail = "." + std::to_string(gone) + ".velwin-tmp";
  TempDir dir;
  const std::string ours = dir.Write(".ours.gb" + tail, std::string_view("part"));
  const std::string kept = dir.Write("kept.gb", std::string_view("user's"));
  const std::string link = dir.File(".link.gb" + tail);
  std::filesystem::create_symlink(kept, link);
  const std::string theirs = dir.Write(".theirs.gb" + tail, std::string_view("part"));
  const bool chowned = ::chown(theirs.c_str(), ::geteuid() + 1, ::getegid()) == 0;

  AtomicFile::RemoveLeftoversIn(dir.Path().string());
  EXPECT_FALSE(std::filesystem::exists(ours));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::exists(theirs), chowned);
  EXPECT_EQ(ReadBytes(kept).size(), 6u);
}

}  // namespace
}  // namespace velwin::fileio
