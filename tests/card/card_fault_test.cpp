// Faults that read the same wrong bytes twice, so that the double read alone
// cannot see them: a data line stuck at one level, and a link that drops.
// No case may end with a wrong file called good, a backup that is not the
// card, or a card changed without a true backup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/card/card_cli.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::Pattern;
using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

constexpr std::size_t kKiB = 1024;

struct FlashCard {
  std::string mbit;
  std::size_t bytes;
  std::vector<std::uint8_t> codes;  // what its identification matches
};

const FlashCard kCards[] = {
    {"4", 512 * kKiB, {0xDA, 0x46}},
    {"16", 2048 * kKiB, {0xC2, 0xF1}},
    {"64", 8192 * kKiB, {0x89, 0x15, 0x51, 0x52, 0x59}},
};

// A game in the first half, blank flash after it.
Bytes HalfBlank(std::size_t bytes) {
  Bytes card = Pattern(bytes / 2, 5);
  card.resize(bytes, 0xFF);
  return card;
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> found;
  if (std::filesystem::is_directory(folder)) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      found.push_back(entry.path());
  }
  return found;
}

class CardFault : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1); }
  std::vector<std::filesystem::path> Backups() const {
    return FilesIn(dir.Path() / "data/velwin/card-backups");
  }

  TempDir dir;
};

// Every line at each level, on every command and card. Where the stuck line
// leaves the chip's codes as they are, the card is identified and the data
// line check must name the line; otherwise the identification fails. Either
// way nothing is written, matched, listed or erased.
TEST_F(CardFault, AStuckDataLineIsNeverTakenForTheCard) {
  for (const FlashCard& card : kCards) {
    const Bytes old = HalfBlank(card.bytes);
    const std::string rom = dir.Write("card.gb", old);
    const std::string truth = dir.Write("truth.gb", old);
    const std::string image = dir.Write("image.gb", Pattern(64 * kKiB, 8));
    for (int line = 0; line < 8; ++line) {
      for (int level = 0; level < 2; ++level) {
        const std::string stuck = "d" + std::to_string(line) + ":" + std::to_string(level);
        SCOPED_TRACE(card.mbit + " Mbit, stuck=" + stuck);
        const std::string port = "sim:card=" + card.mbit + ",stuck=" + stuck + ",rom=" + rom;
        bool identified = true;
        for (const std::uint8_t code : card.codes)
          identified = identified && ((code >> line) & 1) == level;
        const std::string says = "Data line D" + std::to_string(line) + " always reads " +
                                 std::to_string(level) +
                                 ": clean the cart's contacts and try again.";

        const std::string file = dir.File("read.gb");
        const CommandRun read = Card({"read", "--port", port, file});
        EXPECT_EQ(read.status, 1);
        EXPECT_FALSE(std::filesystem::exists(file));
        const CommandRun verify = Card({"verify", "--port", port, truth});
        EXPECT_EQ(verify.status, 1);
        EXPECT_EQ(verify.out, "");
        const CommandRun list = Card({"list", "--port", port});
        EXPECT_EQ(list.status, 1);
        EXPECT_EQ(list.out, "");
        const CommandRun write = Card({"write", "--port", port, image});
        EXPECT_EQ(write.status, 1);
        EXPECT_TRUE(ReadBytes(rom) == old);
        EXPECT_TRUE(Backups().empty());
        if (identified) {
          EXPECT_EQ(read.err, "velwin-cli: " + file + ": " + says + "\n");
          EXPECT_EQ(verify.err, "velwin-cli: " + truth + ": " + says + "\n");
          EXPECT_EQ(list.err, "velwin-cli: card list: " + says + "\n");
          EXPECT_EQ(write.err,
                    "velwin-cli: " + image + ": " + says + " Nothing on the card was changed.\n");
        }
      }
    }
  }
}

// A card that reads as erased flash throughout has nothing to lose: a line
// stuck at 1 cannot change what it reads, so its read is the card. A line
// stuck at 0 shows in the blank bytes.
TEST_F(CardFault, ABlankCardIsReadRightOrRefused) {
  const std::string rom = dir.Write("blank.gb", Bytes(2048 * kKiB, 0xFF));
  const std::string file = dir.File("read.gb");
  EXPECT_EQ(Card({"read", "--port", "sim:card=16,stuck=d7:1,rom=" + rom, file}).status, 0);
  EXPECT_TRUE(ReadBytes(file) == ReadBytes(rom));
  const CommandRun stuckLow = Card({"read", "--port", "sim:card=16,stuck=d2:0,rom=" + rom, file});
  EXPECT_EQ(stuckLow.status, 1);
  EXPECT_NE(stuckLow.err.find("Data line D2 always reads 0"), std::string::npos) << stuckLow.err;
}

// On a blank card the identification codes leave some lines unshown at 1;
// the read back of the first bytes programmed names such a line, and the
// blank unit is put back.
TEST_F(CardFault, AWriteOntoABlankCardNamesALineTheBlankCouldNotShow) {
  for (const auto& [mbit, line] : {std::pair{"4", 1}, std::pair{"16", 6}}) {
    SCOPED_TRACE(std::string(mbit) + " Mbit, D" + std::to_string(line));
    const Bytes blank((mbit == std::string("4") ? 512 : 2048) * kKiB, 0xFF);
    const std::string rom = dir.Write("blank.gb", blank);
    const CommandRun run =
        Card({"write", "--port",
              "sim:card=" + std::string(mbit) + ",stuck=d" + std::to_string(line) + ":1,rom=" + rom,
              dir.Write("image.gb", Pattern(64 * kKiB, 2))});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Data line D" + std::to_string(line) +
                           " always reads 1: clean the cart's contacts and try again."),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(ReadBytes(rom) == blank);
  }
}

// The link dropped at points all through a write, the backup reads and the
// short span between the backup and the first erase included. Whatever the
// point, a drop is named as such, never as a lock or a chip's status; every
// backup holds the old card; a card that changed has one, and the message
// says how to put it back.
TEST_F(CardFault, ALinkDroppedDuringAWriteIsNamedAndTheBackupIsTrue) {
  for (const FlashCard& card : kCards) {
    SCOPED_TRACE(card.mbit + " Mbit");
    const Bytes old = HalfBlank(card.bytes);
    const Bytes image = Pattern(100 * kKiB, 9);
    const std::string imagePath = dir.Write("image.gb", image);
    const auto write = [&](std::uint64_t unplug) {
      std::filesystem::remove_all(dir.Path() / "data");
      const std::string rom = dir.Write("card.gb", old);
      return Card({"write", "--port",
                   "sim:card=" + card.mbit + ",unplug=" + std::to_string(unplug) + ",rom=" + rom,
                   imagePath});
    };
    // The first point at which the backup is complete, found by halving:
    // past the first of the two reads of every bank, and before three.
    std::uint64_t low = card.bytes;
    std::uint64_t high = 3 * card.bytes;
    while (high - low > 256) {
      const std::uint64_t middle = (low + high) / 2;
      (write(middle).out.find("Old card contents saved to") != std::string::npos ? high : low) =
          middle;
    }
    // Points in the first and the second read of the banks, then after.
    std::vector<std::uint64_t> points = {high / 4, high / 3, high / 2, high * 3 / 4, low};
    for (const std::uint64_t after : {10, 300, 3000, 300000, 3000000})
      points.push_back(high + after);
    for (const std::uint64_t point : points) {
      SCOPED_TRACE("unplug=" + std::to_string(point));
      const CommandRun run = write(point);
      const Bytes now = ReadBytes(dir.File("card.gb"));
      const auto backups = Backups();
      for (const auto& backup : backups)
        EXPECT_TRUE(ReadBytes(backup) == old) << backup;
      if (run.status == 0) {
        Bytes written = old;
        std::copy(image.begin(), image.end(), written.begin());
        EXPECT_TRUE(now == written);
        continue;
      }
      EXPECT_NE(run.err.find("The X-Changer stopped answering."), std::string::npos) << run.err;
      EXPECT_EQ(run.err.find("locked"), std::string::npos) << run.err;
      EXPECT_EQ(run.err.find("status"), std::string::npos) << run.err;
      if (point <= low) {
        EXPECT_TRUE(backups.empty());
      }
      if (now != old) {
        ASSERT_EQ(backups.size(), 1u);
        EXPECT_NE(run.err.find(" -- '" + backups[0].string() + "'"), std::string::npos) << run.err;
      }
    }
  }
}

// A link that drops while a page over blank flash is written: the chip
// takes the bytes loaded so far, and the failed page's restore then reads
// back as blank over the dead link as well. The range the message reports
// must still hold every byte the job changed.
TEST_F(CardFault, ALinkDroppedOverBlankFlashReportsEveryByteItChanged) {
  Bytes old = Pattern(32 * kKiB, 5);
  old.resize(512 * kKiB, 0xFF);
  const std::string imagePath = dir.Write("image.gb", Pattern(128 * kKiB, 9));
  for (std::uint64_t unplug = 1960000; unplug < 2100000; unplug += 30000) {
    SCOPED_TRACE("unplug=" + std::to_string(unplug));
    const std::string rom = dir.Write("card.gb", old);
    const CommandRun run =
        Card({"write", "--port", "sim:card=4,unplug=" + std::to_string(unplug) + ",rom=" + rom,
              imagePath});
    ASSERT_EQ(run.status, 1);
    // "Written: 0x000100-0x0081FF of the card.", or nothing changed.
    std::size_t from = 1;
    std::size_t to = 0;
    if (const std::size_t at = run.err.find("Written: 0x"); at != std::string::npos) {
      from = std::stoul(run.err.substr(at + 9, 8), nullptr, 16);
      to = std::stoul(run.err.substr(at + 18, 8), nullptr, 16);
    }
    const Bytes now = ReadBytes(rom);
    for (std::size_t i = 0; i < now.size(); ++i) {
      if (now[i] != old[i]) {
        ASSERT_TRUE(i >= from && i <= to) << "byte " << i << " changed outside " << run.err;
      }
    }
  }
}

// A game cart carries the header checksum a Game Boy checks before it
// starts it; a read that does not match it is wrong.
TEST_F(CardFault, AGameCartReadWholeMustMatchItsHeaderChecksum) {
  Bytes rom = Pattern(64 * kKiB, 4);
  sramman::testing::PutHeader(rom, 0, "CHECKED", 0x01, 0x00);
  rom[0x147] = 0x19;  // MBC5
  std::uint8_t sum = 0;
  for (std::size_t i = 0x134; i <= 0x14C; ++i)
    sum = static_cast<std::uint8_t>(sum - rom[i] - 1);
  rom[0x14D] = sum;
  const std::string file = dir.File("read.gb");
  const std::string port = "sim:card=none,rom=" + dir.Write("cart.gb", rom);
  EXPECT_EQ(Card({"read", "--port", port, file}).status, 0);
  const Bytes right = rom;
  rom[0x14D] = static_cast<std::uint8_t>(sum + 1);
  const CommandRun wrong =
      Card({"read", "--port", "sim:card=none,rom=" + dir.Write("cart.gb", rom), file});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("does not match the header"), std::string::npos) << wrong.err;
  EXPECT_TRUE(ReadBytes(file) == right);  // the earlier file stays
}

}  // namespace
}  // namespace velwin::card::testing
