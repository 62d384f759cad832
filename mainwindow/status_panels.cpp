#include "mainwindow/status_panels.h"

namespace velwin::mainwindow {

CardClass ClassifyStrippedTotal(std::int32_t totalStrippedSize) {
  // Signed comparisons from the largest card down: a total of zero or less
  // (an empty list, or a sum that wrapped) falls through to the smallest.
  if (totalStrippedSize > kUsable64Mbit) {
    return {kRed, "no fit", kUsable64Mbit};
  }
  if (totalStrippedSize > kUsable16Mbit) {
    return {kBlue, "64 Mbit card", kUsable64Mbit};
  }
  if (totalStrippedSize > kUsable4Mbit) {
    return {kYellow, "16 Mbit card", kUsable16Mbit};
  }
  return {kGreen, "4 Mbit card", kUsable4Mbit};
}

std::vector<PanelText> StatusPanelTexts(int panel, std::int32_t totalFileSize,
                                        std::int32_t totalStrippedSize) {
  const CardClass card = ClassifyStrippedTotal(totalStrippedSize);
  switch (panel) {
    case kFreeSpacePanel: {
      // Counted in 64 bits: a negative total far below zero must not wrap.
      const std::int64_t freeSpace =
          std::int64_t{card.usableSize} - std::int64_t{totalStrippedSize};
      return {{card.label, card.colour, 60},
              {totalStrippedSize > 0 ? std::to_string(freeSpace) : "Space left", card.colour, 2}};
    }
    case kStrippedSizePanel:
      return {{totalStrippedSize > 0 ? std::to_string(totalStrippedSize) : "Stripped size",
               card.colour, 2}};
    case kTotalSizePanel:
      return {{totalFileSize > 0 ? std::to_string(totalFileSize) : "Total size", kBlack, 2}};
    default:
      return {};
  }
}

}  // namespace velwin::mainwindow
