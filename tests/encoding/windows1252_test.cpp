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

TEST(Windows1252, UnmappableAndBrokenUtf8BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToWindows1252("\u4E2D"), "?");
  EXPECT_EQ(Utf8ToWindows1252("a\xC3"), "a?");    // cut short
  EXPECT_EQ(Utf8ToWindows1252("\xC3(b"), "?(b");  // bad continuation
  EXPECT_EQ(Utf8ToWindows1252("\xFF"), "?");
}

}  // namespace
}  // namespace velwin::encoding
