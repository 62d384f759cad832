#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/sram/sim_rig.h"
#include "tests/sram/test_carts.h"

namespace velwin::sramman::testing {
namespace {

using xchanger::sim::FlashChip;
using Log = std::vector<std::string>;
using Rows = std::vector<std::string>;

SramGameEntry Entry(std::uint8_t kind, std::uint8_t firstBank) {
  return {kind, firstBank};
}

std::vector<std::uint8_t> SingleCart(std::string_view title, std::uint8_t ramSize) {
  auto rom = BlankRom(2);
  PutHeader(rom, 0, title, 0x00, ramSize);
  return rom;
}

// --- What is in the X-Changer ----------------------------------------------

TEST(CartAnalysis, NoXChangerAnywhere) {
  auto config = CartConfig(SingleCart("TETRIS", 0));
  config.lpt = 0;
  SimRig rig(config);
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"No X-Changer found"}));
  EXPECT_EQ(rig.Rows(), Rows({"|"}));
  EXPECT_FALSE(rig.manager.SramGamesListed());
}

TEST(CartAnalysis, XChangerOnSecondPortOnlyIsFound) {
  auto config = CartConfig(SingleCart("POCKET", 3));
  config.lpt = 2;
  config.otherEcho = true;
  SimRig rig(config);
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"Cart \"POCKET\" found."}));
}

TEST(CartAnalysis, EmptyXChangerHasNoCart) {
  xchanger::sim::SimConfig config;
  SimRig rig(config);
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"No Cart found"}));
  EXPECT_EQ(rig.Rows(), Rows({"|"}));
  EXPECT_FALSE(rig.manager.SramGamesListed());
}

TEST(CartAnalysis, NewAnalysisReplacesLogGridAndTable) {
  SimRig rig(CartConfig(MenuCard({{"ONE", 0x80, 0x01}, {"TWO", 0x80, 0x32}})));
  rig.manager.AnalyseCart();
  ASSERT_EQ(rig.view.RowCount(), 2);
  rig.view.LogStatus("left over");
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"VELTRA - cart found."}));
  EXPECT_EQ(rig.view.RowCount(), 2);
}

// --- Single carts -----------------------------------------------------------

struct SingleCase {
  std::uint8_t ramSize;
  const char* sizeText;
  std::uint8_t kind;
};

void PrintTo(const SingleCase& c, std::ostream* os) {
  *os << "RAM size code " << static_cast<int>(c.ramSize) << " -> " << c.sizeText;
}

class SingleCartRamSize : public ::testing::TestWithParam<SingleCase> {};

TEST_P(SingleCartRamSize, ListsTheCartWithItsSize) {
  const SingleCase c = GetParam();
  SimRig rig(CartConfig(SingleCart("ZELDA", c.ramSize)));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"Cart \"ZELDA\" found."}));
  // The grid shows the title as stored: fourteen characters with blanks.
  EXPECT_EQ(rig.Rows(), Rows({std::string("ZELDA         |") + c.sizeText}));
  EXPECT_TRUE(rig.manager.SramGamesListed());
  EXPECT_EQ(rig.manager.GameTable()[0], Entry(c.kind, 0));
}

INSTANTIATE_TEST_SUITE_P(EveryCode, SingleCartRamSize,
                         ::testing::Values(SingleCase{1, "64 k", 1}, SingleCase{2, "64 k", 1},
                                           SingleCase{3, "256 k", 2}, SingleCase{4, "1024 k", 3},
                                           SingleCase{5, "?", 0}, SingleCase{0xFF, "?", 0}),
                         [](const ::testing::TestParamInfo<SingleCase>& testCase) {
                           return "RamSizeCode" + std::to_string(testCase.param.ramSize);
                         });

TEST(CartAnalysis, SingleCartWithoutSram) {
  SimRig rig(CartConfig(SingleCart("TETRIS", 0)));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"Cart \"TETRIS\" found.", "Cart has no SRAM."}));
  EXPECT_EQ(rig.Rows(), Rows({"|"}));
  EXPECT_FALSE(rig.manager.SramGamesListed());
}

TEST(CartAnalysis, TitleInLogDropsBlanksAndControlBytesAtBothEnds) {
  SimRig rig(CartConfig(SingleCart(std::string("\x01  MY \x1F GAME\x7F\xE9\t", 14), 0)));
  rig.manager.AnalyseCart();
  ASSERT_FALSE(rig.view.Log().empty());
  EXPECT_EQ(rig.view.Log()[0], "Cart \"MY \x1F GAME\x7F\xE9\" found.");
}

TEST(CartAnalysis, CameraByTitleWhateverItsRamSize) {
  SimRig rig(CartConfig(SingleCart("GAMEBOYCAMERAX", 0)));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"Gameboy Pocket Camera found."}));
  EXPECT_EQ(rig.Rows(), Rows({"Gameboy Camera|1024 k"}));
  EXPECT_EQ(rig.manager.GameTable()[0], Entry(3, 0));
  EXPECT_TRUE(rig.manager.SramGamesListed());

  // Case and all thirteen letters count.
  SimRig almost(CartConfig(SingleCart("GAMEBOYCAMERa", 4)));
  almost.manager.AnalyseCart();
  EXPECT_EQ(almost.view.Log(), Log({"Cart \"GAMEBOYCAMERa\" found."}));
}

// --- VELTRA cards -----------------------------------------------------------

TEST(MenuCard, ListsOnlyEntriesMarkedForSram) {
  SimRig rig(CartConfig(MenuCard({{"Alpha", 0x80, 0x03},
                                  {"Beta", 0x81, 0x04},
                                  {"Gamma", 0x00, 0x05},
                                  {std::string("De\0ta", 5), 0x80, 0x3C},
                                  {"Epsilon", 0x80, 0x2F}})));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"VELTRA - cart found."}));
  EXPECT_EQ(rig.Rows(), Rows({"Alpha             |64 k", "De ta             |256 k",
                              "Epsilon           |64 k"}));
  EXPECT_EQ(rig.manager.GameTable()[0], Entry(1, 3));
  EXPECT_EQ(rig.manager.GameTable()[1], Entry(2, 12));
  EXPECT_EQ(rig.manager.GameTable()[2], Entry(1, 15));
  EXPECT_EQ(rig.manager.GameTable()[3], Entry(0, 0));
  EXPECT_TRUE(rig.manager.SramGamesListed());
}

TEST(MenuCard, KnownByTitleWithoutSignature) {
  SimRig rig(CartConfig(MenuCard({{"Alpha", 0x80, 0x01}}, "", "Diruzo RI Menu")));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"VELTRA - cart found."}));
  EXPECT_EQ(rig.view.RowCount(), 1);
}

TEST(MenuCard, SignatureWinsOverAnyTitle) {
  SimRig rig(CartConfig(MenuCard({}, "VELTRA", "GBPACK MENU")));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"VELTRA - cart found.", "No ROMs found"}));
}

TEST(MenuCard, AlmostTheSignatureIsNoMenu) {
  SimRig rig(CartConfig(MenuCard({{"Alpha", 0x80, 0x01}}, "VELTRa", "SOMETHING")));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"Cart \"SOMETHING\" found."}));
}

TEST(MenuCard, NothingWithSram) {
  SimRig rig(CartConfig(MenuCard({{"Alpha", 0x00, 0x01}, {"Beta", 0x7F, 0x01}})));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"VELTRA - cart found.", "No SRAM-Games found."}));
  EXPECT_EQ(rig.Rows(), Rows({"|"}));
  EXPECT_FALSE(rig.manager.SramGamesListed());
}

TEST(MenuCard, FullDirectoryOf255Games) {
  std::vector<MenuEntry> entries;
  for (int k = 0; k < 255; ++k) {
    entries.push_back(
        {std::string("G").append(std::to_string(k)), 0x80, static_cast<std::uint8_t>(k)});
  }
  SimRig rig(CartConfig(MenuCard(entries)));
  rig.manager.AnalyseCart();
  ASSERT_EQ(rig.view.RowCount(), 255);
  EXPECT_EQ(rig.view.Cell(0, 254), "G254" + std::string(14, ' '));
  // 254 = 0xFE: high nibble 15 is 64 kbit, low nibble the first bank.
  EXPECT_EQ(rig.manager.GameTable()[254], Entry(1, 14));
  EXPECT_EQ(rig.manager.GameTable()[0x3A], Entry(2, 10));
  EXPECT_EQ(rig.manager.GameTable()[255], Entry(0, 0));
}

TEST(MenuCard, JunkDirectoryListsWhatIsMarkedAndNothingElse) {
  auto rom = MenuCard({});
  std::mt19937 random(7);
  for (std::size_t i = kRomBank; i < 2 * kRomBank; ++i)
    rom[i] = static_cast<std::uint8_t>(random());
  rom[kRomBank] = 255;
  std::vector<SramGameEntry> marked;
  for (std::size_t k = 0; k < 255; ++k) {
    std::uint8_t* entry = rom.data() + kRomBank + 1 + 47 * k;
    if (k % 3 == 0)
      entry[19] = 0x80;
    if (entry[19] != 0x80)
      continue;
    const std::uint8_t kind = (entry[21] >> 4) == 3 ? 2 : 1;
    marked.push_back(Entry(kind, entry[21] & 0x0F));
  }
  SimRig rig(CartConfig(rom));
  rig.manager.AnalyseCart();
  ASSERT_EQ(rig.view.RowCount(), static_cast<int>(marked.size()));
  for (std::size_t r = 0; r < marked.size(); ++r) {
    EXPECT_EQ(rig.manager.GameTable()[r], marked[r]) << r;
    EXPECT_EQ(rig.view.Cell(0, static_cast<int>(r)).find('\0'), std::string::npos);
  }
  EXPECT_EQ(rig.manager.GameTable()[marked.size()], Entry(0, 0));
}

// --- GBPACK cards -----------------------------------------------------------

std::vector<std::uint8_t> GbpackCard() {
  auto rom = BlankRom(2);
  PutHeader(rom, 0, "GBPACK V2", 0x06, 0x00);
  return rom;
}

TEST(GbpackCard, MarksGamesBeyondTheSixteenthBank) {
  auto rom = GbpackCard();
  std::size_t bank = 2;
  for (int g = 0; g < 17; ++g, bank += 2)
    PutHeader(rom, bank, "GAME" + std::to_string(g), 0, 2);
  SimRig rig(CartConfig(rom));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"GBPACK - cart found."}));
  ASSERT_EQ(rig.view.RowCount(), 17);
  EXPECT_EQ(rig.view.Cell(0, 15), "GAME15        ");
  EXPECT_EQ(rig.view.Cell(0, 16), "! GAME16        ");
  EXPECT_EQ(rig.manager.GameTable()[16], Entry(1, 16));
  EXPECT_TRUE(rig.manager.SramGamesListed());
}

TEST(GbpackCard, A256kGameAtBank12IsAlreadyMarked) {
  auto rom = GbpackCard();
  PutHeader(rom, 2, "BIG A", 1, 3);   // banks 0-3, steps 4 ROM banks
  PutHeader(rom, 6, "BIG B", 0, 3);   // 4-7
  PutHeader(rom, 8, "BIG C", 0, 3);   // 8-11
  PutHeader(rom, 10, "BIG D", 0, 3);  // 12-15: marked
  SimRig rig(CartConfig(rom));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.Rows(), Rows({"BIG A         |256 k", "BIG B         |256 k",
                              "BIG C         |256 k", "! BIG D         |256 k"}));
  EXPECT_EQ(rig.manager.GameTable()[3], Entry(2, 12));
}

TEST(GbpackCard, SkipsGamesWithoutSramOrWithTooMuchButStepsOverThem) {
  auto rom = GbpackCard();
  PutHeader(rom, 2, "NONE", 2, 0);   // 8 banks
  PutHeader(rom, 10, "HUGE", 0, 4);  // 2 banks, 128 KB SRAM: not listed
  PutHeader(rom, 12, "ODD", 0, 5);
  PutHeader(rom, 14, "SMALL", 0, 1);
  PutHeader(rom, 6, "HIDDEN", 0, 2);  // inside NONE: never read
  SimRig rig(CartConfig(rom));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.Rows(), Rows({"SMALL         |64 k"}));
  EXPECT_EQ(rig.manager.GameTable()[0], Entry(1, 0));
}

TEST(GbpackCard, NothingWithSram) {
  auto rom = GbpackCard();
  PutHeader(rom, 2, "NONE", 0, 0);
  SimRig rig(CartConfig(rom));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), Log({"GBPACK - cart found.", "No SRAM-Games found."}));
  EXPECT_EQ(rig.Rows(), Rows({"|"}));
  EXPECT_FALSE(rig.manager.SramGamesListed());
}

TEST(GbpackCard, ChainEndsAtTheLastBankOfTheCard) {
  // A 4 Mbit card has 32 banks: games of 2 banks at 2, 4, ..., 30.
  auto rom = GbpackCard();
  for (std::size_t bank = 2; bank < 32; bank += 2)
    PutHeader(rom, bank, "G", 0, 1);
  SimRig rig(CartConfig(rom, FlashChip::k4Mbit));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.RowCount(), 15);
  EXPECT_EQ(rig.scanPump.runs, 15);
}

TEST(GbpackCard, ScanPumpsEventsOncePerHeaderRead) {
  auto rom = GbpackCard();
  PutHeader(rom, 2, "A", 0, 1);
  PutHeader(rom, 4, "B", 1, 0);
  PutHeader(rom, 8, "C", 0, 3);  // followed by an erased bank: no header
  SimRig rig(CartConfig(rom));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.scanPump.runs, 4);
  EXPECT_EQ(rig.view.RowCount(), 2);
}

TEST(GbpackCard, UnidentifiedCardGetsOneHeaderRead) {
  auto rom = GbpackCard();
  PutHeader(rom, 2, "A", 0, 1);
  PutHeader(rom, 4, "B", 0, 1);
  SimRig rig(CartConfig(rom, FlashChip::kNone));
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.scanPump.runs, 1);
  EXPECT_EQ(rig.Rows(), Rows({"A             |64 k"}));
}

TEST(GbpackCard, RomSizeBeyondFourteenEndsTheScanAfterThatGame) {
  // 14 still steps (past the end of any card); 15 and up give no step.
  for (std::uint8_t romSize :
       {std::uint8_t{14}, std::uint8_t{15}, std::uint8_t{0x52}, std::uint8_t{0xFF}}) {
    auto rom = GbpackCard();
    PutHeader(rom, 2, "ODD", romSize, 1);
    PutHeader(rom, 4, "NEXT", 0, 1);
    SimRig rig(CartConfig(rom));
    rig.manager.AnalyseCart();
    EXPECT_EQ(rig.Rows(), Rows({"ODD           |64 k"})) << int(romSize);
    EXPECT_EQ(rig.scanPump.runs, 1) << int(romSize);
  }
}

TEST(GbpackCard, NeverHandsOutAnSramBankPast255) {
  // 64 games of 256 kbit use banks 0 to 255; the 65th and later would wrap
  // an 8-bit counter back to bank 0, the first game's save.
  auto rom = GbpackCard();
  for (std::size_t g = 0; g < 70; ++g)
    PutHeader(rom, 2 + 2 * g, std::string("G").append(std::to_string(g)), 0, 3);
  SimRig rig(CartConfig(rom));
  rig.manager.AnalyseCart();
  ASSERT_EQ(rig.view.RowCount(), 70);
  EXPECT_EQ(rig.manager.GameTable()[63], Entry(2, 252));
  for (std::size_t g = 64; g < 70; ++g) {
    EXPECT_EQ(rig.manager.GameTable()[g], Entry(2, 255)) << g;
    EXPECT_EQ(rig.view.Cell(0, static_cast<int>(g)).substr(0, 2), "! ");
  }
}

TEST(GbpackCard, CartPulledOutMidScanListsNothing) {
  auto rom = GbpackCard();
  for (std::size_t bank = 2; bank < 40; bank += 2)
    PutHeader(rom, bank, "G", 0, 1);
  SimRig rig(CartConfig(rom));
  int reads = 0;
  rig.scanPump.during = [&] {
    if (++reads == 4)
      rig.sim.RemoveCartAfter(0);
  };
  rig.manager.AnalyseCart();
  // The walk ended early because the cart was gone: the games read before
  // are not the card's list, so none is offered for a transfer.
  EXPECT_EQ(rig.view.Log().back(),
            "The cart no longer answers as it did: was it moved or pulled out?");
  EXPECT_EQ(rig.view.RowCount(), 1);
  EXPECT_FALSE(rig.manager.SramGamesListed());
}

TEST(GbpackCard, CommandsArrivingDuringTheScanAreIgnored) {
  // Four 256 kbit games: the fourth, at SRAM bank 12, is one a transfer
  // would refuse out loud, were it let in while the scan lists it.
  auto rom = GbpackCard();
  for (std::size_t bank = 2; bank < 10; bank += 2)
    PutHeader(rom, bank, "G", 0, 3);
  SimRig rig(CartConfig(rom));
  rig.view.SelectRow(3);
  int dialogs = 0;
  const auto choose = [&] {
    ++dialogs;
    return std::optional<std::string>();
  };
  rig.scanPump.during = [&] {
    EXPECT_TRUE(rig.manager.Busy());
    rig.manager.AnalyseCart();
    rig.manager.SaveMarked(choose);
    rig.manager.LoadMarked(choose);
  };
  rig.manager.AnalyseCart();
  EXPECT_FALSE(rig.manager.Busy());
  EXPECT_EQ(dialogs, 0);
  EXPECT_EQ(rig.view.Log(), Log({"GBPACK - cart found."}));
  EXPECT_EQ(rig.view.RowCount(), 4);
}

}  // namespace
}  // namespace velwin::sramman::testing
