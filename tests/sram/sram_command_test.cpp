#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "sram/demo_card.h"
#include "sram/parallel_port_presence.h"
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
            "\"entries\":[[1,0],[2,1],[1,5],[2,6],[1,10],[2,11]],\"listed\":true}\n");
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
  const ScopedDataHome data(dir.File("data"));
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "POCKET", 0, 3);
  WriteBytes(dir.File("cart.gb"), rom);
  const auto old = Pattern(32768, 2);
  WriteBytes(dir.File("cart.srm"), old);
  // An emulator's save carries its clock after the SRAM; only the SRAM is
  // loaded.
  auto image = Pattern(32768, 5);
  image.resize(32768 + 48, 0x11);
  WriteBytes(dir.File("in.sav"), image);
  const std::string port = "sim:rom=" + dir.File("cart.gb") + ",sram=" + dir.File("cart.srm");
  const CommandRun run = Sram({"load", "--port", port, "--row", "0", dir.File("in.sav")});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string kept = KeptSavePath(run.out);
  EXPECT_EQ(run.out, "\u2022 Cart \"POCKET\" found.\n\u2022 Old save kept in " + kept +
                         "\n\u2022 256kbit SRAM transferred to cart.\n");
  EXPECT_TRUE(kept.starts_with(dir.File("data/velwin/sram-backups/POCKET 2")) &&
              kept.ends_with(".sav"))
      << kept;
  EXPECT_EQ(ReadBytes(kept), old);
  image.resize(32768);
  EXPECT_EQ(ReadBytes(dir.File("cart.srm")), image);

  // A second load within the same second keeps the save it replaces in a
  // file of its own: the first backup is never written over.
  WriteBytes(dir.File("in.sav"), Pattern(32768, 8));
  const CommandRun again = Sram({"load", "--port", port, "--row", "0", dir.File("in.sav")});
  EXPECT_EQ(again.status, 0) << again.err;
  const std::string keptAgain = KeptSavePath(again.out);
  EXPECT_NE(keptAgain, kept);
  EXPECT_EQ(ReadBytes(keptAgain), image);
  EXPECT_EQ(ReadBytes(kept), old);
  EXPECT_EQ(ReadBytes(dir.File("cart.srm")), Pattern(32768, 8));
}

// What killed saves and loads left goes with the next file written into
// that folder, whatever name it was for; a running writer's stays.
TEST(SramCommand, LeftoversOfKilledJobsGoFromEveryFolderAJobWrites) {
  TempDir dir;
  const ScopedDataHome data(dir.File("data"));
  const pid_t gone = ::fork();
  if (gone == 0)
    ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string tail = "." + std::to_string(gone) + ".velwin-tmp";
  const std::string running = "." + std::to_string(::getppid()) + ".velwin-tmp";
  std::filesystem::create_directories(dir.File("data/velwin/sram-backups"));
  const std::string besideSave = dir.Write(".old.sav" + tail, std::string_view("x"));
  const std::string live = dir.Write(".old.sav" + running, std::string_view("x"));
  const std::string inBackups =
      dir.Write("data/velwin/sram-backups/.POCKET 1.sav" + tail, std::string_view("x"));
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "POCKET", 0, 3);
  WriteBytes(dir.File("cart.gb"), rom);
  const std::string port = "sim:rom=" + dir.File("cart.gb") + ",sram=" + dir.File("cart.srm");
  EXPECT_EQ(Sram({"save", "--port", port, "--row", "0", dir.File("new.sav")}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(besideSave));
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_EQ(Sram({"load", "--port", port, "--row", "0", dir.File("new.sav")}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(inBackups));
}

// A 16 Mbit menu card whose second game starts its 256 kbit save at SRAM
// bank 12, one bank too far for the transfers.
std::string TooFarCardPort(const TempDir& dir) {
  WriteBytes(dir.File("toofar.gb"),
             MenuCard({{"NEAR", 0x80, 0x30}, {"TOOFAR", 0x80, 0x3C}}, "VELTRA"));
  return "sim:card=16,rom=" + dir.File("toofar.gb");
}

TEST(SramCommand, FailedTransfersExitNonZero) {
  TempDir dir;
  const CommandRun refused =
      Sram({"save", "--port", TooFarCardPort(dir), "--row", "1", dir.File("x.sav")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out,
            "\u2022 VELTRA - cart found.\n\u2022 Not enough SRAM on cart for selected game.\n");
  EXPECT_EQ(refused.err,
            "velwin-cli: " + dir.File("x.sav") + ": Not enough SRAM on cart for selected game.\n");

  WriteBytes(dir.File("short.sav"), std::vector<std::uint8_t>(100, 0));
  const CommandRun tooSmall = Sram({"load", "--port", "demo", "--row", "0", dir.File("short.sav")});
  EXPECT_EQ(tooSmall.status, 1);
  EXPECT_EQ(tooSmall.out,
            "\u2022 VELTRA - cart found.\n\u2022 File too small. 64kbit (8kbyte) required\n");
  EXPECT_EQ(tooSmall.err, "velwin-cli: " + dir.File("short.sav") +
                              ": File too small. 64kbit (8kbyte) required\n");

  const CommandRun missing = Sram({"load", "--port", "demo", "--row", "0", dir.File("none.sav")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "velwin-cli: " + dir.File("none.sav") + ": File not found\n");

  const CommandRun beyond = Sram({"save", "--port", "demo", "--row", "6", dir.File("x.sav")});
  EXPECT_EQ(beyond.status, 1);
  EXPECT_EQ(beyond.err, "velwin-cli: demo: row 6 is not in the grid (rows 0 to 5)\n");

  const CommandRun full = Sram({"save", "--port", "demo", "--row", "0", "/dev/full"});
  EXPECT_EQ(full.out, "\u2022 VELTRA - cart found.\n\u2022 IO-Error 28: Disk full\n");
  EXPECT_EQ(full.err, "velwin-cli: /dev/full: Disk full\n");
}

TEST(SramCommand, NoXChangerIsNoTransfer) {
  TempDir dir;
  WriteBytes(dir.File("cart.gb"), BlankRom(2));
  const CommandRun run = Sram({"save", "--port", "sim:lpt=none,rom=" + dir.File("cart.gb"), "--row",
                               "0", dir.File("x.sav")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "\u2022 No X-Changer found\n");
  EXPECT_EQ(run.err,
            "velwin-cli: sim:lpt=none,rom=" + dir.File("cart.gb") + ": No X-Changer found\n");
}

TEST(SramCommand, UsageErrors) {
  EXPECT_EQ(Sram({}).status, 2);
  EXPECT_EQ(Sram({"format"}).status, 2);
  EXPECT_EQ(Sram({"save", "--port", "demo", "x.sav"}).status, 2);
  EXPECT_EQ(Sram({"save", "--port", "demo", "--row", "-1", "x.sav"}).status, 2);
  EXPECT_EQ(Sram({"load", "--port", "demo", "--row", "1"}).status, 2);
  EXPECT_EQ(Sram({"analyse", "--port"}).err.substr(0, 36), "velwin-cli sram: --port needs a valu");
  EXPECT_EQ(Sram({"analyse", "--fast"}).err.substr(0, 38),
            "velwin-cli: --fast: Unknown option\nusa");
  const CommandRun help = Sram({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("velwin-cli sram save"), std::string::npos);
  EXPECT_NE(help.out.find("velwin-cli sram save-all"), std::string::npos);
}

TEST(SramCommand, AnalyseFailsWithoutXChangerOrCart) {
  const CommandRun noXChanger = Sram({"analyse", "--port", "sim:lpt=none"});
  EXPECT_EQ(noXChanger.status, 1);
  EXPECT_EQ(noXChanger.out, "\u2022 No X-Changer found\n");
  const CommandRun noCart = Sram({"analyse", "--json", "--port", "sim:card=16"});
  EXPECT_EQ(noCart.status, 1);
  EXPECT_EQ(noCart.out.rfind("{\"log\":[\"No Cart found\"]", 0), 0u);
}

TEST(SramCommand, SaveAllWritesEveryDemoGame) {
  TempDir dir;
  const CommandRun run = Sram({"save-all", "--port", "demo", dir.Path().string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "\u2022 VELTRA - cart found.\n"
            "00 Lantern Keep.sav: saved\n"
            "01 Tidepool Tactics.sav: saved\n"
            "02 Copper Caravan.sav: saved\n"
            "03 Moth and Lamp.sav: saved\n"
            "04 Pocket Almanac.sav: saved\n"
            "05 Glass Harbour.sav: saved\n");
  const struct {
    const char* file;
    int firstBank;
    int banks;
  } expected[] = {{"00 Lantern Keep.sav", 0, 1},    {"01 Tidepool Tactics.sav", 1, 4},
                  {"02 Copper Caravan.sav", 5, 1},  {"03 Moth and Lamp.sav", 6, 4},
                  {"04 Pocket Almanac.sav", 10, 1}, {"05 Glass Harbour.sav", 11, 4}};
  for (const auto& game : expected) {
    const auto saved = ReadBytes(dir.File(game.file));
    ASSERT_EQ(saved.size(), game.banks * 8192u) << game.file;
    for (int b = 0; b < game.banks; ++b) {
      const std::string text = DemoSramBankText(game.firstBank + b);
      EXPECT_EQ(std::string(saved.begin() + b * 8192, saved.begin() + b * 8192 + text.size()),
                text);
    }
  }
  const CommandRun json = Sram({"save-all", "--json", "--port", "demo", dir.Path().string()});
  EXPECT_EQ(json.status, 0);
  EXPECT_NE(json.out.find("{\"row\":5,\"file\":\"05 Glass Harbour.sav\",\"result\":\"saved\","
                          "\"reason\":\"256kbit read from cart.\"}]}"),
            std::string::npos)
      << json.out;
  EXPECT_EQ(Sram({"save-all", "--port", "demo"}).status, 2);

  // A game the transfers refuse fails the whole run, and is named.
  TempDir other;
  const CommandRun refused =
      Sram({"save-all", "--json", "--port", TooFarCardPort(other), other.File("saves")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("{\"row\":1,\"file\":\"01 TOOFAR.sav\",\"result\":\"refused\","
                             "\"reason\":\"Not enough SRAM on cart for selected game.\"}]}"),
            std::string::npos)
      << refused.out;
  EXPECT_FALSE(std::filesystem::exists(other.File("saves/01 TOOFAR.sav")));
}

TEST(SramCommand, SaveAllMakesItsFolderOrRefusesItBeforeReadingTheCart) {
  TempDir dir;
  const std::string nested = dir.File("new/sub");
  EXPECT_EQ(Sram({"save-all", "--port", "demo", nested}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(nested + "/00 Lantern Keep.sav"));

  WriteBytes(dir.File("file"), std::vector<std::uint8_t>(3, 1));
  std::filesystem::create_directory(dir.File("locked"));
  const velwin::testing::ImmutableFile locked(dir.File("locked"));
  for (const auto& [folder, reason] : {std::pair{dir.File("file"), "Not a directory"},
                                       {dir.File("file/sub"), "Not a directory"},
                                       {dir.File("locked"), "File access denied"}}) {
    if (!locked.Applied() && reason[0] == 'F')
      continue;  // root writes anywhere without the immutable attribute
    const CommandRun run = Sram({"save-all", "--port", "demo", folder});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "") << "the cart is not read";
    EXPECT_EQ(run.err, "velwin-cli: " + folder + ": " + reason + "\n");
  }
}

TEST(SramCommand, PortThatCannotBeOpened) {
  const CommandRun run = Sram({"analyse", "--port", "sim:card=7"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("velwin-cli: port \"sim:card=7\" could not be opened: ", 0), 0u);
  const CommandRun empty = Sram({"analyse", "--port", ""});
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.err,
            "velwin-cli: port \"\" could not be opened: unknown port \"\": use direct, "
            "direct:BASE, ppdev, ppdev:DEVICE or sim:KEY=VALUE,...\n");
  EXPECT_EQ(run.err.find("--port demo"), std::string::npos) << "the simulator needs no port";
  // On a machine without a parallel port a port that needs one leads to the
  // demo card.
  if (!MachineHasParallelPort()) {
    const CommandRun direct = Sram({"analyse", "--port", "direct"});
    EXPECT_TRUE(direct.err.ends_with(std::string(kNoParallelPortCliHint) + "\n")) << direct.err;
  }
}

// With --json a failure is still one JSON object, with the reason.
TEST(SramCommand, JsonFailuresGiveAnObjectWithTheirError) {
  TempDir dir;
  const CommandRun port = Sram({"analyse", "--json", "--port", "sim:card=7"});
  EXPECT_EQ(port.status, 1);
  EXPECT_TRUE(port.out.starts_with("{\"port\":\"sim:card=7\",\"error\":\"")) << port.out;
  EXPECT_TRUE(port.out.ends_with("\"}\n")) << port.out;

  WriteBytes(dir.File("file"), std::vector<std::uint8_t>(3, 1));
  const CommandRun folder = Sram({"save-all", "--json", "--port", "demo", dir.File("file")});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.out, "{\"log\":[],\"games\":[],\"folder\":\"" + dir.File("file") +
                            "\",\"error\":\"Not a directory\"}\n");

  const CommandRun noCart = Sram({"analyse", "--json", "--port", "sim:lpt=none"});
  EXPECT_EQ(noCart.status, 1);
  EXPECT_NE(noCart.out.find(",\"listed\":false,\"error\":\""), std::string::npos) << noCart.out;
}

}  // namespace
}  // namespace velwin::sramman::testing
