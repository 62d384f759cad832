#include "mainwindow/rom/database_lookup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fileio/byte_file.h"
#include "mainwindow/rom/database_lines.h"
#include "tests/rom/rom_files.h"

namespace velwin::rom {
namespace {

class DatabaseLookupTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    labels_.ROMCRC = "0A3F";
    status_.SetText("Accessing tetris.gb ...  OK");
  }
  void Lookup() { LookupDatabase(labels_, status_, dir_.string()); }
  void ExpectNoEntry() {
    EXPECT_EQ(labels_.romdbase, "none");
    EXPECT_EQ(labels_.ROMDBName, "-");
  }
  void ExpectUntouchedStatus() {
    EXPECT_EQ(status_.Text(), "Accessing tetris.gb ...  OK");
    EXPECT_EQ(status_.Repaints(), 0);
  }

  RomInfoLabels labels_;
  MemoryStatusLine status_;
};

TEST_F(DatabaseLookupTest, TheUsersDatabaseWins) {
  Write("user.ini", "My Tetris\r\nCRC: 0X0A3F\r\n");
  Write("veltra.ini", "[Games]\r\nTetris (World)\r\nCRC: 0X0A3F\r\n");
  Lookup();
  EXPECT_EQ(labels_.romdbase, "User.INI");
  EXPECT_EQ(labels_.ROMDBName, "My Tetris");
  ExpectUntouchedStatus();
}

TEST_F(DatabaseLookupTest, FallsBackToTheToolsDatabase) {
  Write("user.ini", "Other\r\nCRC: 0X1234\r\n");
  Write("veltra.ini", "[Games]\r\n  Tetris (World) [!]  \r\nCRC: 0X0A3F\r\nNext\r\n");
  Lookup();
  EXPECT_EQ(labels_.romdbase, "VELTra.INI");
  EXPECT_EQ(labels_.ROMDBName, "  Tetris (World) [!]  ");  // unchanged, not trimmed
  ExpectUntouchedStatus();
}

TEST_F(DatabaseLookupTest, TheFirstEntryForAChecksumWins) {
  Write("user.ini", "");
  Write("veltra.ini", "First\r\nCRC: 0X0A3F\r\nSecond\r\nCRC: 0X0A3F\r\n");
  Lookup();
  EXPECT_EQ(labels_.ROMDBName, "First");
}

TEST_F(DatabaseLookupTest, KeyLinesMatchInAnyLetterCaseButNothingElse) {
  Write("user.ini", "");
  const auto nameFor = [this](const std::string& veltra) {
    Write("veltra.ini", veltra);
    Lookup();
    return labels_.ROMDBName;
  };
  EXPECT_EQ(nameFor("lower\r\ncrc: 0x0a3f\r\n"), "lower");
  EXPECT_EQ(nameFor("mixed\r\nCrC: 0x0A3f"), "mixed");  // no line end at the end
  EXPECT_EQ(nameFor("blank\r\nCRC: 0X0A3F \r\n"), "-");
  EXPECT_EQ(nameFor("lead\r\n CRC: 0X0A3F\r\n"), "-");
  EXPECT_EQ(nameFor("tab\r\nCRC:\t0X0A3F\r\n"), "-");
  EXPECT_EQ(nameFor("longer\r\nCRC: 0X0A3FF\r\n"), "-");
  EXPECT_EQ(nameFor("shorter\r\nCRC: 0X0A3\r\n"), "-");
  EXPECT_EQ(nameFor("other\r\nCRC: 0X0A3E\r\n"), "-");
}

TEST_F(DatabaseLookupTest, LineEndsAreCrOrCrLfOnly) {
  Write("user.ini", "");
  const auto nameFor = [this](const std::string& veltra) {
    Write("veltra.ini", veltra);
    Lookup();
    return labels_.ROMDBName;
  };
  EXPECT_EQ(nameFor("crlf\r\nCRC: 0X0A3F\r\n"), "crlf");
  EXPECT_EQ(nameFor("cr\rCRC: 0X0A3F\r"), "cr");
  // LF alone is part of the line: the whole file is one line.
  EXPECT_EQ(nameFor("lf\nCRC: 0X0A3F\n"), "-");
  // An LF after the CR's own LF starts the next line.
  EXPECT_EQ(nameFor("two\r\n\nCRC: 0X0A3F\r\n"), "-");
  // CR CR: an empty line between.
  EXPECT_EQ(nameFor("gap\r\rCRC: 0X0A3F\r"), "");
  EXPECT_EQ(nameFor("CRC: 0X0A3F\r\nafter\r\n"), "");  // key line first: empty name
  EXPECT_EQ(nameFor("a\nb\r\nCRC: 0X0A3F"), "a\nb");
}

TEST_F(DatabaseLookupTest, TheDataEndsAtTheFirst1A) {
  Write("user.ini", "");
  Write("veltra.ini", std::string("\x1A", 1) + "Tetris\r\nCRC: 0X0A3F\r\n");
  Lookup();
  ExpectNoEntry();
  ExpectUntouchedStatus();

  Write("veltra.ini", std::string("Tetris\r\nCRC: 0X0A3F\x1A\r\n"));
  Lookup();
  EXPECT_EQ(labels_.ROMDBName, "Tetris");

  Write("veltra.ini", std::string("Tetris\r\nCRC: 0X0A3\x1A"
                                  "F\r\n"));
  Lookup();
  ExpectNoEntry();
}

TEST_F(DatabaseLookupTest, EmptyDatabasesMatchNothingQuietly) {
  Write("user.ini", "");
  Write("veltra.ini", "");
  Lookup();
  ExpectNoEntry();
  ExpectUntouchedStatus();
}

TEST_F(DatabaseLookupTest, ADatabaseThatCannotBeReadIsReported) {
  Write("veltra.ini", "Tetris\r\nCRC: 0X0A3F\r\n");
  Lookup();  // no user.ini
  EXPECT_EQ(status_.Text(), "Error accessing user.ini");
  EXPECT_EQ(status_.Repaints(), 1);
  EXPECT_EQ(labels_.romdbase, "VELTra.INI");

  std::filesystem::remove(dir_ / "veltra.ini");
  std::filesystem::create_directory(dir_ / "veltra.ini");
  Write("user.ini", "Mine\r\nCRC: 0X0A3F\r\n");
  Lookup();  // found in user.ini, but the other one still reports
  EXPECT_EQ(labels_.romdbase, "User.INI");
  EXPECT_EQ(labels_.ROMDBName, "Mine");
  EXPECT_EQ(status_.Text(), "Error accessing veltra.ini");
}

TEST_F(DatabaseLookupTest, BothMissingShowsTheLaterMessage) {
  Lookup();
  ExpectNoEntry();
  EXPECT_EQ(status_.Text(), "Error accessing veltra.ini");
  EXPECT_EQ(status_.Repaints(), 2);
}

TEST_F(DatabaseLookupTest, ARomWithoutEntryAfterOneWithAnEntryShowsNone) {
  Write("veltra.ini", "Tetris\r\nCRC: 0X0A3F\r\n");
  Lookup();
  ASSERT_EQ(labels_.ROMDBName, "Tetris");
  labels_.ROMCRC = "1111";
  Lookup();
  ExpectNoEntry();
  // A file that is not a ROM has the checksum "-".
  Write("veltra.ini", "Not a ROM\r\nCRC: 0X-\r\n");
  labels_.ROMCRC = "-";
  Lookup();
  EXPECT_EQ(labels_.ROMDBName, "Not a ROM");
}

TEST_F(DatabaseLookupTest, LinesAcrossBufferRefillsStillMatch) {
  // Move the entry over the refill boundary one byte at a time, so that the
  // CR, its LF, the name and the key line each fall on both sides of it.
  Write("user.ini", "");
  const std::size_t chunk = DatabaseLines::kChunkBytes;
  for (std::size_t shift = 0; shift < 30; ++shift) {
    const std::string filler(chunk - 20 + shift, 'x');
    Write("veltra.ini", filler + "\r\nTetris\r\nCRC: 0X0A3F\r\n");
    labels_.ROMDBName.clear();
    Lookup();
    ASSERT_EQ(labels_.ROMDBName, "Tetris") << "shift " << shift;
  }
}

TEST_F(DatabaseLookupTest, HugeLinesAreStreamedAndNamesCut) {
  Write("user.ini", "");
  // A 20 MiB line before the entry, a 100,000-byte name, and a key-like
  // head on a long line that must not count.
  std::string veltra(20u << 20, 'y');
  veltra += "\r\nCRC: 0X0A3F and more\r\n";
  veltra += std::string(100000, 'n') + "\r\nCRC: 0X0A3F\r\n";
  Write("veltra.ini", veltra);
  Lookup();
  EXPECT_EQ(labels_.romdbase, "VELTra.INI");
  EXPECT_EQ(labels_.ROMDBName, std::string(4096, 'n'));
}

long PeakResidentKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST_F(DatabaseLookupTest, AGigabyteLineCostsNoMemory) {
  // A sparse file: one line of 1 GiB of zero bytes, then the entry.
  const std::string path = Write("veltra.ini", "");
  const std::string entry = "\r\nTetris\r\nCRC: 0X0A3F";
  const off_t line = off_t{1} << 30;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const bool written =
      ::pwrite(fd, entry.data(), entry.size(), line) == static_cast<ssize_t>(entry.size());
  ::close(fd);
  if (!written)
    GTEST_SKIP() << "no room for a sparse 1 GiB file";
  Write("user.ini", "");

  const long before = PeakResidentKiB();
  Lookup();
  EXPECT_EQ(labels_.ROMDBName, "Tetris");
  EXPECT_LT(PeakResidentKiB() - before, 64 * 1024) << "KiB more at the peak";
}

std::vector<std::string> LinesOf(const std::string& path, std::size_t keep,
                                 std::vector<std::uint64_t>* lengths = nullptr) {
  auto file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
  DatabaseLines lines(file, keep);
  std::vector<std::string> out;
  while (lines.Next()) {
    out.emplace_back(lines.Line());
    if (lengths != nullptr)
      lengths->push_back(lines.Length());
  }
  return out;
}

using Lines = std::vector<std::string>;

TEST_F(DatabaseLookupTest, LineSplittingFollowsDosTextFiles) {
  EXPECT_EQ(LinesOf(Write("t", ""), 64), Lines{});
  EXPECT_EQ(LinesOf(Write("t", "\r"), 64), Lines{""});
  EXPECT_EQ(LinesOf(Write("t", "\r\n"), 64), Lines{""});
  EXPECT_EQ(LinesOf(Write("t", "\r\n\r\n"), 64), (Lines{"", ""}));
  EXPECT_EQ(LinesOf(Write("t", "a\rb\r\nc\nd"), 64), (Lines{"a", "b", "c\nd"}));
  EXPECT_EQ(LinesOf(Write("t", "a\r\n\nb"), 64), (Lines{"a", "\nb"}));
  EXPECT_EQ(LinesOf(Write("t",
                          "a\r\x1A"
                          "b\r"),
                    64),
            Lines{"a"});
  EXPECT_EQ(LinesOf(Write("t", "\x1A"), 64), Lines{});

  std::vector<std::uint64_t> lengths;
  EXPECT_EQ(LinesOf(Write("t", "abcdef\rxy"), 3, &lengths), (Lines{"abc", "xy"}));
  EXPECT_EQ(lengths, (std::vector<std::uint64_t>{6, 2}));

  // A CR that is the last byte of one buffer, its LF the first of the next.
  const std::string head(DatabaseLines::kChunkBytes - 1, 'h');
  lengths.clear();
  const Lines split = LinesOf(Write("t", head + "\r\nz"), 8, &lengths);
  EXPECT_EQ(split, (Lines{"hhhhhhhh", "z"}));
  EXPECT_EQ(lengths, (std::vector<std::uint64_t>{head.size(), 1}));
}

TEST_F(DatabaseLookupTest, ThePreviousLineSurvivesBufferRefills) {
  // Lines of all lengths, some far longer than the buffer, some empty.
  std::mt19937 random(77);
  std::string text;
  Lines expected;
  const std::size_t keep = 100;
  for (int i = 0; i < 400; ++i) {
    const std::size_t length = random() % 4 == 0 ? random() % 200000 : random() % 300;
    std::string line(length, static_cast<char>('a' + i % 26));
    if (length > 0)
      line[0] = static_cast<char>('0' + i % 10);
    text += line + (random() % 2 == 0 ? "\r" : "\r\n");
    expected.push_back(line.substr(0, keep));
  }
  auto file = fileio::ByteFile::Open(Write("t", text), fileio::ByteFile::Access::kRead);
  DatabaseLines lines(file, keep);
  std::string previous;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(lines.Next()) << "line " << i;
    ASSERT_EQ(lines.Line(), expected[i]) << "line " << i;
    ASSERT_EQ(lines.PreviousLine(), previous) << "line " << i;
    previous = expected[i];
  }
  EXPECT_FALSE(lines.Next());
}

}  // namespace
}  // namespace velwin::rom
