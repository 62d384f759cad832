#include <gtest/gtest.h>

#include <sstream>

#include "cli/commands.h"
#include "tests/support/temp_dir_test.h"

namespace velwin::cli {
namespace {

using testing::RomImage;
using namespace std::string_literals;

RomImage Tetris() {
  RomImage rom(65536);
  rom.WithLogo().Title("TETRIS").Set(0x14E, 0x0A).Set(0x14F, 0x3F).Fill(32768, 65536, 0xFF);
  return rom;
}

// Runs the commands in the test's directory, where lookup finds its
// databases.
class CliCommandsTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    Write("tetris.gb", Tetris());
  }
  void TearDown() override { std::filesystem::current_path(previous_); }
  int Run(int (*command)(const Arguments&, std::ostream&, std::ostream&), const Arguments& args) {
    out_.str("");
    err_.str("");
    return command(args, out_, err_);
  }

  std::filesystem::path previous_;
  std::ostringstream out_, err_;
};

TEST_F(CliCommandsTest, InfoPrintsOneBlockPerFileFromFreshLabels) {
  EXPECT_EQ(Run(RunInfoCommand, {"tetris.gb", "missing.gb"}), 1);
  EXPECT_EQ(out_.str(),
            "File Name:      tetris.gb\nFile Size:      65536\nStripped size:  32768\n"
            "GB ROM:         YES\nROM Name:       TETRIS\nColor:          NO\n"
            "Size:           256\nCRC:            0A3F\nStatus:         OK\n"
            "\n"
            "File Name:      missing.gb\nFile Size:      **********\n"
            "Stripped size:  **********\nGB ROM:         NO\nROM Name:       -\n"
            "Color:          -\nSize:           -\nCRC:            -\nStatus:         ERROR\n");
  EXPECT_EQ(Run(RunInfoCommand, {"tetris.gb"}), 0);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliCommandsTest, InfoJsonIsOneUtf8ObjectPerLine) {
  Write("cafe.gb", Tetris().Title("CAF\xC9\"\0"s).Set(0x143, 0xC0));
  Write("short.gb", std::string(10, 'x'));
  EXPECT_EQ(Run(RunInfoCommand, {"--json", "cafe.gb", "short.gb"}), 1);
  EXPECT_EQ(out_.str(),
            "{\"path\":\"cafe.gb\",\"fname\":\"cafe.gb\",\"fsize\":\"65536\",\"fssize\":\"32768\","
            "\"fileisgbrom\":\"YES\",\"romname\":\"CAF\xC3\x89\\\"\",\"romcolor\":\"YES\","
            "\"romsize\":\"256\",\"ROMCRC\":\"0A3F\",\"status\":\"OK\"}\n"
            "{\"path\":\"short.gb\",\"fname\":\"short.gb\",\"fsize\":\"10\",\"fssize\":"
            "\"**********\",\"fileisgbrom\":\"NO\",\"romname\":\"-\",\"romcolor\":\"-\","
            "\"romsize\":\"-\",\"ROMCRC\":\"-\",\"status\":\"ERROR\"}\n");
}

TEST_F(CliCommandsTest, UsageErrorsExitWithTwo) {
  for (const Arguments& args : {Arguments{}, Arguments{"--json"}, Arguments{"-v", "a.gb"}}) {
    EXPECT_EQ(Run(RunInfoCommand, args), 2);
    EXPECT_EQ(err_.str(), "usage: velwin-cli info [--json] FILE...\n");
    EXPECT_EQ(Run(RunLookupCommand, args), 2);
    EXPECT_EQ(err_.str(), "usage: velwin-cli lookup [--json] ROM...\n");
    EXPECT_EQ(out_.str(), "");
  }
  Write("-odd.gb", Tetris());  // after "--" a dash starts a file name
  EXPECT_EQ(Run(RunInfoCommand, {"--", "-odd.gb"}), 0);
  EXPECT_EQ(out_.str().substr(0, 23), "File Name:      -odd.gb");
}

TEST_F(CliCommandsTest, LookupShowsTheEntryAndTheLastStatusText) {
  Write("veltra.ini", "Tetris (World)\r\nCRC: 0X0A3F\r\n");
  Write("user.ini", "");
  EXPECT_EQ(Run(RunLookupCommand, {"tetris.gb", "nothing.gb"}), 1);
  EXPECT_EQ(out_.str(),
            "Path:           tetris.gb\nCRC:            0A3F\nDB Name:        VELTra.INI\n"
            "ROM Name:       Tetris (World)\nStatus:         Accessing tetris.gb ...  OK\n"
            "\n"
            "Path:           nothing.gb\nCRC:            -\nDB Name:        none\n"
            "ROM Name:       -\nStatus:         Accessing nothing.gb ...  ERROR\n");

  std::filesystem::remove(dir_ / "user.ini");
  EXPECT_EQ(Run(RunLookupCommand, {"--json", "tetris.gb"}), 0);
  EXPECT_EQ(out_.str(),
            "{\"path\":\"tetris.gb\",\"ROMCRC\":\"0A3F\",\"romdbase\":\"VELTra.INI\","
            "\"ROMDBName\":\"Tetris (World)\",\"status\":\"Error accessing user.ini\"}\n");
}

}  // namespace
}  // namespace velwin::cli
