#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/emulated_chip.h"
#include "sim/sim_config.h"

namespace velwin::xchanger::sim {

inline constexpr std::uint32_t kRomBankSize = 0x4000;
// The largest mask ROM an MBC5 can address: 512 banks of 16 KB.
inline constexpr std::uint32_t kMaskRomMaxBytes = 512 * kRomBankSize;
// The smallest cart ROM: the two banks a Game Boy maps at once.
inline constexpr std::uint32_t kMaskRomMinBytes = 2 * kRomBankSize;

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

// The chip on the cart: one of the emulated flash chips, or a mask ROM that
// ignores writes. The cart talks to it through this one object.
class FlashChipModel {
 public:
  // The contents are the ROM image from linear address 0, filled with 0xFF
  // up to the chip size (an image larger than the chip is cut there). A mask
  // ROM's size is the image rounded up to a power of two (at least two banks,
  // at most kMaskRomMaxBytes).
  FlashChipModel(FlashChip kind, std::span<const std::uint8_t> image,
                 const ChipFaults& faults = {});

  std::uint32_t SizeBytes() const { return chip_->SizeBytes(); }
  std::uint32_t BankCount() const { return SizeBytes() / kRomBankSize; }
  FlashChip Kind() const { return kind_; }
  ChipMode Mode() const { return chip_->Mode(); }

  // linear must lie below SizeBytes(); the mapper wraps bank numbers before.
  // now: the simulated time in microseconds.
  std::uint8_t Read(std::uint32_t linear, std::uint64_t now) { return chip_->Read(linear, now); }
  void Command(std::uint32_t linear, std::uint8_t value, std::uint64_t now) {
    chip_->Write(linear, value, now);
  }

  // Power-on state: read-array mode, no command sequence in progress.
  void Reset() { chip_->Reset(); }
  // Moves the chip on to time now; runs whatever it has in hand to its end.
  void AdvanceTo(std::uint64_t now) { chip_->AdvanceTo(now); }
  void Finish() { chip_->Finish(); }

  std::span<const std::uint8_t> Contents() const { return chip_->Contents(); }
  bool ContentsChanged() const { return chip_->ContentsChanged(); }
  void MarkContentsSaved() { chip_->MarkContentsSaved(); }
  const ChipCounters& Counters() const { return chip_->Counters(); }

 private:
  FlashChip kind_;
  std::unique_ptr<EmulatedChip> chip_;
};

}  // namespace velwin::xchanger::sim
