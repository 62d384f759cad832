#include "cli/help_text.h"

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace velwin::cli {
namespace {

constexpr const char* kCommands[] = {"info", "lookup", "patch", "flash", "sram", "card", "link"};

TEST(HelpTextTest, EveryCommandHasUsageOptionsAndExitCodes) {
  const std::string main(MainHelp());
  for (const std::string command : kCommands) {
    SCOPED_TRACE(command);
    const std::string help(CommandHelp(command));
    EXPECT_EQ(help.rfind("usage: velwin-cli " + command + ' ', 0), 0u);
    EXPECT_NE(help.find("-h, --help"), std::string::npos);
    EXPECT_NE(help.find("exit status:\n  0 "), std::string::npos);
    EXPECT_NE(help.find("\n  2  usage error"), std::string::npos);
    EXPECT_NE(main.find("  " + command + ' '), std::string::npos);
  }
  EXPECT_TRUE(CommandHelp("help").empty());
  EXPECT_TRUE(CommandHelp("").empty());
  EXPECT_TRUE(CommandHelp("--help").empty());
}

TEST(HelpTextTest, HelpOptionCountsOnlyBeforeDoubleDash) {
  const struct {
    Arguments args;
    bool help;
  } cases[] = {
      {{}, false},
      {{"--help"}, true},
      {{"rom.gb", "-h"}, true},
      {{"save", "--row", "1", "--help"}, true},
      {{"--", "--help"}, false},
      {{"--helpful", "-hx"}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AsksForHelp(c.args), c.help) << ::testing::PrintToString(c.args);
  }
}

// The man page and the help texts describe the same command line: every
// option and sim: key the help names is in the man page.
TEST(HelpTextTest, ManPageNamesEveryOptionOfTheHelp) {
  std::ifstream file(VELWIN_CLI_MAN_PAGE);
  ASSERT_TRUE(file) << VELWIN_CLI_MAN_PAGE;
  std::stringstream text;
  text << file.rdbuf();
  // roff writes a dash as "\-".
  const std::string man = std::regex_replace(text.str(), std::regex(R"(\\-)"), "-");

  std::string help(MainHelp());
  for (const char* command : kCommands)
    help += CommandHelp(command);
  const std::regex word(R"((--[a-z-]+|\b[a-z][a-z0-9]*=)|\bsave-all\b)");
  std::set<std::string> names;
  for (auto it = std::sregex_iterator(help.begin(), help.end(), word); it != std::sregex_iterator();
       ++it) {
    names.insert(it->str());
  }
  EXPECT_EQ(names.size(), 33u);  // 13 options, save-all, 19 sim: keys
  for (const std::string& name : names) {
    EXPECT_NE(man.find(name), std::string::npos) << name << " is missing from the man page";
  }
}

}  // namespace
}  // namespace velwin::cli
