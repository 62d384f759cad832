#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <span>

#include "sim/emulated_chip.h"

namespace velwin::xchanger::sim {

// The Winbond W29C040 of the 4 Mbit card: 512 K x 8, 5 V, written a page
// of 256 bytes at a time, with software data protection on. It has no
// status register: while it writes, DQ6 toggles on successive reads and
// DQ7 reads the complement of the last byte loaded.
class W29c040Chip final : public EmulatedChip {
 public:
  static constexpr std::uint8_t kManufacturer = 0xDA;
  static constexpr std::uint8_t kDevice = 0x46;
  static constexpr std::uint32_t kSizeBytes = 512 * 1024;
  static constexpr std::uint32_t kPageBytes = 256;

  // Datasheet timing, in microseconds. TBLC: a byte must follow the one
  // before within 200 us to join the page; the write starts when the
  // window closes. A page write takes 5 ms typically; the datasheet gives
  // no maximum, so 10 ms is budgeted. Chip erase: 50 ms, no maximum given.
  static constexpr std::uint64_t kByteLoadWindow = 200;
  static constexpr std::uint64_t kPageWriteTypical = 5000;
  static constexpr std::uint64_t kPageWriteMaximum = 10000;
  static constexpr std::uint64_t kChipEraseTime = 50000;

  W29c040Chip(std::span<const std::uint8_t> image, const ChipFaults& faults);

  void Write(std::uint32_t linear, std::uint8_t value, std::uint64_t now) override;
  void Reset() override;
  void AdvanceTo(std::uint64_t now) override;

 private:
  std::uint8_t ReadOther(std::uint32_t linear, std::uint64_t now) override;
  void StartPageWrite();
  void CompletePageWrite();
  void UnlockCommand(std::uint32_t address, std::uint8_t value, std::uint64_t now);
  void LoadByte(std::uint32_t linear, std::uint8_t value, std::uint64_t now);
  bool InLockedBootBlock(std::uint32_t linear) const;

  enum class Job : std::uint8_t { kNone, kPageWrite, kChipErase };

  int step_ = 0;  // writes of the current command sequence seen so far
  // The page being loaded: its first byte's address fixes the page.
  std::uint32_t pageStart_ = 0;
  std::array<std::uint8_t, kPageBytes> pageData_{};
  std::bitset<kPageBytes> pageLoaded_;
  std::uint64_t lastLoadAt_ = 0;
  std::uint8_t lastLoaded_ = 0xFF;  // DQ7 polling reads its complement
  Job job_ = Job::kNone;
  std::uint64_t busyUntil_ = 0;
  bool toggle_ = false;          // DQ6 while busy
  bool lowBootLocked_ = false;   // the first 16 KiB
  bool highBootLocked_ = false;  // the last 16 KiB
};

}  // namespace velwin::xchanger::sim
