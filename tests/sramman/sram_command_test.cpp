#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/commands.h"
#include "sramman/demo_card.h"
#include "tests/sramman/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;
using velwin::testing::WriteBytes;

struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

CommandRun Sram(const cli::Arguments& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunSramCommand(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(SramCommand, AnalysePrintsLogAndGrid) {
  const CommandRun run = Sram({"analyse", "--port", "demo"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "\u2022 VELTRA - cart found.\n"
            "0\tLantern Keep      \t64 k\n"
            "1\tTidepool Tactics  \t256 k\n"
            "2\tCopper Caravan    \t64 k\n"
            "3\tMoth and Lamp     \t256 k\n"
            "4\tPocket Almanac    \t64 k\n"
            "5\tGlass Harbour     \t256 k\n");
}

TEST(SramCommand, AnalyseAsJson) {
  const CommandRun run = Sram({"analyse", "--json", "--port", "demo"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "{\"log\":[\"VELTRA - cart found.\"],"
            "\"rows\":[[\"Lantern Keep      \",\"64 k\"],[\"Tidepool Tactics  \",\"256 k\"],"
            "[\"Copper Caravan    \",\"64 k\"],[\"Moth and Lamp     \",\"256 k\"],"
            "[\"Pocket Almanac    \",\"64 k\"],[\"Glass Harbour     \",\"256 k\"]],"
            "\"entries\":[[1,0],[2,1],[1,5],[2,6],[1,10],[2,12]],\"listed\":true}\n");
}

TEST(SramCommand, TitlesAreDecodedFromTheCodePage) {
  TempDir dir;
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "CAF\xC9 \x95", 0, 2);
  WriteBytes(dir.File("cart.gb"), rom);
  const CommandRun run = Sram({"analyse", "--port", "sim:rom=" + dir.File("cart.gb")});
  EXPECT_EQ(run.out,
            "\u2022 Cart \"CAF\u00C9 \u2022\" found.\n"
            "0\tCAF\u00C9 \u2022        \t64 k\n");
  const CommandRun json = Sram({"analyse", "--json", "--port", "sim:rom=" + dir.File("cart.gb")});
  EXPECT_EQ(json.out,
            "{\"log\":[\"Cart \\\"CAF\u00C9 \u2022\\\" found.\"],"
            "\"rows\":[[\"CAF\u00C9 \u2022        \",\"64 k\"]],\"entries\":[[1,0]],"
            "\"listed\":true}\n");
}

TEST(SramCommand, SaveWritesTheRowsBanks) {
  TempDir dir;
  const std::string file = dir.File("tide.sav");
  const CommandRun run = Sram({"save", "--port", "demo", "--row", "1", file});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "\u2022 VELTRA - cart found.\n\u2022 256kbit read from cart.\n");
  const auto saved = ReadBytes(file);
  ASSERT_EQ(saved.size(), 32768u);
  const std::string bank4(saved.begin() + 3 * 8192, saved.begin() + 3 * 8192 + 64);
  EXPECT_EQ(bank4.substr(0, DemoSramBankText(4).size()), DemoSramBankText(4));
  EXPECT_EQ(DemoSramBankText(4), "velwin demo save: Tidepool Tactics, bank 4 of 4\n");
}

TEST(SramCommand, LoadIntoASimulatedCartIsWrittenBackToItsFile) {
  TempDir dir;
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "POCKET", 0, 3);
  WriteBytes(dir.File("cart.gb"), rom);
  WriteBytes(dir.File("cart.srm"), std::vector<std::uint8_t>(32768, 0));
  const auto image = Pattern(32768, 5);
  WriteBytes(dir.File("in.sav"), image);
  const std::string port = "sim:rom=" + dir.File("cart.gb") + ",sram=" + dir.File("cart.srm");
  const CommandRun run = Sram({"load", "--port", port, "--row", "0", dir.File("in.sav")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "\u2022 Cart \"POCKET\" found.\n\u2022 256kbit SRAM transferred to cart.\n");
  EXPECT_EQ(ReadBytes(dir.File("cart.srm")), image);
}

TEST(SramCommand, FailedTransfersExitNonZero) {
  TempDir dir;
  const CommandRun refused = Sram({"save", "--port", "demo", "--row", "5", dir.File("x.sav")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out,
            "\u2022 VELTRA - cart found.\n\u2022 Not enough SRAM on cart for selected game.\n");

  WriteBytes(dir.File("short.sav"), std::vector<std::uint8_t>(100, 0));
  const CommandRun tooSmall = Sram({"load", "--port", "demo", "--row", "0", dir.File("short.sav")});
  EXPECT_EQ(tooSmall.status, 1);
  EXPECT_EQ(tooSmall.out,
            "\u2022 VELTRA - cart found.\n\u2022 File too small. 64kbit (8kbyte) required\n");

  const CommandRun missing = Sram({"load", "--port", "demo", "--row", "0", dir.File("none.sav")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "velwin-cli: " + dir.File("none.sav") + ": File not found\n");

  const CommandRun beyond = Sram({"save", "--port", "demo", "--row", "6", dir.File("x.sav")});
  EXPECT_EQ(beyond.status, 1);
  EXPECT_EQ(beyond.err, "velwin-cli: row 6 is not in the grid (rows 0 to 5)\n");
}

TEST(SramCommand, NoXChangerIsNoTransfer) {
  TempDir dir;
  WriteBytes(dir.File("cart.gb"), BlankRom(2));
  const CommandRun run = Sram({"save", "--port", "sim:lpt=none,rom=" + dir.File("cart.gb"), "--row",
                               "0", dir.File("x.sav")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "\u2022 No X-Changer found\n");
}

TEST(SramCommand, UsageErrors) {
  EXPECT_EQ(Sram({}).status, 2);
  EXPECT_EQ(Sram({"format"}).status, 2);
  EXPECT_EQ(Sram({"save", "--port", "demo", "x.sav"}).status, 2);
  EXPECT_EQ(Sram({"save", "--port", "demo", "--row", "-1", "x.sav"}).status, 2);
  EXPECT_EQ(Sram({"load", "--port", "demo", "--row", "1"}).status, 2);
  EXPECT_EQ(Sram({"analyse", "--port"}).err.substr(0, 36), "velwin-cli sram: --port needs a valu");
  const CommandRun help = Sram({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("velwin-cli sram save"), std::string::npos);
}

TEST(SramCommand, PortThatCannotBeOpened) {
  const CommandRun run = Sram({"analyse", "--port", "sim:card=7"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("velwin-cli: port \"sim:card=7\" could not be opened: ", 0), 0u);
}

}  // namespace
}  // namespace velwin::sramman::testing
