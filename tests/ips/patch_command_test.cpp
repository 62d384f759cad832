#include <gtest/gtest.h>

#include <sstream>

#include "cli/commands.h"
#include "ips/ips_patch.h"
#include "tests/ips/ips_builder.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::cli {
namespace {

class PatchCommandTest : public testing::TempDirTest {
 protected:
  int Run(const Arguments& args) {
    out_.str("");
    err_.str("");
    return RunPatchCommand(args, out_, err_);
  }

  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(PatchCommandTest, PrintsTheResultLineAndPatchesInPlace) {
  const auto ips = (dir_ / "a.ips").string();
  const auto rom = (dir_ / "a.gb").string();
  testing::WriteBytes(rom, testing::Bytes(16, 0));
  testing::WriteBytes(ips, testing::IpsBuilder().Data(3, {7, 8}).Run(10, 2, 9).Bytes("EOF"));
  EXPECT_EQ(Run({ips, rom}), 0);
  EXPECT_EQ(out_.str(), "2 patches applied to \"a.gb\"\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(testing::ReadBytes(rom),
            (testing::Bytes{0, 0, 0, 7, 8, 0, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0}));
}

TEST_F(PatchCommandTest, InvalidPatchIsAResultNotAnError) {
  const auto ips = (dir_ / "a.ips").string();
  testing::WriteBytes(ips, {'p', 'a', 't', 'c', 'h'});
  EXPECT_EQ(Run({ips, (dir_ / "none.gb").string()}), 0);
  EXPECT_EQ(out_.str(), std::string(ips::kInvalidIpsResult) + "\n");
}

TEST_F(PatchCommandTest, FileErrorGoesToStandardErrorWithExitCodeOne) {
  const auto ips = (dir_ / "a.ips").string();
  testing::WriteBytes(ips, testing::IpsBuilder().Bytes());
  EXPECT_EQ(Run({ips, (dir_ / "none.gb").string()}), 1);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str(), "File not found\n");
}

TEST_F(PatchCommandTest, WrongArgumentCountShowsUsage) {
  for (const Arguments& args : {Arguments{}, Arguments{"x.ips"}, Arguments{"a", "b", "c"}}) {
    EXPECT_EQ(Run(args), 2);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), "usage: velwin-cli patch IPS ROM\n");
  }
}

}  // namespace
}  // namespace velwin::cli
