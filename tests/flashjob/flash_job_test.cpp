#include "flashjob/flash_job.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fileio/file_error.h"
#include "gbheader/header_logo.h"
#include "rom/status_line.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/immutable_file.h"
#include "tests/support/recording_launcher.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::flash {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ReadBytes;
using testing::RecordingLauncher;
using testing::WriteBytes;

// Bytes that are nowhere a run of one value, so the stripped size is the
// file rounded up to whole blocks, with the cartridge logo that every
// listed ROM carries.
Bytes Varied(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
  for (std::size_t i = 0; i < gbheader::HeaderLogo.size(); ++i) {
    if (gbheader::kLogoOffset + i < size)
      bytes[gbheader::kLogoOffset + i] = gbheader::HeaderLogo[i];
  }
  return bytes;
}

class FlashJobTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    base_ = dir_.string();
    scratch_ = dir_ / "paldmi.tmp";
  }

  std::string Rom(const std::string& name, const Bytes& bytes) { return Write(name, bytes); }

  void Run(const std::vector<std::string>& roms) { RunFlashJob(roms, analyser_, launcher_, base_); }

  std::string ErrorOf(const std::vector<std::string>& roms) {
    try {
      Run(roms);
    } catch (const fileio::FileError& e) {
      return e.what();
    } catch (const FlashJobError& e) {
      return std::string("job: ") + e.what();
    }
    return "no error";
  }

  fs::path Copy(int n) const { return scratch_ / (std::to_string(n) + ".stp"); }

  std::string base_;
  fs::path scratch_;
  rom::RomInfoLabels labels_;
  rom::MemoryStatusLine status_;
  rom::RomAnalyser analyser_{labels_, status_};
  RecordingLauncher launcher_;
};

TEST_F(FlashJobTest, CopiesEachRomUnderItsListPositionAndStartsTheToolOnce) {
  const Bytes a = Varied(70000, 1);  // stripped 98,304: the whole file
  Bytes b = Varied(65536, 2);        // second half filler: stripped 32,768
  std::fill(b.begin() + 32768, b.end(), 0xFF);
  const Bytes c = Varied(1000, 3);
  Run({Rom("a.gb", a), Rom("b.gb", b), Rom("c.gb", c)});

  EXPECT_EQ(ReadBytes(Copy(0)), a);
  EXPECT_EQ(ReadBytes(Copy(1)), Bytes(b.begin(), b.begin() + 32768));
  EXPECT_EQ(ReadBytes(Copy(2)), c);
  EXPECT_FALSE(fs::exists(Copy(3)));

  ASSERT_EQ(launcher_.calls.size(), 1u);
  EXPECT_EQ(launcher_.calls[0].program, "../veltra");
  EXPECT_EQ(launcher_.calls[0].arguments, std::vector<std::string>{"*.stp"});
  EXPECT_EQ(fs::path(launcher_.calls[0].workingDirectory), scratch_);

  // The ROM information describes the last ROM, as the analysis left it.
  EXPECT_EQ(status_.Text(), "Accessing c.gb ...  OK");
  EXPECT_EQ(labels_.fname, "c.gb");
  EXPECT_EQ(labels_.fsize, "1000");
}

TEST_F(FlashJobTest, EveryNumberedCopyIsRemovedAndNothingElse) {
  fs::create_directory(scratch_);
  for (int i = 0; i < 300; ++i)
    WriteBytes(Copy(i), {1, 2, 3});
  WriteBytes(scratch_ / "007.stp", {7});  // digits all the same
  const char* bystanders[] = {"notes.txt", ".stp",  "1a.stp", "a1.stp", "-1.stp",
                              "1.stp.bak", "1.STP", "1 .stp", "+1.stp", "1.stpx"};
  for (const char* name : bystanders)
    WriteBytes(scratch_ / name, {9});
  fs::create_directory(scratch_ / "7.stp.d");
  fs::create_directory(scratch_ / "300.stp");  // a directory is no copy
  Run({Rom("a.gb", Varied(500, 1))});

  EXPECT_EQ(ReadBytes(Copy(0)), Varied(500, 1));
  for (int i = 1; i < 300; ++i)
    EXPECT_FALSE(fs::exists(Copy(i))) << i;
  EXPECT_FALSE(fs::exists(scratch_ / "007.stp"));
  for (const char* name : bystanders)
    EXPECT_EQ(ReadBytes(scratch_ / name), Bytes{9}) << name;
  EXPECT_TRUE(fs::is_directory(scratch_ / "7.stp.d"));
  EXPECT_TRUE(fs::is_directory(scratch_ / "300.stp"));
}

TEST_F(FlashJobTest, CopiesOfListsLongerThan256AreAllCleanedUp) {
  const std::string rom = Rom("a.gb", Varied(400, 5));
  Run(std::vector<std::string>(300, rom));
  EXPECT_EQ(ReadBytes(Copy(299)), Varied(400, 5));

  // A shorter list next: the tool sees only its copies.
  Run({rom});
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch_), fs::directory_iterator()), 1);

  Run(std::vector<std::string>(300, rom));
  ClearScratchCopies(base_);  // as the window does when it closes
  EXPECT_TRUE(fs::is_empty(scratch_));
}

TEST_F(FlashJobTest, StaleLinkAmongTheCopiesIsReplacedNotFollowed) {
  // Left by an earlier job or put there by hand: as a symbolic or hard link
  // a copy's name must not let the job overwrite the file it points to.
  const Bytes precious = Varied(2000, 9);
  WriteBytes(dir_ / "precious.gb", precious);
  WriteBytes(dir_ / "other.gb", precious);
  fs::create_directory(scratch_);
  fs::create_symlink(dir_ / "precious.gb", Copy(256));
  fs::create_hard_link(dir_ / "other.gb", Copy(257));
  const std::string rom = Rom("a.gb", Varied(400, 5));
  Run(std::vector<std::string>(258, rom));
  EXPECT_EQ(ReadBytes(dir_ / "precious.gb"), precious);
  EXPECT_EQ(ReadBytes(dir_ / "other.gb"), precious);
  EXPECT_FALSE(fs::is_symlink(Copy(256)));
  EXPECT_EQ(ReadBytes(Copy(256)), Varied(400, 5));
  EXPECT_EQ(ReadBytes(Copy(257)), Varied(400, 5));
}

TEST_F(FlashJobTest, CopyHoldsWholeStrippedBlocksOnly) {
  // 1 MiB whose last 65,536 bytes are filler: 983,040 bytes are copied.
  Bytes big = Varied(1048576, 9);
  std::fill(big.begin() + 983040, big.end(), 0xFF);
  big[983039] = 0x00;  // the filler run must not reach back further
  // 10,000 bytes: stripped size 32,768, more than the file holds.
  const Bytes small = Varied(10000, 4);
  Run({Rom("big.gb", big), Rom("small.gb", small)});

  const Bytes copy = ReadBytes(Copy(0));
  ASSERT_EQ(copy.size(), 983040u);
  EXPECT_TRUE(std::equal(copy.begin(), copy.end(), big.begin()));
  EXPECT_EQ(ReadBytes(Copy(1)), small);
}

TEST_F(FlashJobTest, EmptyListPreparesTheDirectoryAndStartsTheTool) {
  Run({});
  EXPECT_TRUE(fs::is_directory(scratch_));
  EXPECT_TRUE(fs::is_empty(scratch_));
  ASSERT_EQ(launcher_.calls.size(), 1u);
  EXPECT_EQ(fs::path(launcher_.calls[0].workingDirectory), scratch_);
}

TEST_F(FlashJobTest, RomThatFailsItsAnalysisStopsTheJobAndClearsItsCopies) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    std::string cause;
  };
  const Case cases[] = {
      {"deleted", [](const fs::path& p) { fs::remove(p); }, "File not found"},
      {"cut below the header", [](const fs::path& p) { fs::resize_file(p, 300); },
       "File shorter than a Game Boy header"},
      {"emptied", [](const fs::path& p) { fs::resize_file(p, 0); },
       "File shorter than a Game Boy header"},
      {"a directory now",
       [](const fs::path& p) {
         fs::remove(p);
         fs::create_directory(p);
       },
       "File access denied"},
      {"logo overwritten", [](const fs::path& p) { WriteBytes(p, Bytes(40000, 0xFF)); },
       "No Game Boy header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    const std::string first = Rom("a.gb", Varied(600, 1));
    const std::string bad = Rom("bad.gb", Varied(70000, 2));
    const std::string last = Rom("c.gb", Varied(600, 3));
    c.spoil(bad);
    launcher_.calls.clear();

    EXPECT_EQ(ErrorOf({first, bad, last}),
              "job: Cannot copy \"" + bad + "\": " + c.cause +
                  ". VELTRA was not started; check the file or remove it from the list.");
    EXPECT_TRUE(fs::is_empty(scratch_));  // a.gb's copy too: nothing for the tool
    EXPECT_TRUE(launcher_.calls.empty());
    EXPECT_EQ(status_.Text(), "Accessing bad.gb ...  " +
                                  std::string(c.cause == "No Game Boy header" ? "OK" : "ERROR"));
  }
}

TEST_F(FlashJobTest, ToolThatCannotStartIsReportedAndTheCopiesStay) {
  struct Case {
    int error;
    std::string text;
  };
  const Case cases[] = {
      {ENOENT,
       "Cannot start \"../veltra\": No such file or directory. Put the VELTRA tool next to the "
       "paldmi.tmp folder."},
      {EACCES,
       "Cannot start \"../veltra\": Permission denied. Make sure the VELTRA tool next to the "
       "paldmi.tmp folder is a program you may run."},
  };
  const std::string rom = Rom("a.gb", Varied(600, 1));
  for (const Case& c : cases) {
    launcher_.failure = std::error_code(c.error, std::system_category());
    EXPECT_EQ(ErrorOf({rom, rom}), "job: " + c.text);
    EXPECT_EQ(ReadBytes(Copy(0)), Varied(600, 1));
    EXPECT_EQ(ReadBytes(Copy(1)), Varied(600, 1));
  }
  EXPECT_EQ(launcher_.calls.size(), 2u);
}

TEST_F(FlashJobTest, FileInPlaceOfTheScratchDirectoryIsLeftAlone) {
  WriteBytes(scratch_, {1, 2, 3});
  EXPECT_EQ(ErrorOf({Rom("a.gb", Varied(600, 1))}), "File access denied");
  EXPECT_EQ(ReadBytes(scratch_), (Bytes{1, 2, 3}));
  EXPECT_TRUE(launcher_.calls.empty());
  EXPECT_EQ(status_.Text(), "");  // nothing analysed
}

TEST_F(FlashJobTest, MissingBaseDirectoryIsNotFound) {
  base_ = (dir_ / "no" / "such").string();
  EXPECT_EQ(ErrorOf({}), "File not found");
  EXPECT_TRUE(launcher_.calls.empty());
}

TEST_F(FlashJobTest, ReadOnlyBaseDirectoryCannotTakeTheScratchDirectory) {
  testing::ImmutableFile locked(dir_);
  if (!locked.Applied())
    GTEST_SKIP() << "cannot set the immutable attribute here";
  EXPECT_EQ(ErrorOf({}), "File access denied");
  EXPECT_FALSE(fs::exists(scratch_));
  EXPECT_TRUE(launcher_.calls.empty());
}

TEST_F(FlashJobTest, LockedScratchDirectoryPassesOverDeletionsButStopsAtTheCopy) {
  fs::create_directory(scratch_);
  WriteBytes(Copy(0), {1, 2, 3});
  // Neither deletable (the directory) nor rewritable (the copy itself).
  testing::ImmutableFile lockedCopy(Copy(0));
  testing::ImmutableFile locked(scratch_);
  if (!locked.Applied() || !lockedCopy.Applied()) {
    GTEST_SKIP() << "cannot set the immutable attribute here";
  }
  EXPECT_EQ(ErrorOf({Rom("a.gb", Varied(600, 1))}), "File access denied");
  EXPECT_EQ(ReadBytes(Copy(0)), (Bytes{1, 2, 3}));
  EXPECT_TRUE(launcher_.calls.empty());
}

TEST_F(FlashJobTest, ReadOnlyRomCanBeFlashed) {
  const std::string rom = Rom("locked.gb", Varied(800, 8));
  testing::ImmutableFile locked(rom);
  if (!locked.Applied())
    GTEST_SKIP() << "cannot set the immutable attribute here";
  Run({rom});
  EXPECT_EQ(ReadBytes(Copy(0)), Varied(800, 8));
  EXPECT_EQ(launcher_.calls.size(), 1u);
}

TEST_F(FlashJobTest, FullDiskStopsTheJobBeforeTheTool) {
  // The first copy fits under the limit, the second does not.
  const std::string a = Rom("a.gb", Varied(40000, 1));
  const std::string b = Rom("b.gb", Varied(200000, 2));
  const std::string outcome = testing::RunWithFileSizeLimit(100000, [&] {
    try {
      Run({a, b});
    } catch (const fileio::FileError& e) {
      return std::string(e.what()) + ", starts " + std::to_string(launcher_.calls.size());
    }
    return std::string("no error");
  });
  EXPECT_EQ(outcome, "Disk full, starts 0");
  EXPECT_TRUE(fs::is_empty(scratch_)) << "a.gb's copy alone must not reach the tool";
}

// The file changes after its analysis and before its copy: the job must not
// hand the tool a copy of another size than the analysis measured, nor keep
// the copies it wrote.
TEST_F(FlashJobTest, RomChangedBetweenAnalysisAndCopyStopsTheJobAndClearsItsCopies) {
  const std::string b = (dir_ / "b.gb").string();
  const auto changed = [&b](const char* sizes) {
    return "job: Cannot copy \"" + b + "\": File changed since its analysis (" + sizes +
           "). VELTRA was not started; check the file or remove it from the list.";
  };
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { fs::resize_file(b, 40000); }, changed("40000 bytes now, 70000 before")},
      {[&] { WriteBytes(b, Varied(100000, 4)); }, changed("100000 bytes now, 70000 before")},
      {[&] { fs::remove(b); }, "File not found"},
  };
  for (const auto& [change, expected] : cases) {
    launcher_.calls.clear();
    std::string error = "no error";
    try {
      RunFlashJob({Rom("a.gb", Varied(600, 1)), Rom("b.gb", Varied(70000, 2))}, analyser_,
                  launcher_, base_, [&](const std::string& path) {
                    if (path == b)
                      change();
                  });
    } catch (const std::exception& e) {
      error = (dynamic_cast<const FlashJobError*>(&e) ? "job: " : "") + std::string(e.what());
    }
    EXPECT_EQ(error, expected);
    EXPECT_TRUE(fs::is_empty(scratch_));
    EXPECT_TRUE(launcher_.calls.empty());
  }
}

TEST_F(FlashJobTest, WorksRelativeToTheCurrentDirectoryWithoutChangingIt) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  base_ = ".";
  const std::string rom = Rom("a.gb", Varied(400, 1));
  Run({"a.gb"});
  const fs::path after = fs::current_path();
  fs::current_path(before);
  EXPECT_EQ(after, dir_);
  EXPECT_EQ(ReadBytes(Copy(0)), Varied(400, 1));
  ASSERT_EQ(launcher_.calls.size(), 1u);
  EXPECT_EQ(fs::path(launcher_.calls[0].workingDirectory), fs::path(".") / "paldmi.tmp");
}

}  // namespace
}  // namespace velwin::flash
