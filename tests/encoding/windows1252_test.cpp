#include "encoding/windows1252.h"

#include <gtest/gtest.h>

#include <string>

namespace velwin::encoding {
namespace {

TEST(Windows1252, AsciiPassesThrough) {
  EXPECT_EQ(Windows1252ToUtf8("TETRIS DX"), "TETRIS DX");
  EXPECT_EQ(Utf8ToWindows1252("TETRIS DX"), "TETRIS DX");
}

TEST(Windows1252, HighBytesDecode) {
  EXPECT_EQ(Windows1252ToUtf8("\x80"), "\u20AC");
  EXPECT_EQ(Windows1252ToUtf8("\x95"), "\u2022");  // the SRAM manager's bullet
  EXPECT_EQ(Windows1252ToUtf8("\xE9"), "\u00E9");
  EXPECT_EQ(Windows1252ToUtf8("\xFF"), "\u00FF");
  EXPECT_EQ(Windows1252ToUtf8(std::string(1, '\0')), std::string(1, '\0'));
}

TEST(Windows1252, UndefinedBytesBecomeC1Controls) {
  EXPECT_EQ(Windows1252ToUtf8("\x81"), "\u0081");
  EXPECT_EQ(Windows1252ToUtf8("\x9D"), "\u009D");
}

TEST(Windows1252, EveryByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(one)), one) << "byte " << b;
  }
}

TEST(Windows1252, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToWindows1252("\u4E2D"), "?");
  EXPECT_EQ(Utf8ToWindows1252("\U0001F3AE!"), "?!");
}

// File names that are not well-formed UTF-8: each byte that does not decode
// stands for its Windows-1252 character and swallows nothing after it.
struct StrayCase {
  const char* name;
  std::string bytes;
  std::string eightBit;  // Utf8ToWindows1252
  std::string utf8;      // NameToUtf8
};

TEST(Windows1252, BytesThatDoNotDecodeStandForThemselves) {
  const StrayCase cases[] = {
      {"latin-1 name",
       "caf\xE9"
       "b",
       "caf\xE9"
       "b",
       "caf\u00E9b"},
      {"cut at the end", "a\xC3", "a\xC3", "a\u00C3"},
      {"bad continuation", "\xC3(b", "\xC3(b", "\u00C3(b"},
      {"over-long slash", "x\xC0\xAF.gb", "x\xC0\xAF.gb", "x\u00C0\u00AF.gb"},
      {"over-long three bytes", "\xE0\x80\xAF", "\xE0\x80\xAF", "\u00E0\u20AC\u00AF"},
      {"surrogate", "\xED\xA0\x80", "\xED\xA0\x80", "\u00ED\u00A0\u20AC"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "\xF4?\x80\x80", "\u00F4?\u20AC\u20AC"},
      {"stray continuation", "\x80x", "\x80x", "\u20ACx"},
      {"no such character", "\x81\x8D\x8F\x90\x9D", "?????", "?????"},
      {"lead byte F8", "\xF8z", "\xF8z", "\u00F8z"},
      {"valid beside invalid", "\xC3\xA9\xE9", "\xE9\xE9", "\u00E9\u00E9"},
  };
  for (const StrayCase& c : cases) {
    EXPECT_EQ(Utf8ToWindows1252(c.bytes), c.eightBit) << c.name;
    EXPECT_EQ(NameToUtf8(c.bytes), c.utf8) << c.name;
  }
}

TEST(Windows1252, NameToUtf8KeepsCharactersOutsideTheCodePage) {
  EXPECT_EQ(NameToUtf8("\u4E2D\U0001F3AE.gb"), "\u4E2D\U0001F3AE.gb");
}

}  // namespace
}  // namespace velwin::encoding
