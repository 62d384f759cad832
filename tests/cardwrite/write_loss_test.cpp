#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/card_command.h"
#include "tests/sramman/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::Pattern;
using sramman::testing::PutHeader;
using velwin::testing::Bytes;
using velwin::testing::TempDir;

constexpr std::size_t kCardBytes = 512 * 1024;
constexpr std::size_t kBank = 16 * 1024;

struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

// velwin-cli card write of image onto a simulated 4 Mbit card holding card.
CommandRun WriteOnto(const TempDir& dir, const Bytes& card, const Bytes& image,
                     const std::vector<std::string>& options = {}) {
  cli::Arguments args{"write", "--port", "sim:card=4,rom=" + dir.Write("card.gb", card)};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(dir.Write("image.gb", image));
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunCardCommand(args, out, err);
  return {status, out.str(), err.str()};
}

// Before it starts, the write says which games it overwrites and what
// becomes of a multi-game card's menu, from a listing of the card.
TEST(CardWriteLoss, NamesTheGamesAndTheMenuTheWriteOverwrites) {
  TempDir dir;
  const sramman::testing::ScopedDataHome data(dir.File("data"));

  auto single = Pattern(kCardBytes, 1);
  PutHeader(single, 0, "OLDGAME", 0x04, 0x02);
  const CommandRun overSingle = WriteOnto(dir, single, Pattern(4 * kBank, 2));
  EXPECT_EQ(overSingle.status, 0) << overSingle.err;
  EXPECT_TRUE(overSingle.out.starts_with("This write overwrites OLDGAME.\nOld card contents"))
      << overSingle.out;

  // A GBPACK card: its menu in banks 0-1, GAMEA in banks 2-5, GAMEB in
  // banks 6-7. Six banks reach into GAMEA but not GAMEB.
  auto gbpack = Pattern(kCardBytes, 3);
  PutHeader(gbpack, 0, "GBPACK", 0x04, 0x00);
  PutHeader(gbpack, 2, "GAMEA", 0x01, 0x02);
  PutHeader(gbpack, 6, "GAMEB", 0x00, 0x00);
  const std::string loss =
      "This write overwrites GAMEA. The card's menu is overwritten: its 2 games become "
      "unreachable. Its games: GAMEA, GAMEB.\n";
  const CommandRun overPack = WriteOnto(dir, gbpack, Pattern(6 * kBank, 4));
  EXPECT_EQ(overPack.status, 0) << overPack.err;
  EXPECT_TRUE(overPack.out.starts_with(loss)) << overPack.out;

  // With --json the line goes to stderr; stdout stays one JSON object.
  const CommandRun json = WriteOnto(dir, gbpack, Pattern(6 * kBank, 4), {"--json"});
  EXPECT_TRUE(json.err.starts_with(loss)) << json.err;
  EXPECT_TRUE(json.out.starts_with("{")) << json.out;

  // Nothing the listing knows of is lost on a card without a header.
  const CommandRun overBlank = WriteOnto(dir, Pattern(kCardBytes, 5), Pattern(4 * kBank, 6));
  EXPECT_TRUE(overBlank.out.starts_with("Old card contents saved to ")) << overBlank.out;
}

}  // namespace
}  // namespace velwin::card::testing
