#include "mainwindow/rom_totals.h"

#include <gtest/gtest.h>

#include <limits>

#include "mainwindow/file_name_directory.h"

namespace velwin::mainwindow {
namespace {

rom::RomAnalysis Measured(std::optional<std::int64_t> size, std::optional<std::int64_t> stripped) {
  rom::RomAnalysis analysis;
  analysis.fileSize = size;
  analysis.strippedSize = stripped;
  return analysis;
}

TEST(RomTotalsTest, AddsAndSubtractsWhatEachAnalysisMeasured) {
  RomTotals totals;
  totals.Add(Measured(40000, 65536));
  totals.Add(Measured(1000, 32768));
  EXPECT_EQ(totals.TotalFileSize(), 41000);
  EXPECT_EQ(totals.TotalStrippedSize(), 98304);
  totals.Subtract(Measured(1000, 32768));
  EXPECT_EQ(totals.TotalFileSize(), 40000);
  EXPECT_EQ(totals.TotalStrippedSize(), 65536);
  totals.Clear();
  EXPECT_EQ(totals.TotalFileSize(), 0);
  EXPECT_EQ(totals.TotalStrippedSize(), 0);
}

TEST(RomTotalsTest, SizeTheAnalysisDidNotReachCountsZero) {
  RomTotals totals;
  totals.Add(Measured(65536, 65536));
  totals.Add(Measured(320, std::nullopt));
  totals.Add(Measured(std::nullopt, std::nullopt));
  EXPECT_EQ(totals.TotalFileSize(), 65856);
  EXPECT_EQ(totals.TotalStrippedSize(), 65536);
  totals.Subtract(Measured(std::nullopt, std::nullopt));
  EXPECT_EQ(totals.TotalFileSize(), 65856);
}

TEST(RomTotalsTest, SumsWrapAroundAt32Bits) {
  RomTotals totals;
  totals.Add(Measured(std::numeric_limits<std::int32_t>::max(), 2147450880));
  totals.Add(Measured(1, 32768));
  EXPECT_EQ(totals.TotalFileSize(), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(totals.TotalStrippedSize(), std::numeric_limits<std::int32_t>::min());
  totals.Subtract(Measured(1, 32768));
  EXPECT_EQ(totals.TotalFileSize(), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(totals.TotalStrippedSize(), 2147450880);

  RomTotals fromZero;
  fromZero.Subtract(Measured(5, 32768));
  EXPECT_EQ(fromZero.TotalFileSize(), -5);
  EXPECT_EQ(fromZero.TotalStrippedSize(), -32768);
}

TEST(RomTotalsTest, FileOf4GibibytesOrMoreEntersModulo2To32) {
  RomTotals totals;
  totals.Add(Measured(std::int64_t{1} << 32 | 7, (std::int64_t{1} << 32) + 32768));
  EXPECT_EQ(totals.TotalFileSize(), 7);
  EXPECT_EQ(totals.TotalStrippedSize(), 32768);
}

TEST(DirectoryOfFileNameTest, PosixPaths) {
  EXPECT_EQ(DirectoryOfFileName("/home/me/roms/tetris.gb", PathStyle::kPosix), "/home/me/roms");
  EXPECT_EQ(DirectoryOfFileName("/tetris.gb", PathStyle::kPosix), "/");
  EXPECT_EQ(DirectoryOfFileName("tetris.gb", PathStyle::kPosix), "");
  EXPECT_EQ(DirectoryOfFileName("roms/tetris.gb", PathStyle::kPosix), "roms");
}

TEST(DirectoryOfFileNameTest, WindowsPathsKeepTheRootSeparator) {
  EXPECT_EQ(DirectoryOfFileName("D:\\games\\a.gb", PathStyle::kWindows), "D:\\games");
  EXPECT_EQ(DirectoryOfFileName("C:\\a.gb", PathStyle::kWindows), "C:\\");
  EXPECT_EQ(DirectoryOfFileName("C:a.gb", PathStyle::kWindows), "C:");
  EXPECT_EQ(DirectoryOfFileName("\\\\a.gb", PathStyle::kWindows), "\\\\");
  EXPECT_EQ(DirectoryOfFileName("a.gb", PathStyle::kWindows), "");
}

}  // namespace
}  // namespace velwin::mainwindow
