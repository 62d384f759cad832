#include "sim/intel_28f640j5_chip.h"

#include <gtest/gtest.h>

#include <vector>

namespace velwin::xchanger::sim {
namespace {

using Chip = Intel28f640j5Chip;

constexpr std::uint32_t kBlock3 = 3 * Chip::kBlockBytes;

std::vector<std::uint8_t> Image(std::uint8_t fill) {
  return std::vector<std::uint8_t>(Chip::kSizeBytes, fill);
}

TEST(Intel28f640j5Chip, ByteAndBufferedProgramsAndIntoTheArrayAndReportStatus) {
  Chip chip(Image(0xF0), {});
  chip.Write(0x100, 0x40, 0);
  chip.Write(0x100, 0x3C, 1);
  EXPECT_EQ(chip.Read(0x555, 1 + Chip::kByteProgramTypical - 1), 0x00) << "busy";
  chip.Write(0, 0xFF, 2);  // ignored while busy
  EXPECT_EQ(chip.Read(0x555, 1 + Chip::kByteProgramTypical), Chip::kReady);
  chip.Write(0, 0xFF, 300);
  EXPECT_EQ(chip.Read(0x100, 301), 0x30);

  chip.Write(kBlock3 + 0x20, 0xE8, 400);
  EXPECT_EQ(chip.Read(kBlock3, 401), 0x80) << "the buffer is free";
  chip.Write(kBlock3, 2, 402);  // three bytes
  chip.Write(kBlock3 + 0x21, 0x0F, 403);
  chip.Write(kBlock3 + 0x3F, 0x11, 404);
  chip.Write(kBlock3 + 0x20, 0xAA, 405);
  chip.Write(kBlock3, 0xD0, 406);
  chip.Write(kBlock3, 0xE8, 407);  // the next buffer, asked for too early
  EXPECT_EQ(chip.Read(kBlock3, 408), 0x00) << "extended status: not free";
  EXPECT_EQ(chip.Read(kBlock3, 406 + Chip::kBufferProgramTypical), 0x00)
      << "still the refused request's answer, ready or not";
  chip.Write(0, 0x70, 999);
  EXPECT_EQ(chip.Read(kBlock3, 999), Chip::kReady);
  chip.Write(0, 0xFF, 1000);
  EXPECT_EQ(chip.Read(kBlock3 + 0x20, 1001), 0xA0);
  EXPECT_EQ(chip.Read(kBlock3 + 0x21, 1001), 0x00);
  EXPECT_EQ(chip.Read(kBlock3 + 0x3F, 1001), 0x10);
  EXPECT_EQ(chip.Read(kBlock3 + 0x22, 1001), 0xF0);

  // A buffer that crosses its 32-byte window, and an erase confirmed with
  // anything but D0, are command sequence errors that write nothing.
  chip.Write(kBlock3, 0xE8, 1100);
  chip.Write(kBlock3, 1, 1101);
  chip.Write(kBlock3 + 0x5F, 0x00, 1102);
  chip.Write(kBlock3 + 0x60, 0x00, 1103);
  chip.Write(kBlock3, 0xD0, 1104);
  EXPECT_EQ(chip.Read(0, 1105), Chip::kReady | Chip::kSequenceError);
  chip.Write(0, 0x20, 1106);
  chip.Write(0, 0xFF, 1107);
  EXPECT_EQ(chip.Read(0, 1108), Chip::kReady | Chip::kSequenceError);
  chip.Write(0, 0x50, 1109);
  EXPECT_EQ(chip.Read(0, 1110), Chip::kReady);
  chip.Write(0, 0xFF, 1111);
  EXPECT_EQ(chip.Read(kBlock3 + 0x5F, 1112), 0xF0);
  EXPECT_EQ(chip.Read(0, 1112), 0xF0) << "block 0 not erased";
  EXPECT_EQ(chip.Counters().bytePrograms, 1u);
  EXPECT_EQ(chip.Counters().bufferPrograms, 1u);
  EXPECT_EQ(chip.Counters().sectorErases, 0u);
}

TEST(Intel28f640j5Chip, LockBitsShowInIdentifierModeAndRefuseUntilCleared) {
  ChipFaults faults;
  faults.lockedSector = 3;
  Chip chip(Image(0x00), faults);
  chip.Write(0, 0x90, 0);
  EXPECT_EQ(chip.Read(kBlock3 + 4, 1), 0x01) << "word 2 of the block";
  EXPECT_EQ(chip.Read(4, 1), 0x00);
  chip.Write(kBlock3 + 0x10, 0x20, 2);
  chip.Write(kBlock3 + 0x10, 0xD0, 3);
  EXPECT_EQ(chip.Read(0, 4), Chip::kReady | Chip::kEraseError | Chip::kBlockLocked);
  chip.Write(kBlock3, 0x40, 5);
  chip.Write(kBlock3, 0xFF, 6);
  EXPECT_EQ(chip.Read(0, 7), Chip::kReady | Chip::kSequenceError | Chip::kBlockLocked)
      << "the error bits stay until cleared";

  chip.Write(0, 0x60, 8);
  chip.Write(0, 0xD0, 9);  // clear all lock bits
  chip.Write(7 * Chip::kBlockBytes, 0x60, 10 + Chip::kClearLocksTypical);
  chip.Write(7 * Chip::kBlockBytes, 0x01, 11 + Chip::kClearLocksTypical);
  const std::uint64_t t = 11 + Chip::kClearLocksTypical + Chip::kSetLockTypical;
  chip.Write(0, 0x50, t);
  chip.Write(0, 0x90, t + 1);
  EXPECT_EQ(chip.Read(kBlock3 + 4, t + 2), 0x00);
  EXPECT_EQ(chip.Read(7 * Chip::kBlockBytes + 4, t + 2), 0x01);

  chip.Write(kBlock3, 0x20, t + 3);
  chip.Write(kBlock3, 0xD0, t + 4);
  const std::uint64_t erased = t + 4 + Chip::kBlockEraseTypical;
  EXPECT_EQ(chip.Read(0, erased - 1), 0x00);
  EXPECT_EQ(chip.Read(0, erased), Chip::kReady);
  chip.Write(0, 0xFF, erased);
  EXPECT_EQ(chip.Read(kBlock3, erased), 0xFF);
  EXPECT_EQ(chip.Read(kBlock3 + Chip::kBlockBytes - 1, erased), 0xFF);
  EXPECT_EQ(chip.Read(kBlock3 - 1, erased), 0x00);
  EXPECT_EQ(chip.Counters().sectorErases, 1u);
}

TEST(Intel28f640j5Chip, BadCellsAndFailingErasesSetTheErrorBits) {
  ChipFaults faults;
  faults.badByte = 0x10;
  faults.failingSector = 0;
  faults.slow = true;
  Chip chip(Image(0xFF), faults);
  chip.Write(0x10, 0x10, 0);
  chip.Write(0x10, 0x55, 1);
  EXPECT_EQ(chip.Read(0, 1 + Chip::kByteProgramTypical) & Chip::kReady, 0) << "slow";
  EXPECT_EQ(chip.Read(0, 1 + Chip::kByteProgramMaximum), Chip::kReady | Chip::kProgramError);
  chip.Write(0, 0x50, 1000);
  chip.Write(0, 0x20, 1001);
  chip.Write(0, 0xD0, 1002);
  EXPECT_EQ(chip.Read(0, 1002 + Chip::kBlockEraseMaximum), Chip::kReady | Chip::kEraseError);
  chip.Write(0, 0xFF, 1002 + Chip::kBlockEraseMaximum);
  EXPECT_EQ(chip.Read(0x10, 1002 + Chip::kBlockEraseMaximum), 0xFF);
}

}  // namespace
}  // namespace velwin::xchanger::sim
