// The sram commands over a link or a disk that fails: no success may be
// reported over wrong data, and every earlier file and save must survive.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/sram/sim_rig.h"
#include "tests/sram/sram_cli.h"
#include "tests/sram/test_carts.h"
#include "tests/support/immutable_file.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;
using velwin::testing::WriteBytes;

// A 256 kbit single cart on the failing simulator; every earlier backup must
// survive and no success may be reported over wrong data.
class FaultyLink : public ::testing::TestWithParam<const char*> {
 protected:
  FaultyLink() {
    auto rom = BlankRom(2);
    PutHeader(rom, 0, "POCKET", 0, 3);
    WriteBytes(dir_.File("cart.gb"), rom);
    WriteBytes(dir_.File("cart.srm"), Pattern(32768, 3));
    WriteBytes(dir_.File("old.sav"), Pattern(32768, 9));
  }
  std::string Port(const std::string& fault) const {
    return "sim:rom=" + dir_.File("cart.gb") + ",sram=" + dir_.File("cart.srm") +
           ",modes=" + GetParam() + "," + fault;
  }
  bool TemporaryFileLeft() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      if (entry.path().filename().string().find("velwin-tmp") != std::string::npos)
        return true;
    }
    return false;
  }
  TempDir dir_;
};

TEST_P(FaultyLink, FlakyLoadFailsVerifyAtTheBank) {
  const CommandRun run =
      Sram({"load", "--port", Port("flaky=9000"), "--row", "0", dir_.File("old.sav")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "\u2022 Cart \"POCKET\" found.\n\u2022 Old save kept in " +
                         KeptSavePath(run.out) +
                         "\n\u2022 Verify failed: SRAM bank 1 differs from the file.\n");
}

TEST_P(FaultyLink, NoisyOrUnpluggedSaveLeavesTheBackup) {
  const CommandRun noisy =
      Sram({"save", "--port", Port("noisy=1000"), "--row", "0", dir_.File("old.sav")});
  EXPECT_EQ(noisy.status, 1);
  EXPECT_EQ(noisy.out,
            "\u2022 Cart \"POCKET\" found.\n"
            "\u2022 Read unstable: SRAM bank 0 differs between two reads.\n");
  // Noise that divides the bank size must not hit the same offsets twice.
  for (const char* every : {"noisy=8192", "noisy=1024", "noisy=1"}) {
    const CommandRun run =
        Sram({"save", "--port", Port(every), "--row", "0", dir_.File("old.sav")});
    EXPECT_NE(run.out.find("Read unstable"), std::string::npos) << every << run.out;
  }
  for (const int after : {5000, 20000, 40000, 60000}) {
    const CommandRun run = Sram({"save", "--port", Port("unplug=" + std::to_string(after)), "--row",
                                 "0", dir_.File("old.sav")});
    EXPECT_EQ(run.status, 1) << after;
    EXPECT_EQ(run.out.find("read from cart"), std::string::npos) << run.out;
  }
  EXPECT_EQ(ReadBytes(dir_.File("old.sav")), Pattern(32768, 9));
  EXPECT_FALSE(TemporaryFileLeft());
}

TEST_P(FaultyLink, FailedWriteBackComesInsteadOfTheSuccessLine) {
  const std::string srm = dir_.File("gone/cart.srm");
  const CommandRun run =
      Sram({"load", "--port",
            "sim:rom=" + dir_.File("cart.gb") + ",sram=" + srm + ",modes=" + GetParam(), "--row",
            "0", dir_.File("old.sav")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "\u2022 Cart \"POCKET\" found.\n\u2022 Old save kept in " +
                         KeptSavePath(run.out) + "\n\u2022 SRAM image \"" + srm +
                         "\" not written: File not found\n");
}

// An empty bus reads 0xFF, so a file of 0xFF reads back equal from an
// X-Changer that is gone: only the cart check after the verify tells.
TEST_P(FaultyLink, LoadOfAllFFUnpluggedAtEveryBankBoundaryFails) {
  WriteBytes(dir_.File("ff.sav"), std::vector<std::uint8_t>(32768, 0xFF));
  // Where the banks begin, in port accesses from the start: counted on the
  // same simulated X-Changer, whose accesses do not depend on the clock.
  auto config = CartConfig(ReadBytes(dir_.File("cart.gb")));
  config.modes = std::string(GetParam()) == "epp" ? xchanger::sim::LinkModes::kEppOnly
                                                  : xchanger::sim::LinkModes::kSppOnly;
  SimRig rig(std::move(config));
  rig.manager.AnalyseCart();
  const auto accesses = [&rig] { return rig.sim.Counters().reads + rig.sim.Counters().writes; };
  // The old save is read (every bank twice, then the cart check) before the
  // first bank is written.
  for (std::uint8_t bank = 0; bank < 4; ++bank) {
    rig.cart.ReadSramBank(bank);
    rig.cart.ReadSramBank(bank);
  }
  xchanger::CartHeader header;
  rig.cart.ReadCartHeader(0, header);
  const std::uint64_t backedUp = accesses();
  rig.cart.WriteSramBank(0);
  const std::uint64_t perBank = accesses() - backedUp;
  for (std::uint64_t bank = 0; bank <= 4; ++bank) {
    const std::string after = std::to_string(backedUp + bank * perBank);
    const CommandRun run =
        Sram({"load", "--port", Port("unplug=" + after), "--row", "0", dir_.File("ff.sav")});
    EXPECT_TRUE(run.status == 1 && run.out.ends_with("could not be verified.\n"))
        << after << run.out;
  }
}

TEST_P(FaultyLink, StuckDataLineIsCaughtByTheCartCheck) {
  for (int line = 0; line < 16; ++line) {  // every data line at 0 and at 1
    const std::string stuck = "stuck=d" + std::to_string(line / 2) + ":" + std::to_string(line % 2);
    const CommandRun run =
        Sram({"save", "--port", Port(stuck), "--row", "0", dir_.File("old.sav")});
    EXPECT_EQ(run.out, "\u2022 Data line D" + std::to_string(line / 2) + " always reads " +
                           std::to_string(line % 2) +
                           ": clean the cart's contacts and try again.\n")
        << stuck;
  }
  EXPECT_EQ(ReadBytes(dir_.File("old.sav")), Pattern(32768, 9));
}

INSTANTIATE_TEST_SUITE_P(Modes, FaultyLink, ::testing::Values("epp", "spp"));

// A file system of 16 KB, mounted for the test where the system allows it.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& at)
      : at_(at), mounted_(::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=16k") == 0) {}
  ~SmallFileSystem() {
    if (mounted_)
      ::umount2(at_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool Mounted() const { return mounted_; }

 private:
  std::string at_;
  bool mounted_;
};

TEST(SramCommand, SaveOnAFullFileSystemLeavesTheBackup) {
  TempDir dir;
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "POCKET", 0, 3);
  WriteBytes(dir.File("cart.gb"), rom);
  std::filesystem::create_directory(dir.File("small"));
  const SmallFileSystem small(dir.File("small"));
  if (!small.Mounted())
    GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string backup = dir.File("small/old.sav");
  WriteBytes(backup, Pattern(8192, 7));
  const CommandRun run =
      Sram({"save", "--port", "sim:rom=" + dir.File("cart.gb"), "--row", "0", backup});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "\u2022 Cart \"POCKET\" found.\n\u2022 IO-Error 28: Disk full\n");
  EXPECT_EQ(run.err, "velwin-cli: " + backup + ": Disk full\n");
  EXPECT_EQ(ReadBytes(backup), Pattern(8192, 7));
  EXPECT_FALSE(std::filesystem::exists(dir.File("small/.old.sav.velwin-tmp")));

  // The 256 kbit game no longer fits beside the others.
  const CommandRun all = Sram({"save-all", "--port", "demo", dir.File("small")});
  EXPECT_NE(all.err.find(dir.File("small/01 Tidepool Tactics.sav") + ": Disk full\n"),
            std::string::npos);
}

// The old save goes nowhere: the load stops before the first bank is
// written, and leaves nothing half-made in the backup folder.
TEST(SramCommand, LoadStopsWhenTheOldSaveCannotBeKept) {
  TempDir dir;
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "POCKET", 0, 3);
  WriteBytes(dir.File("cart.gb"), rom);
  const auto old = Pattern(32768, 2);
  WriteBytes(dir.File("cart.srm"), old);
  WriteBytes(dir.File("in.sav"), Pattern(32768, 5));
  const std::string port = "sim:rom=" + dir.File("cart.gb") + ",sram=" + dir.File("cart.srm");
  WriteBytes(dir.File("file"), std::vector<std::uint8_t>(3, 1));
  std::filesystem::create_directory(dir.File("small"));
  const SmallFileSystem small(dir.File("small"));
  const std::string lockedFolder = dir.File("locked/velwin/sram-backups");
  std::filesystem::create_directories(lockedFolder);
  const velwin::testing::ImmutableFile locked(lockedFolder);
  struct Case {
    std::string dataHome;
    std::string reason;
    bool possible;
  };
  for (const Case& c : {Case{dir.File("file"), "Not a directory", true},
                        Case{dir.File("small"), "Disk full", small.Mounted()},
                        Case{dir.File("locked"), "File access denied", locked.Applied()}}) {
    if (!c.possible)
      continue;  // no tmpfs or no immutable attribute here
    const ScopedDataHome data(c.dataHome);
    const CommandRun run = Sram({"load", "--port", port, "--row", "0", dir.File("in.sav")});
    EXPECT_EQ(run.status, 1) << c.dataHome;
    EXPECT_TRUE(run.out.starts_with(
        "\u2022 Cart \"POCKET\" found.\n\u2022 Old save not kept: " + c.reason + " (" + c.dataHome))
        << run.out;
    EXPECT_TRUE(run.out.ends_with(". Nothing written to the cart.\n")) << run.out;
    EXPECT_EQ(ReadBytes(dir.File("cart.srm")), old) << c.dataHome;
    const std::string folder = c.dataHome + "/velwin/sram-backups";
    if (std::filesystem::is_directory(folder)) {
      EXPECT_TRUE(std::filesystem::is_empty(folder)) << folder;
    }
  }
}

}  // namespace
}  // namespace velwin::sramman::testing
