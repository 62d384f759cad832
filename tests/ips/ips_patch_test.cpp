#include "ips/ips_patch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "fileio/file_error.h"
#include "tests/ips/ips_builder.h"
#include "tests/ips/small_tmpfs.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/immutable_file.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::ips {
namespace {

using testing::Bytes;
using testing::IpsBuilder;
using testing::ReadBytes;
using testing::ReferenceApply;
using testing::WriteBytes;

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

class IpsPatchTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    ips_ = (dir_ / "fix.ips").string();
    rom_ = (dir_ / "game.gb").string();
    original_ = Pattern(4096);
    WriteBytes(rom_, original_);
  }

  std::string Apply() { return ApplyIpsPatch(ips_, rom_); }

  std::string ErrorOf(const std::string& ips, const std::string& rom) {
    try {
      return "no error: " + ApplyIpsPatch(ips, rom);
    } catch (const fileio::FileError& e) {
      return e.what();
    }
  }

  std::string ips_;
  std::string rom_;
  Bytes original_;
};

TEST_F(IpsPatchTest, WrongSignatureIsRejectedWithoutOpeningTheRom) {
  const std::string missingRom = (dir_ / "missing.gb").string();
  for (const std::string content :
       {"", "P", "PA", "PAT", "PATC", "patch", "Patch", "PATCh", "pATCH", "XPATCH", " PATCH",
        // Blank-filled: "PATC" plus a blank of its own still differs.
        "PATC "}) {
    SCOPED_TRACE(content);
    WriteBytes(ips_, Text(content));
    EXPECT_EQ(ApplyIpsPatch(ips_, rom_), kInvalidIpsResult);
    // A ROM that does not exist raises nothing: it is never opened.
    EXPECT_EQ(ApplyIpsPatch(ips_, missingRom), kInvalidIpsResult);
  }
  EXPECT_EQ(ReadBytes(rom_), original_);
}

TEST_F(IpsPatchTest, SignatureAloneOrWithEndMarkerAppliesNothing) {
  for (const std::string trailer : {"", "EOF", "EO", "E", "\x00\x00\x01\x00"}) {
    SCOPED_TRACE(trailer);
    WriteBytes(ips_, IpsBuilder().Bytes(trailer));
    EXPECT_EQ(Apply(), "0 patches applied to \"game.gb\"");
    EXPECT_EQ(ReadBytes(rom_), original_);
  }
}

TEST_F(IpsPatchTest, ResultNamesTheFileWithoutDirectoryAndSaysPatchesForOne) {
  std::filesystem::create_directories(dir_ / "sub dir");
  const auto rom = (dir_ / "sub dir" / "Zelda (E).gbc").string();
  WriteBytes(rom, original_);
  WriteBytes(ips_, IpsBuilder().Data(0, {0x42}).Bytes("EOF"));
  EXPECT_EQ(ApplyIpsPatch(ips_, rom), "1 patches applied to \"Zelda (E).gbc\"");
  Bytes expected = original_;
  expected[0] = 0x42;
  EXPECT_EQ(ReadBytes(rom), expected);
}

TEST_F(IpsPatchTest, LaterRecordsOverwriteEarlierOnes) {
  IpsBuilder patch;
  patch.Data(100, {1, 2, 3, 4}).Data(100, {9}).Run(102, 5, 0xEE).Data(105, {7, 7});
  WriteBytes(ips_, patch.Bytes("EOF"));
  EXPECT_EQ(Apply(), "4 patches applied to \"game.gb\"");
  Bytes expected = original_;
  ReferenceApply(expected, patch.Records(), 4);
  EXPECT_EQ(ReadBytes(rom_), expected);
  EXPECT_EQ(expected[100], 9);
  EXPECT_EQ(expected[101], 2);
  EXPECT_EQ(expected[104], 0xEE);
  EXPECT_EQ(expected[105], 7);
}

TEST_F(IpsPatchTest, RunOfLengthZeroIsCountedButWritesNothing) {
  // Also beyond the end of the ROM: the file must not grow.
  WriteBytes(ips_, IpsBuilder().Run(10, 0, 0xAA).Run(100000, 0, 0xAA).Bytes("EOF"));
  EXPECT_EQ(Apply(), "2 patches applied to \"game.gb\"");
  EXPECT_EQ(ReadBytes(rom_), original_);
}

TEST_F(IpsPatchTest, LargestRecordAndLargestRunAreAppliedWhole) {
  IpsBuilder patch;
  patch.Data(1, Pattern(65535)).Run(70000, 65535, 0x5A);
  WriteBytes(ips_, patch.Bytes("EOF"));
  EXPECT_EQ(Apply(), "2 patches applied to \"game.gb\"");
  Bytes expected = original_;
  ReferenceApply(expected, patch.Records(), 2);
  const Bytes actual = ReadBytes(rom_);
  ASSERT_EQ(actual.size(), 70000u + 65535u);
  EXPECT_EQ(actual, expected);
}

TEST_F(IpsPatchTest, RecordsPastTheEndGrowTheFileUpToTheHighestOffset) {
  IpsBuilder patch;
  patch.Data(0xFFFFFF, {1, 2, 3}).Data(5000, {4});
  WriteBytes(ips_, patch.Bytes("EOF"));
  EXPECT_EQ(Apply(), "2 patches applied to \"game.gb\"");
  const Bytes actual = ReadBytes(rom_);
  ASSERT_EQ(actual.size(), 0xFFFFFFu + 3u);
  EXPECT_TRUE(std::equal(original_.begin(), original_.end(), actual.begin()));
  EXPECT_EQ(actual[4096], 0);  // the gap reads as zero
  EXPECT_EQ(actual[5000], 4);
  EXPECT_EQ(actual[0xFFFFFE], 0);
  EXPECT_EQ(actual[0xFFFFFF], 1);
  EXPECT_EQ(actual[0x1000001], 3);
}

TEST_F(IpsPatchTest, RecordCutAtAnyByteIsNeitherWrittenNorCounted) {
  IpsBuilder patch;
  patch.Data(8, {0x11, 0x22, 0x33}).Run(20, 6, 0x77).Data(3, {0x44, 0x55}).Run(5000, 3, 0x66);
  const Bytes whole = patch.Bytes();
  const auto ends = patch.RecordEnds();
  for (std::size_t cut = 5; cut <= whole.size(); ++cut) {
    SCOPED_TRACE("IPS cut to " + std::to_string(cut) + " bytes");
    WriteBytes(rom_, original_);
    WriteBytes(ips_, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    const auto complete = static_cast<std::size_t>(
        std::count_if(ends.begin(), ends.end(), [&](std::size_t end) { return end <= cut; }));
    EXPECT_EQ(Apply(), std::to_string(complete) + " patches applied to \"game.gb\"");
    Bytes expected = original_;
    ReferenceApply(expected, patch.Records(), complete);
    EXPECT_EQ(ReadBytes(rom_), expected);
  }
}

TEST_F(IpsPatchTest, EndMarkerStopsThePatchWhateverFollows) {
  IpsBuilder patch;
  patch.Data(0, {0xAB});
  // A 3-byte truncation length after the marker, then more bytes: read on,
  // "EOF", the length and these would form a run of 4,096 bytes at 0x454F46.
  Bytes bytes = patch.Bytes("EOF");
  for (std::uint8_t b : {0x00, 0x00, 0x10, 0x00, 0x02, 0xCC})
    bytes.push_back(b);
  WriteBytes(ips_, bytes);
  EXPECT_EQ(Apply(), "1 patches applied to \"game.gb\"");
  Bytes expected = original_;
  expected[0] = 0xAB;
  EXPECT_EQ(ReadBytes(rom_), expected);  // neither truncated nor grown
}

TEST_F(IpsPatchTest, PatchWithoutEndMarkerAppliesAllWholeRecords) {
  IpsBuilder patch;
  for (std::uint32_t i = 0; i < 50; ++i)
    patch.Data(i * 10, {static_cast<std::uint8_t>(i)});
  WriteBytes(ips_, patch.Bytes());
  EXPECT_EQ(Apply(), "50 patches applied to \"game.gb\"");
  Bytes expected = original_;
  ReferenceApply(expected, patch.Records(), 50);
  EXPECT_EQ(ReadBytes(rom_), expected);
}

TEST_F(IpsPatchTest, MatchesThePlainApplierOnRandomPatches) {
  std::mt19937 random(20261207);
  auto below = [&](std::uint32_t n) {
    return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random);
  };
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Bytes rom = Pattern(below(200000));
    IpsBuilder patch;
    const std::uint32_t records = below(60);
    // Some rounds reach far past the ROM, some keep near it.
    const std::uint32_t reach = round % 30 == 0 ? 0x1000000 : 300000;
    for (std::uint32_t r = 0; r < records; ++r) {
      const std::uint32_t offset = below(reach);
      if (below(4) == 0) {
        patch.Run(offset, static_cast<std::uint16_t>(below(3000)),
                  static_cast<std::uint8_t>(below(256)));
      } else {
        Bytes data(1 + below(below(8) == 0 ? 65535 : 40));
        for (auto& b : data)
          b = static_cast<std::uint8_t>(below(256));
        patch.Data(offset, std::move(data));
      }
    }
    const bool marker = below(2) == 0;
    Bytes ips = patch.Bytes(marker ? "EOF" : "");
    // Now and then cut the file inside its last record.
    std::size_t complete = records;
    if (records > 0 && below(4) == 0) {
      const auto ends = patch.RecordEnds();
      const std::size_t lastStart = records > 1 ? ends[records - 2] : 5;
      ips.resize(lastStart + 1 +
                 below(static_cast<std::uint32_t>(ends[records - 1] - lastStart - 1)));
      complete = records - 1;
    }
    WriteBytes(rom_, rom);
    WriteBytes(ips_, ips);
    ASSERT_EQ(Apply(), std::to_string(complete) + " patches applied to \"game.gb\"");
    ReferenceApply(rom, patch.Records(), complete);
    ASSERT_EQ(ReadBytes(rom_), rom);
  }
}

TEST_F(IpsPatchTest, MissingOrUnusableFilesRaiseTheRuntimeText) {
  WriteBytes(ips_, IpsBuilder().Data(0, {1}).Bytes("EOF"));
  const auto missing = (dir_ / "nothing").string();
  EXPECT_EQ(ErrorOf(missing, rom_), "File not found");
  EXPECT_EQ(ErrorOf(ips_, missing), "File not found");
  EXPECT_EQ(ErrorOf(dir_.string(), rom_), "File access denied");
  EXPECT_EQ(ErrorOf(ips_, dir_.string()), "File access denied");
  EXPECT_EQ(ErrorOf(ips_, "/dev/zero"), "File access denied");
  EXPECT_FALSE(std::filesystem::exists(missing));  // never created
  EXPECT_EQ(ReadBytes(rom_), original_);
}

TEST_F(IpsPatchTest, ReadOnlyPatchIsEnough) {
  WriteBytes(ips_, IpsBuilder().Data(2, {0x99}).Bytes("EOF"));
  ::chmod(ips_.c_str(), 0444);
  testing::ImmutableFile locked(ips_);
  if (!locked.Applied())
    GTEST_SKIP() << "cannot set the immutable attribute here";
  EXPECT_EQ(Apply(), "1 patches applied to \"game.gb\"");
  EXPECT_EQ(ReadBytes(rom_)[2], 0x99);
}

TEST_F(IpsPatchTest, ReadOnlyRomIsDeniedAndKept) {
  WriteBytes(ips_, IpsBuilder().Data(2, {0x99}).Bytes("EOF"));
  testing::ImmutableFile locked(rom_);
  if (!locked.Applied())
    GTEST_SKIP() << "cannot set the immutable attribute here";
  EXPECT_EQ(ErrorOf(ips_, rom_), "File access denied");
  EXPECT_EQ(ReadBytes(rom_), original_);
}

TEST_F(IpsPatchTest, FullDiskEndsThePatchAndKeepsEarlierRecords) {
  // The limit lets the first record (inside the ROM) through, then the
  // second would grow the file beyond it.
  IpsBuilder patch;
  patch.Data(0, {0xA1, 0xA2}).Data(10000, Pattern(100)).Data(1, {0xB1});
  WriteBytes(ips_, patch.Bytes("EOF"));
  const std::string outcome = testing::RunWithFileSizeLimit(8192, [&] {
    try {
      return ApplyIpsPatch(ips_, rom_);
    } catch (const fileio::FileError& e) {
      return std::string(e.what());
    }
  });
  EXPECT_EQ(outcome, "Disk full");
  const Bytes after = ReadBytes(rom_);
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ(after[0], 0xA1);
  EXPECT_EQ(after[1], 0xA2);  // the record after the failure never ran
  EXPECT_LE(after.size(), 8192u);
}

// On a 64 KiB file system, filled up to the room each case leaves, a patch
// either fits whole or is refused before its first write.
TEST_F(IpsPatchTest, PatchThatDoesNotFitLeavesTheRomAsItWas) {
  testing::SmallTmpfs disk(dir_ / "disk", "64k");
  if (!disk.Mounted())
    GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Case {
    const char* name;
    std::size_t freeBytes;
    IpsBuilder patch;
    bool fits;
  };
  const Case cases[] = {
      // The first record lands inside the ROM; the run after it needs 16
      // pages beyond the ROM's end, more than the disk has left.
      {"grows past the free room", 8192, IpsBuilder().Data(0, {0xA1}).Run(16384, 65535, 0x77),
       false},
      // The gap up to a far record is reserved too, not left sparse.
      {"grows far past the end", 8192, IpsBuilder().Data(1, {0xB2}).Data(0xFFFFF0, {1, 2}), false},
      {"grows within the free room", 8192, IpsBuilder().Data(0, {0xC3}).Run(16000, 2000, 0x55),
       true},
      // Writing over bytes the ROM already has needs no room at all.
      {"stays inside a full disk", 0,
       IpsBuilder().Data(0, {0xD4, 0xD5}).Run(100, 16284, 0x66).Run(20000, 0, 0x11), true},
  };
  const auto rom = (dir_ / "disk" / "game.gb").string();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir_ / "disk" / "filler");
    const Bytes original = Pattern(16384);
    WriteBytes(rom, original);
    WriteBytes(ips_, c.patch.Bytes("EOF"));
    disk.FillLeaving(c.freeBytes);
    Bytes expected = original;
    if (c.fits) {
      ReferenceApply(expected, c.patch.Records(), c.patch.Records().size());
      EXPECT_EQ(ErrorOf(ips_, rom), "no error: " + std::to_string(c.patch.Records().size()) +
                                        " patches applied to \"game.gb\"");
    } else {
      EXPECT_EQ(ErrorOf(ips_, rom), "Disk full");
    }
    EXPECT_EQ(std::filesystem::file_size(rom), expected.size());
    EXPECT_EQ(ReadBytes(rom), expected);
  }
}

}  // namespace
}  // namespace velwin::ips
