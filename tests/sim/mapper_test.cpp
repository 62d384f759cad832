#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "sim/simulated_xchanger.h"
#include "tests/sim/port_driver.h"
#include "tests/sim/sim_test_support.h"

namespace velwin::xchanger::sim {
namespace {

using testing::CartConfig;
using testing::PatternByte;
using testing::PatternRom;
using testing::PortDriver;

std::uint8_t SramPattern(std::size_t offset) {
  return static_cast<std::uint8_t>(offset * 13 + offset / 0x2000);
}

class Mapper : public ::testing::Test {
 protected:
  void Insert(FlashChip chip, std::size_t romBanks, std::size_t sramBytes = 0x20000) {
    sim_ = std::make_unique<SimulatedXChanger>(CartConfig(chip, PatternRom(romBanks), sramBytes));
    port_ = std::make_unique<PortDriver>(*sim_, 0x378);
  }
  std::uint8_t ReadInBank(std::uint16_t bank, std::uint16_t address) {
    port_->CartWrite(0x2000, static_cast<std::uint8_t>(bank & 0xFF));
    port_->CartWrite(0x3000, static_cast<std::uint8_t>(bank >> 8));
    return port_->CartRead(address);
  }

  std::unique_ptr<SimulatedXChanger> sim_;
  std::unique_ptr<PortDriver> port_;
};

TEST_F(Mapper, RomBankRegistersAndTheirAddressRanges) {
  Insert(FlashChip::k64Mbit, 300);
  EXPECT_EQ(sim_->RomBank(), 1) << "power-on bank";
  EXPECT_EQ(port_->CartRead(0x3FFF), PatternByte(0, 0x3FFF));
  EXPECT_EQ(port_->CartRead(0x4000), PatternByte(1, 0));
  EXPECT_EQ(port_->CartRead(0x7FFF), PatternByte(1, 0x3FFF));
  EXPECT_EQ(port_->CartRead(0x8000), 0xFF);

  EXPECT_EQ(ReadInBank(261, 0x4123), PatternByte(261, 0x123));
  EXPECT_EQ(ReadInBank(0, 0x4000), PatternByte(0, 0)) << "MBC5 maps bank 0 at 0x4000 too";
  EXPECT_EQ(ReadInBank(400, 0x4000), 0xFF) << "erased beyond the image";
  port_->CartWrite(0x2FFF, 0x05);
  port_->CartWrite(0x3FFF, 0x01);
  EXPECT_EQ(sim_->RomBank(), 261);
  port_->CartWrite(0x1FFF, 0x06);  // SRAM enable register
  port_->CartWrite(0x6000, 0x07);  // nothing there on an MBC5
  EXPECT_EQ(sim_->RomBank(), 261);
}

TEST_F(Mapper, BankNumbersWrapAtTheChipSize) {
  Insert(FlashChip::k4Mbit, 32);
  EXPECT_EQ(ReadInBank(33, 0x4000), PatternByte(1, 0));
  EXPECT_EQ(ReadInBank(31, 0x4000), PatternByte(31, 0));
  Insert(FlashChip::k16Mbit, 8);
  ReadInBank(256 + 127, 0x4000);
  EXPECT_EQ(sim_->RomBank(), 127);
  Insert(FlashChip::kNone, 3);  // a mask ROM of 4 banks
  EXPECT_EQ(ReadInBank(6, 0x4001), PatternByte(2, 1));
}

TEST_F(Mapper, OnlyExactly0x0AEnablesTheSram) {
  Insert(FlashChip::k16Mbit, 4);
  EXPECT_EQ(port_->CartRead(0xA000), 0xFF) << "disabled at power-on";
  port_->CartWrite(0x1FFF, 0x0A);
  EXPECT_EQ(port_->CartRead(0xA000), SramPattern(0));
  EXPECT_EQ(port_->CartRead(0xBFFF), SramPattern(0x1FFF));
  EXPECT_EQ(port_->CartRead(0xC000), 0xFF);
  port_->CartWrite(0x0000, 0x1A);
  EXPECT_FALSE(sim_->SramEnabled());
  port_->CartWrite(0xA000, 0x11);
  EXPECT_EQ(sim_->Sram()[0], SramPattern(0)) << "write while disabled is lost";
  port_->CartWrite(0x0000, 0x0A);
  port_->CartWrite(0xA000, SramPattern(0));
  EXPECT_FALSE(sim_->Cart().SramChanged()) << "the same value again is no change";
  port_->CartWrite(0xA000, 0x11);
  EXPECT_EQ(port_->CartRead(0xA000), 0x11);
  EXPECT_TRUE(sim_->Cart().SramChanged());
}

TEST_F(Mapper, SramBankNumbersAreMaskedToTheChipPresent) {
  const struct {
    std::size_t sramBytes;
    std::uint8_t bankWritten;
    std::uint8_t bankUsed;
  } cases[] = {{0x8000, 3, 3}, {0x8000, 5, 1}, {0x20000, 15, 15}, {0x20000, 16, 0}};
  for (const auto& c : cases) {
    Insert(FlashChip::k16Mbit, 4, c.sramBytes);
    port_->CartWrite(0x0000, 0x0A);
    port_->CartWrite(0x5FFF, c.bankWritten);
    EXPECT_EQ(sim_->SramBank(), c.bankUsed);
    EXPECT_EQ(port_->CartRead(0xA005), SramPattern(c.bankUsed * 0x2000u + 5));
  }
  Insert(FlashChip::k16Mbit, 4, 0x800);  // 16 kbit repeats through the window
  port_->CartWrite(0x0000, 0x0A);
  EXPECT_EQ(port_->CartRead(0xA801), SramPattern(1));
  Insert(FlashChip::k16Mbit, 4, 0);
  port_->CartWrite(0x0000, 0x0A);
  EXPECT_EQ(port_->CartRead(0xA000), 0xFF) << "no SRAM chip";
}

TEST_F(Mapper, RemovedCartStopsAnsweringAfterTheGivenAccesses) {
  Insert(FlashChip::k16Mbit, 4);
  port_->CartWrite(0x2000, 3);
  port_->CartWrite(0x0000, 0x0A);
  sim_->RemoveCartAfter(2);
  EXPECT_EQ(port_->CartRead(0x4000), PatternByte(3, 0));
  EXPECT_EQ(port_->CartRead(0x4001), PatternByte(3, 1));
  EXPECT_EQ(port_->CartRead(0x4002), 0xFF);
  port_->CartWrite(0xA000, 0x99);
  EXPECT_EQ(sim_->Sram()[0], SramPattern(0));

  // Back in the slot it starts from power-on, the SRAM kept by its battery.
  sim_->InsertCart();
  EXPECT_FALSE(sim_->SramEnabled());
  EXPECT_EQ(port_->CartRead(0x4002), PatternByte(1, 2));
  sim_->RemoveCartAfter(0);
  EXPECT_EQ(port_->CartRead(0x0000), 0xFF);

  SimulatedXChanger empty{SimConfig{}};
  EXPECT_EQ(PortDriver(empty, 0x378).CartRead(0x0104), 0xFF) << "no cart at all";
}

// Whole SRAM banks over both link modes, with the mapper writes a cart
// reader sends before each transfer.
class SramBank : public ::testing::TestWithParam<bool> {
 protected:
  SramBank() : sim_(CartConfig(FlashChip::k16Mbit, PatternRom(8))), port_(sim_, 0x378) {}

  void Write(std::uint8_t reg, std::uint8_t value) {
    GetParam() ? port_.SppWriteRegister(reg, value) : port_.EppWriteRegister(reg, value);
  }
  void CartWrite(std::uint16_t address, std::uint8_t value) {
    Write(2, 0x80);
    Write(0, static_cast<std::uint8_t>(address & 0xFF));
    Write(1, static_cast<std::uint8_t>(address >> 8));
    Write(3, value);
  }
  void StartBlock(int block, std::uint8_t control) {
    Write(1, static_cast<std::uint8_t>(0xA0 + block));
    Write(0, 0x00);
    Write(2, 0x81);
    GetParam() ? port_.SppAddress(3) : port_.EppAddress(3);
    port_.Control(control);
  }

  SimulatedXChanger sim_;
  PortDriver port_;
};

TEST_P(SramBank, EnableSequenceThenReadAndWriteAWholeBank) {
  const std::vector<std::uint8_t> before(sim_.Sram().begin(), sim_.Sram().end());
  // 0xC0 disables the SRAM again, so the two writes into it are lost.
  CartWrite(0x0000, 0x0A);
  CartWrite(0x0000, 0xC0);
  CartWrite(0xA000, 0xA0);
  CartWrite(0xA100, 0xC0);
  CartWrite(0x0000, 0x0A);
  CartWrite(0x4000, 9);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), sim_.Sram().begin()));

  std::vector<std::uint8_t> read;
  for (int block = 0; block < 32; ++block) {
    StartBlock(block, 0x00);
    for (int i = 0; i < 256; ++i)
      read.push_back(GetParam() ? port_.SppRead() : port_.EppRead());
  }
  EXPECT_TRUE(std::equal(read.begin(), read.end(), before.begin() + 9 * 0x2000));

  for (int block = 0; block < 32; ++block) {
    StartBlock(block, 0x01);
    for (int i = 0; i < 256; ++i) {
      const auto value =
          static_cast<std::uint8_t>(~read[static_cast<std::size_t>(block * 256 + i)]);
      GetParam() ? port_.SppWrite(value) : sim_.PortWrite(0x37C, value);
    }
  }
  for (std::size_t i = 0; i < 0x2000; ++i) {
    ASSERT_EQ(sim_.Sram()[9 * 0x2000 + i], static_cast<std::uint8_t>(~read[i])) << i;
  }
  EXPECT_EQ(sim_.Sram()[10 * 0x2000], before[10 * 0x2000]) << "next bank untouched";
}

INSTANTIATE_TEST_SUITE_P(BothModes, SramBank, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Spp" : "Epp"; });

}  // namespace
}  // namespace velwin::xchanger::sim
