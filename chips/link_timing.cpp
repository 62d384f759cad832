#include "chips/link_timing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace velwin::xchanger {

namespace {

// Port accesses of one loaded byte: two register writes with the control
// held, 2 accesses each over EPP, 6 over SPP.
constexpr std::uint8_t kEppAccessesPerByte = 4;
constexpr std::uint8_t kSppAccessesPerByte = 12;

double Percentile(const std::vector<std::uint64_t>& sorted, double fraction) {
  const auto rank =
      static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
  return static_cast<double>(sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1]) / 1000.0;
}

}  // namespace

LinkTiming TimeLink(XChangerLink& link, ChipClock& clock, std::size_t bytes) {
  std::vector<std::uint64_t> ns(std::max<std::size_t>(bytes, 1));
  link.SetControl(0x01);
  std::uint64_t before = clock.NowNanoseconds();
  for (std::size_t i = 0; i < ns.size(); ++i) {
    const auto value = static_cast<std::uint8_t>(i);
    link.WriteRegisterHeld(AddrLowReg, value);
    link.WriteRegisterHeld(AddrLowReg, value);
    const std::uint64_t after = clock.NowNanoseconds();
    ns[i] = after - before;
    before = after;
  }
  std::sort(ns.begin(), ns.end());
  LinkTiming timing;
  timing.accessesPerByte =
      link.LinkMode() == kLinkModeSpp ? kSppAccessesPerByte : kEppAccessesPerByte;
  timing.usPerByte = Percentile(ns, 0.5);
  timing.usPerByteHigh = Percentile(ns, 0.999);
  timing.usPerByteWorst = static_cast<double>(ns.back()) / 1000.0;
  timing.usPerAccess = timing.usPerByte / timing.accessesPerByte;
  return timing;
}

double LongestLoadGapUs(const FlashChipSpec& chip, const LinkTiming& timing) {
  return chip.byteLoadWindowUs == 0 ? 0.0 : chip.loadGapBytes * timing.usPerByteHigh;
}

bool PageLoadFitsLink(const FlashChipSpec& chip, const LinkTiming& timing) {
  return chip.byteLoadWindowUs == 0 ||
         LongestLoadGapUs(chip, timing) * kLinkMargin < chip.byteLoadWindowUs;
}

double MaxUsPerByte(const FlashChipSpec& chip) {
  return chip.byteLoadWindowUs / (chip.loadGapBytes * kLinkMargin);
}

std::string MicrosecondsText(double us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", us);
  std::string shown = text;
  while (shown.back() == '0')
    shown.pop_back();
  if (shown.back() == '.')
    shown.pop_back();
  return shown;
}

std::string LinkTooSlowText(const FlashChipSpec& chip, const LinkTiming& timing) {
  return "Link too slow for this card: a loaded byte takes " +
         MicrosecondsText(timing.usPerByteHigh) + " us here (" +
         MicrosecondsText(timing.usPerByte) + " us median), and the " +
         std::to_string(chip.cardMbit) + " Mbit card's chip closes a page load " +
         std::to_string(chip.byteLoadWindowUs) + " us after a byte, so a byte must take under " +
         MicrosecondsText(MaxUsPerByte(chip)) +
         " us. Nothing was erased. Try --port direct, or a machine at rest.";
}

}  // namespace velwin::xchanger
