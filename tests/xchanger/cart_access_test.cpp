#include "xchanger/cart_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "fake_cart.h"
#include "gbheader/header_logo.h"

namespace velwin::xchanger {
namespace {

using testing::BusEvent;
using testing::CountingPump;
using testing::FakeCart;
using testing::FakeXChanger;
using testing::PortAccess;
using testing::SteppingTicks;
using testing::W;

constexpr std::uint16_t kBase = 0x378;

BusEvent Flash(std::uint16_t address, std::uint8_t value) {
  return {BusEvent::kFlashCommand, address, value};
}
BusEvent Write(std::uint16_t address, std::uint8_t value) {
  return {BusEvent::kWrite, address, value};
}

// An X-Changer on LPT1 with a cart in it, found in the mode under test.
class Cart : public ::testing::TestWithParam<std::uint8_t> {
 protected:
  void Insert(FakeCart::Chip chip, std::size_t sramBanks, std::size_t romBanks = 32) {
    cart_.emplace(xchanger_, chip, sramBanks, romBanks);
    xchanger_.eppWorks = GetParam() == kLinkModeEpp;
    ASSERT_TRUE(link_.FindXChanger());
    ASSERT_EQ(link_.LinkMode(), GetParam());
    xchanger_.bus.clear();
    xchanger_.trace.clear();
  }
  std::vector<BusEvent> Commands() const {
    std::vector<BusEvent> commands;
    std::copy_if(xchanger_.bus.begin(), xchanger_.bus.end(), std::back_inserter(commands),
                 [](const BusEvent& e) { return e.kind != BusEvent::kRead; });
    return commands;
  }
  void FillBuffer(std::uint8_t value) { std::ranges::fill(access_.TransferBuffer(), value); }
  std::size_t BufferBytesEqualTo(std::uint8_t value) const {
    return static_cast<std::size_t>(std::ranges::count(access_.TransferBuffer(), value));
  }

  FakeXChanger xchanger_{kBase};
  std::optional<FakeCart> cart_;
  SteppingTicks ticks_{0};
  CountingPump pump_;
  XChangerLink link_{xchanger_, ticks_, pump_};
  CartAccess access_{link_};
};

INSTANTIATE_TEST_SUITE_P(BothModes, Cart, ::testing::Values(kLinkModeEpp, kLinkModeSpp),
                         [](const ::testing::TestParamInfo<std::uint8_t>& mode) {
                           return mode.param == kLinkModeEpp ? "Epp" : "Spp";
                         });

TEST_P(Cart, IdentifiesTheWinbond4MbitCard) {
  Insert(FakeCart::k4Mbit, 4);
  FillBuffer(0xEE);
  EXPECT_EQ(access_.IdentifyFlashCard(), 4);
  EXPECT_EQ(access_.CardSizeMbit(), 4);
  EXPECT_EQ(access_.CardBankCount(), 32);
  EXPECT_GE(pump_.count, 1);
  EXPECT_GE(ticks_.now, 10u);  // the 10 ms pause ran
  EXPECT_EQ(Commands(),
            (std::vector<BusEvent>{Flash(0x5555, 0xAA), Flash(0x2AAA, 0x55), Flash(0x5555, 0x80),
                                   Flash(0x5555, 0xAA), Flash(0x2AAA, 0x55), Flash(0x5555, 0x60),
                                   Flash(0x5555, 0xAA), Flash(0x2AAA, 0x55), Flash(0x5555, 0xF0)}));
  EXPECT_EQ(BufferBytesEqualTo(0xEE), access_.TransferBuffer().size());
}

TEST_P(Cart, IdentifiesTheMacronix16MbitCardInWordMode) {
  Insert(FakeCart::k16Mbit, 16);
  FillBuffer(0xEE);
  EXPECT_EQ(access_.IdentifyFlashCard(), 16);
  EXPECT_EQ(access_.CardBankCount(), 128);
  const auto commands = Commands();
  // The failed 4 Mbit probe sends only its six entry writes.
  ASSERT_GE(commands.size(), 6u);
  EXPECT_EQ(commands[5], Flash(0x5555, 0x60));
  // Word address 0x5555 is bank 2 at 0x6AAA, 0x2AAA is bank 1 at 0x5554.
  const std::vector<BusEvent> autoselect{
      Write(0x2000, 2), Flash(0x6AAA, 0xAA), Write(0x2000, 1), Flash(0x5554, 0x55),
      Write(0x2000, 2), Flash(0x6AAA, 0x90), Write(0x2000, 2), Flash(0x6AAA, 0xAA),
      Write(0x2000, 1), Flash(0x5554, 0x55), Write(0x2000, 2), Flash(0x6AAA, 0xF0)};
  EXPECT_EQ(std::vector<BusEvent>(commands.begin() + 6, commands.end()), autoselect);
  EXPECT_EQ(BufferBytesEqualTo(0xEE), access_.TransferBuffer().size());
}

TEST_P(Cart, IdentifiesTheIntel64MbitCardByItsQuery) {
  Insert(FakeCart::k64Mbit, 16);
  FillBuffer(0xEE);
  EXPECT_EQ(access_.IdentifyFlashCard(), 64);
  EXPECT_EQ(access_.CardBankCount(), 512);
  const auto& buffer = access_.TransferBuffer();
  EXPECT_EQ(buffer[0], 0x89);
  EXPECT_EQ(buffer[1], 0x15);
  EXPECT_EQ(buffer[0x10], 'Q');
  EXPECT_EQ(buffer[0x12], 'Y');
  EXPECT_EQ(buffer[64], 0x00);
  EXPECT_EQ(buffer[65], 0xEE);
  const auto commands = Commands();
  ASSERT_GE(commands.size(), 6u);
  const std::vector<BusEvent> tail(commands.end() - 6, commands.end());
  // Query at linear address 0, then back to read-array mode there.
  EXPECT_EQ(tail, (std::vector<BusEvent>{Write(0x3000, 0), Write(0x2000, 0), Flash(0, 0x98),
                                         Write(0x3000, 0), Write(0x2000, 0), Flash(0, 0xFF)}));
}

TEST_P(Cart, NoCardAnswersGivesZeroAndOverwritesTheQueryBytes) {
  Insert(FakeCart::kNoChip, 4);
  FillBuffer(0xEE);
  EXPECT_EQ(access_.IdentifyFlashCard(), 0);
  EXPECT_EQ(access_.CardBankCount(), 0);
  EXPECT_EQ(BufferBytesEqualTo(0xFF), 65u);
  EXPECT_EQ(access_.TransferBuffer()[65], 0xEE);
  // Nothing follows the 65 query reads.
  ASSERT_FALSE(xchanger_.bus.empty());
  EXPECT_EQ(xchanger_.bus.back(), (BusEvent{BusEvent::kRead, 128, 0xFF}));
  EXPECT_EQ(Commands().back(), Flash(0, 0x98));
}

TEST_P(Cart, WinbondMakerWithAnotherDeviceGetsNoIdentificationExit) {
  Insert(FakeCart::k4Mbit, 4);
  cart_->winbondDevice = 0x47;
  EXPECT_EQ(access_.IdentifyFlashCard(), 0);
  const auto commands = Commands();
  ASSERT_GE(commands.size(), 7u);
  EXPECT_EQ(commands[5], Flash(0x5555, 0x60));
  EXPECT_EQ(commands[6], Write(0x2000, 2));  // straight on to the 16 Mbit probe
}

TEST_P(Cart, HeaderOfBankZeroAndItsFields) {
  Insert(FakeCart::k4Mbit, 4);
  auto& rom = cart_->rom;
  std::ranges::copy(gbheader::HeaderLogo, rom.begin() + 0x104);
  const std::string title("POCKETMON\0\0\0\0\0", 14);
  std::ranges::copy(title, rom.begin() + 0x134);
  const std::uint8_t signature[6] = {'V', 'E', 0, 'T', 0, 'A'};
  std::ranges::copy(signature, rom.begin() + 0x30);
  rom[0x143] = 0x80;
  rom[0x144] = '0';
  rom[0x145] = '1';
  rom[0x146] = 0x03;
  rom[0x147] = 0x1B;
  rom[0x148] = 0x05;
  rom[0x149] = 0x03;
  rom[0x14A] = 0x01;
  rom[0x14D] = 0xA7;
  rom[0x14E] = 0x12;
  rom[0x14F] = 0x34;

  CartHeader header;
  access_.ReadCartHeader(0, header);
  EXPECT_EQ(header.Title, "POCKETMON     ");
  EXPECT_EQ(header.Signature, std::string("VE\0T\0A", 6));
  EXPECT_EQ(header.CgbFlag, 0x80);
  EXPECT_EQ(header.LicenseeCode, "01");
  EXPECT_EQ(header.SgbFlag, 0x03);
  EXPECT_EQ(header.CartType, 0x1B);
  EXPECT_EQ(header.RomSize, 0x05);
  EXPECT_EQ(header.RamSize, 0x03);
  EXPECT_EQ(header.DestinationCode, 0x01);
  EXPECT_EQ(header.HeaderChecksum, 0xA7);
  EXPECT_EQ(header.GlobalChecksum, 0x1234);
  EXPECT_TRUE(CartAccess::CartHeaderValid(header));
  EXPECT_TRUE(std::equal(rom.begin(), rom.begin() + 512, access_.TransferBuffer().begin()));
  // Bank 0 is selected through both bank registers and read at 0x0000.
  EXPECT_EQ(Commands(), (std::vector<BusEvent>{Write(0x2000, 0), Write(0x3000, 0)}));
  EXPECT_EQ(xchanger_.bus.back(), (BusEvent{BusEvent::kRead, 0x01FF, rom[0x1FF]}));
}

TEST(CartHeaderCheck, EveryLogoByteCounts) {
  CartHeader header;
  header.Logo = gbheader::HeaderLogo;
  EXPECT_TRUE(CartAccess::CartHeaderValid(header));
  for (const std::size_t i : {std::size_t{0}, std::size_t{24}, std::size_t{47}}) {
    CartHeader broken = header;
    broken.Logo[i] ^= 0x01;
    EXPECT_FALSE(CartAccess::CartHeaderValid(broken)) << i;
  }
  EXPECT_FALSE(CartAccess::CartHeaderValid(CartHeader{}));
}

TEST_P(Cart, BanksAbove255GoThroughTheHighBankRegister) {
  Insert(FakeCart::k64Mbit, 16, 512);
  CartHeader header;
  access_.ReadCartHeader(256, header);
  EXPECT_EQ(Commands(), (std::vector<BusEvent>{Write(0x2000, 0x00), Write(0x3000, 0x01)}));
  const auto first = cart_->rom.begin() + 256 * 0x4000;
  EXPECT_TRUE(std::equal(first, first + 512, access_.TransferBuffer().begin()));
  EXPECT_EQ(xchanger_.bus[2].address, 0x4000);
  EXPECT_EQ(xchanger_.bus.back().address, 0x41FF);
}

TEST_P(Cart, MenuDirectoryIsTheWholeBank) {
  Insert(FakeCart::k16Mbit, 16, 128);
  FillBuffer(0xEE);
  access_.ReadMenuDirectory(1);
  const auto first = cart_->rom.begin() + 0x4000;
  EXPECT_TRUE(std::equal(first, first + 0x4000, access_.TransferBuffer().begin()));
  EXPECT_EQ(access_.TransferBuffer()[0x4000], 0xEE);
  EXPECT_EQ(xchanger_.bus.back().address, 0x7FFF);
  EXPECT_EQ(xchanger_.regs[ModeReg], 0x81);
}

TEST_P(Cart, SramBanksRoundTrip) {
  Insert(FakeCart::k16Mbit, 16);
  ASSERT_EQ(access_.IdentifyFlashCard(), 16);
  auto& buffer = access_.TransferBuffer();
  for (std::size_t i = 0; i < 0x2000; ++i) {
    buffer[i] = static_cast<std::uint8_t>(i * 13 + 5);
  }
  const std::vector<std::uint8_t> sent(buffer.begin(), buffer.begin() + 0x2000);
  EXPECT_EQ(access_.WriteSramBank(15), 0);
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), cart_->sram.begin() + 15 * 0x2000));
  EXPECT_EQ(std::count(cart_->sram.begin(), cart_->sram.begin() + 15 * 0x2000, 0), 15 * 0x2000);

  FillBuffer(0);
  EXPECT_EQ(access_.ReadSramBank(15), 0);
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), buffer.begin()));
  EXPECT_EQ(BufferBytesEqualTo(0),
            buffer.size() - 0x2000 + std::count(sent.begin(), sent.end(), 0));
}

TEST_P(Cart, SramIsEnabledAndItsBankSelectedBeforeEveryTransfer) {
  Insert(FakeCart::kNoChip, 16);
  EXPECT_EQ(access_.ReadSramBank(5), 0);
  const auto commands = Commands();
  EXPECT_EQ(commands,
            (std::vector<BusEvent>{Write(0x0000, 0x0A), Write(0x0000, 0xC0), Write(0xA000, 0xA0),
                                   Write(0xA100, 0xC0), Write(0x0000, 0x0A), Write(0x4000, 5)}));
  EXPECT_EQ(xchanger_.bus.back().address, 0xBFFF);
  EXPECT_EQ(xchanger_.regs[ModeReg], 0x80);
}

TEST_P(Cart, SramBankLimitsFollowTheIdentifiedCard) {
  Insert(FakeCart::k4Mbit, 4);
  // Before any identification every bank below 16 is accepted.
  EXPECT_EQ(access_.ReadSramBank(15), 0);
  EXPECT_EQ(access_.SramBankLimit(), 0);
  ASSERT_EQ(access_.IdentifyFlashCard(), 4);

  cart_->sram[3 * 0x2000] = 0x33;
  xchanger_.trace.clear();
  FillBuffer(0xEE);
  EXPECT_EQ(access_.ReadSramBank(4), kBankOutOfRange);
  EXPECT_EQ(access_.ReadSramBank(16), kBankOutOfRange);
  EXPECT_EQ(access_.ReadSramBank(255), kBankOutOfRange);
  EXPECT_TRUE(xchanger_.trace.empty());
  EXPECT_EQ(BufferBytesEqualTo(0xEE), access_.TransferBuffer().size());
  EXPECT_EQ(access_.ReadSramBank(3), 0);
  EXPECT_EQ(access_.TransferBuffer()[0], 0x33);
  EXPECT_EQ(access_.SramBankLimit(), 4);
}

TEST_P(Cart, WritesPastASmallCardsLastBankAreRefusedEvenBeforeAnyRead) {
  Insert(FakeCart::k4Mbit, 4);
  ASSERT_EQ(access_.IdentifyFlashCard(), 4);
  std::ranges::fill(cart_->sram, 0x5A);
  xchanger_.trace.clear();
  // Bank 7 would wrap onto bank 3 of this card and destroy that save.
  EXPECT_EQ(access_.WriteSramBank(7), kBankOutOfRange);
  EXPECT_EQ(access_.WriteSramBank(4), kBankOutOfRange);
  EXPECT_TRUE(xchanger_.trace.empty());
  EXPECT_EQ(std::ranges::count(cart_->sram, 0x5A), 4 * 0x2000);
  EXPECT_EQ(access_.WriteSramBank(3), 0);
  EXPECT_EQ(std::ranges::count(cart_->sram, 0x5A), 3 * 0x2000);
}

TEST_P(Cart, LargeCardsTakeSixteenSramBanks) {
  Insert(FakeCart::k64Mbit, 16);
  ASSERT_EQ(access_.IdentifyFlashCard(), 64);
  xchanger_.trace.clear();
  EXPECT_EQ(access_.WriteSramBank(16), kBankOutOfRange);
  EXPECT_TRUE(xchanger_.trace.empty());
  EXPECT_EQ(access_.WriteSramBank(15), 0);
  EXPECT_EQ(access_.SramBankLimit(), 16);
}

// The exact cycles of the cart bus writes, in EPP mode where each is short.
TEST(CartCycles, BankRegisterWriteAndFlashCommand) {
  FakeXChanger port(kBase);
  SteppingTicks ticks(0);
  CountingPump pump;
  XChangerLink link(port, ticks, pump);
  ASSERT_TRUE(link.FindXChanger());
  CartAccess access(link);
  port.trace.clear();
  access.CartWrite(0xA123, 0x42);
  constexpr std::uint16_t C = kBase + 2, EA = kBase + 3, ED = kBase + 4;
  auto reg = [&](std::uint8_t r, std::uint8_t v) {
    return std::vector<PortAccess>{W(C, 1), W(EA, r), W(C, 1), W(ED, v)};
  };
  std::vector<PortAccess> expected;
  for (auto part :
       {reg(ModeReg, 0x80), reg(AddrLowReg, 0x23), reg(AddrHighReg, 0x21), reg(DataReg, 0x42)}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  expected.push_back(W(C, 0));
  EXPECT_EQ(port.trace, expected);

  port.trace.clear();
  access.FlashWriteCycle(0x98);
  expected = reg(ModeReg, 0x82);
  for (auto part :
       {std::vector<PortAccess>{W(C, 1), W(C, 1), W(EA, DataReg), W(C, 1), W(ED, 0x98)},
        reg(ModeReg, 0x80), std::vector<PortAccess>{W(C, 1), W(C, 1), W(EA, DataReg)}}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(port.trace, expected);
}

}  // namespace
}  // namespace velwin::xchanger
