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
  timing.bytesTimed = ns.size();
  const std::size_t slowest = std::max<std::size_t>(ns.size() / 100, 1);
  for (std::size_t i = 0; i < slowest; ++i)
    timing.slowestUs.push_back(static_cast<double>(ns[ns.size() - 1 - i]) / 1000.0);
  return timing;
}

double LongestLoadGapUs(const FlashChipSpec& chip, const LinkTiming& timing) {
  if (chip.byteLoadWindowUs == 0)
    return 0.0;
  const double pause = std::max(0.0, timing.usPerByteHigh - timing.usPerByte);
  return chip.loadGapBytes * timing.usPerByte + pause;
}

bool PageLoadFitsLink(const FlashChipSpec& chip, const LinkTiming& timing) {
  return chip.byteLoadWindowUs == 0 ||
         LongestLoadGapUs(chip, timing) * kLinkMargin < chip.byteLoadWindowUs;
}

double MaxUsPerByte(const FlashChipSpec& chip) {
  return chip.byteLoadWindowUs / (chip.loadGapBytes * kLinkMargin);
}

double CutLoadShare(const FlashChipSpec& chip, const LinkTiming& timing) {
  if (chip.byteLoadWindowUs == 0 || timing.bytesTimed == 0)
    return 0.0;
  // A timed byte that held a pause took its own time plus the pause; the
  // same pause in the load's longest gap cuts the load once the gap's other
  // bytes and it reach the window.
  const double cutsAt = chip.byteLoadWindowUs - (chip.loadGapBytes - 1.0) * timing.usPerByte;
  const auto paused =
      static_cast<double>(std::count_if(timing.slowestUs.begin(), timing.slowestUs.end(),
                                        [cutsAt](double us) { return us >= cutsAt; }));
  const double perByte = paused / static_cast<double>(timing.bytesTimed);
  // Each byte of a page load is a gap a pause may fall into.
  return 1.0 - std::pow(1.0 - perByte, static_cast<double>(chip.programUnitBytes));
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

namespace {

// "about 41 of the 2048 page loads (2%)"
std::string CutLoadsText(double share, std::uint64_t loads) {
  const auto cut = static_cast<std::uint64_t>(std::llround(share * static_cast<double>(loads)));
  return "about " + std::to_string(cut) + " of the " + std::to_string(loads) + " page loads (" +
         std::to_string(std::lround(share * 100.0)) + "%)";
}

}  // namespace

bool LinkCanWrite(const FlashChipSpec& chip, const LinkTiming& timing) {
  return PageLoadFitsLink(chip, timing) && CutLoadShare(chip, timing) < kReloadRefuseShare;
}

std::string ReloadText(const FlashChipSpec& chip, const LinkTiming& timing, std::uint64_t loads) {
  const double share = CutLoadShare(chip, timing);
  if (share < kReloadWarnShare)
    return {};
  std::string text = CutLoadsText(share, loads);
  text[0] = 'A';
  if (share >= kReloadRefuseShare) {
    return text + " would be cut by a pause of this link and loaded again, each an extra " +
           "program cycle of its page: too many, so a write is refused before anything is erased.";
  }
  return text + " will be cut by a pause of this link and loaded again, each an extra program " +
         "cycle of its page.";
}

std::string ByteWindowText(const FlashChipSpec& chip) {
  const std::string card = "The " + std::to_string(chip.cardMbit) + " Mbit card's chip ";
  if (chip.byteLoadWindowUs == 0)
    return card + "waits for every byte of its write buffer, so any link can write it.";
  const std::string gap = MicrosecondsText(chip.loadGapBytes);
  return card + "closes a page load when no byte has come for " +
         std::to_string(chip.byteLoadWindowUs) +
         " us. The longest gap of its page load, from the page command across a bank switch "
         "to the first byte, is the port traffic of " +
         gap + " loaded bytes; with a margin of " + MicrosecondsText(kLinkMargin) +
         " it must take under " + MicrosecondsText(chip.byteLoadWindowUs / kLinkMargin) +
         " us, counted as " + gap +
         " median bytes plus once what the slowest 0.1% of bytes take beyond the median. So a "
         "loaded byte must take under " +
         MicrosecondsText(MaxUsPerByte(chip)) + " us on a link without pauses.";
}

std::string LinkTooSlowText(const FlashChipSpec& chip, const LinkTiming& timing) {
  return "Link too slow for this card: a loaded byte takes " + MicrosecondsText(timing.usPerByte) +
         " us here at the median and " + MicrosecondsText(timing.usPerByteHigh) +
         " us for 99.9% of bytes, so the longest gap of a page load takes " +
         MicrosecondsText(LongestLoadGapUs(chip, timing)) + " us. " + ByteWindowText(chip) +
         " Nothing was erased.";
}

std::string LinkTooUnevenText(const FlashChipSpec& chip, const LinkTiming& timing,
                              std::uint64_t loads) {
  return "Link pauses too often for this card: " + CutLoadsText(CutLoadShare(chip, timing), loads) +
         " would be cut by a pause and loaded again, each an extra program cycle of its page, "
         "and the chip wears out after a limited number of them. Nothing was erased. Try a "
         "machine at rest.";
}

}  // namespace velwin::xchanger
