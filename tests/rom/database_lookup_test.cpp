#include "mainwindow/rom/database_lookup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <random>

#include "fileio/byte_file.h"
#include "mainwindow/rom/database_lines.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::rom {
namespace {

using namespace std::string_literals;

class DatabaseLookupTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    labels_.ROMCRC = "0A3F";
    status_.SetText("Accessing tetris.gb ...  OK");
  }
  void Lookup() { LookupDatabase(labels_, status_, dir_.string()); }
  // The name found for 0A3F with an empty user.ini and this veltra.ini.
  std::string NameFor(const std::string& veltra) {
    Write("user.ini", "");
    Write("veltra.ini", veltra);
    Lookup();
    EXPECT_EQ(labels_.romdbase, labels_.ROMDBName == "-" ? "none" : "VELTra.INI");
    return labels_.ROMDBName;
  }
  bool StatusUntouched() const {
    return status_.Text() == "Accessing tetris.gb ...  OK" && status_.Repaints() == 0;
  }

  RomInfoLabels labels_;
  MemoryStatusLine status_;
};

TEST_F(DatabaseLookupTest, KeyLinesMatchExactlyInAnyLetterCase) {
  EXPECT_EQ(NameFor("[x]\r\n  Tetris (W) [!]  \r\nCRC: 0X0A3F\r\nNext"), "  Tetris (W) [!]  ");
  EXPECT_EQ(NameFor("lower\r\ncrc: 0x0a3f\r\n"), "lower");
  EXPECT_EQ(NameFor("mixed\r\nCrC: 0x0A3f"), "mixed");  // the last line needs no end
  EXPECT_EQ(NameFor("First\r\nCRC: 0X0A3F\r\nSecond\r\nCRC: 0X0A3F\r\n"), "First");
  EXPECT_EQ(NameFor("CRC: 0X0A3F\r\nafter\r\n"), "");  // first line: empty name
  for (const char* line : {"CRC: 0X0A3F ", " CRC: 0X0A3F", "CRC:\t0X0A3F", "CRC: 0X0A3FF",
                           "CRC: 0X0A3", "CRC: 0X0A3E", "CRC: 0X0A3F and more"}) {
    EXPECT_EQ(NameFor("Tetris\r\n"s + line + "\r\n"), "-") << line;
  }
  EXPECT_TRUE(StatusUntouched());
}

TEST_F(DatabaseLookupTest, LinesEndAtCrOrCrLfAndTheDataAt1A) {
  EXPECT_EQ(NameFor("cr\rCRC: 0X0A3F\r"), "cr");
  EXPECT_EQ(NameFor("lf\nCRC: 0X0A3F\n"), "-");  // LF-only: one single line
  EXPECT_EQ(NameFor("a\nb\r\nCRC: 0X0A3F"), "a\nb");
  EXPECT_EQ(NameFor("two\r\n\nCRC: 0X0A3F\r\n"), "-");  // the second LF is text
  EXPECT_EQ(NameFor("gap\r\rCRC: 0X0A3F\r"), "");       // CR CR: an empty line
  EXPECT_EQ(NameFor("\x1A"
                    "Tetris\r\nCRC: 0X0A3F\r\n"),
            "-");
  EXPECT_EQ(NameFor("Tetris\r\nCRC: 0X0A3F\x1A\r\n"), "Tetris");
  EXPECT_EQ(NameFor("Tetris\r\nCRC: 0X0A3\x1A"
                    "F\r\n"),
            "-");
  EXPECT_EQ(NameFor("x\r\x1A" + std::string(DatabaseLines::kChunkBytes, 'z') + "\rT\rCRC: 0X0A3F"),
            "-");
  EXPECT_EQ(NameFor(""), "-");
  EXPECT_TRUE(StatusUntouched());
}

TEST_F(DatabaseLookupTest, TheUsersDatabaseIsSearchedFirst) {
  Write("user.ini", "My Tetris\r\nCRC: 0X0A3F\r\n");
  Write("veltra.ini", "Tetris (World)\r\nCRC: 0X0A3F\r\n");
  Lookup();
  EXPECT_EQ(labels_.romdbase, "User.INI");
  EXPECT_EQ(labels_.ROMDBName, "My Tetris");
  EXPECT_TRUE(StatusUntouched());

  // A ROM without an entry after one with an entry shows none; a file that
  // is not a ROM has the checksum "-".
  labels_.ROMCRC = "1111";
  Lookup();
  EXPECT_EQ(labels_.romdbase, "none");
  EXPECT_EQ(labels_.ROMDBName, "-");
  labels_.ROMCRC = "-";
  EXPECT_EQ(NameFor("Not a ROM\r\nCRC: 0X-\r\n"), "Not a ROM");
}

TEST_F(DatabaseLookupTest, ADatabaseThatCannotBeReadIsReported) {
  Lookup();  // neither file
  EXPECT_EQ(labels_.romdbase, "none");
  EXPECT_EQ(labels_.ROMDBName, "-");
  EXPECT_EQ(status_.Text(), "Error accessing veltra.ini");
  EXPECT_EQ(status_.Repaints(), 2);

  Write("veltra.ini", "Tetris\r\nCRC: 0X0A3F\r\n");
  Lookup();
  EXPECT_EQ(status_.Text(), "Error accessing user.ini");
  EXPECT_EQ(labels_.romdbase, "VELTra.INI");

  // Found in user.ini, but a veltra.ini that is a directory still reports.
  std::filesystem::remove(dir_ / "veltra.ini");
  std::filesystem::create_directory(dir_ / "veltra.ini");
  Write("user.ini", "Mine\r\nCRC: 0X0A3F\r\n");
  Lookup();
  EXPECT_EQ(labels_.romdbase, "User.INI");
  EXPECT_EQ(status_.Text(), "Error accessing veltra.ini");
}

TEST_F(DatabaseLookupTest, EntriesAcrossBufferRefillsStillMatch) {
  // Move the entry over the refill boundary a byte at a time, so that each
  // CR, LF, name and key line falls on both sides of it.
  for (std::size_t shift = 0; shift < 30; ++shift) {
    const std::string filler(DatabaseLines::kChunkBytes - 20 + shift, 'x');
    ASSERT_EQ(NameFor(filler + "\r\nTetris\r\nCRC: 0X0A3F\r\n"), "Tetris") << shift;
  }
  // Long lines stream through; a long name is kept cut.
  const std::string longName(100000, 'n');
  EXPECT_EQ(NameFor(std::string(20u << 20, 'y') + "\r\n" + longName + "\r\nCRC: 0X0A3F"),
            longName.substr(0, 4096));
}

TEST_F(DatabaseLookupTest, AGigabyteLineCostsNoMemory) {
  // A sparse file: one line of 1 GiB of zero bytes, then the entry.
  Write("user.ini", "");
  const std::string path = Write("veltra.ini", "");
  const std::string entry = "\r\nTetris\r\nCRC: 0X0A3F";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const bool made =
      ::pwrite(fd, entry.data(), entry.size(), off_t{1} << 30) == ssize_t(entry.size());
  ::close(fd);
  if (!made)
    GTEST_SKIP() << "no room for a sparse 1 GiB file";

  rusage before{};
  rusage after{};
  ::getrusage(RUSAGE_SELF, &before);
  Lookup();
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(labels_.ROMDBName, "Tetris");
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KiB more at the peak";
}

TEST_F(DatabaseLookupTest, LinesAndTheirPredecessorsSurviveRefills) {
  // Lines of every length, some far longer than the buffer, some empty.
  std::mt19937 random(77);
  std::string text;
  std::vector<std::string> expected;
  const std::size_t keep = 100;
  for (int i = 0; i < 400; ++i) {
    std::string line(random() % 4 == 0 ? random() % 200000 : random() % 300, 'a' + i % 26);
    if (!line.empty())
      line[0] = static_cast<char>('0' + i % 10);
    text += line + (random() % 2 == 0 ? "\r" : "\r\n");
    expected.push_back(line.substr(0, keep));
  }
  auto file = fileio::ByteFile::Open(Write("t", text), fileio::ByteFile::Access::kRead);
  DatabaseLines lines(file, keep);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(lines.Next()) << "line " << i;
    ASSERT_EQ(lines.Line(), expected[i]) << "line " << i;
    ASSERT_EQ(lines.PreviousLine(), i == 0 ? "" : expected[i - 1]) << "line " << i;
  }
  EXPECT_FALSE(lines.Next());  // a line end at the end starts no empty line
}

}  // namespace
}  // namespace velwin::rom
