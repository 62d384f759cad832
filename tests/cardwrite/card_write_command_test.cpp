#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "card/card_write_job.h"
#include "cli/card_command.h"
#include "sim/sim_config.h"
#include "tests/cardwrite/card_write_fixture.h"
#include "tests/sram/sim_rig.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::Pattern;
using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

TEST_F(CardWrite, WritesEachChipAndKeepsTheOldCardAndTheSram) {
  // A whole card, a 3 MiB multi-game image (the 16 Mbit card has its own
  // test below).
  const struct {
    const char* mbit;
    std::size_t cardBytes;
    std::size_t imageBytes;
  } cases[] = {{"4", 512 * kKiB, 512 * kKiB}, {"64", 8192 * kKiB, 3072 * kKiB + 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mbit);
    std::filesystem::remove_all(dir.Path() / "data");
    const Bytes old = Pattern(c.cardBytes, 1);
    const Bytes image = Pattern(c.imageBytes, 2);
    const std::string port = Card(c.mbit, old);
    const CommandRun run = Write({"--port", port, dir.Write("image.gb", image)});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto backups = Backups();
    ASSERT_EQ(backups.size(), 1u);
    // The time it should take is said first.
    EXPECT_TRUE(run.out.starts_with("Time: up to about ")) << run.out;
    EXPECT_NE(
        run.out.find(" just now).\nOld card contents saved to " + backups[0].string() +
                     "\nCard verified: " + std::to_string(c.imageBytes) + " bytes. Written in "),
        std::string::npos)
        << run.out;
    EXPECT_NE(backups[0].filename().string().find(std::string("-") + c.mbit + "Mbit.gb"),
              std::string::npos);
    EXPECT_TRUE(ReadBytes(backups[0]) == old) << "the backup holds the card as it was";
    EXPECT_TRUE(CardNow() == Overlay(old, image)) << "the card past the image stays";
    EXPECT_TRUE(ReadBytes(dir.File("cart.sav")) == sram) << "the SRAM is never touched";
  }
}

TEST_F(CardWrite, RewritesOnlyWhatDiffers) {
  const Bytes old = Pattern(8192 * kKiB, 3);
  // The card already holds it: no erase, no program.
  CommandRun run = Write({"--json", "--no-backup", "--port", Card("64", old), dir.Write("i", old)});
  EXPECT_EQ(run.out, Json(64, old.size(), 0, 0)) << run.err;
  // Clearing bits needs no erase: one 32-byte buffer.
  Bytes image = old;
  image[0x754321] = 0x00;
  run = Write({"--json", "--no-backup", "--port", Card("64", old), dir.Write("i", image)});
  EXPECT_EQ(run.out, Json(64, old.size(), 0, 32)) << run.err;
  EXPECT_TRUE(CardNow() == image);
  // A 0 turned into a 1 erases its block, then programs it whole again.
  Bytes zeroed = old;
  zeroed[0x754321] = 0x00;
  image[0x754321] = 0x01;
  run = Write({"--json", "--no-backup", "--port", Card("64", zeroed), dir.Write("i", image)});
  EXPECT_EQ(run.out, Json(64, old.size(), 1, 128 * kKiB)) << run.err;
  EXPECT_TRUE(CardNow() == image);
  // The 4 Mbit chip never erases: it rewrites the one page.
  const Bytes small = Pattern(512 * kKiB, 5);
  Bytes smallImage = small;
  smallImage[0x1234] = static_cast<std::uint8_t>(~small[0x1234]);
  run = Write({"--json", "--no-backup", "--port", Card("4", small), dir.Write("i", smallImage)});
  EXPECT_EQ(run.out, Json(4, small.size(), 0, 256)) << run.err;
  EXPECT_TRUE(CardNow() == smallImage);
}

// Every fault stops the job with exit 1 and a message that names what
// failed and where, keeps the backup, and never claims a verified card.
TEST_F(CardWrite, FaultsStopTheJobAndSayWhere) {
  // The image differs from the blank-programmed card in [from, to).
  const struct {
    const char* mbit;
    std::string keys;
    std::uint32_t from, to;
    std::string says;
  } cases[] = {
      {"4", "badbyte=4660", 0, 0x2000,
       "Verify failed at 0x001234 in page 18 (0x001200-0x0012FF): wanted"},
      {"16", "badbyte=4660", 0, 0x2000,
       "Program failed at 0x001200 in sector 0 (0x000000-0x01FFFF): status 0x90."},
      {"64", "badbyte=4660", 0, 0x2000,
       "Program failed at 0x001220 in block 0 (0x000000-0x01FFFF): status 0x90."},
      {"16", "erasefail=5", 0xA0000, 0xA0100,
       "Erase failed in sector 5 (0x0A0000-0x0BFFFF): status 0xA0."},
      {"64", "erasefail=5", 0xA0000, 0xA0100,
       "Erase failed in block 5 (0x0A0000-0x0BFFFF): status 0xA0."},
      {"16", "locked=5", 0, 0x200000, "Cannot write sector 5 (0x0A0000-0x0BFFFF): it is protected"},
      {"64", "locked=5", 0, 0x200000, "Cannot write block 5 (0x0A0000-0x0BFFFF): it is locked."},
      // The same faults over a slow or uneven link.
      {"16", "locked=5,access=1400,jitter=30000:1000", 0, 0x200000,
       "Cannot write sector 5 (0x0A0000-0x0BFFFF): it is protected"},
      {"64", "erasefail=5,access=10000", 0xA0000, 0xA0100,
       "Erase failed in block 5 (0x0A0000-0x0BFFFF): status 0xA0."},
      {"4", "badbyte=4660,access=9000,jitter=20000:1000", 0, 0x2000,
       "Verify failed at 0x001234 in page 18 (0x001200-0x0012FF): wanted"},
      // The cart pulled out during the first erase, then during programming.
      {"64", "unplug=18300000", 0, 0x200000, "The X-Changer stopped answering."},
      {"64", "unplug=19500000", 0, 0x200000, "The X-Changer stopped answering."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mbit) + " " + c.keys);
    std::filesystem::remove_all(dir.Path() / "data");
    const std::size_t size = std::string(c.mbit) == "4"    ? 512 * kKiB
                             : std::string(c.mbit) == "16" ? 2048 * kKiB
                                                           : 8192 * kKiB;
    const Bytes old(size, 0x00);  // every changed byte needs an erase where erases exist
    Bytes image = old;
    const Bytes pattern = Pattern(size, 6);
    std::copy(pattern.begin() + c.from, pattern.begin() + c.to, image.begin() + c.from);
    const CommandRun run =
        Write({"--port", Card(c.mbit, old, c.keys), dir.Write("image.gb", image)});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Card verified"), std::string::npos);
    // A lock is known before the backup read: refused with nothing read.
    if (c.keys.starts_with("locked=")) {
      EXPECT_TRUE(Backups().empty());
      continue;
    }
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_NE(run.err.find(Backups()[0].string() + " holds the card as it was"), std::string::npos);
  }
}

TEST_F(CardWrite, UnlockClearsTheLocksAndSlowChipsStillFinish) {
  const Bytes old(8192 * kKiB, 0x00);
  const Bytes image = Pattern(1024 * kKiB, 7);
  const std::string imagePath = dir.Write("image.gb", image);
  EXPECT_EQ(Write({"--unlock", "--port", Card("64", old, "locked=3"), imagePath}).status, 0);
  EXPECT_TRUE(CardNow() == Overlay(old, image));
  const std::string smallImage = dir.Write("small.gb", Pattern(256 * kKiB, 7));
  for (const char* mbit : {"4", "64"}) {
    const Bytes card(std::string(mbit) == "4" ? 512 * kKiB : 2048 * kKiB, 0x00);
    const CommandRun run = Write({"--no-backup", "--port", Card(mbit, card, "slow=1"), smallImage});
    EXPECT_EQ(run.status, 0) << mbit << run.err;
  }
}

TEST_F(CardWrite, RefusesWhatItCannotWriteBeforeErasingAnything) {
  const Bytes old = Pattern(512 * kKiB, 8);
  const std::string port = Card("4", old);
  const struct {
    std::string image;
    std::string port;
    std::string says;
  } cases[] = {
      {dir.Write("empty.gb", Bytes{}), port, "the image is empty"},
      {dir.Path().string(), port, "File access denied (a directory)"},
      {dir.Write("big.gb", Pattern(512 * kKiB + 1, 1)), port,
       "the 4 Mbit card takes 1 to 524288 bytes"},
      {dir.Write("game.gb", old),
       "sim:card=none,rom=" + dir.Write("cart.gb", Pattern(64 * kKiB, 1)), "No Cart found"},
      {dir.Write("game.gb", old), "sim:lpt=none", "No X-Changer found"},
  };
  for (const auto& c : cases) {
    const CommandRun run = Write({"--port", c.port, c.image});
    EXPECT_EQ(run.status, 1) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_TRUE(CardNow() == old);
  }
  // A backup that cannot be written stops the job before the first erase.
  setenv("XDG_DATA_HOME", dir.Write("not-a-folder", Bytes{1}).c_str(), 1);
  const CommandRun run = Write({"--port", port, dir.Write("i", Pattern(512 * kKiB, 2))});
  EXPECT_EQ(run.status, 1);
  // A file where the folder should be is named as such, not as a file not found.
  EXPECT_NE(run.err.find("Backup not written: File not found (Not a directory)"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("Nothing on the card was changed."), std::string::npos);
  EXPECT_TRUE(CardNow() == old);
}

// The 16 Mbit card: a 1 MiB game written and read back, then the delta
// rules and a slow chip. Its page program takes each byte only within 30 us
// of the one before, which an SPP link at 2 us a port access cannot do:
// there the job is refused before the card is touched.
TEST_F(CardWrite, SixteenMbitCard) {
  const Bytes old = Pattern(2048 * kKiB, 1);
  const Bytes game = Pattern(1024 * kKiB, 2);
  CommandRun run =
      Write({"--port", Card("16", old, "modes=spp,access=2000"), dir.Write("game.gb", game)});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Link too slow for this card: a loaded byte takes 24 us"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(CardNow() == old);

  run = Write({"--port", Card("16", old), dir.Write("game.gb", game)});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(CardNow() == Overlay(old, game));
  EXPECT_TRUE(ReadBytes(Backups().at(0)) == old);

  run = Write({"--json", "--no-backup", "--port", Card("16", old), dir.Write("i", old)});
  EXPECT_EQ(run.out, Json(16, old.size(), 0, 0)) << run.err;
  Bytes image = old;
  image[0x54321] = 0x00;
  run = Write({"--json", "--no-backup", "--port", Card("16", old), dir.Write("i", image)});
  EXPECT_EQ(run.out, Json(16, old.size(), 0, 128)) << run.err;
  Bytes zeroed = old;
  zeroed[0x54321] = 0x00;
  image[0x54321] = 0x01;
  run = Write({"--json", "--no-backup", "--port", Card("16", zeroed), dir.Write("i", image)});
  EXPECT_EQ(run.out, Json(16, old.size(), 1, 128 * kKiB)) << run.err;
  EXPECT_TRUE(CardNow() == image);

  run = Write({"--no-backup", "--port", Card("16", zeroed, "slow=1"), dir.Write("i", image)});
  EXPECT_EQ(run.status, 0) << run.err;
}

// A cancel lets the page in hand finish, puts the chip back in read-array
// mode and says which range was written.
TEST_F(CardWrite, CancelStopsAfterTheStepInHand) {
  const Bytes old(2048 * kKiB, 0x00);
  const Bytes image = Pattern(2048 * kKiB, 3);
  sramman::testing::SimRig rig(
      sramman::testing::CartConfig(old, xchanger::sim::FlashChip::k16Mbit));
  JobControl control;
  int programmed = 0;
  control.SetProgressSink([&](const JobProgress& p) {
    if (p.phase == JobPhase::kProgramming && ++programmed == 3)
      control.RequestCancel();
  });
  CardWriteOptions options;
  options.backup = false;
  const CardWriteResult result =
      WriteCard(rig.cart, rig.sim.Clock(), image, options, control, [](const std::string&) {});
  EXPECT_EQ(result.outcome.status, JobStatus::kCancelled);
  EXPECT_EQ(result.erasedUnits, 1u);
  EXPECT_EQ(result.programmedBytes, 2 * 128u);
  EXPECT_EQ(RangeText(result.writtenBegin, result.writtenEnd), "0x000000-0x01FFFF");
  EXPECT_EQ(rig.sim.FlashMode(), xchanger::sim::ChipMode::kReadArray);
}

// --unlock clears every lock bit, since the chip can only clear them all;
// the blocks that were locked are locked again once the write is done.
TEST(CardWriteJob, UnlockLocksTheLockedBlocksAgain) {
  auto config = sramman::testing::CartConfig(Bytes(8192 * kKiB, 0x00));
  config.chipFaults.lockedSector = 3;
  sramman::testing::SimRig rig(std::move(config));
  Bytes image(4096 * kKiB, 0x00);
  // Block 0, which is not locked; 0x21 shows D5 at 1, which the chip's
  // codes never do, so that the next read trusts its data lines.
  image[0x10] = 0x21;
  JobControl control;
  CardWriteOptions options;
  options.backup = false;
  options.unlock = true;
  const auto log = [](const std::string&) {};
  EXPECT_TRUE(WriteCard(rig.cart, rig.sim.Clock(), image, options, control, log).verified);
  image[0x60010] = 0x01;  // block 3
  options.unlock = false;
  const CardWriteResult result = WriteCard(rig.cart, rig.sim.Clock(), image, options, control, log);
  EXPECT_EQ(result.outcome.message,
            "Cannot write block 3 (0x060000-0x07FFFF): it is locked. Nothing was erased; --unlock "
            "clears the lock bits.");
  EXPECT_EQ(rig.sim.FlashMode(), xchanger::sim::ChipMode::kReadArray);
}

}  // namespace
}  // namespace velwin::card::testing
