#include "sram/sram_backup.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace velwin::sramman::testing {
namespace {

// A title is the cart's bytes: it must not climb out of the folder, hide
// the file or carry control characters into its name.
TEST(SramBackup, TitleBecomesOneHarmlessName) {
  const std::time_t now = 1700000000;
  const std::string name = SramBackupName("../A/B\\C\x01 ", now);
  EXPECT_TRUE(name.starts_with("_._A_B_C_ ")) << name;
  EXPECT_TRUE(name.ends_with(".sav")) << name;
  EXPECT_TRUE(SramBackupName("   ", now).starts_with("game ")) << SramBackupName("   ", now);
}

}  // namespace
}  // namespace velwin::sramman::testing
