// A dropped link and a faulty data line read as a bus nobody drives, or as
// the same wrong bits twice. They must be named as what they are, never as
// an empty slot, and never as another line.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/sram_command.h"
#include "tests/card/card_cli.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::Pattern;
using sramman::testing::PutHeader;
using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

constexpr std::size_t kKiB = 1024;
constexpr const char* kLinkLost = "The X-Changer stopped answering.";

CommandRun Sram(const cli::Arguments& words) {
  return velwin::testing::RunCommand(cli::RunSramCommand, words);
}

std::string Held(int line, int level) {
  return "Data line D" + std::to_string(line) + " always reads " + std::to_string(level) +
         ": clean the cart's contacts and try again.";
}

// A game with a sound header in bank 0, the rest distinct bytes: a full
// flash card, or with card=none an MBC5 game cart.
Bytes GameCard(std::size_t bytes) {
  Bytes rom = Pattern(bytes, 3);
  PutHeader(rom, 0, "HELD LINE", 0x04, 0x02);
  rom[0x147] = 0x1B;
  std::uint8_t sum = 0;
  for (std::size_t i = 0x134; i <= 0x14C; ++i)
    sum = static_cast<std::uint8_t>(sum - rom[i] - 1);
  rom[0x14D] = sum;
  return rom;
}

struct Slot {
  std::string card;
  std::size_t bytes;
};

const Slot kSlots[] = {{"4", 512 * kKiB}, {"16", 2048 * kKiB}, {"64", 8192 * kKiB}, {"none", 0}};

// Every line at each level, on every card and a game cart: the listing and
// the SRAM manager's analysis name the held line, whether the chip's codes
// still matched or not.
TEST(BusFault, AHeldLineOnAFullCardOrAGameCartIsNamed) {
  TempDir dir;
  for (const Slot& slot : kSlots) {
    const std::string rom = dir.Write("card.gb", GameCard(slot.bytes ? slot.bytes : 256 * kKiB));
    for (int line = 0; line < 8; ++line) {
      for (int level = 0; level < 2; ++level) {
        const std::string port = "sim:card=" + slot.card + ",rom=" + rom + ",stuck=d" +
                                 std::to_string(line) + ":" + std::to_string(level);
        SCOPED_TRACE(port);
        const CommandRun list = Card({"list", "--port", port});
        EXPECT_EQ(list.status, 1);
        EXPECT_EQ(list.err, "velwin-cli: card list: " + Held(line, level) + "\n");
        const CommandRun analyse = Sram({"analyse", "--port", port});
        EXPECT_EQ(analyse.status, 1);
        EXPECT_TRUE(analyse.out.ends_with("\u2022 " + Held(line, level) + "\n")) << analyse.out;
      }
    }
  }
}

// A blank card (0xFF) or one programmed over (0x00) shows a held line only
// where the line is at the other level. Each run either reads the card as
// it is, or names the right line, or says that some line is held: it never
// names another line.
TEST(BusFault, ABlankCardNamesTheRightLineOrNone) {
  TempDir dir;
  const std::string file = dir.File("read.gb");
  for (const Slot& slot : kSlots) {
    if (slot.bytes == 0)
      continue;
    for (const std::uint8_t fill : {0xFF, 0x00}) {
      const Bytes blank(slot.bytes, fill);
      const std::string rom = dir.Write("blank.gb", blank);
      for (int line = 0; line < 8; ++line) {
        for (int level = 0; level < 2; ++level) {
          const std::string port = "sim:card=" + slot.card + ",rom=" + rom + ",stuck=d" +
                                   std::to_string(line) + ":" + std::to_string(level);
          SCOPED_TRACE(port);
          const CommandRun read = Card({"read", "--port", port, file});
          if (read.status == 0) {
            EXPECT_TRUE(ReadBytes(file) == blank);
            continue;
          }
          const bool named = read.err.find(Held(line, level)) != std::string::npos;
          const bool unnamed =
              read.err.find("A data line is held at one level") != std::string::npos;
          EXPECT_TRUE(named || unnamed) << read.err;
          // A line held at the fill's other level shows in every byte.
          if (((fill >> line) & 1) != level) {
            EXPECT_TRUE(named) << read.err;
          }
        }
      }
    }
  }
}

// Two lines shorted together read alike. On the 4 Mbit card the chip's
// codes carry D0 and D5 alike, so the card is identified and only the data
// tells; on a game cart the logo does.
TEST(BusFault, ShortedLinesAreNamed) {
  TempDir dir;
  const std::string says =
      "Data lines D0 and D5 always read alike: clean the cart's contacts and try again.";
  const std::string card = dir.Write("card.gb", GameCard(512 * kKiB));
  const std::string file = dir.File("read.gb");
  for (const std::string mbit : {"4", "none"}) {
    const std::string port = "sim:card=" + mbit + ",short=d5:d0,rom=" + card;
    SCOPED_TRACE(port);
    const CommandRun read = Card({"read", "--port", port, file});
    EXPECT_EQ(read.status, 1);
    EXPECT_EQ(read.err, "velwin-cli: " + file + ": " + says + "\n");
    const CommandRun list = Card({"list", "--port", port});
    EXPECT_EQ(list.err, "velwin-cli: card list: " + says + "\n");
  }
}

// The link dropped at points all through the identification and the
// listing of a full card: a run ends well only with the card's true
// contents; every other names the drop, none an empty slot or a title read
// from a dead bus.
TEST(BusFault, ALinkLostDuringIdentificationIsNamed) {
  TempDir dir;
  const Bytes card = GameCard(2048 * kKiB);
  const std::string rom = dir.Write("card.gb", card);
  const std::string truth = dir.Write("truth.gb", Bytes(card.begin(), card.begin() + 32 * kKiB));
  const std::string file = dir.File("read.gb");
  const auto failedRight = [](const CommandRun& run, const std::string& said) {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(said.find("No Cart found"), std::string::npos) << said;
    EXPECT_EQ(said.find("\xC3\xBF"), std::string::npos) << said;  // a 0xFF byte, shown as UTF-8
    EXPECT_TRUE(said.find(kLinkLost) != std::string::npos ||
                said.find("No X-Changer found") != std::string::npos)
        << said;
  };
  for (const char* modes : {"epp", "spp"}) {
    for (std::uint64_t unplug = 40; unplug < 6000; unplug = unplug * 3 / 2) {
      const std::string port = "sim:card=16,modes=" + std::string(modes) +
                               ",unplug=" + std::to_string(unplug) + ",rom=" + rom;
      SCOPED_TRACE(port);
      const CommandRun list = Card({"list", "--port", port});
      if (list.status == 0) {
        EXPECT_EQ(list.out.rfind("16 Mbit flash card: single cart\n0\tHELD LINE\t", 0), 0u)
            << list.out;
      } else {
        failedRight(list, list.err);
      }
      const CommandRun analyse = Sram({"analyse", "--port", port});
      if (analyse.status == 0) {
        EXPECT_EQ(analyse.out.rfind("\u2022 Cart \"HELD LINE\" found.\n0\tHELD LINE", 0), 0u)
            << analyse.out;
      } else {
        failedRight(analyse, analyse.out);
      }
      // The whole-card jobs are long past these points: they always fail.
      const CommandRun read = Card({"read", "--port", port, file});
      failedRight(read, read.err);
      const CommandRun verify = Card({"verify", "--port", port, truth});
      failedRight(verify, verify.err);
    }
  }
}

}  // namespace
}  // namespace velwin::card::testing
