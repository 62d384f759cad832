#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sram/demo_card.h"
#include "tests/sram/sim_rig.h"

namespace velwin::sramman::testing {
namespace {

TEST(DemoCard, IsAVeltraCardWithItsSramGamesListed) {
  DemoCard card = BuildDemoCard();
  auto config = CartConfig(card.rom, xchanger::sim::FlashChip::k16Mbit);
  config.sram = card.sram;
  SimRig rig(config);
  rig.manager.AnalyseCart();
  EXPECT_EQ(rig.view.Log(), std::vector<std::string>({"VELTRA - cart found."}));
  EXPECT_EQ(rig.cart.CardSizeMbit(), kDemoCardMbit);

  std::size_t listed = 0;
  std::set<int> firstBanks;
  for (const DemoGame& game : DemoGames()) {
    ASSERT_LE(game.name.size(), 18u);
    if (!game.usesSram)
      continue;
    EXPECT_EQ(rig.view.Cell(0, static_cast<int>(listed)).substr(0, game.name.size()), game.name);
    const auto entry = rig.manager.GameTable()[listed];
    firstBanks.insert(entry.FirstBank);
    ++listed;
  }
  EXPECT_EQ(rig.view.RowCount(), static_cast<int>(listed));
  EXPECT_EQ(firstBanks.size(), listed);  // every game has its own banks
}

TEST(DemoCard, SavesNoTwoGamesShareABank) {
  std::vector<int> owner(16, -1);
  for (std::size_t g = 0; g < DemoGames().size(); ++g) {
    const DemoGame& game = DemoGames()[g];
    if (!game.usesSram)
      continue;
    const int first = game.sramByte & 0x0F;
    const int count = (game.sramByte >> 4) == 3 ? 4 : 1;
    for (int b = first; b < first + count; ++b) {
      ASSERT_LT(b, 16);
      EXPECT_EQ(owner[static_cast<std::size_t>(b)], -1) << "bank " << b;
      owner[static_cast<std::size_t>(b)] = static_cast<int>(g);
    }
  }
  const DemoCard card = BuildDemoCard();
  ASSERT_EQ(card.sram.size(), 16u * 8192u);
  const std::string bank13(card.sram.begin() + 13 * 8192, card.sram.begin() + 13 * 8192 + 64);
  EXPECT_EQ(bank13.rfind("velwin demo save: Glass Harbour, bank 3 of 4\n", 0), 0u);
  const std::string bank15(card.sram.begin() + 15 * 8192, card.sram.begin() + 15 * 8192 + 64);
  EXPECT_EQ(bank15.rfind("velwin demo SRAM: free bank 15\n", 0), 0u);
}

}  // namespace
}  // namespace velwin::sramman::testing
