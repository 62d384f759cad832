#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sram/sram_port.h"
#include "tests/card/card_cli.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::BlankRom;
using sramman::testing::MenuCard;
using sramman::testing::Pattern;
using sramman::testing::PutHeader;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// The header checksum a Game Boy checks before it starts a cart.
void SealHeader(std::vector<std::uint8_t>& rom) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0x134; i <= 0x14C; ++i)
    sum = static_cast<std::uint8_t>(sum - rom[i] - 1);
  rom[0x14D] = sum;
}

// A whole card of distinct banks, with a game's header in bank 0.
std::vector<std::uint8_t> PatternCard(std::size_t bytes, std::uint8_t cartType,
                                      std::uint8_t romSizeCode) {
  auto rom = Pattern(bytes, 3);
  PutHeader(rom, 0, "PATTERN", romSizeCode, 0x02);
  rom[0x147] = cartType;
  SealHeader(rom);
  return rom;
}

bool OnlyFileIs(const TempDir& dir, const std::string& name) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    names.push_back(entry.path().filename().string());
  return names == std::vector<std::string>{name};
}

TEST(CardRead, ReadsEachFlashCardWhole) {
  const std::pair<const char*, std::size_t> cards[] = {
      {"4", 512 * 1024}, {"16", 2 * 1024 * 1024}, {"64", 8 * 1024 * 1024}};
  for (const auto& [card, bytes] : cards) {
    TempDir dir;
    const auto rom = PatternCard(bytes, 0x1B, 0x05);
    const std::string port = "sim:card=" + std::string(card) + ",rom=" + dir.Write("card.gb", rom);
    const std::string file = dir.File("backup.gb");
    const CommandRun run = Card({"read", "--port", port, file});
    EXPECT_EQ(run.status, 0) << card << run.err;
    EXPECT_EQ(run.out, std::string(card) + " Mbit flash card read to " + file + " (" +
                           std::to_string(bytes) + " bytes).\n");
    EXPECT_TRUE(ReadBytes(file) == rom) << card << " Mbit card differs from its backup";
  }
}

TEST(CardRead, ReadsAnMbc5CartThroughItsBankRegisters) {
  TempDir dir;
  const auto rom = PatternCard(1024 * 1024, 0x1B, 0x05);  // 64 banks
  const std::string port = "sim:card=none,rom=" + dir.Write("cart.gb", rom);
  const std::string file = dir.File("backup.gb");
  const CommandRun run = Card({"read", "--json", "--port", port, file});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"card\":null,\"cardName\":\"game cart, MBC5, 1 MiB\",\"bytes\":1048576,"
            "\"file\":\"" +
                file + "\"}\n");
  EXPECT_TRUE(ReadBytes(file) == rom);
}

TEST(CardRead, RefusesCartsItWouldReadWrongBeforeAnyBank) {
  struct Case {
    std::uint8_t cartType;
    std::uint8_t romSizeCode;
    std::string reason;
  };
  const Case cases[] = {
      {0x03, 0x05,
       "MBC1 cart: the X-Changer switches banks the MBC5 way, so this cart cannot be read."},
      {0x13, 0x05,
       "MBC3 cart: the X-Changer switches banks the MBC5 way, so this cart cannot be read."},
      {0x1B, 0x09,
       "ROM size code 0x09 in the cart header is no size a cart has, so this cart cannot be read."},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string port =
        "sim:card=none,rom=" +
        dir.Write("cart.gb", PatternCard(1024 * 1024, c.cartType, c.romSizeCode));
    const std::string file = dir.File("backup.gb");
    const CommandRun run = Card({"read", "--port", port, file});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velwin-cli: " + file + ": " + c.reason + "\n");
    EXPECT_TRUE(OnlyFileIs(dir, "cart.gb"));
  }
}

TEST(CardRead, NoCartAndNoXChangerLeaveNoFile) {
  TempDir dir;
  const std::string file = dir.File("backup.gb");
  const CommandRun none = Card({"read", "--port", "sim:lpt=none", file});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "velwin-cli: " + file + ": No X-Changer found\n");
  const CommandRun empty = Card({"read", "--port", "sim:card=none", file});
  EXPECT_EQ(empty.err, "velwin-cli: " + file + ": No Cart found\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(CardRead, FilesThatCannotBeWrittenAreNamed) {
  TempDir dir;
  const std::string port =
      "sim:card=4,rom=" + dir.Write("card.gb", PatternCard(512 * 1024, 0x1B, 0x04));
  const std::string missing = dir.File("gone/backup.gb");
  EXPECT_EQ(Card({"read", "--port", port, missing}).err,
            "velwin-cli: " + missing + ": File not found\n");
  const std::string folder = dir.Path().string();
  EXPECT_EQ(Card({"read", "--port", port, folder}).err,
            "velwin-cli: " + folder + ": File access denied (a directory)\n");
  EXPECT_TRUE(OnlyFileIs(dir, "card.gb"));
}

TEST(CardRead, UnpluggedAnywhereLeavesTheOldFileAlone) {
  TempDir dir;
  const auto rom = PatternCard(512 * 1024, 0x1B, 0x04);
  const std::string romFile = dir.Write("card.gb", rom);
  const std::string file = dir.Write("backup.gb", std::string_view("old backup"));
  // From the search for the X-Changer to the last check that the cart still
  // answers: a 4 Mbit read takes 1,117,557 port accesses in EPP mode, the
  // last 550 or so for that check.
  for (const std::uint64_t after : {10ull, 5000ull, 300000ull, 1000000ull, 1117400ull}) {
    const CommandRun run = Card(
        {"read", "--port", "sim:card=4,unplug=" + std::to_string(after) + ",rom=" + romFile, file});
    EXPECT_EQ(run.status, 1) << after;
    EXPECT_NE(run.err, "") << after;
    const auto kept = ReadBytes(file);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old backup") << after;
    EXPECT_FALSE(std::filesystem::exists(dir.File(".backup.gb.velwin-tmp"))) << after;
  }
}

TEST(CardVerify, SaysWhetherAndWhereTheCardDiffers) {
  TempDir dir;
  auto rom = PatternCard(2 * 1024 * 1024, 0x1B, 0x06);
  const std::string port = "sim:card=16,rom=" + dir.Write("card.gb", rom);

  // A file shorter than the card is compared with the card's start.
  std::vector<std::uint8_t> image(rom.begin(), rom.begin() + 100000);
  const std::string file = dir.Write("image.gb", image);
  const CommandRun equal = Card({"verify", "--port", port, file});
  EXPECT_EQ(equal.status, 0) << equal.err;
  EXPECT_EQ(equal.out, "Card matches " + file + " (100000 bytes).\n");

  image[0x4001] ^= 0x10;
  image[99999] ^= 0x01;
  dir.Write("image.gb", image);
  const CommandRun differs = Card({"verify", "--port", port, file});
  EXPECT_EQ(differs.status, 1);
  EXPECT_EQ(differs.out,
            "Card differs from " + file + ": first at 0x004001 (bank 1), 2 banks differ.\n");
  // As JSON a difference is a failure like any other: it has its "error".
  const CommandRun differsJson = Card({"verify", "--json", "--port", port, file});
  EXPECT_EQ(differsJson.status, 1);
  EXPECT_TRUE(differsJson.out.ends_with(
      ",\"firstDifference\":16385,\"firstDifferingBank\":1,\"error\":\"Card differs from " + file +
      ": first at 0x004001 (bank 1), 2 banks differ.\"}\n"))
      << differsJson.out;

  rom.push_back(0);
  const std::string longer = dir.Write("longer.gb", rom);
  const CommandRun tooLong = Card({"verify", "--port", port, longer});
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_EQ(tooLong.err,
            "velwin-cli: " + longer +
                ": File is 2097153 bytes, larger than the 2097152 bytes of the card\n");
}

TEST(CardList, ListsEveryGameOfEachKindOfCard) {
  TempDir dir;
  const auto menu = MenuCard(
      {{"LANTERN KEEP", 0x80, 0x00}, {"QUARRY QUEST", 0x00, 0x00}, {"TIDEPOOL", 0x80, 0x31}});
  const CommandRun veltra =
      Card({"list", "--port", "sim:card=16,rom=" + dir.Write("menu.gb", menu)});
  EXPECT_EQ(veltra.status, 0) << veltra.err;
  EXPECT_EQ(veltra.out,
            "16 Mbit flash card: VELTRA card\n"
            "0\tLANTERN KEEP\t-\tSRAM 64 k from bank 0\n"
            "1\tQUARRY QUEST\t-\tno SRAM\n"
            "2\tTIDEPOOL\t-\tSRAM 256 k from bank 1\n");

  auto pack = BlankRom(2);
  PutHeader(pack, 0, "GBPACK MENU", 0x00, 0x00);
  PutHeader(pack, 2, "FIRST", 0x01, 0x03);   // 4 banks
  PutHeader(pack, 6, "SECOND", 0x00, 0x00);  // 2 banks, no SRAM
  PutHeader(pack, 8, "THIRD", 0x00, 0x01);
  const CommandRun gbpack =
      Card({"list", "--json", "--port", "sim:card=4,rom=" + dir.Write("pack.gb", pack)});
  EXPECT_EQ(gbpack.out,
            "{\"card\":4,\"cardName\":\"4 Mbit flash card\",\"layout\":\"GBPACK card\",\"games\":["
            "{\"title\":\"FIRST\",\"firstRomBank\":2,\"romBanks\":4,\"sram\":\"256 "
            "k\",\"firstSramBank\":null},"
            "{\"title\":\"SECOND\",\"firstRomBank\":6,\"romBanks\":2,\"sram\":null,"
            "\"firstSramBank\":null},"
            "{\"title\":\"THIRD\",\"firstRomBank\":8,\"romBanks\":2,\"sram\":\"64 "
            "k\",\"firstSramBank\":null}]}\n");

  const CommandRun single =
      Card({"list", "--port",
            "sim:card=none,rom=" + dir.Write("cart.gb", PatternCard(256 * 1024, 0x03, 0x03))});
  EXPECT_EQ(single.out,
            "game cart, MBC1, 256 KiB: single cart\n"
            "0\tPATTERN\tROM bank 0, 16 banks\tSRAM 64 k from bank 0\n");
}

// Scripts find the card under one name in every card command's JSON, also
// in a failure: the flash card's size as a number, the name beside it.
TEST(CardCommand, EveryCommandGivesTheCardTheSameWay) {
  TempDir dir;
  const auto rom = PatternCard(2 * 1024 * 1024, 0x1B, 0x06);
  const std::string port = "sim:card=16,rom=" + dir.Write("card.gb", rom);
  const std::string image =
      dir.Write("image.gb", std::vector<std::uint8_t>(rom.begin(), rom.begin() + 70000));
  const std::string flash = "{\"card\":16,\"cardName\":\"16 Mbit flash card\",";
  const std::vector<cli::Arguments> commands = {
      {"read", "--json", "--port", port, dir.File("read.gb")},
      {"verify", "--json", "--port", port, image},
      {"list", "--json", "--port", port},
      {"write", "--json", "--no-backup", "--port", port, image},
      {"verify", "--json", "--port", port, dir.Path().string()},  // fails on the file
  };
  for (const cli::Arguments& args : commands) {
    const CommandRun run = Card(args);
    EXPECT_EQ(run.out.rfind(flash, 0), 0u) << args[0] << ": " << run.out << run.err;
  }

  const std::string cart =
      "sim:card=none,rom=" + dir.Write("cart.gb", PatternCard(1024 * 1024, 0x03, 0x05));
  const std::string refused = Card({"read", "--json", "--port", cart, dir.File("c.gb")}).out;
  EXPECT_EQ(refused.rfind("{\"card\":null,\"cardName\":\"game cart, MBC1, 1 MiB\",", 0), 0u)
      << refused;
  const std::string gameWrite = Card({"write", "--json", "--port", cart, image}).out;
  EXPECT_EQ(gameWrite.rfind("{\"card\":null,\"cardName\":\"game cart, MBC1, 1 MiB\",", 0), 0u)
      << gameWrite;
  for (const std::string verb : {"list", "write"}) {
    cli::Arguments args = {verb, "--json", "--port", "sim:card=none"};
    if (verb == "write")
      args.push_back(image);
    const std::string none = Card(args).out;
    EXPECT_EQ(none.rfind("{\"card\":null,\"cardName\":null,", 0), 0u) << verb << ": " << none;
  }
}

TEST(CardCommand, UsageErrorsExitTwo) {
  EXPECT_EQ(Card({}).status, 2);
  EXPECT_EQ(Card({"burn"}).status, 2);
  EXPECT_EQ(Card({"read", "--port", "demo"}).status, 2);
  EXPECT_EQ(Card({"list", "--port", "demo", "extra"}).status, 2);
  // An unknown option is named in the form of every other failure.
  for (const char* verb : {"read", "list", "write"}) {
    const CommandRun run = Card({verb, "--fast", "--port", "demo", "x.gb"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("velwin-cli: --fast: Unknown option\n", 0), 0u) << run.err;
  }
}

// Two jobs never share one card file, whatever name each reaches it by.
TEST(CardCommand, ACardFileInUseIsRefusedUnderAnotherName) {
  TempDir dir;
  const std::string rom = dir.Write("card.gb", Pattern(512 * 1024, 1));
  std::filesystem::create_hard_link(rom, dir.File("link.gb"));
  std::string error;
  const auto held = sramman::OpenSramPort("sim:card=4,rom=" + rom, error);
  ASSERT_TRUE(held) << error;
  const std::string other = "sim:card=4,rom=" + dir.File("link.gb");
  const CommandRun run = Card({"read", "--json", "--port", other, dir.File("read.gb")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("The X-Changer on " + other + " is in use by another velwin (process " +
                         std::to_string(::getpid()) + ")."),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(run.out.starts_with("{\"card\":null,\"cardName\":null,\"port\":")) << run.out;
  EXPECT_FALSE(std::filesystem::exists(dir.File("read.gb")));
}

}  // namespace
}  // namespace velwin::card::testing
