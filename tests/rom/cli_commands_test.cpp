#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "cli/info_command.h"
#include "cli/lookup_command.h"
#include "rom/header_info.h"
#include "rom/rom_analysis.h"
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
            "\"romsize\":\"256\",\"ROMCRC\":\"0A3F\",\"headerchecksum\":\"BAD\","
            "\"status\":\"OK\"}\n"
            "{\"path\":\"short.gb\",\"fname\":\"short.gb\",\"fsize\":\"10\",\"fssize\":"
            "\"**********\",\"fileisgbrom\":\"NO\",\"romname\":\"-\",\"romcolor\":\"-\","
            "\"romsize\":\"-\",\"ROMCRC\":\"-\",\"headerchecksum\":\"-\",\"status\":\"ERROR\","
            "\"error\":\"File shorter than a Game Boy header (10 of 336 bytes)\"}\n");
  EXPECT_EQ(err_.str(),
            "velwin-cli: short.gb: File shorter than a Game Boy header (10 of 336 bytes)\n");
}

TEST_F(CliCommandsTest, InfoNamesEveryFailedFileAndWhy) {
  std::filesystem::create_directory(dir_ / "folder.gb");
  Write("short.gb", std::string(335, 'x'));
  struct Case {
    std::string path;
    std::string line;  // on stderr
  };
  const Case cases[] = {
      {"missing.gb", "velwin-cli: missing.gb: File not found\n"},
      {"folder.gb", "velwin-cli: folder.gb: File access denied (a directory)\n"},
      {"/dev/null", "velwin-cli: /dev/null: File access denied (a device, not a file)\n"},
      {"short.gb",
       "velwin-cli: short.gb: File shorter than a Game Boy header (335 of 336 bytes)\n"},
      {"tetris.gb/x",
       "velwin-cli: tetris.gb/x: File not found (a part of the path is not a "
       "directory)\n"},
      {"caf\xE9.gb", "velwin-cli: caf\u00E9.gb: File not found\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(RunInfoCommand, {"tetris.gb", c.path}), 1) << c.path;
    EXPECT_EQ(err_.str(), c.line);
    EXPECT_EQ(Run(RunLookupCommand, {c.path}), 1) << c.path;
    EXPECT_EQ(err_.str(), c.line);
  }
}

// Files read at once are still reported one by one in the order given, each
// with its own labels and its own failure.
TEST_F(CliCommandsTest, InfoReadingFilesAtOnceReportsThemAsOneAtATimeDoes) {
  std::filesystem::create_directory(dir_ / "folder.gb");
  Write("short.gb", std::string(335, 'x'));
  Arguments files{"--verify"};
  for (int i = 0; i < 12; ++i) {
    const std::string name = "rom" + std::to_string(i) + ".gb";
    // Sizes and filler differ, so that the later files finish first.
    RomImage rom(std::size_t(12 - i) * 65536);
    rom.WithLogo()
        .Title("GAME" + std::to_string(i))
        .Fill(32768 * std::size_t(i % 3 + 1), rom.Bytes().size(), 0xFF);
    Write(name, rom);
    files.push_back(name);
    if (i % 4 == 1)
      files.push_back(i == 1 ? "missing.gb" : i == 5 ? "folder.gb" : "short.gb");
  }
  for (const bool json : {false, true}) {
    Arguments args = files;
    if (json)
      args.insert(args.begin(), "--json");
    out_.str("");
    err_.str("");
    const int oneAtATime = RunInfoCommand(args, out_, err_, 1);
    const std::string out = out_.str(), err = err_.str();
    for (const unsigned readers : {2u, 4u}) {
      out_.str("");
      err_.str("");
      EXPECT_EQ(RunInfoCommand(args, out_, err_, readers), oneAtATime);
      EXPECT_EQ(out_.str(), out) << readers << " readers";
      EXPECT_EQ(err_.str(), err) << readers << " readers";
    }
    EXPECT_EQ(oneAtATime, 1);
    EXPECT_NE(out.find("GAME11"), std::string::npos);
    EXPECT_LT(err.find("missing.gb"), err.find("folder.gb"));
  }
}

// Both checksums right, as a ROM fresh from its maker has them.
RomImage Sealed(RomImage rom) {
  rom::RomHeaderBuffer header{};
  std::copy_n(rom.Bytes().begin(), header.size(), header.begin());
  rom.Set(0x14D, rom::ComputeHeaderChecksum(header));
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < rom.Bytes().size(); ++i) {
    if (i != 0x14E && i != 0x14F)
      sum = static_cast<std::uint16_t>(sum + rom.Bytes()[i]);
  }
  return rom.Checksum(sum);
}

TEST_F(CliCommandsTest, InfoShowsTheChecksumsAndVerifiesOnRequest) {
  Write("good.gb", Sealed(Tetris()));
  Write("global.gb", Sealed(Tetris()).Set(40000, 0x12));
  Write("header.gb", Sealed(Tetris()).Set(0x14C, 0x01));
  Write("plain.bin", std::string(400, 'x'));
  const auto checksums = [this] {
    std::string found;
    std::istringstream lines(out_.str());
    for (std::string line; std::getline(lines, line);) {
      const auto at = line.find("\"headerchecksum\"");
      const auto end = line.find(",\"status\"");
      found += line.substr(at, end - at) + "\n";
    }
    return found;
  };
  EXPECT_EQ(Run(RunInfoCommand, {"--json", "good.gb", "global.gb", "header.gb", "plain.bin"}), 0);
  EXPECT_EQ(checksums(),
            "\"headerchecksum\":\"OK\"\n\"headerchecksum\":\"OK\"\n"
            "\"headerchecksum\":\"BAD\"\n\"headerchecksum\":\"-\"\n");
  EXPECT_EQ(
      Run(RunInfoCommand, {"--verify", "--json", "good.gb", "global.gb", "header.gb", "plain.bin"}),
      0);
  EXPECT_EQ(checksums(),
            "\"headerchecksum\":\"OK\",\"globalchecksum\":\"OK\"\n"
            "\"headerchecksum\":\"OK\",\"globalchecksum\":\"BAD\"\n"
            "\"headerchecksum\":\"BAD\",\"globalchecksum\":\"BAD\"\n"
            "\"headerchecksum\":\"-\",\"globalchecksum\":\"-\"\n");
  EXPECT_EQ(err_.str(), "");

  char crc[5];
  std::snprintf(crc, sizeof crc, "%02X%02X", Sealed(Tetris()).Bytes()[0x14E],
                Sealed(Tetris()).Bytes()[0x14F]);
  EXPECT_EQ(Run(RunInfoCommand, {"--verify", "global.gb"}), 0);
  EXPECT_EQ(out_.str(),
            "File Name:      global.gb\nFile Size:      65536\nStripped size:  65536\n"
            "GB ROM:         YES\nROM Name:       TETRIS\nColor:          NO\n"
            "Size:           256\nCRC:            " +
                std::string(crc) +
                "\nHeader check:   OK\nGlobal check:   BAD\nStatus:         OK\n");
}

TEST_F(CliCommandsTest, NamesThatAreNotUtf8ShowEveryByte) {
  const std::string latin1 =
      "caf\xE9"
      "b.gb";
  Write(latin1, Tetris());
  EXPECT_EQ(Run(RunInfoCommand, {"--json", latin1}), 0);
  // The path as its bytes (\udcXX for a byte that is not UTF-8), the label
  // as the window shows it.
  EXPECT_TRUE(out_.str().starts_with("{\"path\":\"caf\\udce9b.gb\",\"fname\":\"caf\u00E9b.gb\","))
      << out_.str();
  EXPECT_EQ(Run(RunInfoCommand, {latin1}), 0);
  EXPECT_TRUE(out_.str().starts_with("File Name:      caf\u00E9b.gb\n")) << out_.str();
  EXPECT_EQ(Run(RunLookupCommand, {latin1}), 0);
  EXPECT_TRUE(out_.str().starts_with("Path:           caf\u00E9b.gb\n")) << out_.str();
}

TEST_F(CliCommandsTest, ControlCharactersInNamesAreShownEscaped) {
  const std::string name = "a\nb\x1b\x7f.gb";
  EXPECT_EQ(Run(RunInfoCommand, {name}), 1);
  EXPECT_EQ(err_.str(), "velwin-cli: a\\nb\\x1b\\x7f.gb: File not found\n");
  EXPECT_TRUE(out_.str().starts_with("File Name:      a\\nb\\x1b\\x7f.gb\n")) << out_.str();
  EXPECT_EQ(Run(RunLookupCommand, {name}), 1);
  EXPECT_TRUE(out_.str().starts_with("Path:           a\\nb\\x1b\\x7f.gb\n")) << out_.str();
}

TEST_F(CliCommandsTest, UsageErrorsExitWithTwo) {
  for (const Arguments& args : {Arguments{}, Arguments{"--json"}, Arguments{"-v", "a.gb"}}) {
    const std::string named = args.size() == 2 ? "velwin-cli: -v: Unknown option\n" : "";
    EXPECT_EQ(Run(RunInfoCommand, args), 2);
    EXPECT_EQ(err_.str(), named + "usage: velwin-cli info [--json] [--verify] FILE...\n");
    EXPECT_EQ(Run(RunLookupCommand, args), 2);
    EXPECT_EQ(err_.str(), named + "usage: velwin-cli lookup [--json] ROM...\n");
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
            "\"ROMDBName\":\"Tetris (World)\",\"status\":\"Accessing tetris.gb ...  OK\"}\n");
}

TEST_F(CliCommandsTest, LookupFailsOnADatabaseThatIsThereButUnreadable) {
  std::filesystem::create_directory(dir_ / "user.ini");
  EXPECT_EQ(Run(RunLookupCommand, {"tetris.gb", "tetris.gb"}), 1);
  // Once per command, and nothing for the veltra.ini that is not there.
  EXPECT_EQ(err_.str(), "velwin-cli: user.ini: File access denied (a directory)\n");

  std::filesystem::remove(dir_ / "user.ini");
  EXPECT_EQ(Run(RunLookupCommand, {"--json", "tetris.gb", "gone.gb"}), 1);
  EXPECT_EQ(err_.str(), "velwin-cli: gone.gb: File not found\n");
  EXPECT_NE(
      out_.str().find("\"status\":\"Accessing gone.gb ...  ERROR\",\"error\":\"File not found\"}"),
      std::string::npos)
      << out_.str();
  EXPECT_EQ(Run(RunLookupCommand, {"tetris.gb"}), 0);  // no database at all is no failure
}

}  // namespace
}  // namespace velwin::cli
