#include <gtest/gtest.h>

#include <string>

#include "tests/cardwrite/card_write_fixture.h"
#include "tests/sram/test_carts.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::PutHeader;

constexpr std::size_t kCardBytes = 512 * 1024;
constexpr std::size_t kBank = 16 * 1024;

// The lines a write says before it reads the card: what becomes of the
// games, then the time it should take.
std::string LinesBeforeTheBackup(const std::string& out) {
  return out.substr(0, out.find("Old card contents saved to"));
}

// Before it starts, the write says which games it overwrites, which stay
// and what becomes of a multi-game card's menu, from a listing of the card.
TEST_F(CardWrite, NamesTheGamesTheWriteOverwritesAndThoseThatStay) {
  // A GBPACK card: its menu in banks 0-1, GAMEA in banks 2-5, GAMEB in
  // banks 6-7. Six banks reach into GAMEA but not GAMEB.
  auto gbpack = Pattern(kCardBytes, 3);
  PutHeader(gbpack, 0, "GBPACK", 0x04, 0x00);
  PutHeader(gbpack, 2, "GAMEA", 0x01, 0x02);
  PutHeader(gbpack, 6, "GAMEB", 0x00, 0x00);
  CommandRun run =
      Write({"--port", Card("4", gbpack), dir.Write("image.gb", Pattern(6 * kBank, 4))});
  EXPECT_EQ(run.status, 0) << run.err;
  // Read twice, 1 us a byte: 1.05 s; 384 pages of 5 ms and 256 bytes at
  // 4 us: 2.31 s; read back: 0.1 s.
  EXPECT_EQ(LinesBeforeTheBackup(run.out),
            "This write overwrites GAMEA; GAMEB stays. The card's menu is overwritten: its 2 "
            "games become unreachable. Its games: GAMEA, GAMEB.\n"
            "Time: up to about 4 s (the chip's typical erase and program times, over the link "
            "as timed just now).\n");

  // A single game is overwritten by any write; a title that ends in its
  // own ellipsis ends the sentence.
  for (const std::string title : {"EUROPA", "TESTING\x85\x85"}) {
    auto single = Pattern(kCardBytes, 5);
    PutHeader(single, 0, title, 0x03, 0x00);  // 256 KiB
    run = Write(
        {"--no-backup", "--port", Card("4", single), dir.Write("image.gb", Pattern(2 * kBank, 6))});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string shown = title == "EUROPA" ? "EUROPA." : "TESTING\u2026\u2026";
    EXPECT_TRUE(run.out.starts_with("This write overwrites " + shown + "\nTime: ")) << run.out;
  }

  // A backup written back says what it brings and what it replaces.
  std::filesystem::remove_all(dir.Path() / "data");
  auto newer = Pattern(kCardBytes, 7);
  PutHeader(newer, 0, "NEWGAME", 0x04, 0x00);
  auto older = Pattern(kCardBytes, 8);
  PutHeader(older, 0, "OLDGAME", 0x04, 0x00);
  ASSERT_EQ(Write({"--port", Card("4", older), dir.Write("new.gb", newer)}).status, 0);
  ASSERT_EQ(Backups().size(), 1u);
  run = Write({"--no-backup", "--port", Card("4", newer), Backups()[0].string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with("The backup holds: OLDGAME; the card now holds: NEWGAME.\n"))
      << run.out;
  EXPECT_TRUE(CardNow() == older);
}

// What the identification and the lock bits already tell is refused before
// the loss line, before the backup read and before anything is written.
TEST_F(CardWrite, RefusesWhatIdentificationKnowsBeforeSayingOrReadingAnything) {
  Bytes game = Pattern(64 * kBank, 1);
  PutHeader(game, 0, "MASKROM", 0x05, 0x00);
  auto changed = [](Bytes card, std::size_t at) {
    card[at] ^= 0xFF;
    return card;
  };
  const Bytes card4 = Pattern(kCardBytes, 2);
  const Bytes card16 = Pattern(4 * kCardBytes, 3);
  const Bytes card64 = Pattern(16 * kCardBytes, 4);
  const struct {
    std::string mbit;
    Bytes card;
    std::string keys;
    Bytes image;
    std::string says;
  } cases[] = {
      {"4", card4, "", Pattern(2 * kCardBytes, 5), "the 4 Mbit card takes 1 to 524288 bytes"},
      {"16", card16, "locked=1", changed(card16, 0x20000 + 7),
       "Cannot write sector 1 (0x020000-0x03FFFF): it is protected"},
      {"4", card4, "locked=0", changed(card4, 0x100),
       "Cannot write page 1 (0x000100-0x0001FF): it lies in a boot block that is locked"},
      {"64", card64, "locked=1", changed(card64, 0x20000),
       "Cannot write block 1 (0x020000-0x03FFFF): it is locked. Nothing was erased; --unlock "
       "clears the lock bits."},
      {"none", game, "", Pattern(2 * kBank, 6), "No flash card identified"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const CommandRun run = Write({"--port", Card(c.mbit, c.card, c.keys), dir.Write("i", c.image)});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Backups().empty());
    EXPECT_TRUE(CardNow() == c.card);
  }
  // The demo card's menu is not said to be lost to an image it refuses.
  const CommandRun demo =
      Write({"--port", "demo", dir.Write("big.gb", Pattern(4 * kCardBytes + 1, 7))});
  EXPECT_EQ(demo.status, 1);
  EXPECT_EQ(demo.out, "");
  EXPECT_NE(demo.err.find("the 16 Mbit card takes 1 to 2097152 bytes"), std::string::npos);

  // With --unlock the output names the blocks unlocked and locked again.
  const Bytes image = changed(card64, 0x20000);
  const CommandRun unlocked =
      Write({"--unlock", "--no-backup", "--port", Card("64", card64, "locked=1"),
             dir.Write("i", Bytes(image.begin(), image.begin() + 4 * kCardBytes))});
  EXPECT_EQ(unlocked.status, 0) << unlocked.err;
  EXPECT_NE(unlocked.out.find("Unlocked for this write: block 1 (0x020000-0x03FFFF).\n"),
            std::string::npos)
      << unlocked.out;
  EXPECT_NE(unlocked.out.find("Locked again: block 1 (0x020000-0x03FFFF).\nCard verified"),
            std::string::npos)
      << unlocked.out;
  // A link lost after the unlock leaves the block open, and says why once.
  const CommandRun lost =
      Write({"--unlock", "--no-backup", "--port", Card("64", card64, "locked=1,unplug=1600000"),
             dir.Write("i", Bytes(image.begin(), image.begin() + 0x40000))});
  EXPECT_EQ(lost.status, 1);
  EXPECT_NE(lost.out.find("The X-Changer stopped answering. Not locked again: block 1 "
                          "(0x020000-0x03FFFF).\n"),
            std::string::npos)
      << lost.out;
  EXPECT_EQ(lost.out.find("Could not lock"), std::string::npos) << lost.out;
}

// A title that ends a sentence by itself gets no second stop.
TEST(CardWriteLoss, ATitleEndingInAStopOrAnEllipsisEndsTheLineOnce) {
  TempDir dir;
  const sramman::testing::ScopedDataHome data(dir.File("data"));
  for (const auto& [title, said] :
       {std::pair{"TESTING\x85\x85", "TESTING\u2026\u2026\n"}, std::pair{"DR.NO.", "DR.NO.\n"},
        std::pair{"PLAIN", "PLAIN.\n"}}) {
    auto card = Pattern(kCardBytes, 3);
    PutHeader(card, 0, title, 0x04, 0x00);
    const cli::Arguments args{"write", "--no-backup", "--port",
                              "sim:card=4,rom=" + dir.Write("card.gb", card),
                              dir.Write("image.gb", Pattern(kBank, 4))};
    const CommandRun run = Card(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with(std::string("This write overwrites ") + said)) << run.out;
  }
}

}  // namespace
}  // namespace velwin::card::testing
