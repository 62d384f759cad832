#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <span>

#include "sim/emulated_chip.h"

namespace velwin::xchanger::sim {

// The Intel 28F640J5 StrataFlash of the 64 Mbit card, byte-wide: 64 blocks
// of 128 KiB, each with its lock bit, a 32-byte write buffer, and a status
// register. Commands go to any address; the address picks the block.
class Intel28f640j5Chip final : public EmulatedChip {
 public:
  static constexpr std::uint8_t kManufacturer = 0x89;
  static constexpr std::uint8_t kDevice = 0x15;
  static constexpr std::uint32_t kSizeBytes = 8 * 1024 * 1024;
  static constexpr std::uint32_t kBlockBytes = 128 * 1024;
  static constexpr std::uint32_t kBlockCount = kSizeBytes / kBlockBytes;
  static constexpr std::uint32_t kBufferBytes = 32;

  // Status register bits.
  static constexpr std::uint8_t kReady = 0x80;
  static constexpr std::uint8_t kEraseError = 0x20;
  static constexpr std::uint8_t kProgramError = 0x10;  // also a lock-bit error
  static constexpr std::uint8_t kSequenceError = kEraseError | kProgramError;
  static constexpr std::uint8_t kVpenLow = 0x08;  // never: the card ties VPEN high
  static constexpr std::uint8_t kBlockLocked = 0x02;

  // Timing in microseconds, typical and maximum. The 28F640J5 gives 6 us
  // per byte for full buffers; its performance table was not at hand, so
  // the rest follows the same family's 28F128J3A table: buffer maximum,
  // byte program, block erase, lock-bit set and clear.
  static constexpr std::uint64_t kBufferProgramTypical = 6 * kBufferBytes;
  static constexpr std::uint64_t kBufferProgramMaximum = 654;
  static constexpr std::uint64_t kByteProgramTypical = 210;
  static constexpr std::uint64_t kByteProgramMaximum = 630;
  static constexpr std::uint64_t kBlockEraseTypical = 1000000;
  static constexpr std::uint64_t kBlockEraseMaximum = 5000000;
  static constexpr std::uint64_t kSetLockTypical = 64;
  static constexpr std::uint64_t kSetLockMaximum = 75;
  static constexpr std::uint64_t kClearLocksTypical = 500000;
  static constexpr std::uint64_t kClearLocksMaximum = 700000;

  Intel28f640j5Chip(std::span<const std::uint8_t> image, const ChipFaults& faults);

  void Write(std::uint32_t linear, std::uint8_t value, std::uint64_t now) override;
  void Reset() override;
  void AdvanceTo(std::uint64_t now) override;

 private:
  std::uint8_t ReadOther(std::uint32_t linear, std::uint64_t now) override;
  void Command(std::uint32_t linear, std::uint8_t value, std::uint64_t now);
  void Confirm(std::uint32_t linear, std::uint8_t value, std::uint64_t now);
  void BufferWrite(std::uint32_t linear, std::uint8_t value, std::uint64_t now);
  void StartJob(std::uint64_t now, std::uint64_t duration);
  void CompleteJob();

  enum class Job : std::uint8_t {
    kNone,
    kByteProgram,
    kBufferProgram,
    kBlockErase,
    kSetLock,
    kClearLocks
  };

  std::uint8_t status_ = kReady;
  std::bitset<kBlockCount> locked_;
  std::uint8_t setup_ = 0;  // the first write of a two-write command
  // The buffered write: the block the E8 named, the count still to come
  // (-1 before the count), the bytes.
  std::uint32_t bufferBlock_ = 0;
  int bufferLeft_ = -1;
  bool bufferValid_ = true;
  std::uint32_t bufferStart_ = 0;
  std::array<std::uint8_t, kBufferBytes> bufferData_{};
  std::bitset<kBufferBytes> bufferLoaded_;
  bool bufferRefused_ = false;  // E8 came while busy: XSR reads "not free"

  Job job_ = Job::kNone;
  std::uint32_t jobAddress_ = 0;
  std::uint8_t jobValue_ = 0;
  bool busy_ = false;
  std::uint64_t busyUntil_ = 0;
};

}  // namespace velwin::xchanger::sim
