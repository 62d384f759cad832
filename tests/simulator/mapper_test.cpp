#include <gtest/gtest.h>

#include <memory>

#include "tests/simulator/port_driver.h"
#include "tests/simulator/sim_test_support.h"
#include "xchanger/sim/simulated_xchanger.h"

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
  void SelectRomBank(std::uint16_t bank) {
    port_->CartWrite(0x2000, static_cast<std::uint8_t>(bank & 0xFF));
    port_->CartWrite(0x3000, static_cast<std::uint8_t>(bank >> 8));
  }

  std::unique_ptr<SimulatedXChanger> sim_;
  std::unique_ptr<PortDriver> port_;
};

TEST_F(Mapper, PowersOnWithBankOneAndReadsBankZeroBelow0x4000) {
  Insert(FlashChip::k16Mbit, 8);
  EXPECT_EQ(sim_->RomBank(), 1);
  EXPECT_EQ(port_->CartRead(0x3FFF), PatternByte(0, 0x3FFF));
  EXPECT_EQ(port_->CartRead(0x4000), PatternByte(1, 0));
  EXPECT_EQ(port_->CartRead(0x7FFF), PatternByte(1, 0x3FFF));
  // Neither VRAM nor work RAM is on the cart.
  EXPECT_EQ(port_->CartRead(0x8000), 0xFF);
  EXPECT_EQ(port_->CartRead(0xC000), 0xFF);
}

TEST_F(Mapper, BankRegistersCoverTheirWholeRangesAndBankZeroIsReachable) {
  Insert(FlashChip::k16Mbit, 8);
  port_->CartWrite(0x2FFF, 0x05);
  EXPECT_EQ(sim_->RomBank(), 5);
  port_->CartWrite(0x2000, 0x00);
  EXPECT_EQ(port_->CartRead(0x4000), PatternByte(0, 0)) << "MBC5 maps bank 0 at 0x4000 too";
  port_->CartWrite(0x1FFF, 0x06);  // the SRAM enable register, not the bank
  EXPECT_EQ(sim_->RomBank(), 0);
  port_->CartWrite(0x6000, 0x07);  // no register there
  EXPECT_EQ(sim_->RomBank(), 0);
}

TEST_F(Mapper, BanksAboveTwoFiftyFiveComeFromTheHighRegister) {
  Insert(FlashChip::k64Mbit, 300);
  SelectRomBank(261);
  EXPECT_EQ(sim_->RomBank(), 261);
  EXPECT_EQ(port_->CartRead(0x4123), PatternByte(261, 0x123));
  port_->CartWrite(0x3FFF, 0x00);
  EXPECT_EQ(sim_->RomBank(), 5);
  // Beyond the image the flash is erased.
  SelectRomBank(400);
  EXPECT_EQ(port_->CartRead(0x4000), 0xFF);
}

TEST_F(Mapper, BankNumbersWrapAtTheChipSize) {
  Insert(FlashChip::k4Mbit, 32);
  SelectRomBank(33);
  EXPECT_EQ(sim_->RomBank(), 1);
  EXPECT_EQ(port_->CartRead(0x4000), PatternByte(1, 0));
  SelectRomBank(31);
  EXPECT_EQ(port_->CartRead(0x4000), PatternByte(31, 0));

  Insert(FlashChip::k16Mbit, 8);
  SelectRomBank(128 + 6);
  EXPECT_EQ(sim_->RomBank(), 6);
  SelectRomBank(256 + 127);
  EXPECT_EQ(sim_->RomBank(), 127);

  Insert(FlashChip::kNone, 3);  // a mask ROM of 4 banks
  SelectRomBank(6);
  EXPECT_EQ(port_->CartRead(0x4001), PatternByte(2, 1));
}

TEST_F(Mapper, OnlyExactly0x0AEnablesTheSram) {
  Insert(FlashChip::k16Mbit, 4);
  EXPECT_FALSE(sim_->SramEnabled());
  EXPECT_EQ(port_->CartRead(0xA000), 0xFF);
  port_->CartWrite(0x0000, 0x0A);
  EXPECT_TRUE(sim_->SramEnabled());
  EXPECT_EQ(port_->CartRead(0xA000), SramPattern(0));
  EXPECT_EQ(port_->CartRead(0xBFFF), SramPattern(0x1FFF));
  port_->CartWrite(0x0000, 0x1A);
  EXPECT_FALSE(sim_->SramEnabled());
  port_->CartWrite(0x1FFF, 0x0A);
  EXPECT_TRUE(sim_->SramEnabled());
  port_->CartWrite(0x0000, 0xC0);
  EXPECT_FALSE(sim_->SramEnabled());

  // Writes while disabled are lost; enabled, they land in the chip.
  port_->CartWrite(0xA000, 0x11);
  EXPECT_EQ(sim_->Sram()[0], SramPattern(0));
  port_->CartWrite(0x0000, 0x0A);
  port_->CartWrite(0xA000, 0x11);
  EXPECT_EQ(sim_->Sram()[0], 0x11);
  EXPECT_EQ(port_->CartRead(0xA000), 0x11);
}

TEST_F(Mapper, SramBankNumbersAreMaskedToTheChipPresent) {
  Insert(FlashChip::k16Mbit, 4, 0x8000);  // four banks
  port_->CartWrite(0x0000, 0x0A);
  port_->CartWrite(0x4000, 3);
  EXPECT_EQ(port_->CartRead(0xA005), SramPattern(3 * 0x2000 + 5));
  port_->CartWrite(0x5FFF, 5);
  EXPECT_EQ(sim_->SramBank(), 1);
  EXPECT_EQ(port_->CartRead(0xA005), SramPattern(0x2000 + 5));

  Insert(FlashChip::k16Mbit, 4, 0x20000);  // sixteen banks
  port_->CartWrite(0x0000, 0x0A);
  port_->CartWrite(0x4000, 15);
  EXPECT_EQ(sim_->SramBank(), 15);
  port_->CartWrite(0x4000, 16);
  EXPECT_EQ(sim_->SramBank(), 0);

  Insert(FlashChip::k16Mbit, 4, 0x800);  // 16 kbit: repeats through the window
  port_->CartWrite(0x0000, 0x0A);
  EXPECT_EQ(port_->CartRead(0xA801), SramPattern(1));

  Insert(FlashChip::k16Mbit, 4, 0);  // no SRAM at all
  port_->CartWrite(0x0000, 0x0A);
  port_->CartWrite(0xA000, 0x00);
  EXPECT_EQ(port_->CartRead(0xA000), 0xFF);
}

TEST_F(Mapper, BlockModeWritesFillAWholeSramBank) {
  Insert(FlashChip::k64Mbit, 4);
  port_->CartWrite(0x0000, 0x0A);
  port_->CartWrite(0x4000, 2);
  port_->EppWriteRegister(2, 0x81);
  port_->EppWriteRegister(1, 0xA0);
  port_->EppWriteRegister(0, 0x00);
  port_->EppAddress(3);
  for (int i = 0; i < 0x2000; ++i)
    port_->EppWrite(static_cast<std::uint8_t>(i ^ 0x5A));
  for (std::size_t i = 0; i < 0x2000; ++i) {
    ASSERT_EQ(sim_->Sram()[2 * 0x2000 + i], static_cast<std::uint8_t>(i ^ 0x5A)) << i;
  }
  EXPECT_EQ(sim_->Sram()[3 * 0x2000], SramPattern(3 * 0x2000)) << "next bank untouched";
  EXPECT_EQ(sim_->CartBusCounters().sramWrites, 0x2000u);
  EXPECT_TRUE(sim_->Cart().SramChanged());
}

TEST_F(Mapper, WritingTheSameValueBackIsNoChange) {
  Insert(FlashChip::k16Mbit, 4);
  port_->CartWrite(0x0000, 0x0A);
  port_->CartWrite(0xA010, SramPattern(0x10));
  EXPECT_FALSE(sim_->Cart().SramChanged());
  port_->CartWrite(0xA010, static_cast<std::uint8_t>(SramPattern(0x10) + 1));
  EXPECT_TRUE(sim_->Cart().SramChanged());
}

TEST_F(Mapper, RemovedCartStopsAnsweringAfterTheGivenAccesses) {
  Insert(FlashChip::k16Mbit, 4);
  port_->CartWrite(0x2000, 3);
  port_->CartWrite(0x0000, 0x0A);
  sim_->RemoveCartAfter(2);
  EXPECT_EQ(port_->CartRead(0x4000), PatternByte(3, 0));
  EXPECT_EQ(port_->CartRead(0x4001), PatternByte(3, 1));
  EXPECT_EQ(port_->CartRead(0x4002), 0xFF);
  port_->CartWrite(0x0000, 0x0A);
  port_->CartWrite(0xA000, 0x99);
  EXPECT_EQ(sim_->Sram()[0], SramPattern(0));
  EXPECT_FALSE(sim_->Cart().Present());

  // Back in the slot it starts from power-on, SRAM kept by its battery.
  sim_->InsertCart();
  EXPECT_EQ(sim_->RomBank(), 1);
  EXPECT_FALSE(sim_->SramEnabled());
  EXPECT_EQ(port_->CartRead(0x4002), PatternByte(1, 2));

  sim_->RemoveCartAfter(0);
  EXPECT_EQ(port_->CartRead(0x0000), 0xFF);
}

TEST(NoCart, EveryCartReadAnswers0xFF) {
  SimulatedXChanger sim{SimConfig{}};
  PortDriver port(sim, 0x378);
  EXPECT_EQ(port.CartRead(0x0104), 0xFF);
  EXPECT_EQ(port.CartRead(0x4000), 0xFF);
  port.CartWrite(0x0000, 0x0A);
  EXPECT_EQ(port.CartRead(0xA000), 0xFF);
  EXPECT_EQ(sim.CartBusCounters().reads, 0u);
}

}  // namespace
}  // namespace velwin::xchanger::sim
