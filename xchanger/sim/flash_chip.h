#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "xchanger/sim/sim_config.h"

namespace velwin::xchanger::sim {

inline constexpr std::uint32_t kRomBankSize = 0x4000;
// The largest mask ROM an MBC5 can address: 512 banks of 16 KB.
inline constexpr std::uint32_t kMaskRomMaxBytes = 512 * kRomBankSize;
// The smallest cart ROM: the two banks a Game Boy maps at once.
inline constexpr std::uint32_t kMaskRomMinBytes = 2 * kRomBankSize;

// How a chip answers reads at the moment.
enum class ChipMode : std::uint8_t {
  kReadArray,   // flash contents
  kProductId,   // JEDEC software product identification
  kAutoselect,  // manufacturer and device code of a word-mode chip
  kCfiQuery,    // the common flash interface table
  kIdentifier,  // Intel read-identifier mode
  kStatus,      // Intel status register
  kSetup,       // Intel: the next write completes a program/erase/lock command
};

// The command set a chip decodes.
enum class CommandSet : std::uint8_t { kNone, kJedec, kWordAutoselect, kIntel };

// One flash card the X-Changer can hold.
struct FlashChipInfo {
  FlashChip kind;
  int sizeMbit;
  std::uint16_t bankCount;  // 16 KB ROM banks
  CommandSet commands;
  std::uint8_t manufacturer;
  std::uint8_t device;
};

std::span<const FlashChipInfo> FlashChipTable();
// The table entry for a flash chip; null for kNone (a mask ROM).
const FlashChipInfo* FindFlashChip(FlashChip kind);

// The CFI query table of the 64 Mbit chip, indexed by word address. Words
// outside it read as 0x00.
std::span<const std::uint8_t> CfiQueryTable();

// A flash chip (or a mask ROM) seen from its pins: it takes reads and
// command writes at linear byte addresses within the chip and answers as the
// part does. Program and erase commands are accepted but leave the contents
// unchanged: nothing in this program writes flash.
class FlashChipModel {
 public:
  // The contents are the ROM image from linear address 0, filled with 0xFF
  // up to the chip size (an image larger than the chip is cut there). A mask ROM's size is the
  // image rounded up to a power of two (at least two banks, at most kMaskRomMaxBytes).
  FlashChipModel(FlashChip kind, std::span<const std::uint8_t> image);

  std::uint32_t SizeBytes() const { return static_cast<std::uint32_t>(contents_.size()); }
  std::uint32_t BankCount() const { return SizeBytes() / kRomBankSize; }
  FlashChip Kind() const { return kind_; }
  ChipMode Mode() const { return mode_; }

  // linear must lie below SizeBytes(); the mapper wraps bank numbers before.
  std::uint8_t Read(std::uint32_t linear) const {
    if (mode_ == ChipMode::kReadArray)
      return contents_[linear];
    return ReadIdentification(linear);
  }
  void Command(std::uint32_t linear, std::uint8_t value);

  // Power-on state: read-array mode, no command sequence in progress.
  void Reset();

 private:
  std::uint8_t ReadIdentification(std::uint32_t linear) const;
  void UnlockCommand(std::uint32_t address, std::uint8_t value);
  void IntelCommand(std::uint8_t value);

  FlashChip kind_;
  CommandSet commands_ = CommandSet::kNone;
  std::uint8_t manufacturer_ = 0;
  std::uint8_t device_ = 0;
  std::vector<std::uint8_t> contents_;
  ChipMode mode_ = ChipMode::kReadArray;
  int step_ = 0;  // writes of the current unlock sequence seen so far
  std::uint8_t intelStatus_ = 0x80;
};

}  // namespace velwin::xchanger::sim
