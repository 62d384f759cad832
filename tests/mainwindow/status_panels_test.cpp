#include "mainwindow/status_panels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

namespace velwin::mainwindow {
namespace {

struct ClassCase {
  std::int32_t stripped;
  Rgb colour;
  const char* label;
  std::string freeSpace;
};

// Names the case by its stripped total, which is all that picks the class.
std::string StrippedName(std::int32_t stripped) {
  const std::int64_t value = stripped;
  return "Stripped" + (value < 0 ? "Minus" + std::to_string(-value) : std::to_string(value));
}

void PrintTo(const ClassCase& c, std::ostream* os) {
  *os << "stripped " << c.stripped << " -> " << c.label;
}

class CardClassTest : public ::testing::TestWithParam<ClassCase> {};

// Both sides of every class boundary, and totals of zero or less.
INSTANTIATE_TEST_SUITE_P(Boundaries, CardClassTest,
                         ::testing::Values(ClassCase{0, kGreen, "4 Mbit card", "Space left"},
                                           ClassCase{-5, kGreen, "4 Mbit card", "Space left"},
                                           ClassCase{std::numeric_limits<std::int32_t>::min(),
                                                     kGreen, "4 Mbit card", "Space left"},
                                           ClassCase{1, kGreen, "4 Mbit card", "491519"},
                                           ClassCase{491520, kGreen, "4 Mbit card", "0"},
                                           ClassCase{491521, kYellow, "16 Mbit card", "1572863"},
                                           ClassCase{2064384, kYellow, "16 Mbit card", "0"},
                                           ClassCase{2064385, kBlue, "64 Mbit card", "6291455"},
                                           ClassCase{8355840, kBlue, "64 Mbit card", "0"},
                                           ClassCase{8355841, kRed, "no fit", "-1"},
                                           ClassCase{std::numeric_limits<std::int32_t>::max(), kRed,
                                                     "no fit", "-2139127807"}),
                         [](const ::testing::TestParamInfo<ClassCase>& testCase) {
                           return StrippedName(testCase.param.stripped);
                         });

TEST_P(CardClassTest, FreeSpacePanelNamesTheCardAndWhatIsLeft) {
  const ClassCase& c = GetParam();
  const auto texts = StatusPanelTexts(kFreeSpacePanel, 123, c.stripped);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], (PanelText{c.label, c.colour, 60}));
  EXPECT_EQ(texts[1], (PanelText{c.freeSpace, c.colour, 2}));
}

TEST_P(CardClassTest, StrippedPanelTakesTheCardColour) {
  const ClassCase& c = GetParam();
  const std::string shown = c.stripped > 0 ? std::to_string(c.stripped) : "Stripped size";
  EXPECT_EQ(StatusPanelTexts(kStrippedSizePanel, 0, c.stripped),
            (std::vector<PanelText>{{shown, c.colour, 2}}));
}

TEST(StatusPanelTextsTest, TotalSizePanelIsBlackWhateverTheCard) {
  EXPECT_EQ(StatusPanelTexts(kTotalSizePanel, 0, 9000000),
            (std::vector<PanelText>{{"Total size", kBlack, 2}}));
  EXPECT_EQ(StatusPanelTexts(kTotalSizePanel, -1, 0),
            (std::vector<PanelText>{{"Total size", kBlack, 2}}));
  EXPECT_EQ(StatusPanelTexts(kTotalSizePanel, 1, 9000000),
            (std::vector<PanelText>{{"1", kBlack, 2}}));
}

TEST(StatusPanelTextsTest, MessagePanelAndUnknownPanelsDrawNothing) {
  EXPECT_TRUE(StatusPanelTexts(kMessagePanel, 100, 100).empty());
  EXPECT_TRUE(StatusPanelTexts(4, 100, 100).empty());
  EXPECT_TRUE(StatusPanelTexts(-1, 100, 100).empty());
}

}  // namespace
}  // namespace velwin::mainwindow
