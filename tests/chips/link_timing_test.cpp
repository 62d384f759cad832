#include "chips/link_timing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace velwin::xchanger {
namespace {

// The text with every run of blanks and line ends as one blank, so that a
// sentence wrapped in a manual compares with the program's own.
std::string Flattened(const std::string& path) {
  std::ifstream in(path);
  std::stringstream words;
  words << in.rdbuf();
  std::string flat;
  for (const char c : words.str()) {
    const bool blank = c == ' ' || c == '\n';
    if (!blank)
      flat += c;
    else if (!flat.empty() && flat.back() != ' ')
      flat += ' ';
  }
  return flat;
}

TEST(ByteWindow, OneExplanationInTheProgramTheReadmeAndTheManPage) {
  EXPECT_EQ(ByteWindowText(*FlashChipForCard(4)),
            "The 4 Mbit card's chip closes a page load when no byte has come for 200 us. The "
            "longest gap of its page load, from the page command across a bank switch to the "
            "first byte, is the port traffic of 3.5 loaded bytes; with a margin of 1.5 it must "
            "take under 133.33 us, counted as 3.5 median bytes plus once what the slowest 0.1% "
            "of bytes take beyond the median. So a loaded byte must take under 38.1 us on a link "
            "without pauses.");
  const std::string readme = Flattened(VELWIN_SOURCE_DIR "/README.md");
  const std::string man = Flattened(VELWIN_SOURCE_DIR "/data/man/velwin-cli.1");
  for (const FlashChipSpec& chip : FlashChipTable()) {
    SCOPED_TRACE(chip.name);
    EXPECT_NE(readme.find(ByteWindowText(chip)), std::string::npos);
    EXPECT_NE(man.find(ByteWindowText(chip)), std::string::npos);
  }
}

// Pauses long enough to cut a load, four in 16384 timed bytes: a 4 Mbit page
// of 256 bytes meets one about once in 16 loads, a 16 Mbit page of 128 about
// once in 32. Pauses of 150 us cut only the 16 Mbit chip's loads, and from
// a tenth of the loads on a write is refused.
TEST(ByteWindow, ReloadsAreEstimatedFromThePausesLongEnoughToCut) {
  LinkTiming timing;
  timing.usPerByte = 4;
  timing.usPerByteHigh = 4;
  timing.bytesTimed = 16384;
  timing.slowestUs = {1004, 1004, 1004, 1004, 150, 150, 150, 150, 150, 150, 150, 150};
  EXPECT_EQ(ReloadText(*FlashChipForCard(4), timing, 2048),
            "About 124 of the 2048 page loads (6%) will be cut by a pause of this link and "
            "loaded again, each an extra program cycle of its page.");
  EXPECT_NEAR(CutLoadShare(*FlashChipForCard(16), timing), 0.0895, 0.001) << "150 us cuts too";
  EXPECT_EQ(CutLoadShare(*FlashChipForCard(64), timing), 0.0);
  timing.slowestUs.resize(4);
  EXPECT_NEAR(CutLoadShare(*FlashChipForCard(16), timing), 0.031, 0.001);
  timing.slowestUs.assign(6, 1004);
  EXPECT_LT(CutLoadShare(*FlashChipForCard(4), timing), kReloadRefuseShare);
  timing.slowestUs.assign(7, 1004);
  EXPECT_GE(CutLoadShare(*FlashChipForCard(4), timing), kReloadRefuseShare);
  timing.slowestUs.assign(4, 150);
  EXPECT_EQ(ReloadText(*FlashChipForCard(4), timing, 2048), "");
}

}  // namespace
}  // namespace velwin::xchanger
