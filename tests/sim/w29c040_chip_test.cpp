#include "sim/w29c040_chip.h"

#include <gtest/gtest.h>

#include <vector>

namespace velwin::xchanger::sim {
namespace {

using Chip = W29c040Chip;

// The chip on its own, with the time given for every access.
class Winbond {
 public:
  explicit Winbond(std::vector<std::uint8_t> image, ChipFaults faults = {})
      : chip_(image, faults) {}

  // The software data protection prefix and A0: a page load opens.
  void OpenPageLoad(std::uint64_t t) {
    chip_.Write(0x5555, 0xAA, t);
    chip_.Write(0x2AAA, 0x55, t + 1);
    chip_.Write(0x5555, 0xA0, t + 2);
  }
  void SixWrite(std::uint8_t last, std::uint64_t t) {
    const std::uint8_t values[] = {0xAA, 0x55, 0x80, 0xAA, 0x55, last};
    const std::uint32_t addresses[] = {0x5555, 0x2AAA, 0x5555, 0x5555, 0x2AAA, 0x5555};
    for (int i = 0; i < 6; ++i)
      chip_.Write(addresses[i], values[i], t + static_cast<std::uint64_t>(i));
  }
  Chip& operator*() { return chip_; }
  Chip* operator->() { return &chip_; }

 private:
  Chip chip_;
};

std::vector<std::uint8_t> Image(std::uint8_t fill) {
  return std::vector<std::uint8_t>(Chip::kSizeBytes, fill);
}

TEST(W29c040Chip, PageWriteFillsUnloadedBytesAndPollsUntilItsTimeHasPassed) {
  Winbond chip(Image(0x00));
  chip.OpenPageLoad(0);
  chip->Write(0x1105, 0x5A, 10);
  chip->Write(0x1106, 0xA5, 209);  // 199 us after the byte before: still the same page
  // In the window and while writing, DQ7 is the complement of 0xA5's bit 7
  // and DQ6 toggles.
  const std::uint8_t first = chip->Read(0x1106, 300);
  const std::uint8_t second = chip->Read(0x0000, 301);
  EXPECT_EQ(first & 0x80, 0x00);
  EXPECT_EQ((first ^ second) & 0x40, 0x40);
  const std::uint64_t done = 209 + Chip::kByteLoadWindow + Chip::kPageWriteTypical;
  EXPECT_NE(chip->Read(0x1106, done - 1), 0xA5) << "still writing";
  chip->Write(0x1107, 0x00, done - 1);  // ignored while busy
  EXPECT_EQ(chip->Read(0x1106, done), 0xA5);
  EXPECT_EQ(chip->Mode(), ChipMode::kReadArray);
  EXPECT_EQ(chip->Read(0x1105, done), 0x5A);
  EXPECT_EQ(chip->Read(0x1100, done), 0xFF) << "not loaded: erased";
  EXPECT_EQ(chip->Read(0x1107, done), 0xFF);
  EXPECT_EQ(chip->Read(0x11FF, done), 0xFF);
  EXPECT_EQ(chip->Read(0x10FF, done), 0x00) << "the page before";
  EXPECT_EQ(chip->Read(0x1200, done), 0x00) << "the page after";
  EXPECT_EQ(chip->Counters().pageWrites, 1u);
  EXPECT_TRUE(chip->ContentsChanged());
}

TEST(W29c040Chip, OnlyProtectedLoadsWriteAndAStrayByteStaysInThePageOfTheFirst) {
  Winbond chip(Image(0x33));
  chip->Write(0x2000, 0x00, 0);  // no prefix: protection holds
  chip->Write(0x5555, 0xAA, 10);
  chip->Write(0x2AAA, 0x55, 11);
  chip->Write(0x5555, 0x90, 12);  // no command of this chip
  chip->Write(0x2000, 0x00, 13);
  chip.SixWrite(0x20, 20);  // protection disable: not emulated
  chip->Write(0x2000, 0x00, 30);
  chip.SixWrite(0x40, 40);  // boot block lockout: never emulated
  chip->Write(0x0000, 0x00, 50);
  chip.SixWrite(0x60, 1000);
  EXPECT_EQ(chip->Read(0x00002, 1010), 0xFE) << "low boot block open";
  EXPECT_EQ(chip->Read(0x7FFF2, 1011), 0xFE) << "high boot block open";
  chip->Write(0x5555, 0xF0, 1012);
  EXPECT_EQ(chip->Read(0x2000, 2000), 0x33);
  EXPECT_EQ(chip->Read(0x0000, 2001), 0x33);
  EXPECT_FALSE(chip->ContentsChanged());

  chip.OpenPageLoad(3000);
  chip->Write(0x2010, 0x01, 3010);
  chip->Write(0x2311, 0x02, 3020);  // A8-A18 of another page: taken at offset 0x11
  chip->Finish();
  EXPECT_EQ(chip->Read(0x2011, 9000), 0x02);
  EXPECT_EQ(chip->Read(0x2311, 9001), 0x33);
  EXPECT_EQ(chip->Counters().pageWrites, 1u);
}

TEST(W29c040Chip, FaultsLeaveTheWrongBytesForTheVerifyAndSlowTakesTheMaximum) {
  ChipFaults faults;
  faults.badByte = 0x00101;
  faults.failingSector = 3;  // 0x60000-0x7FFFF
  faults.slow = true;
  Winbond chip(Image(0x0F), faults);
  chip.OpenPageLoad(0);
  chip->Write(0x100, 0x12, 10);
  chip->Write(0x101, 0x34, 11);
  const std::uint64_t typical = 11 + Chip::kByteLoadWindow + Chip::kPageWriteTypical;
  EXPECT_NE(chip->Read(0x100, typical), 0x12) << "a slow chip is still writing";
  const std::uint64_t done = 11 + Chip::kByteLoadWindow + Chip::kPageWriteMaximum;
  EXPECT_EQ(chip->Read(0x100, done), 0x12);
  EXPECT_EQ(chip->Read(0x101, done), 0xFF) << "the bad cell never programs";

  // In the sector whose erase fails, the page write can only clear bits.
  chip.OpenPageLoad(20000);
  chip->Write(0x60000, 0xF1, 20010);
  chip->Finish();
  EXPECT_EQ(chip->Read(0x60000, 40000), 0x01);
  EXPECT_EQ(chip->Read(0x60001, 40001), 0x0F) << "not erased either";

  chip.SixWrite(0x10, 50000);  // chip erase
  EXPECT_EQ(chip->Read(0x0, 50005 + Chip::kChipEraseTime - 1) & 0x80, 0x00) << "polls 0xFF";
  EXPECT_EQ(chip->Read(0x0, 50005 + Chip::kChipEraseTime), 0xFF);
  EXPECT_EQ(chip->Read(0x5FFFF, 200000), 0xFF);
  EXPECT_EQ(chip->Read(0x60001, 200001), 0x0F) << "the failing sector stays";
  EXPECT_EQ(chip->Counters().chipErases, 1u);
  EXPECT_EQ(chip->Counters().pageWrites, 2u);
}

// A byte that comes a whole byte-load window after the one before is too
// late: the chip has closed the load and writes what it had, the rest of
// the page erased, and takes nothing while it writes. Loading the page
// again whole then writes it whole.
TEST(W29c040Chip, PageWhoseNextByteComesTooLateIsCutAndLoadingItAgainMendsIt) {
  Winbond chip(Image(0x00));
  chip.OpenPageLoad(0);
  chip->Write(0x3300, 0x11, 10);
  chip->Write(0x3301, 0x22, 10 + Chip::kByteLoadWindow);  // the window closed at this instant
  chip->Write(0x3302, 0x33, 11 + Chip::kByteLoadWindow);
  const std::uint64_t done = 10 + Chip::kByteLoadWindow + Chip::kPageWriteTypical;
  EXPECT_EQ(chip->Read(0x3300, done), 0x11);
  EXPECT_EQ(chip->Read(0x3301, done), 0xFF) << "came too late: not loaded, erased";
  EXPECT_EQ(chip->Read(0x3302, done), 0xFF);
  EXPECT_EQ(chip->Read(0x33FF, done), 0xFF) << "the old byte is gone";
  EXPECT_EQ(chip->Counters().pageWrites, 1u);

  chip.OpenPageLoad(done + 1);
  for (std::uint32_t i = 0; i < Chip::kPageBytes; ++i)
    chip->Write(0x3300 + i, static_cast<std::uint8_t>(i), done + 4 + i);
  chip->Finish();
  for (std::uint32_t i = 0; i < Chip::kPageBytes; ++i)
    EXPECT_EQ(chip->Read(0x3300 + i, 0), i);
}

// A locked boot block shows as 0xFF in identification mode and ignores
// page writes; chip erase does nothing once one is locked.
TEST(W29c040Chip, LockedBootBlockShowsInIdModeAndKeepsItsBytes) {
  for (const std::uint32_t quarter : {0u, 3u}) {
    ChipFaults faults;
    faults.lockedSector = quarter;
    Winbond chip(Image(0x5A), faults);
    chip.SixWrite(0x60, 0);
    EXPECT_EQ(chip->Read(0x00002, 20), quarter == 0 ? 0xFF : 0xFE);
    EXPECT_EQ(chip->Read(0x7FFF2, 21), quarter == 3 ? 0xFF : 0xFE);
    chip->Write(0x5555, 0xF0, 22);
    const std::uint32_t locked = quarter == 0 ? 0x03F00 : 0x7C000;
    const std::uint32_t open = quarter == 0 ? 0x04000 : 0x7BF00;
    std::uint64_t t = 100;
    for (const std::uint32_t page : {locked, open}) {
      chip.OpenPageLoad(t);
      chip->Write(page, 0x01, t + 5);
      chip->Finish();
      t += 20000;
    }
    EXPECT_EQ(chip->Read(locked, t), 0x5A) << quarter;
    EXPECT_EQ(chip->Read(open, t), 0x01) << quarter;
    chip.SixWrite(0x10, t);
    chip->Finish();
    EXPECT_EQ(chip->Read(0x20000, t), 0x5A) << "no chip erase";
  }
}

}  // namespace
}  // namespace velwin::xchanger::sim
