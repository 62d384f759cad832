#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "cli/commands.h"
#include "tests/rom/rom_files.h"

namespace velwin::cli {
namespace {

using rom::testing::RomImage;

RomImage Tetris() {
  RomImage rom(65536);
  rom.WithLogo().Title("TETRIS").Set(0x14E, 0x0A).Set(0x14F, 0x3F).Fill(32768, 65536, 0xFF);
  return rom;
}

// Runs the commands in the test's directory, where lookup finds its
// databases.
class CliCommandsTest : public rom::testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    TempDirTest::TearDown();
  }

  int Run(int (*command)(const Arguments&, std::ostream&, std::ostream&), const Arguments& args) {
    out_.str("");
    err_.str("");
    return command(args, out_, err_);
  }

  std::filesystem::path previous_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(CliCommandsTest, InfoPrintsOneBlockPerFile) {
  Write("tetris.gb", Tetris());
  EXPECT_EQ(Run(RunInfoCommand, {"tetris.gb", "missing.gb"}), 1);
  EXPECT_EQ(out_.str(),
            "File Name:      tetris.gb\n"
            "File Size:      65536\n"
            "Stripped size:  32768\n"
            "GB ROM:         YES\n"
            "ROM Name:       TETRIS\n"
            "Color:          NO\n"
            "Size:           256\n"
            "CRC:            0A3F\n"
            "Status:         OK\n"
            "\n"
            // Fresh labels: nothing of tetris.gb shows through.
            "File Name:      missing.gb\n"
            "File Size:      **********\n"
            "Stripped size:  **********\n"
            "GB ROM:         NO\n"
            "ROM Name:       -\n"
            "Color:          -\n"
            "Size:           -\n"
            "CRC:            -\n"
            "Status:         ERROR\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(Run(RunInfoCommand, {"tetris.gb"}), 0);
}

TEST_F(CliCommandsTest, InfoJsonIsOneObjectPerLineInUtf8) {
  RomImage rom = Tetris();
  rom.Title(std::string("CAF\xC9\"\0", 6)).Set(0x143, 0xC0);
  Write("cafe.gb", rom);
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
  for (auto command : {RunInfoCommand, RunLookupCommand}) {
    EXPECT_EQ(Run(command, {}), 2);
    EXPECT_EQ(Run(command, {"--json"}), 2);
    EXPECT_EQ(Run(command, {"--verbose", "a.gb"}), 2);
    EXPECT_EQ(out_.str(), "");
  }
  EXPECT_EQ(err_.str(), "usage: velwin-cli lookup [--json] ROM...\n");
  Run(RunInfoCommand, {"-x"});
  EXPECT_EQ(err_.str(), "usage: velwin-cli info [--json] FILE...\n");
  // After "--" a dash starts a file name.
  Write("-odd.gb", Tetris());
  EXPECT_EQ(Run(RunInfoCommand, {"--", "-odd.gb"}), 0);
  EXPECT_NE(out_.str().find("File Name:      -odd.gb\n"), std::string::npos);
}

TEST_F(CliCommandsTest, LookupShowsTheDatabaseEntryAndTheLastStatus) {
  Write("tetris.gb", Tetris());
  Write("veltra.ini", "Tetris (World)\r\nCRC: 0X0A3F\r\n");
  Write("user.ini", "");
  EXPECT_EQ(Run(RunLookupCommand, {"tetris.gb", "nothing.gb"}), 1);
  EXPECT_EQ(out_.str(),
            "Path:           tetris.gb\n"
            "CRC:            0A3F\n"
            "DB Name:        VELTra.INI\n"
            "ROM Name:       Tetris (World)\n"
            "Status:         Accessing tetris.gb ...  OK\n"
            "\n"
            "Path:           nothing.gb\n"
            "CRC:            -\n"
            "DB Name:        none\n"
            "ROM Name:       -\n"
            "Status:         Accessing nothing.gb ...  ERROR\n");

  std::filesystem::remove(dir_ / "user.ini");
  EXPECT_EQ(Run(RunLookupCommand, {"--json", "tetris.gb"}), 0);
  EXPECT_EQ(out_.str(),
            "{\"path\":\"tetris.gb\",\"ROMCRC\":\"0A3F\",\"romdbase\":\"VELTra.INI\","
            "\"ROMDBName\":\"Tetris (World)\",\"status\":\"Error accessing user.ini\"}\n");
}

}  // namespace
}  // namespace velwin::cli
