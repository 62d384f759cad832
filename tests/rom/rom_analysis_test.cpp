#include "mainwindow/rom/rom_analysis.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "tests/rom/rom_files.h"

namespace velwin::rom {
namespace {

using testing::RomImage;
constexpr std::size_t kBlock = 32768;

RomImage Tetris(std::size_t size) {
  RomImage rom(std::max<std::size_t>(size, 336));
  rom.WithLogo().Title("TETRIS").Set(0x14E, 0x0A).Set(0x14F, 0x3F);
  return rom.Resize(size);
}

// Sets or clears the immutable attribute: the one way to make a file
// unwritable even for root. False when the file system or the process may
// not.
bool SetImmutable(const std::string& path, bool immutable) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}

class RomAnalysisTest : public testing::TempDirTest {
 protected:
  RomAnalysis Analyse(const std::string& path, bool showStatus = true) {
    return analyser_.AnalyseRomFile(path, showStatus);
  }
  // Leaves labels from a first file, so a failing analysis shows what it
  // keeps.
  void AnalyseAnEarlierFile() {
    Analyse(Write("earlier.gb", Tetris(50000).Set(40000, 1)));
    ASSERT_EQ(labels_.fsize, "50000");
    ASSERT_EQ(labels_.fssize, "65536");
  }
  void ExpectNotAGameBoyRom() {
    EXPECT_EQ(labels_.fileisgbrom, "NO");
    EXPECT_EQ(labels_.romname, "-");
    EXPECT_EQ(labels_.romcolor, "-");
    EXPECT_EQ(labels_.romsize, "-");
    EXPECT_EQ(labels_.ROMCRC, "-");
  }

  RomInfoLabels labels_;
  MemoryStatusLine status_;
  RomAnalyser analyser_{labels_, status_};
};

TEST_F(RomAnalysisTest, ShowsFileAndHeaderAndReportsOk) {
  const RomAnalysis result = Analyse(Write("tetris.gb", Tetris(1000)));
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.fileSize, 1000);
  EXPECT_EQ(result.strippedSize, 32768);
  EXPECT_EQ(labels_.fname, "tetris.gb");
  EXPECT_EQ(labels_.fsize, "1000");
  EXPECT_EQ(labels_.fssize, "32768");
  EXPECT_EQ(labels_.fileisgbrom, "YES");
  EXPECT_EQ(labels_.romname, "TETRIS");
  EXPECT_EQ(labels_.romcolor, "NO");
  EXPECT_EQ(labels_.romsize, "256");
  EXPECT_EQ(labels_.ROMCRC, "0A3F");
  EXPECT_EQ(status_.Text(), "Accessing tetris.gb ...  OK");
  EXPECT_EQ(status_.Repaints(), 2);  // before the work and after it
  // The database rows belong to the lookup.
  EXPECT_EQ(labels_.romdbase, kUnsetCaption);
  EXPECT_EQ(labels_.ROMDBName, kUnsetCaption);
}

TEST_F(RomAnalysisTest, WithoutShowStatusLeavesThePanelAlone) {
  status_.SetText("Error accessing veltra.ini");
  EXPECT_TRUE(Analyse(Write("a.gb", Tetris(400)), false).ok);
  EXPECT_EQ(status_.Text(), "Error accessing veltra.ini");
  EXPECT_EQ(status_.Repaints(), 0);
  EXPECT_EQ(labels_.fileisgbrom, "YES");
}

TEST_F(RomAnalysisTest, AFileNotReachedKeepsTheEarlierSizes) {
  AnalyseAnEarlierFile();
  const RomAnalysis result = Analyse(PathOf("missing.gb"));
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.fileSize.has_value());
  EXPECT_FALSE(result.strippedSize.has_value());
  EXPECT_EQ(labels_.fname, "missing.gb");
  EXPECT_EQ(labels_.fsize, "50000");
  EXPECT_EQ(labels_.fssize, "65536");
  EXPECT_EQ(status_.Text(), "Accessing missing.gb ...  ERROR");
  ExpectNotAGameBoyRom();
  EXPECT_TRUE(std::all_of(analyser_.HeaderBuffer().begin(), analyser_.HeaderBuffer().end(),
                          [](std::uint8_t b) { return b == 0; }));
}

TEST_F(RomAnalysisTest, WhatIsNotARegularFileFailsWithoutHanging) {
  const std::string fifo = PathOf("pipe.gb");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(dir_ / "folder.gb");
  for (const std::string& path : {fifo, PathOf("folder.gb"), std::string("/dev/zero")}) {
    AnalyseAnEarlierFile();
    EXPECT_FALSE(Analyse(path).ok) << path;
    EXPECT_EQ(labels_.fsize, "50000") << path;
    EXPECT_EQ(status_.Text(), "Accessing " + FileNamePart(path) + " ...  ERROR");
    ExpectNotAGameBoyRom();
  }
}

TEST_F(RomAnalysisTest, AWriteProtectedRomIsAnalysedAsUsual) {
  const std::string path = Write("locked.gb", Tetris(65536));
  if (!SetImmutable(path, true))
    GTEST_SKIP() << "cannot make files immutable here";
  const RomAnalysis result = Analyse(path);
  SetImmutable(path, false);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(labels_.fileisgbrom, "YES");
  EXPECT_EQ(labels_.fssize, "32768");
  EXPECT_EQ(status_.Text(), "Accessing locked.gb ...  OK");
}

TEST_F(RomAnalysisTest, FilesShorterThanTheHeaderFailAfterCopyingWhatTheyHave) {
  AnalyseAnEarlierFile();
  // The logo ends at 307 and the checksum at 335: short files fail, but
  // what they hold is tested.
  struct Case {
    std::size_t size;
    const char* isGb;
    const char* crc;
  };
  for (const Case c :
       {Case{0, "NO", "-"}, Case{1, "NO", "-"}, Case{291, "NO", "-"}, Case{292, "YES", "0000"},
        Case{307, "YES", "0000"}, Case{308, "YES", "0000"}, Case{335, "YES", "0A00"}}) {
    const RomAnalysis result = Analyse(Write("short.gb", Tetris(c.size)));
    EXPECT_FALSE(result.ok) << c.size;
    EXPECT_EQ(result.fileSize, static_cast<std::int64_t>(c.size));
    EXPECT_FALSE(result.strippedSize.has_value());
    EXPECT_EQ(labels_.fsize, std::to_string(c.size));
    EXPECT_EQ(labels_.fssize, "65536") << c.size;  // still the earlier file's
    EXPECT_EQ(labels_.fileisgbrom, c.isGb) << c.size;
    EXPECT_EQ(labels_.ROMCRC, c.crc) << c.size;
    EXPECT_EQ(status_.Text(), "Accessing short.gb ...  ERROR");
  }
  const RomAnalysis result = Analyse(Write("short.gb", Tetris(336)));
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(labels_.ROMCRC, "0A3F");
  EXPECT_EQ(labels_.fssize, "32768");
}

TEST_F(RomAnalysisTest, ClearsTheHeaderBufferBeforeEachFile) {
  Analyse(Write("full.gb", Tetris(400)));
  Analyse(Write("tiny.gb", std::string("\x42")));
  const auto& buffer = analyser_.HeaderBuffer();
  EXPECT_EQ(buffer[0], 0x42);
  EXPECT_TRUE(std::all_of(buffer.begin() + 1, buffer.end(), [](std::uint8_t b) { return b == 0; }));
  ExpectNotAGameBoyRom();
}

TEST_F(RomAnalysisTest, ReadsTheHeaderTheFillerAndOneBlock) {
  RomImage rom = Tetris(16 * kBlock);
  rom.Fill(0x150, 6 * kBlock, 0x31).Fill(6 * kBlock, 16 * kBlock, 0xFF);
  const RomAnalysis result = Analyse(Write("big.gb", rom));
  EXPECT_EQ(labels_.fssize, std::to_string(6 * kBlock));
  EXPECT_LE(result.bytesRead, 336 + 10 * kBlock + kBlock);
  EXPECT_GT(result.bytesRead, 336 + 10 * kBlock);
}

TEST_F(RomAnalysisTest, SizesBeyondTwoGigabytesAreShownInFull) {
  // A sparse file: 2 GiB and a bit, zero apart from its header and one byte
  // near the end.
  const std::string path = Write("huge.gb", Tetris(336));
  const std::int64_t size = (std::int64_t{1} << 31) + 40000;
  const std::int64_t odd = (std::int64_t{1} << 31) + 100;
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const bool done = ::ftruncate(fd, size) == 0 && ::pwrite(fd, "\x01", 1, odd) == 1;
    ::close(fd);
    if (!done)
      GTEST_SKIP() << "no room for a sparse 2 GiB file";
  }
  const RomAnalysis result = Analyse(path);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(labels_.fsize, "2147523648");
  EXPECT_EQ(labels_.fssize, std::to_string((std::int64_t{1} << 31) + 32768));
  EXPECT_EQ(result.strippedSize, (std::int64_t{1} << 31) + 32768);
  EXPECT_LE(result.bytesRead, 336 + 2 * kBlock);
}

TEST(FileNamePart, TakesTheTextAfterTheLastSlash) {
  EXPECT_EQ(FileNamePart("/home/u/roms/tetris.gb"), "tetris.gb");
  EXPECT_EQ(FileNamePart("tetris.gb"), "tetris.gb");
  EXPECT_EQ(FileNamePart("roms/"), "");
  EXPECT_EQ(FileNamePart(""), "");
  EXPECT_EQ(FileNamePart("/a:b\\c.gb"), "a:b\\c.gb");  // not separators here
}

TEST_F(RomAnalysisTest, NamesAreShownIn8BitText) {
  Analyse(Write("Pok\xC3\xA9mon.gb", Tetris(400)));
  EXPECT_EQ(labels_.fname, "Pok\xE9mon.gb");
  EXPECT_EQ(status_.Text(), "Accessing Pok\xE9mon.gb ...  OK");
}

}  // namespace
}  // namespace velwin::rom
