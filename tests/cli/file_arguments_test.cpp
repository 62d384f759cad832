#include "cli/file_arguments.h"

#include <gtest/gtest.h>

namespace velwin::cli {
namespace {

TEST(FileArguments, TakesFilesInOrderAndJsonWhereOffered) {
  FileArguments parsed;
  ASSERT_TRUE(ParseFileArguments({"a.gb", "--json", "b.gb"}, true, parsed));
  EXPECT_TRUE(parsed.json);
  EXPECT_EQ(parsed.files, (std::vector<std::string>{"a.gb", "b.gb"}));
}

TEST(FileArguments, RefusesUnknownOptionsAndJsonWhereNotOffered) {
  FileArguments parsed;
  EXPECT_FALSE(ParseFileArguments({"--jsn", "a.gb"}, true, parsed));
  FileArguments flash;
  EXPECT_FALSE(ParseFileArguments({"--json", "a.gb"}, false, flash));
}

TEST(FileArguments, VerifyOnlyWhereOffered) {
  FileArguments info;
  ASSERT_TRUE(ParseFileArguments({"--verify", "a.gb"}, true, info, true));
  EXPECT_TRUE(info.verify);
  FileArguments lookup;
  EXPECT_FALSE(ParseFileArguments({"--verify", "a.gb"}, true, lookup));
}

TEST(FileArguments, NeedsAtLeastOneFile) {
  FileArguments parsed;
  EXPECT_FALSE(ParseFileArguments({}, true, parsed));
  FileArguments onlyJson;
  EXPECT_FALSE(ParseFileArguments({"--json"}, true, onlyJson));
}

TEST(FileArguments, DoubleDashLetsNamesBeginWithADash) {
  FileArguments parsed;
  ASSERT_TRUE(ParseFileArguments({"--", "--json", "-"}, true, parsed));
  EXPECT_FALSE(parsed.json);
  EXPECT_EQ(parsed.files, (std::vector<std::string>{"--json", "-"}));
  FileArguments dash;
  ASSERT_TRUE(ParseFileArguments({"-"}, true, dash));  // a lone dash is a name
  EXPECT_EQ(dash.files.size(), 1u);
}

}  // namespace
}  // namespace velwin::cli
