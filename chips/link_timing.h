#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "chips/flash_chip_table.h"
#include "port/chip_clock.h"
#include "xchanger/link.h"

namespace velwin::xchanger {

// What the link in hand takes per port access and per loaded byte of a page
// load, measured on the chip clock.
struct LinkTiming {
  std::uint8_t accessesPerByte = 0;
  double usPerAccess = 0;     // the median byte's time over its accesses
  double usPerByte = 0;       // median
  double usPerByteHigh = 0;   // the 99.9th percentile: what nearly every byte takes
  double usPerByteWorst = 0;  // the longest byte seen, a pause of the scheduler included
};

// The bytes timed: a few thousand, enough for the 99.9th percentile to be
// a time four bytes exceeded, and a few milliseconds of the port.
inline constexpr std::size_t kTimedBytes = 4096;

// Times the page loads' byte path on the link: per byte, the same two
// register writes with ControlPort held (AddrLowReg, then a data cycle),
// both aimed at AddrLowReg so that nothing reaches the cart. Leaves
// ControlPort at 0x01 and AddrLowReg changed; sets no mode.
LinkTiming TimeLink(XChangerLink& link, ChipClock& clock, std::size_t bytes = kTimedBytes);

// How much slower than measured the link may grow before a page load of
// the chip is cut: a page load may take no more than two thirds of the
// chip's window at its longest gap. The margin covers what the timing
// cannot see: the 16 Mbit chip's 30 us is the low end of the 30-100 us
// its own timer gives, and such on-chip timers drift with supply and
// temperature; the machine's load may grow between the timing and the last
// page, minutes later; and the rare pause that still comes is met by
// loading the cut page again, which only works if it stays rare.
inline constexpr double kLinkMargin = 1.5;

// The longest gap between two bytes of the chip's page load over this link,
// in microseconds, at the 99.9th percentile; 0 for a chip without a window.
double LongestLoadGapUs(const FlashChipSpec& chip, const LinkTiming& timing);
// Whether that gap, with the margin, stays within the chip's window.
bool PageLoadFitsLink(const FlashChipSpec& chip, const LinkTiming& timing);
// The slowest loaded byte the chip's window allows with the margin.
double MaxUsPerByte(const FlashChipSpec& chip);

// "Link too slow for this card: ..." with the measured time per byte, the
// chip's window and what to try.
std::string LinkTooSlowText(const FlashChipSpec& chip, const LinkTiming& timing);

// "4.25": microseconds to two decimals at most, no trailing zeros.
std::string MicrosecondsText(double us);

}  // namespace velwin::xchanger
