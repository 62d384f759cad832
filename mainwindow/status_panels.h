#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velwin::mainwindow {

// What the three owner-drawn panels of the status bar show, worked out from
// the two totals alone, so that the drawing itself keeps no state.

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kGreen{0, 128, 0};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kRed{255, 0, 0};

// Usable space of each card: its capacity less the 32 KB the card keeps
// back for itself.
inline constexpr std::int32_t kUsable4Mbit = 524288 - 32768;
inline constexpr std::int32_t kUsable16Mbit = 2097152 - 32768;
inline constexpr std::int32_t kUsable64Mbit = 8388608 - 32768;

// The smallest card that holds a stripped total, with its colour and the
// usable size the free space is counted from ("no fit" counts from the
// largest card, so its free space is negative).
struct CardClass {
  Rgb colour;
  const char* label;
  std::int32_t usableSize;
};

CardClass ClassifyStrippedTotal(std::int32_t totalStrippedSize);

// The panel indices of the bar.
inline constexpr int kMessagePanel = 0;
inline constexpr int kTotalSizePanel = 1;
inline constexpr int kStrippedSizePanel = 2;
inline constexpr int kFreeSpacePanel = 3;

// Every text sits 2 pixels below the panel's top edge.
inline constexpr int kPanelTextTop = 2;

// One text to draw in a panel: xOffset from the panel's left edge.
struct PanelText {
  std::string text;
  Rgb colour;
  int xOffset = 0;
  bool operator==(const PanelText&) const = default;
};

// The texts of one panel, in drawing order; empty for the message panel and
// for indices the bar does not have.
std::vector<PanelText> StatusPanelTexts(int panel, std::int32_t totalFileSize,
                                        std::int32_t totalStrippedSize);

}  // namespace velwin::mainwindow
