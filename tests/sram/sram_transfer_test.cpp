#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fileio/file_error.h"
#include "sram/directory_of.h"
#include "tests/sram/sim_rig.h"
#include "tests/sram/test_carts.h"
#include "tests/support/immutable_file.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::ImmutableFile;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;
using velwin::testing::WriteBytes;

using xchanger::sim::FlashChip;
using xchanger::sim::LinkModes;
using Log = std::vector<std::string>;

constexpr std::size_t kBank = 8192;

enum Row { kSmall = 0, kMedium, kEdge, kTooFar, kLast };

std::vector<std::uint8_t> TransferCard() {
  return MenuCard({{"SMALL", 0x80, 0x03},
                   {"MEDIUM", 0x80, 0x34},
                   {"EDGE", 0x80, 0x3B},
                   {"TOOFAR", 0x80, 0x3C},
                   {"LAST", 0x80, 0x0F}});
}

std::vector<std::uint8_t> SramBanks(const SimRig& rig, std::size_t first, std::size_t count) {
  const auto& sram = rig.sim.Sram();
  return std::vector<std::uint8_t>(
      sram.begin() + static_cast<std::ptrdiff_t>(first * kBank),
      sram.begin() + static_cast<std::ptrdiff_t>((first + count) * kBank));
}

SramManager::ChooseFile Answer(const std::string& path) {
  return [path] { return std::optional<std::string>(path); };
}

// Fails the test when a transfer asks for a file although it should not.
SramManager::ChooseFile NoDialog() {
  return [] {
    ADD_FAILURE() << "the file dialog was opened";
    return std::optional<std::string>();
  };
}

class SramTransfer : public ::testing::TestWithParam<LinkModes> {
 protected:
  void Analyse(std::vector<std::uint8_t> rom, FlashChip card = FlashChip::k64Mbit) {
    auto config = CartConfig(std::move(rom), card);
    config.modes = GetParam();
    config.sram = Pattern(16 * kBank, 0x11);
    rig_.emplace(config);
    rig_->manager.AnalyseCart();
    rig_->view.ClearLog();
  }
  SimRig& Rig() { return *rig_; }

  TempDir dir_;
  std::optional<SimRig> rig_;
};

// --- Round trips in both link modes ------------------------------------------

TEST_P(SramTransfer, SavesEachKindAsExactlyItsBanks) {
  Analyse(TransferCard());
  const std::string small = dir_.File("small.sav");
  Rig().view.SelectRow(kSmall);
  const auto result = Rig().manager.SaveMarked(Answer(small));
  EXPECT_TRUE(result.succeeded);
  EXPECT_EQ(ReadBytes(small), SramBanks(Rig(), 3, 1));

  const std::string medium = dir_.File("medium.sav");
  Rig().view.SelectRow(kMedium);
  EXPECT_TRUE(Rig().manager.SaveMarked(Answer(medium)).succeeded);
  EXPECT_EQ(ReadBytes(medium), SramBanks(Rig(), 4, 4));
  EXPECT_EQ(Rig().view.Log(), Log({"64kbit read from cart.", "256kbit read from cart."}));
}

TEST_P(SramTransfer, SavesTheCameraWhole) {
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "GAMEBOYCAMERA", 0x05, 0x04);
  Analyse(rom, FlashChip::kNone);
  const std::string path = dir_.File("camera.sav");
  EXPECT_TRUE(Rig().manager.SaveMarked(Answer(path)).succeeded);
  EXPECT_EQ(Rig().view.Log(), Log({"1024kbit read from cart."}));
  const auto saved = ReadBytes(path);
  ASSERT_EQ(saved.size(), 131072u);
  EXPECT_EQ(saved, SramBanks(Rig(), 0, 16));
}

TEST_P(SramTransfer, LoadWritesTheFileIntoTheGamesBanksOnly) {
  Analyse(TransferCard());
  const auto before = SramBanks(Rig(), 0, 16);
  const auto image = Pattern(4 * kBank, 0x5A);
  const std::string path = dir_.File("medium.sav");
  WriteBytes(path, image);
  Rig().view.SelectRow(kMedium);
  EXPECT_TRUE(Rig().manager.LoadMarked(Answer(path)).succeeded);
  // The game's own banks as they were are kept before the load, named
  // after the game.
  ASSERT_EQ(Rig().view.Log().size(), 2u);
  const std::string kept = Rig().view.Log()[0].substr(std::string("Old save kept in ").size());
  EXPECT_EQ(Rig().view.Log(),
            Log({"Old save kept in " + kept, "256kbit SRAM transferred to cart."}));
  EXPECT_NE(kept.find("/velwin/sram-backups/MEDIUM "), std::string::npos) << kept;
  EXPECT_EQ(ReadBytes(kept),
            std::vector<std::uint8_t>(before.begin() + 4 * kBank, before.begin() + 8 * kBank));
  EXPECT_EQ(SramBanks(Rig(), 4, 4), image);
  EXPECT_EQ(SramBanks(Rig(), 0, 4),
            std::vector<std::uint8_t>(before.begin(), before.begin() + 4 * kBank));
  EXPECT_EQ(SramBanks(Rig(), 8, 8),
            std::vector<std::uint8_t>(before.begin() + 8 * kBank, before.end()));
}

INSTANTIATE_TEST_SUITE_P(LinkModes, SramTransfer,
                         ::testing::Values(LinkModes::kEppOnly, LinkModes::kSppOnly),
                         [](const auto& param) {
                           return param.param == LinkModes::kEppOnly ? "Epp" : "Spp";
                         });

// --- Which games may move ------------------------------------------------------

class TransferRules : public SramTransfer {};
INSTANTIATE_TEST_SUITE_P(Epp, TransferRules, ::testing::Values(LinkModes::kEppOnly));

TEST_P(TransferRules, A256kGameFromBank11IsTheLastThatFits) {
  Analyse(TransferCard());
  const auto image = Pattern(4 * kBank, 0x23);
  WriteBytes(dir_.File("edge.sav"), image);
  Rig().view.SelectRow(kEdge);
  EXPECT_TRUE(Rig().manager.LoadMarked(Answer(dir_.File("edge.sav"))).succeeded);
  EXPECT_EQ(SramBanks(Rig(), 11, 4), image);

  Rig().view.ClearLog();
  const auto before = SramBanks(Rig(), 0, 16);
  Rig().view.SelectRow(kTooFar);
  EXPECT_FALSE(Rig().manager.LoadMarked(NoDialog()).succeeded);
  EXPECT_FALSE(Rig().manager.SaveMarked(NoDialog()).succeeded);
  EXPECT_EQ(Rig().view.Log(), Log({"Not enough SRAM on cart for selected game.",
                                   "Not enough SRAM on cart for selected game."}));
  EXPECT_EQ(SramBanks(Rig(), 0, 16), before);
}

TEST_P(TransferRules, MarkedGbpackGameIsRefused) {
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "GBPACK", 0x06, 0);
  for (std::size_t g = 0; g < 17; ++g)
    PutHeader(rom, 2 + 2 * g, "G", 0, 1);
  Analyse(rom);
  Rig().view.SelectRow(16);
  EXPECT_FALSE(Rig().manager.SaveMarked(NoDialog()).succeeded);
  EXPECT_EQ(Rig().view.Log(), Log({"Not enough SRAM on cart for selected game."}));
  Rig().view.ClearLog();
  Rig().view.SelectRow(15);
  EXPECT_TRUE(Rig().manager.SaveMarked(Answer(dir_.File("g15.sav"))).succeeded);
  EXPECT_EQ(ReadBytes(dir_.File("g15.sav")), SramBanks(Rig(), 15, 1));
}

TEST_P(TransferRules, NothingListedMeansNoDialogAndNoMessage) {
  Analyse(MenuCard({{"PLAIN", 0x00, 0x00}}));
  EXPECT_FALSE(Rig().manager.SaveMarked(NoDialog()).succeeded);
  EXPECT_FALSE(Rig().manager.LoadMarked(NoDialog()).succeeded);
  EXPECT_TRUE(Rig().view.Log().empty());
}

TEST_P(TransferRules, UnknownSramSizeIsRefusedWithAReason) {
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "ODD", 0x00, 0x05);
  Analyse(rom);
  ASSERT_TRUE(Rig().manager.SramGamesListed());
  EXPECT_FALSE(Rig().manager.SaveMarked(NoDialog()).succeeded);
  EXPECT_EQ(Rig().view.Log(), Log({"SRAM size of selected game unknown; nothing transferred."}));
}

TEST_P(TransferRules, BanksTheCardDoesNotHaveAreRefusedBeforeAnythingMoves) {
  // A 4 Mbit card has SRAM banks 0 to 3 only; its mapper would wrap bank 5
  // onto bank 1 and overwrite another game's save.
  Analyse(MenuCard({{"FITS", 0x80, 0x03}, {"BEYOND", 0x80, 0x05}, {"ACROSS", 0x80, 0x32}}),
          FlashChip::k4Mbit);
  const auto before = SramBanks(Rig(), 0, 16);
  WriteBytes(dir_.File("x.sav"), Pattern(4 * kBank, 1));
  Rig().view.SelectRow(1);
  EXPECT_FALSE(Rig().manager.LoadMarked(NoDialog()).succeeded);
  Rig().view.SelectRow(2);
  EXPECT_FALSE(Rig().manager.LoadMarked(NoDialog()).succeeded);
  EXPECT_FALSE(Rig().manager.SaveMarked(NoDialog()).succeeded);
  EXPECT_EQ(Rig().view.Log(), Log({"SRAM bank 5 not available on this card.",
                                   "SRAM bank 4 not available on this card.",
                                   "SRAM bank 4 not available on this card."}));
  EXPECT_EQ(SramBanks(Rig(), 0, 16), before);
  Rig().view.ClearLog();
  Rig().view.SelectRow(0);
  EXPECT_TRUE(Rig().manager.LoadMarked(Answer(dir_.File("x.sav"))).succeeded);
}

TEST_P(TransferRules, CancelledDialogMovesNothing) {
  Analyse(TransferCard());
  const auto before = SramBanks(Rig(), 0, 16);
  const auto cancel = [] { return std::optional<std::string>(); };
  const auto save = Rig().manager.SaveMarked(cancel);
  const auto load = Rig().manager.LoadMarked(cancel);
  EXPECT_FALSE(save.succeeded || load.succeeded);
  EXPECT_FALSE(save.directory || load.directory);
  EXPECT_TRUE(Rig().view.Log().empty());
  EXPECT_EQ(SramBanks(Rig(), 0, 16), before);
}

// --- .sav files that are not what they should be --------------------------

TEST_P(TransferRules, ShortFilesAreRefusedAndWriteNothing) {
  Analyse(TransferCard());
  const auto before = SramBanks(Rig(), 0, 16);
  WriteBytes(dir_.File("empty.sav"), velwin::testing::Bytes{});
  WriteBytes(dir_.File("short.sav"), Pattern(4 * kBank - 1, 3));
  WriteBytes(dir_.File("bank.sav"), Pattern(kBank, 3));
  Rig().view.SelectRow(kMedium);
  for (const char* name : {"empty.sav", "short.sav", "bank.sav"}) {
    const auto result = Rig().manager.LoadMarked(Answer(dir_.File(name)));
    EXPECT_FALSE(result.succeeded) << name;
    EXPECT_EQ(result.directory, dir_.Path().string()) << name;
  }
  Rig().view.SelectRow(kSmall);
  Rig().manager.LoadMarked(Answer(dir_.File("empty.sav")));
  EXPECT_EQ(Rig().view.Log(), Log({"File too small. 256kbit (32kbyte) required",
                                   "File too small. 256kbit (32kbyte) required",
                                   "File too small. 256kbit (32kbyte) required",
                                   "File too small. 64kbit (8kbyte) required"}));
  EXPECT_EQ(SramBanks(Rig(), 0, 16), before);
}

TEST_P(TransferRules, CameraNeedsTheWhole128k) {
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "GAMEBOYCAMERA", 0x05, 0x04);
  Analyse(rom, FlashChip::kNone);
  WriteBytes(dir_.File("c.sav"), Pattern(16 * kBank - 1, 0));
  EXPECT_FALSE(Rig().manager.LoadMarked(Answer(dir_.File("c.sav"))).succeeded);
  EXPECT_EQ(Rig().view.Log(), Log({"File too small. 1024kbit (128kbyte) required"}));
}

TEST_P(TransferRules, LongerFileUsesOnlyItsFirstBanks) {
  Analyse(TransferCard());
  const auto image = Pattern(40000, 0x42);
  WriteBytes(dir_.File("long.sav"), image);
  Rig().view.SelectRow(kMedium);
  EXPECT_TRUE(Rig().manager.LoadMarked(Answer(dir_.File("long.sav"))).succeeded);
  EXPECT_EQ(SramBanks(Rig(), 4, 4),
            std::vector<std::uint8_t>(image.begin(), image.begin() + 4 * kBank));
  EXPECT_EQ(Rig().view.Log().back(), "256kbit SRAM transferred to cart.");
}

TEST_P(TransferRules, MissingFileOrDirectoryFailsTheOpen) {
  Analyse(TransferCard());
  Rig().view.SelectRow(kSmall);
  try {
    Rig().manager.LoadMarked(Answer(dir_.File("missing.sav")));
    ADD_FAILURE() << "no error";
  } catch (const fileio::FileError& error) {
    EXPECT_STREQ(error.what(), "File not found");
  }
  EXPECT_THROW(Rig().manager.LoadMarked(Answer(dir_.Path().string())), fileio::FileError);
  EXPECT_THROW(Rig().manager.SaveMarked(Answer(dir_.Path().string())), fileio::FileError);
  EXPECT_THROW(Rig().manager.SaveMarked(Answer(dir_.File("no/such/dir.sav"))), fileio::FileError);
  EXPECT_TRUE(Rig().view.Log().empty());
}

TEST_P(TransferRules, WriteProtectedSaveStillLoads) {
  Analyse(TransferCard());
  const std::string path = dir_.File("backup.sav");
  const auto image = Pattern(kBank, 0x77);
  WriteBytes(path, image);
  std::optional<SramManager::TransferResult> result;
  {
    const ImmutableFile locked(path);
    if (!locked.Applied())
      GTEST_SKIP() << "cannot make a file immutable here";
    Rig().view.SelectRow(kSmall);
    result = Rig().manager.LoadMarked(Answer(path));
  }
  EXPECT_TRUE(result->succeeded);
  EXPECT_EQ(SramBanks(Rig(), 3, 1), image);
}

TEST_P(TransferRules, SavingOverAnExistingFileTruncatesIt) {
  Analyse(TransferCard());
  const std::string path = dir_.File("old.sav");
  WriteBytes(path, Pattern(100000, 9));
  Rig().view.SelectRow(kSmall);
  EXPECT_TRUE(Rig().manager.SaveMarked(Answer(path)).succeeded);
  EXPECT_EQ(ReadBytes(path), SramBanks(Rig(), 3, 1));
}

TEST_P(TransferRules, FullDiskLogsTheSystemsErrorAndNoSuccess) {
  Analyse(TransferCard());
  Rig().view.SelectRow(kMedium);
  const auto result = Rig().manager.SaveMarked(Answer("/dev/full"));
  EXPECT_FALSE(result.succeeded);
  EXPECT_EQ(result.directory, "/dev");
  EXPECT_EQ(result.fileError, ENOSPC);
  EXPECT_EQ(Rig().view.Log(), Log({"IO-Error 28: Disk full"}));
}

// --- Backups that never get worse --------------------------------------------

TEST_P(TransferRules, ReplacedBackupKeepsItsLinkAndPermissionsAndNoTemporaryFile) {
  Analyse(TransferCard());
  namespace fs = std::filesystem;
  const std::string real = dir_.Write("real.sav", Pattern(100, 1));
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, dir_.File("link.sav"));
  dir_.Write(".real.sav.velwin-tmp", Pattern(10, 2));  // left by a killed save
  Rig().view.SelectRow(kSmall);
  EXPECT_TRUE(Rig().manager.SaveMarked(Answer(dir_.File("link.sav"))).succeeded);
  EXPECT_TRUE(fs::is_symlink(dir_.File("link.sav")));
  EXPECT_EQ(ReadBytes(real), SramBanks(Rig(), 3, 1));
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // A new file gets what a plain create gives it.
  const std::string plain = dir_.Write("plain", Pattern(1, 1));
  EXPECT_TRUE(Rig().manager.SaveMarked(Answer(dir_.File("new.sav"))).succeeded);
  EXPECT_EQ(fs::status(dir_.File("new.sav")).permissions(), fs::status(plain).permissions());
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.Path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, Log({"link.sav", "new.sav", "plain", "real.sav"}));
}

TEST_P(TransferRules, CartPulledBeforeTheSaveLeavesTheBackup) {
  Analyse(TransferCard());
  const std::string path = dir_.Write("old.sav", Pattern(kBank, 4));
  Rig().sim.RemoveCartAfter(0);  // both reads agree: every byte 0xFF
  Rig().view.SelectRow(kSmall);
  EXPECT_FALSE(Rig().manager.SaveMarked(Answer(path)).succeeded);
  EXPECT_EQ(Rig().view.Log(), Log({"Cart no longer answers; nothing written."}));
  EXPECT_EQ(ReadBytes(path), Pattern(kBank, 4));
  EXPECT_FALSE(std::filesystem::exists(dir_.File(".old.sav.velwin-tmp")));
}

TEST_P(TransferRules, ProtectedBackupIsRefusedBeforeTheCartIsRead) {
  Analyse(TransferCard());
  const std::string path = dir_.Write("kept.sav", Pattern(kBank, 6));
  const ImmutableFile locked(path);
  if (!locked.Applied())
    GTEST_SKIP() << "cannot make a file immutable here";
  Rig().view.SelectRow(kSmall);
  const auto readsBefore = Rig().sim.CartBusCounters().reads;
  EXPECT_THROW(Rig().manager.SaveMarked(Answer(path)), fileio::FileError);
  EXPECT_EQ(Rig().sim.CartBusCounters().reads, readsBefore);
}

// --- Paths --------------------------------------------------------------------

TEST(DirectoryOf, CutsAtTheLastSeparator) {
  EXPECT_EQ(DirectoryOf("c:\\saves\\zelda.sav", '\\'), "c:\\saves");
  EXPECT_EQ(DirectoryOf("c:\\zelda.sav", '\\'), "c:");
  EXPECT_EQ(DirectoryOf("zelda.sav", '\\'), "");
  EXPECT_EQ(DirectoryOf("a\\b\\", '\\'), "a\\b");
  EXPECT_EQ(DirectoryOf("/home/me/zelda.sav", '/'), "/home/me");
  EXPECT_EQ(DirectoryOf("/zelda.sav", '/'), "");
  EXPECT_EQ(DirectoryOf("", '/'), "");
  const std::string deep = "/" + std::string(300, 'd') + "/x.sav";
  EXPECT_EQ(DirectoryOf(deep, '/'), "/" + std::string(300, 'd'));
}

}  // namespace
}  // namespace velwin::sramman::testing
