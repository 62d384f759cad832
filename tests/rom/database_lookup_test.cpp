#include "rom/database_lookup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <random>
#include <utility>
#include <vector>

#include "fileio/byte_file.h"
#include "rom/database_lines.h"
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
  void Lookup(MissingDatabase missing = MissingDatabase::kReported) {
    LookupDatabase(labels_, status_, dir_.string(), missing);
  }
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

#ifdef _WIN32
constexpr bool kLoneLfEndsLine = false;
#else
constexpr bool kLoneLfEndsLine = true;
#endif

TEST_F(DatabaseLookupTest, LineEndsAndTheEndOfData) {
  struct Case {
    std::string text;
    const char* linux;    // a lone LF ends a line
    const char* windows;  // a lone LF is text
  };
  const Case cases[] = {
      {"cr\rCRC: 0X0A3F\r", "cr", "cr"},
      {"crlf\r\nCRC: 0X0A3F\r\n", "crlf", "crlf"},
      {"lf\nCRC: 0X0A3F\n", "lf", "-"},
      {"n\nCRC: 0X0A3F", "n", "-"},                // the last line needs no end
      {"Tetris\r\nCRC: 0X0A3F\n", "Tetris", "-"},  // ends in LF: text on Windows
      {"a\nb\r\nCRC: 0X0A3F", "b", "a\nb"},
      {"two\r\n\nCRC: 0X0A3F\r\n", "", "-"},  // an empty line, or an LF of text
      {"gap\r\rCRC: 0X0A3F\r", "", ""},       // CR CR: an empty line
      {"lfcr\n\rCRC: 0X0A3F", "", "lfcr\n"},  // LF then CR: two line ends
      {"Old\r\nCRC: 0X1111\r\nMine\nCRC: 0X0A3F\n", "Mine", "-"},  // mixed
      {"CRC: 0X0A3F\nafter", "", "-"},                             // first line: the empty name
      {"\nCRC: 0X0A3F", "", "-"},
      {"\rCRC: 0X0A3F", "", ""},
      {"\r\nCRC: 0X0A3F", "", ""},
      {"\x1A"
       "Tetris\r\nCRC: 0X0A3F\r\n",
       "-", "-"},
      {"Tetris\nCRC: 0X0A3F\x1A\r\n", "Tetris", "-"},
      {"Tetris\r\nCRC: 0X0A3F\x1A\r\n", "Tetris", "Tetris"},
      {"Tetris\r\nCRC: 0X0A3\x1A"
       "F\r\n",
       "-", "-"},
      {"x\r\x1A" + std::string(DatabaseLines::kChunkBytes, 'z') + "\rT\rCRC: 0X0A3F", "-", "-"},
      {"", "-", "-"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NameFor(c.text), kLoneLfEndsLine ? c.linux : c.windows) << c.text;
  }
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

// The Linux rule: the databases are the user's own, optional files.
TEST_F(DatabaseLookupTest, AMissingDatabaseIsSearchedAsEmptyWhereTheyAreOptional) {
  Write("veltra.ini", "Tetris\r\nCRC: 0X0A3F\r\n");
  Lookup(MissingDatabase::kSearchedAsEmpty);  // no user.ini
  EXPECT_EQ(labels_.romdbase, "VELTra.INI");
  EXPECT_TRUE(StatusUntouched());

  // One that is there but cannot be read is still an error.
  std::filesystem::create_directory(dir_ / "user.ini");
  Lookup(MissingDatabase::kSearchedAsEmpty);
  EXPECT_EQ(status_.Text(), "Error accessing user.ini");
  EXPECT_EQ(labels_.romdbase, "VELTra.INI");
}

TEST_F(DatabaseLookupTest, EntriesAcrossBufferRefillsStillMatch) {
  // Move the entry over the refill boundary a byte at a time, so that each
  // CR, LF, name and key line falls on both sides of it.
  for (const char* end : {"\r\n", "\r", "\n"}) {
    for (std::size_t shift = 0; shift < 30; ++shift) {
      const std::string filler(DatabaseLines::kChunkBytes - 20 + shift, 'x');
      const std::string text = filler + end + "Tetris" + end + "CRC: 0X0A3F" + end;
      ASSERT_EQ(NameFor(text), end == "\n"s && !kLoneLfEndsLine ? "-" : "Tetris") << shift;
    }
  }
  // Long lines stream through; a long name is kept cut.
  for (const std::size_t before : {std::size_t{20} << 20, DatabaseLines::kChunkBytes - 50000}) {
    for (const std::size_t length : {100000, 300000, 4200}) {
      std::string longName(length, 'n');
      longName[0] = 'N';
      longName[4095] = 'E';
      EXPECT_EQ(NameFor(std::string(before, 'y') + "\r\n" + longName + "\r\nCRC: 0X0A3F"),
                longName.substr(0, 4096))
          << before << " " << length;
    }
  }
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

// The line rule applied forwards, one byte at a time: the first line that
// is the key, and the head of the line before it.
std::string SlowNameFor(const std::string& text, const std::string& key, std::size_t keep) {
  std::vector<std::string> lines;
  std::string line;
  bool ended = false;
  for (std::size_t i = 0; i < text.size() && text[i] != '\x1A'; ++i) {
    ended = text[i] == '\r' || (kLoneLfEndsLine && text[i] == '\n');
    if (!ended) {
      line += text[i];
      continue;
    }
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      ++i;
    lines.push_back(std::exchange(line, {}));
  }
  if (!ended)
    lines.push_back(line);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string upper = lines[i];
    for (char& c : upper)
      c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    if (upper == key)
      return i == 0 ? "" : lines[i - 1].substr(0, keep);
  }
  return "-";
}

TEST_F(DatabaseLookupTest, AgreesWithTheLineRuleOnRandomFiles) {
  // Lines of every length, some far longer than the buffer, some empty,
  // near misses of the key, and every kind of line end, so that names and
  // key lines fall across buffer refills in every way.
  std::mt19937 random(77);
  const std::string key = "CRC: 0X0A3F";
  const char* ends[] = {"\r", "\r\n", "\n", "\n\r"};
  const std::size_t keep = 100;
  for (int round = 0; round < 40; ++round) {
    std::string text;
    while (text.size() < 3 * DatabaseLines::kChunkBytes) {
      std::string line;
      switch (random() % 6) {
        case 0:
          line = random() % 2 == 0 ? "crc: 0x0a3f" : key;
          break;
        case 1:
          line = "CRC: 0X0A3" + std::string(1, "EFf "[random() % 4]);
          break;
        case 2:
          line.resize(random() % 4 == 0 ? random() % 300000 : random() % 150);
          for (std::size_t i = 0; i < line.size(); ++i)
            line[i] = static_cast<char>('a' + (i + random() % 2) % 26);
          break;
        default:
          line = "Name " + std::to_string(random());
      }
      text += line + ends[random() % 4];
      if (line.size() > 1000 && random() % 2 == 0)
        text += key + ends[random() % 4];  // a long name
    }
    // Mostly keep only the last key line, so that the search runs far.
    const std::size_t lastKey = text.rfind(key);
    if (round % 4 != 0) {
      for (std::size_t at = text.find(key); at != lastKey; at = text.find(key, at + 1))
        text[at + 1] = 'P';
      for (std::size_t at = text.find("crc: 0x0a3f"); at != std::string::npos;
           at = text.find("crc: 0x0a3f", at + 1))
        text[at + 1] = 'p';
    }
    auto file = fileio::ByteFile::Open(Write("t", text), fileio::ByteFile::Access::kRead);
    DatabaseLines lines(file, keep);
    std::string name = "-";
    lines.FindKeyLine(key, name);
    ASSERT_EQ(name, SlowNameFor(text, key, keep)) << "round " << round;
  }
}

}  // namespace
}  // namespace velwin::rom
