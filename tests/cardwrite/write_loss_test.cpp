#include <gtest/gtest.h>

#include <string>

#include "tests/card/card_cli.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::Pattern;
using sramman::testing::PutHeader;
using velwin::testing::TempDir;

constexpr std::size_t kCardBytes = 512 * 1024;
constexpr std::size_t kBank = 16 * 1024;

// Before it starts, the write says which games it overwrites and what
// becomes of a multi-game card's menu, from a listing of the card.
TEST(CardWriteLoss, NamesTheGamesAndTheMenuTheWriteOverwrites) {
  TempDir dir;
  const sramman::testing::ScopedDataHome data(dir.File("data"));

  // A GBPACK card: its menu in banks 0-1, GAMEA in banks 2-5, GAMEB in
  // banks 6-7. Six banks reach into GAMEA but not GAMEB.
  auto gbpack = Pattern(kCardBytes, 3);
  PutHeader(gbpack, 0, "GBPACK", 0x04, 0x00);
  PutHeader(gbpack, 2, "GAMEA", 0x01, 0x02);
  PutHeader(gbpack, 6, "GAMEB", 0x00, 0x00);
  const std::string loss =
      "This write overwrites GAMEA. The card's menu is overwritten: its 2 games become "
      "unreachable. Its games: GAMEA, GAMEB.\n";
  const cli::Arguments args{"write", "--port", "sim:card=4,rom=" + dir.Write("card.gb", gbpack),
                            dir.Write("image.gb", Pattern(6 * kBank, 4))};
  const CommandRun run = Card(args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with(loss)) << run.out;
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
