#include "sramman/sram_backup.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <string>

#include "tests/sramman/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

TEST(SramBackup, FolderFollowsTheXdgRules) {
  std::map<std::string, const char*> env;
  const auto getEnv = [&env](const char* name) {
    const auto found = env.find(name);
    return found == env.end() ? nullptr : found->second;
  };
  EXPECT_EQ(SramBackupFolder(getEnv), "");
  env["HOME"] = "/home/ann";
  EXPECT_EQ(SramBackupFolder(getEnv), "/home/ann/.local/share/velwin/sram-backups");
  env["XDG_DATA_HOME"] = "relative/data";  // not absolute: ignored
  EXPECT_EQ(SramBackupFolder(getEnv), "/home/ann/.local/share/velwin/sram-backups");
  env["XDG_DATA_HOME"] = "/data";
  EXPECT_EQ(SramBackupFolder(getEnv), "/data/velwin/sram-backups");
}

// A title is the cart's bytes: it must not climb out of the folder, hide
// the file or carry control characters into its name.
TEST(SramBackup, TitleBecomesOneHarmlessNameAndNoBackupReplacesAnother) {
  const std::time_t now = 1700000000;
  const std::string name = SramBackupName("../A/B\\C\x01 ", now);
  EXPECT_TRUE(name.starts_with("_._A_B_C_ ")) << name;
  EXPECT_TRUE(name.ends_with(".sav")) << name;
  EXPECT_TRUE(SramBackupName("   ", now).starts_with("game ")) << SramBackupName("   ", now);

  TempDir dir;
  const std::string folder = dir.File("new/sram-backups");
  const auto first = Pattern(8192, 1);
  const auto second = Pattern(8192, 2);
  const std::string a = WriteSramBackup(folder, "POCKET", now, first);
  const std::string b = WriteSramBackup(folder, "POCKET", now, second);
  EXPECT_EQ(a, folder + "/" + SramBackupName("POCKET", now));
  EXPECT_NE(a, b);
  EXPECT_EQ(ReadBytes(a), first);
  EXPECT_EQ(ReadBytes(b), second);
}

}  // namespace
}  // namespace velwin::sramman::testing
