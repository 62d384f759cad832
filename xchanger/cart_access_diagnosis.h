#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velwin::xchanger {

class CartAccess;

// The words for a link that dropped: the X-Changer's own registers no
// longer echo what is written to them.
inline constexpr const char* kXChangerStoppedAnswering = "The X-Changer stopped answering.";

// Said where the bytes show that a data line is held or shorted but cannot
// tell which one.
inline constexpr const char* kSomeDataLineHeld =
    "A data line is held at one level: clean the cart's contacts and try again.";

// "Data line D3 always reads 0: clean the cart's contacts and try again."
std::string HeldLineText(int line, bool high);
// "Data lines D0 and D5 always read alike: clean the cart's contacts and try
// again."
std::string ShortedLinesText(int lower, int higher);

// A fault of the cart bus's data lines that reads the same wrong bits every
// time: one line held at a level (a dirty or broken contact), or two lines
// shorted together.
struct DataLineFault {
  bool shorted = false;
  std::uint8_t line = 0;   // the held line, or the lower of the shorted two
  std::uint8_t other = 0;  // the higher of the shorted two
  bool high = false;       // the level a held line reads

  // Whether a byte the cart drove as truth can read as read through this
  // fault. Which of two shorted drivers wins depends on the chips, so both
  // levels are taken.
  bool Explains(std::uint8_t truth, std::uint8_t read) const;
  std::string Text() const;
};

// A byte that is known (a chip's code, the header logo) and what was read
// where it should have been.
struct KnownRead {
  std::uint8_t known;
  std::uint8_t read;
};

// Every fault that turns each known byte into what was read, held lines
// before shorts; none when the reads are right or no single fault fits.
std::vector<DataLineFault> FaultsExplaining(std::span<const KnownRead> reads);

// The message for the faults found: the one held line, else the one shorted
// pair, else that some line is held; empty without faults.
std::string FaultText(std::span<const DataLineFault> faults);

// Why neither a flash chip nor a cart header answered, asked only once both
// failed: "The X-Changer stopped answering." when the link dropped, a held
// or shorted data line named where the chip's codes or the header's logo
// read almost right, or a bank 0 of one byte throughout that is erased
// flash or a floating bus with one line wrong; otherwise "No Cart found",
// a slot that reads like an empty one. head is ROM bank 0's first 512
// bytes as the header read gave them.
std::string WhyNoCartFound(CartAccess& cart, std::span<const std::uint8_t> head);

}  // namespace velwin::xchanger
