#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <span>

#include "sim/emulated_chip.h"

namespace velwin::xchanger::sim {

// The Macronix MX29F1610 (first revision, device code 0xF1) of the 16 Mbit
// card: 2 M x 8 in byte mode, 16 sectors of 128 KiB, page programming of up
// to 128 bytes, and a status register read after every program or erase
// until the chip is reset. Its A-1 is the cart's A0, so it compares command
// addresses as word addresses.
class Mx29f1610Chip final : public EmulatedChip {
 public:
  static constexpr std::uint8_t kManufacturer = 0xC2;
  static constexpr std::uint8_t kDevice = 0xF1;
  static constexpr std::uint32_t kSizeBytes = 2 * 1024 * 1024;
  static constexpr std::uint32_t kSectorBytes = 128 * 1024;
  static constexpr std::uint32_t kPageBytes = 128;

  // Status register bits.
  static constexpr std::uint8_t kReady = 0x80;
  static constexpr std::uint8_t kEraseFailed = 0x20;
  static constexpr std::uint8_t kProgramFailed = 0x10;
  // Read in autoselect at word 2 of a protected sector.
  static constexpr std::uint8_t kSectorProtected = 0xC2;

  // Datasheet timing, in microseconds: page programming 3 ms and sector
  // erase 150 ms typical (the first revision; the A revision is faster).
  // The maxima are not in the datasheet text at hand: three times the
  // typical figures stand in for them. Programming starts 30-100 us after
  // the last byte loaded; a byte is sure to join the page only within the
  // lower bound.
  static constexpr std::uint64_t kByteLoadWindow = 30;
  static constexpr std::uint64_t kPageProgramTypical = 3000;
  static constexpr std::uint64_t kPageProgramMaximum = 9000;
  static constexpr std::uint64_t kSectorEraseTypical = 150000;
  static constexpr std::uint64_t kSectorEraseMaximum = 450000;

  Mx29f1610Chip(std::span<const std::uint8_t> image, const ChipFaults& faults);

  void Write(std::uint32_t linear, std::uint8_t value, std::uint64_t now) override;
  void Reset() override;
  void AdvanceTo(std::uint64_t now) override;

 private:
  std::uint8_t ReadOther(std::uint32_t linear, std::uint64_t now) override;
  void Command(std::uint32_t linear, std::uint8_t value, std::uint64_t now);
  void LoadByte(std::uint32_t linear, std::uint8_t value, std::uint64_t now);
  void StartJob(std::uint64_t start, std::uint64_t duration);
  void CompletePageProgram();
  void CompleteErase();

  enum class Job : std::uint8_t { kNone, kPageProgram, kSectorErase, kChipErase };

  int step_ = 0;  // writes of the current command sequence seen so far
  std::uint8_t status_ = kReady;
  std::bitset<16> protected_;
  std::uint32_t pageStart_ = 0;
  std::array<std::uint8_t, kPageBytes> pageData_{};
  std::bitset<kPageBytes> pageLoaded_;
  std::uint64_t lastLoadAt_ = 0;
  Job job_ = Job::kNone;
  std::uint32_t eraseSector_ = 0;
  std::uint64_t busyUntil_ = 0;
  bool busy_ = false;
  bool timerAtCommand_ = false;
};

}  // namespace velwin::xchanger::sim
