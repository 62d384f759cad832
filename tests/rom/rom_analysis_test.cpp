#include "rom/rom_analysis.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "rom/file_name_part.h"
#include "tests/support/immutable_file.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::rom {
namespace {

using testing::RomImage;
constexpr std::int64_t kBlock = 32768;

RomImage Tetris(std::size_t size) {
  RomImage rom(std::max<std::size_t>(size, 336));
  rom.WithLogo().Title("TETRIS").Set(0x14E, 0x0A).Set(0x14F, 0x3F);
  return rom.Resize(size);
}

class RomAnalysisTest : public testing::TempDirTest {
 protected:
  RomAnalysis Analyse(const std::string& path, bool showStatus = true) {
    return analyser_.AnalyseRomFile(path, showStatus);
  }
  // Leaves the sizes of a first file in the labels.
  void AnalyseAnEarlierFile() {
    ASSERT_TRUE(Analyse(Write("earlier.gb", Tetris(50000).Set(40000, 1))).ok);
    ASSERT_EQ(labels_.fssize, "65536");
  }
  bool HeaderLabelsSayNotARom() const {
    return labels_.fileisgbrom == "NO" && labels_.romname == "-" && labels_.romcolor == "-" &&
           labels_.romsize == "-" && labels_.ROMCRC == "-";
  }

  RomInfoLabels labels_;
  MemoryStatusLine status_;
  RomAnalyser analyser_{labels_, status_};
};

TEST_F(RomAnalysisTest, ShowsFileAndHeaderAndReportsOk) {
  RomAnalysis result = Analyse(Write("tetris.gb", Tetris(1000)));
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.fileSize, 1000);
  EXPECT_EQ(result.strippedSize, 32768);
  const RomInfoLabels expected{"tetris.gb", "1000", "32768", "YES",         "TETRIS",
                               "NO",        "256",  "0A3F",  kUnsetCaption, kUnsetCaption};
  EXPECT_EQ(labels_, expected);
  EXPECT_EQ(status_.Text(), "Accessing tetris.gb ...  OK");
  EXPECT_EQ(status_.Repaints(), 2);  // before the work and after it

  // Without ShowStatus the panel keeps its message.
  result = Analyse(Write("Pok\xC3\xA9mon.gb", Tetris(400)), false);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(labels_.fname, "Pok\xE9mon.gb");  // 8-bit text, like the titles
  EXPECT_EQ(status_.Text(), "Accessing tetris.gb ...  OK");
  EXPECT_EQ(status_.Repaints(), 2);
}

TEST_F(RomAnalysisTest, AFileThatCannotBeOpenedKeepsTheEarlierSizes) {
  const std::string fifo = PathOf("pipe.gb");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(dir_ / "folder.gb");
  for (const std::string& path :
       {PathOf("missing.gb"), fifo, PathOf("folder.gb"), std::string("/dev/zero")}) {
    AnalyseAnEarlierFile();
    const RomAnalysis result = Analyse(path);  // a FIFO must not block
    EXPECT_FALSE(result.ok) << path;
    EXPECT_FALSE(result.fileSize.has_value() || result.strippedSize.has_value()) << path;
    EXPECT_EQ(labels_.fname, FileNamePart(path));
    EXPECT_EQ(labels_.fsize, "50000") << path;
    EXPECT_EQ(labels_.fssize, "65536") << path;
    EXPECT_EQ(status_.Text(), "Accessing " + FileNamePart(path) + " ...  ERROR");
    EXPECT_TRUE(HeaderLabelsSayNotARom()) << path;
    EXPECT_TRUE(std::all_of(analyser_.HeaderBuffer().begin(), analyser_.HeaderBuffer().end(),
                            [](std::uint8_t b) { return b == 0; }));
  }
}

TEST_F(RomAnalysisTest, FilesShorterThanTheHeaderFailAfterCopyingWhatTheyHave) {
  AnalyseAnEarlierFile();
  // The logo ends at 307 and the checksum at 335; a zero-filled rest still
  // passes the logo test once 32 logo bytes are there.
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
  EXPECT_EQ(analyser_.HeaderBuffer()[334], 0x0A);
  EXPECT_EQ(analyser_.HeaderBuffer()[335], 0x00);  // cleared, not left from before

  EXPECT_TRUE(Analyse(Write("short.gb", Tetris(336))).ok);
  EXPECT_EQ(labels_.ROMCRC, "0A3F");
  EXPECT_EQ(labels_.fssize, "32768");
}

TEST_F(RomAnalysisTest, AWriteProtectedRomIsAnalysedAsUsual) {
  const std::string path = Write("locked.gb", Tetris(65536));
  RomAnalysis result;
  {
    const testing::ImmutableFile locked(path);
    if (!locked.Applied())
      GTEST_SKIP() << "cannot make files immutable here";
    result = Analyse(path);
  }
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(labels_.fileisgbrom, "YES");
  EXPECT_EQ(status_.Text(), "Accessing locked.gb ...  OK");
}

TEST_F(RomAnalysisTest, ReadsTheHeaderTheFillerAndLittleMore) {
  RomImage rom = Tetris(16 * kBlock);
  rom.Fill(0x150, 6 * kBlock, 0x31).Fill(6 * kBlock, 16 * kBlock, 0xFF);
  const RomAnalysis result = Analyse(Write("big.gb", rom));
  EXPECT_EQ(labels_.fssize, std::to_string(6 * kBlock));
  // The filler is read in growing pieces, the last of which may reach below
  // the code's last block, but never into the first block.
  EXPECT_GE(result.bytesRead, 336u + 10 * kBlock + kBlock);
  EXPECT_LE(result.bytesRead, 336u + 15 * kBlock);
}

TEST_F(RomAnalysisTest, SizesBeyondTwoGigabytesAreShownInFull) {
  // A sparse file: zero apart from its header and one byte near the end.
  const std::string path = Write("huge.gb", Tetris(336));
  const std::int64_t twoGiB = std::int64_t{1} << 31;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const bool made =
      ::ftruncate(fd, twoGiB + 40000) == 0 && ::pwrite(fd, "\1", 1, twoGiB + 100) == 1;
  ::close(fd);
  if (!made)
    GTEST_SKIP() << "no room for a sparse 2 GiB file";

  const RomAnalysis result = Analyse(path);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(labels_.fsize, "2147523648");
  EXPECT_EQ(labels_.fssize, "2147516416");
  EXPECT_EQ(result.strippedSize, twoGiB + kBlock);
  EXPECT_LE(result.bytesRead, 336u + 2 * kBlock);
}

TEST(FileNamePart, TakesTheTextAfterTheLastSlash) {
  EXPECT_EQ(FileNamePart("/home/u/roms/tetris.gb"), "tetris.gb");
  EXPECT_EQ(FileNamePart("tetris.gb"), "tetris.gb");
  EXPECT_EQ(FileNamePart("roms/"), "");
  EXPECT_EQ(FileNamePart("/a:b\\c.gb"), "a:b\\c.gb");  // not separators here
}

}  // namespace
}  // namespace velwin::rom
