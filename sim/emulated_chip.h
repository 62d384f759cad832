#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace velwin::xchanger::sim {

// The 128 KiB unit in which the fault settings name a card's sectors: the
// 16 Mbit chip's sectors, the 64 Mbit chip's blocks, and on the 4 Mbit chip
// (which erases page by page) a quarter of the chip.
inline constexpr std::uint32_t kFaultSectorBytes = 0x20000;

// How a chip answers reads at the moment.
enum class ChipMode : std::uint8_t {
  kReadArray,   // flash contents
  kProductId,   // JEDEC software product identification
  kAutoselect,  // manufacturer and device code of a word-mode chip
  kCfiQuery,    // the common flash interface table
  kIdentifier,  // Intel read-identifier mode
  kStatus,      // a status register (Intel, or the word-mode chip after a program or erase)
  kSetup,       // Intel: the next write completes a program/erase/lock command
  kPageLoad,    // 4 Mbit: taking the bytes of a page write
  kBusy,        // 4 Mbit: writing a page or erasing, reads toggle DQ6
  kBufferLoad,  // Intel: taking the count and bytes of a buffered write
};

// What a chip has done since power-on: the proof that a card writer erased
// and programmed only what it had to.
struct ChipCounters {
  std::uint64_t pageWrites = 0;      // 4 Mbit page writes, 16 Mbit page programs
  std::uint64_t bytePrograms = 0;    // Intel single-byte programs
  std::uint64_t bufferPrograms = 0;  // Intel buffered writes
  std::uint64_t sectorErases = 0;    // sector or block erases
  std::uint64_t chipErases = 0;
  std::uint64_t bytesProgrammed = 0;  // bytes taken by all program operations
};

// Defects on purpose, to see what a card writer does with a failing chip.
// All off by default.
struct ChipFaults {
  std::optional<std::uint32_t> badByte;        // linear address of a cell that never programs
  std::optional<std::uint32_t> failingSector;  // 128 KiB unit whose erase fails
  std::optional<std::uint32_t> lockedSector;   // Intel lock bit set / Macronix sector protected
  bool slow = false;                           // every program and erase takes its maximum time
  // Not a defect but a reading no datasheet settles: the 16 Mbit chip's
  // load timer may run from its page-program command, so that the first
  // byte too must come within the load window, or the page loads nothing.
  bool loadTimerAtCommand = false;
};

// A flash chip (or a mask ROM) seen from its pins: it takes reads and writes
// at linear byte addresses within the chip, at a time in microseconds, and
// answers as the part does. Time only moves forward; an operation the chip
// runs on its own (a page write, an erase) completes at the first access at
// or after its end.
class EmulatedChip {
 public:
  // The contents are image from linear address 0, filled with 0xFF up to
  // sizeBytes (an erased cell reads 1s); a larger image is cut there.
  EmulatedChip(std::uint32_t sizeBytes, std::span<const std::uint8_t> image,
               const ChipFaults& faults);
  virtual ~EmulatedChip() = default;
  EmulatedChip(const EmulatedChip&) = delete;
  EmulatedChip& operator=(const EmulatedChip&) = delete;

  std::uint32_t SizeBytes() const { return static_cast<std::uint32_t>(contents_.size()); }
  ChipMode Mode() const { return mode_; }

  // linear must lie below SizeBytes(). Reading the array is the path a card
  // read takes sixteen million times: it stays a load.
  std::uint8_t Read(std::uint32_t linear, std::uint64_t now) {
    if (mode_ == ChipMode::kReadArray) [[likely]]
      return contents_[linear];
    return ReadOther(linear, now);
  }
  // A write cycle with the chip's write enable.
  virtual void Write(std::uint32_t linear, std::uint8_t value, std::uint64_t now) = 0;

  // Power-on: read-array mode, no command sequence in progress. An
  // operation cut short by the power is dropped (its cells are left as they
  // were: a verify finds them wrong either way).
  virtual void Reset() { mode_ = ChipMode::kReadArray; }

  // Moves the chip on to time now without a bus access: a load window
  // closes, a write or erase that has had its time ends.
  virtual void AdvanceTo(std::uint64_t now) { (void)now; }
  // Lets whatever the chip still has in hand run to its end, as it does on
  // a card that stays powered after the program quits.
  void Finish() { AdvanceTo(std::numeric_limits<std::uint64_t>::max()); }

  std::span<const std::uint8_t> Contents() const { return contents_; }
  // True once a program or erase changed a byte, until MarkContentsSaved.
  bool ContentsChanged() const { return changed_; }
  void MarkContentsSaved() { changed_ = false; }
  const ChipCounters& Counters() const { return counters_; }

 protected:
  // Reads in any mode but read-array.
  virtual std::uint8_t ReadOther(std::uint32_t linear, std::uint64_t now) = 0;

  // Programming can only clear bits: the cell keeps old & value. The bad
  // cell of the faults keeps its old value; returns false when that left it
  // short of what was asked.
  bool ProgramByte(std::uint32_t linear, std::uint8_t value);
  // Sets [start, start + length) to 0xFF unless the faults make the erase of
  // that range fail; returns false then, leaving the cells as they were.
  bool EraseRange(std::uint32_t start, std::uint32_t length);

  bool SectorFails(std::uint32_t linear) const {
    return faults_.failingSector && linear / kFaultSectorBytes == *faults_.failingSector;
  }
  bool SectorLocked(std::uint32_t linear) const {
    return faults_.lockedSector && linear / kFaultSectorBytes == *faults_.lockedSector;
  }
  // The time an operation takes: typical, or the datasheet's maximum when
  // the faults ask for a slow chip.
  std::uint64_t Duration(std::uint64_t typical, std::uint64_t maximum) const {
    return faults_.slow ? maximum : typical;
  }

  std::vector<std::uint8_t> contents_;
  ChipMode mode_ = ChipMode::kReadArray;
  ChipCounters counters_;
  ChipFaults faults_;

 private:
  bool changed_ = false;
};

}  // namespace velwin::xchanger::sim
