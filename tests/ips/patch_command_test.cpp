#include <gtest/gtest.h>

#include <sstream>

#include "cli/patch_command.h"
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

TEST_F(PatchCommandTest, InvalidPatchPrintsTheResultAndFails) {
  const auto ips = (dir_ / "a.ips").string();
  testing::WriteBytes(ips, {'p', 'a', 't', 'c', 'h'});
  EXPECT_EQ(Run({ips, (dir_ / "none.gb").string()}), 1);
  EXPECT_EQ(out_.str(), std::string(ips::kInvalidIpsResult) + "\n");
  EXPECT_EQ(err_.str(), "velwin-cli: " + ips + ": Invalid IPS file\n");
}

TEST_F(PatchCommandTest, FileErrorNamesTheFileWithExitCodeOne) {
  const auto ips = Write("a.ips", testing::IpsBuilder().Data(0, {1}).Bytes("EOF"));
  const auto rom = Write("a.gb", testing::Bytes(4, 0));
  std::filesystem::create_directory(dir_ / "folder");
  const auto folder = (dir_ / "folder").string();
  const auto none = (dir_ / "none").string();
  struct Case {
    std::string ips, rom, line;
  };
  for (const Case& c : {
           Case{ips, none, "velwin-cli: " + none + ": File not found\n"},
           Case{none, rom, "velwin-cli: " + none + ": File not found\n"},
           Case{folder, rom, "velwin-cli: " + folder + ": File access denied (a directory)\n"},
           Case{ips, folder, "velwin-cli: " + folder + ": File access denied (a directory)\n"},
           Case{ips, "/dev/full",
                "velwin-cli: /dev/full: File access denied (a device, not a file)\n"},
       }) {
    EXPECT_EQ(Run({c.ips, c.rom}), 1) << c.line;
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), c.line);
  }
  EXPECT_EQ(testing::ReadBytes(rom), testing::Bytes(4, 0));
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
