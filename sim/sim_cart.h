#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "sim/flash_chip.h"
#include "sim/sim_clock.h"

namespace velwin::xchanger::sim {

inline constexpr std::uint32_t kSramBankSize = 0x2000;
inline constexpr std::uint32_t kSramMaxBytes = 16 * kSramBankSize;
inline constexpr std::uint32_t kSramMinBytes = 0x800;  // a 16 kbit chip

// One access on the cart bus, as the X-Changer drives it.
struct CartBusEvent {
  enum class Kind : std::uint8_t { kRead, kWrite, kFlashCommand };
  Kind kind;
  std::uint16_t address;
  std::uint8_t value;

  bool operator==(const CartBusEvent&) const = default;
};

struct CartCounters {
  std::uint64_t reads = 0;
  std::uint64_t mapperWrites = 0;  // writes to 0x0000-0x7FFF
  std::uint64_t sramWrites = 0;    // writes to 0xA000-0xBFFF, enabled or not
  std::uint64_t flashCommands = 0;
};

// A Game Boy cart with an MBC5-style mapper, a flash chip (or mask ROM) and
// battery SRAM, seen from its edge connector.
class SimulatedCart {
 public:
  // sram: the SRAM chip's contents; empty for a cart without SRAM. A size
  // that is no power of two from 2 KiB to 128 KiB is taken as the next chip
  // size up (0xFF-filled), or cut to 128 KiB.
  // The chip runs on clock, which the X-Changer advances; faults are the
  // flash chip's defects.
  SimulatedCart(FlashChip chip, std::span<const std::uint8_t> rom, std::vector<std::uint8_t> sram,
                bool present, const SimulatedClock& clock, const ChipFaults& faults = {});

  // A read cycle at a cart address; 0xFF where nothing drives the bus.
  std::uint8_t Read(std::uint16_t address);
  // A write cycle that reaches the mapper (0x0000-0x7FFF) or the SRAM.
  void Write(std::uint16_t address, std::uint8_t value);
  // A write cycle with the flash chip's write enable: a command byte at the
  // linear flash address the mapper makes of the cart address.
  void FlashWrite(std::uint16_t address, std::uint8_t value);

  // Mapper state as the cart would show it.
  std::uint16_t RomBank() const { return static_cast<std::uint16_t>(romOffset_ / kRomBankSize); }
  std::uint8_t SramBank() const { return static_cast<std::uint8_t>(sramOffset_ / kSramBankSize); }
  bool SramEnabled() const { return sramEnabled_; }
  const FlashChipModel& Chip() const { return chip_; }
  FlashChipModel& Chip() { return chip_; }

  std::span<const std::uint8_t> Sram() const { return sram_; }
  // True once a write changed an SRAM byte, until MarkSramSaved.
  bool SramChanged() const { return sramChanged_; }
  void MarkSramSaved() { sramChanged_ = false; }

  bool Present() const { return present_; }
  // The cart leaves the slot after n further bus accesses; 0 removes it now.
  void RemoveAfter(std::uint64_t accesses);
  // Puts the cart back, powered on afresh: the SRAM keeps its contents.
  void Insert();

  // A worn contact on purpose: every nth byte stored in the SRAM has bit 0
  // flipped (0: never). Reads are noisy at random instead: on average every
  // nth byte read from the SRAM has one bit flipped, the byte and the bit
  // drawn from a generator seeded with n, so the same settings always give
  // the same flips while two reads of one bank differ, as on a real noisy
  // link. The read fault leaves the stored byte alone.
  void SetSramFaults(std::uint64_t flakyWriteEvery, std::uint64_t noisyReadEvery) {
    flakyEvery_ = flakyWriteEvery;
    noisyEvery_ = noisyReadEvery;
    noiseState_ = noisyReadEvery;
  }

  const CartCounters& Counters() const { return counters_; }
  void EnableTrace(bool on) { traceOn_ = on; }
  const std::vector<CartBusEvent>& Trace() const { return trace_; }
  void ClearTrace() { trace_.clear(); }

 private:
  static constexpr std::uint64_t kStaysInserted = std::numeric_limits<std::uint64_t>::max();

  // Counts an access against a pending removal; false when no cart answers.
  bool Answers() {
    if (!present_)
      return false;
    if (accessesLeft_ != kStaysInserted && --accessesLeft_ == 0) {
      present_ = false;  // this access still completes
      accessesLeft_ = kStaysInserted;
      PowerOff();
    }
    return true;
  }
  void Record(CartBusEvent::Kind kind, std::uint16_t address, std::uint8_t value);
  std::uint8_t Noise();
  void PowerOn();
  // The cart leaves the slot: what the flash chip finished by now stays,
  // what it had in hand is lost with the power.
  void PowerOff();
  void UpdateRomOffset();
  std::uint32_t LinearAddress(std::uint16_t address) const {
    return address < 0x4000 ? address : romOffset_ + (address - 0x4000u);
  }

  const SimulatedClock& clock_;
  FlashChipModel chip_;
  std::vector<std::uint8_t> sram_;
  std::uint32_t romBankMask_;
  std::uint32_t sramBankMask_ = 0;
  std::uint32_t sramAddressMask_ = 0;  // within one 8 KB window

  // MBC5 registers.
  std::uint8_t romBankLow_ = 1;
  std::uint8_t romBankHigh_ = 0;
  bool sramEnabled_ = false;
  std::uint32_t romOffset_ = kRomBankSize;
  std::uint32_t sramOffset_ = 0;

  bool sramChanged_ = false;
  bool present_;
  std::uint64_t accessesLeft_ = kStaysInserted;

  std::uint64_t flakyEvery_ = 0;
  std::uint64_t noisyEvery_ = 0;
  std::uint64_t noiseState_ = 0;
  std::uint64_t sramBytesWritten_ = 0;

  CartCounters counters_;
  bool traceOn_ = false;
  std::vector<CartBusEvent> trace_;
};

}  // namespace velwin::xchanger::sim
