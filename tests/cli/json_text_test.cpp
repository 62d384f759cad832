#include "cli/json_text.h"

#include <gtest/gtest.h>

#include <string>

namespace velwin::cli {
namespace {

TEST(JsonString, EscapesQuotesBackslashesAndControls) {
  EXPECT_EQ(JsonString("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(JsonString("\r\n\t"), R"("\r\n\t")");
  EXPECT_EQ(JsonString(std::string("\x01\x1f\x7f", 3)), R"("\u0001\u001f\u007f")");
  EXPECT_EQ(JsonString(std::string(1, '\0')), R"("\u0000")");
}

TEST(JsonString, KeepsWellFormedUtf8) {
  EXPECT_EQ(JsonString("caf\u00e9 \u4e2d \U0001F3AE"), "\"caf\u00e9 \u4e2d \U0001F3AE\"");
}

TEST(JsonString, EscapesEachByteThatIsNotUtf8SoTheNameCanBeRecovered) {
  EXPECT_EQ(JsonString("a\xE9z"), R"("a\udce9z")");                // a Latin-1 file name
  EXPECT_EQ(JsonString("\xC3"), R"("\udcc3")");                    // cut short
  EXPECT_EQ(JsonString("x\xC0\xAF.gb"), R"("x\udcc0\udcaf.gb")");  // over-long '/'
  EXPECT_EQ(JsonString("\x81\"\x80\xC3\xA9"), "\"\\udc81\\\"\\udc80\u00e9\"");  // escapes go on
}

TEST(JsonString1252, DecodesTheCodePage) {
  EXPECT_EQ(JsonString1252("\x95 Pok\xE9mon"), "\"\u2022 Pok\u00e9mon\"");
}

}  // namespace
}  // namespace velwin::cli
