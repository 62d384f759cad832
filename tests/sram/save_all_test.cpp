#include "sram/save_all.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/sram/sim_rig.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

TEST(SaveFileName, RowAndTitleWithUnsafeCharactersReplaced) {
  struct Case {
    int row;
    std::string title;
    std::string name;
  };
  const std::vector<Case> cases = {
      {0, "Lantern Keep      ", "00 Lantern Keep.sav"},
      {7, "  MARIO & LUIGI", "07 MARIO & LUIGI.sav"},
      {12, "a/b\\c:d*e?f\"g<h>i|j", "12 a_b_c_d_e_f_g_h_i_j.sav"},
      {3, std::string("x\0y\x1Fz\x7F", 6), "03 x_y_z_.sav"},
      {5, "CAF\xC3\x89 ..", "05 CAF\xC3\x89 ...sav"},
      {9, "                  ", "09.sav"},
      {123, "LAST", "123 LAST.sav"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SaveFileName(c.row, c.title), c.name) << c.row;
}

// Eight SRAM games on a 16 Mbit card: two of 256 kbit, six of 64 kbit.
std::vector<std::uint8_t> EightGameCard() {
  std::vector<MenuEntry> entries;
  const std::uint8_t sramBytes[] = {0x30, 0x34, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D};
  for (int k = 0; k < 8; ++k)
    entries.push_back({"GAME " + std::to_string(k), 0x80, sramBytes[k]});
  return MenuCard(entries);
}

std::uint64_t Accesses(const SimRig& rig) {
  return rig.sim.Counters().reads + rig.sim.Counters().writes;
}

TEST(SaveEveryGame, NoMorePortAccessesThanSavingEachGameAlone) {
  TempDir dir;
  auto config = CartConfig(EightGameCard(), xchanger::sim::FlashChip::k16Mbit);
  config.sram = Pattern(16 * 8192, 0x21);

  std::uint64_t alone = 0;
  for (int row = 0; row < 8; ++row) {
    SimRig rig(config);
    rig.manager.AnalyseCart();
    rig.view.SelectRow(row);
    const auto path = dir.File("alone" + std::to_string(row));
    ASSERT_TRUE(rig.manager.SaveMarked([&] { return std::optional<std::string>(path); }).succeeded);
    alone += Accesses(rig);
  }

  SimRig rig(config);
  rig.manager.AnalyseCart();
  const auto saves = SaveEveryGame(rig.manager, rig.view, dir.Path().string());
  ASSERT_EQ(saves.size(), 8u);
  for (int row = 0; row < 8; ++row) {
    EXPECT_EQ(saves[row].outcome, GameSave::Outcome::kSaved) << saves[row].reason;
    EXPECT_EQ(saves[row].fileName, std::string("0").append(std::to_string(row)) + " GAME " +
                                       std::to_string(row) + ".sav");
    EXPECT_EQ(ReadBytes(dir.File(saves[row].fileName)),
              ReadBytes(dir.File("alone" + std::to_string(row))));
  }
  EXPECT_LE(Accesses(rig), alone);
  RecordProperty("save_all_port_accesses", std::to_string(Accesses(rig)));
  RecordProperty("each_alone_port_accesses", std::to_string(alone));
}

}  // namespace
}  // namespace velwin::sramman::testing
