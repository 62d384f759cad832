#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
  // How many bytes were timed, and the slowest hundredth of them, slowest
  // first: how often a pause long enough to cut a page load comes.
  std::size_t bytesTimed = 0;
  std::vector<double> slowestUs;
};

// The bytes timed: enough for the 99.9th percentile to be a time sixteen
// bytes exceeded, and for pauses that come every few milliseconds to be
// seen a few times each, over some tens of milliseconds of the port.
inline constexpr std::size_t kTimedBytes = 16384;

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

// The longest gap between two writes of the chip's page load over this
// link, in microseconds; 0 for a chip without a window. The gap is
// loadGapBytes bytes' worth of port traffic, each at the median, plus once
// what the 99.9th percentile takes beyond the median: a pause of the
// scheduler is one event that lands in one byte of the gap, so it counts
// once, not once for each byte the gap is worth. For a gap of one byte this
// is the 99.9th percentile itself.
double LongestLoadGapUs(const FlashChipSpec& chip, const LinkTiming& timing);
// Whether that gap, with the margin, stays within the chip's window.
bool PageLoadFitsLink(const FlashChipSpec& chip, const LinkTiming& timing);
// The slowest loaded byte the chip's window allows with the margin, on a
// link without pauses.
double MaxUsPerByte(const FlashChipSpec& chip);

// The share of the chip's page loads that a pause of this link can be
// expected to cut: from how many of the timed bytes took long enough that
// the same pause inside a load's longest gap would close the window. 0 for
// a chip without a window.
double CutLoadShare(const FlashChipSpec& chip, const LinkTiming& timing);
// From this share of cut loads on, a write is refused before anything is
// erased: each reload is an extra program cycle of its page, and a chip
// wears out after a limited number of them. Reloading mends a rare cut, not
// a link that cuts every tenth page. From kReloadWarnShare on, the write
// and the link test say how many reloads to expect.
inline constexpr double kReloadRefuseShare = 0.10;
inline constexpr double kReloadWarnShare = 0.01;
// Whether a write over this link goes ahead: its longest gap fits the
// window and its pauses would not cut too many loads.
bool LinkCanWrite(const FlashChipSpec& chip, const LinkTiming& timing);
// For a write of loads page loads: empty below kReloadWarnShare, else what
// share of them will be loaded again ("About 41 of the 2048 page loads
// ..."), and from kReloadRefuseShare on that a write is refused.
std::string ReloadText(const FlashChipSpec& chip, const LinkTiming& timing, std::uint64_t loads);

// How the limit of a loaded byte for the chip's card follows from its
// byte-load window, the longest gap of its page load in bytes and the
// margin: the one explanation the refusal, link test and the manuals give.
std::string ByteWindowText(const FlashChipSpec& chip);

// "Link too slow for this card: ..." with the measured times and the
// explanation of the chip's limit; what to try is the caller's to add.
std::string LinkTooSlowText(const FlashChipSpec& chip, const LinkTiming& timing);

// What to try where nothing is known of the path to the port.
inline constexpr const char* kSlowLinkHint = " Try --port direct, or a machine at rest.";
// "Link pauses too often for this card: ..." for a write of loads page
// loads whose cut share reaches kReloadRefuseShare.
std::string LinkTooUnevenText(const FlashChipSpec& chip, const LinkTiming& timing,
                              std::uint64_t loads);

// "4.25": microseconds to two decimals at most, no trailing zeros.
std::string MicrosecondsText(double us);

}  // namespace velwin::xchanger
