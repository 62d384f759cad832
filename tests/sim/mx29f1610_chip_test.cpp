#include "sim/mx29f1610_chip.h"

#include <gtest/gtest.h>

#include <vector>

namespace velwin::xchanger::sim {
namespace {

using Chip = Mx29f1610Chip;

// Word 5555 is byte 0xAAAA, word 2AAA byte 0x5554.
class Macronix {
 public:
  explicit Macronix(std::uint8_t fill, ChipFaults faults = {})
      : chip_(std::vector<std::uint8_t>(Chip::kSizeBytes, fill), faults) {}

  // AA 55 and the command; returns the time after the last write.
  std::uint64_t Command(std::uint8_t value, std::uint64_t t, std::uint32_t at = 0xAAAA) {
    chip_.Write(0xAAAA, 0xAA, t);
    chip_.Write(0x5554, 0x55, t + 1);
    chip_.Write(at, value, t + 2);
    return t + 3;
  }
  std::uint64_t SectorErase(std::uint32_t at, std::uint64_t t) {
    return Command(0x30, Command(0x80, t), at);
  }
  Chip& operator*() { return chip_; }
  Chip* operator->() { return &chip_; }

 private:
  Chip chip_;
};

TEST(Mx29f1610Chip, PageProgramAndsIntoThePageAndReportsStatusUntilReset) {
  Macronix chip(0xF0);
  std::uint64_t t = chip.Command(0xA0, 0);
  chip->Write(0x40000, 0x3C, t);
  chip->Write(0x4007F, 0x0F, t + Chip::kByteLoadWindow - 1);  // still within the window
  const std::uint64_t start = t + 2 * Chip::kByteLoadWindow - 1;
  chip->Write(0x40001, 0x00, start);  // the window had closed: programming ignores it
  EXPECT_EQ(chip->Read(0x40000, start), 0x00) << "status: busy";
  EXPECT_EQ(chip->Read(0x12345, start + Chip::kPageProgramTypical), Chip::kReady)
      << "status at any address";
  EXPECT_EQ(chip->Mode(), ChipMode::kStatus);
  t = chip.Command(0xF0, start + Chip::kPageProgramTypical);
  EXPECT_EQ(chip->Read(0x40000, t), 0x30) << "0xF0 & 0x3C";
  EXPECT_EQ(chip->Read(0x4007F, t), 0x00);
  EXPECT_EQ(chip->Read(0x40001, t), 0xF0);
  EXPECT_EQ(chip->Counters().pageWrites, 1u);
  EXPECT_EQ(chip->Counters().bytesProgrammed, 2u);
}

// Whether the load timer runs from the command or from the first byte is
// not settled: by default the chip waits for its first byte; timed from the
// command, a first byte after the window finds the load closed and the
// page untouched, while one within it loads as usual.
TEST(Mx29f1610Chip, LoadTimerFromTheCommandClosesALoadWhoseFirstByteIsLate) {
  for (const bool atCommand : {false, true}) {
    SCOPED_TRACE(atCommand);
    ChipFaults faults;
    faults.loadTimerAtCommand = atCommand;
    Macronix chip(0xFF, faults);
    std::uint64_t t = chip.Command(0xA0, 0);
    t += Chip::kByteLoadWindow;
    chip->Write(0x40000, 0x12, t);
    t = chip.Command(0xF0, t + Chip::kByteLoadWindow + Chip::kPageProgramTypical);
    EXPECT_EQ(chip->Read(0x40000, t), atCommand ? 0xFF : 0x12);
    EXPECT_EQ(chip->Counters().pageWrites, atCommand ? 0u : 1u);

    t = chip.Command(0xA0, t);
    chip->Write(0x40001, 0x34, t + Chip::kByteLoadWindow - 2);  // the A0 went at t - 1
    t = chip.Command(0xF0, t + 2 * Chip::kByteLoadWindow + Chip::kPageProgramTypical);
    EXPECT_EQ(chip->Read(0x40001, t), 0x34);
  }
}

TEST(Mx29f1610Chip, SectorEraseTakesItsTimeAndFaultsSetTheStatusBits) {
  ChipFaults faults;
  faults.badByte = 0x60010;
  faults.failingSector = 7;
  Macronix chip(0x00, faults);
  std::uint64_t t = chip.SectorErase(0x65432, 0);  // sector 3; the 30 went at t - 1
  const std::uint64_t end = t - 1 + Chip::kSectorEraseTypical;
  EXPECT_EQ(chip->Read(0, end - 1) & Chip::kReady, 0);
  EXPECT_EQ(chip->Read(0, end), Chip::kReady);
  t = chip.Command(0xF0, end);
  EXPECT_EQ(chip->Read(0x60000, t), 0xFF);
  EXPECT_EQ(chip->Read(0x7FFFF, t), 0xFF);
  EXPECT_EQ(chip->Read(0x5FFFF, t), 0x00) << "sector 2 stays";
  EXPECT_EQ(chip->Read(0x80000, t), 0x00) << "sector 4 stays";

  t = chip.SectorErase(7 * Chip::kSectorBytes, t);
  t += Chip::kSectorEraseTypical;
  EXPECT_EQ(chip->Read(0, t), Chip::kReady | Chip::kEraseFailed);
  t = chip.Command(0x50, t);
  EXPECT_EQ(chip->Read(0, t), Chip::kReady) << "clear status";
  t = chip.Command(0xA0, t);
  chip->Write(0x60010, 0x00, t);
  t += Chip::kByteLoadWindow + Chip::kPageProgramTypical;
  EXPECT_EQ(chip->Read(0, t), Chip::kReady | Chip::kProgramFailed);
  t = chip.Command(0xF0, t);
  EXPECT_EQ(chip->Read(0x60010, t), 0xFF) << "erased, but never programmed";
  EXPECT_EQ(chip->Read(7 * Chip::kSectorBytes, t), 0x00);
  EXPECT_EQ(chip->Counters().sectorErases, 2u);
}

TEST(Mx29f1610Chip, ProtectedSectorShowsInAutoselectAndRefusesChanges) {
  ChipFaults faults;
  faults.lockedSector = 5;
  Macronix chip(0xFF, faults);
  std::uint64_t t = chip.Command(0x90, 0);
  EXPECT_EQ(chip->Read(5 * Chip::kSectorBytes + 4, t), Chip::kSectorProtected);
  EXPECT_EQ(chip->Read(4 * Chip::kSectorBytes + 4, t), 0x00);
  EXPECT_EQ(chip->Read(2, t), Chip::kDevice);
  t = chip.Command(0xF0, t);
  t = chip.Command(0xA0, t);
  chip->Write(5 * Chip::kSectorBytes, 0x00, t);
  t += Chip::kByteLoadWindow + Chip::kPageProgramTypical;
  EXPECT_EQ(chip->Read(0, t), Chip::kReady | Chip::kProgramFailed);
  t = chip.SectorErase(5 * Chip::kSectorBytes, t) + Chip::kSectorEraseTypical;
  EXPECT_EQ(chip->Read(0, t), Chip::kReady | Chip::kProgramFailed | Chip::kEraseFailed);
  chip->Write(0, 0xF0, t);  // a lone F0 does not leave status mode
  EXPECT_EQ(chip->Mode(), ChipMode::kStatus);
  t = chip.Command(0xF0, t);
  EXPECT_EQ(chip->Read(5 * Chip::kSectorBytes, t), 0xFF);
  EXPECT_FALSE(chip->ContentsChanged());
}

}  // namespace
}  // namespace velwin::xchanger::sim
