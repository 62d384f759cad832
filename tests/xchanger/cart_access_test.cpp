#include "xchanger/cart_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "gbheader/header_logo.h"
#include "port/port_backend.h"
#include "sim/simulated_xchanger.h"
#include "tests/port/recording_port.h"
#include "xchanger/port_choice.h"

namespace velwin::xchanger {
namespace {

using sim::CartBusEvent;
using sim::FlashChip;
using testing::CountingPump;
using testing::PortAccess;
using testing::RecordingPort;
using testing::SteppingTicks;
using testing::W;

constexpr std::size_t kBank = 0x4000;
constexpr std::size_t kSramBank = 0x2000;

CartBusEvent Flash(std::uint16_t address, std::uint8_t value) {
  return {CartBusEvent::Kind::kFlashCommand, address, value};
}
CartBusEvent Write(std::uint16_t address, std::uint8_t value) {
  return {CartBusEvent::Kind::kWrite, address, value};
}

// A card image whose every bank has a valid header naming the bank, over a
// byte pattern that differs from bank to bank.
std::vector<std::uint8_t> CardImage(std::size_t banks) {
  std::vector<std::uint8_t> rom(banks * kBank);
  for (std::size_t i = 0; i < rom.size(); ++i) {
    rom[i] = static_cast<std::uint8_t>(i * 31 + i / kBank);
  }
  for (std::size_t bank = 0; bank < banks; ++bank) {
    const auto header = rom.begin() + static_cast<std::ptrdiff_t>(bank * kBank);
    std::ranges::copy(gbheader::HeaderLogo, header + 0x104);
    std::fill(header + 0x134, header + 0x142, 0);
    std::ranges::copy("BANK" + std::to_string(bank), header + 0x134);
  }
  return rom;
}

std::size_t Banks(FlashChip chip) {
  return chip == FlashChip::k4Mbit ? 32 : chip == FlashChip::k16Mbit ? 128 : 512;
}

// The simulated X-Changer on LPT1 with a card in it, found in the mode under
// test; the cart bus is traced from then on.
class Cart : public ::testing::TestWithParam<std::uint8_t> {
 protected:
  void Insert(FlashChip chip, std::size_t sramBanks = 16) {
    sim::SimConfig config;
    config.hasCart = chip != FlashChip::kNone;
    config.card = chip;
    if (config.hasCart) {
      rom_ = CardImage(Banks(chip));
      config.rom = rom_;
    }
    config.sram.assign(sramBanks * kSramBank, 0x00);
    config.modes = GetParam() == kLinkModeEpp ? sim::LinkModes::kEppOnly : sim::LinkModes::kSppOnly;
    sim_ = std::make_unique<sim::SimulatedXChanger>(std::move(config));
    link_ = std::make_unique<XChangerLink>(*sim_, ticks_, pump_);
    access_ = std::make_unique<CartAccess>(*link_);
    ASSERT_TRUE(link_->FindXChanger());
    ASSERT_EQ(link_->LinkMode(), GetParam());
    sim_->EnableCartTrace(true);
    sim_->ClearTraces();
  }
  std::vector<CartBusEvent> Commands() const {
    std::vector<CartBusEvent> commands;
    std::ranges::copy_if(sim_->CartTrace(), std::back_inserter(commands),
                         [](const auto& e) { return e.kind != CartBusEvent::Kind::kRead; });
    return commands;
  }
  void FillBuffer(std::uint8_t value) { std::ranges::fill(access_->TransferBuffer(), value); }
  std::size_t BufferCount(std::uint8_t value) const {
    return static_cast<std::size_t>(std::ranges::count(access_->TransferBuffer(), value));
  }
  std::uint64_t PortAccesses() const { return sim_->Counters().reads + sim_->Counters().writes; }

  std::vector<std::uint8_t> rom_;
  std::unique_ptr<sim::SimulatedXChanger> sim_;
  SteppingTicks ticks_{0};
  CountingPump pump_;
  std::unique_ptr<XChangerLink> link_;
  std::unique_ptr<CartAccess> access_;
};

INSTANTIATE_TEST_SUITE_P(BothModes, Cart, ::testing::Values(kLinkModeEpp, kLinkModeSpp),
                         [](const ::testing::TestParamInfo<std::uint8_t>& mode) {
                           return mode.param == kLinkModeEpp ? "Epp" : "Spp";
                         });

// The power-on ROM bank first, so that the chip's A14 is set for 0x5555.
const std::vector<CartBusEvent> kWinbondEntry{
    Write(0x2000, 1),    Write(0x3000, 0),    Flash(0x5555, 0xAA), Flash(0x2AAA, 0x55),
    Flash(0x5555, 0x80), Flash(0x5555, 0xAA), Flash(0x2AAA, 0x55), Flash(0x5555, 0x60)};

TEST_P(Cart, Winbond4MbitIsIdentifiedAndLeftInReadMode) {
  Insert(FlashChip::k4Mbit, 4);
  FillBuffer(0xEE);
  EXPECT_EQ(access_->IdentifyFlashCard(), 4);
  EXPECT_EQ(access_->CardBankCount(), 32);
  EXPECT_GE(ticks_.now, 10u);  // the chip got its 10 ms
  EXPECT_GE(pump_.count, 1);
  auto expected = kWinbondEntry;
  expected.insert(expected.end(), {Flash(0x5555, 0xAA), Flash(0x2AAA, 0x55), Flash(0x5555, 0xF0)});
  EXPECT_EQ(Commands(), expected);
  EXPECT_EQ(BufferCount(0xEE), access_->TransferBuffer().size());
}

// A header read leaves bank 0 selected; the 4 Mbit card must still be
// found by the next identification, as at a second "Analyse Cart".
TEST_P(Cart, Winbond4MbitIsFoundAgainAfterABank0Read) {
  Insert(FlashChip::k4Mbit, 4);
  CartHeader header;
  access_->ReadCartHeader(0, header);
  EXPECT_EQ(access_->IdentifyFlashCard(), 4);
}

TEST_P(Cart, Macronix16MbitIsIdentifiedThroughWordAddresses) {
  Insert(FlashChip::k16Mbit);
  FillBuffer(0xEE);
  EXPECT_EQ(access_->IdentifyFlashCard(), 16);
  EXPECT_EQ(access_->CardBankCount(), 128);
  // The failed 4 Mbit probe sends only its entry; word address 0x5555 is
  // bank 2 at 0x6AAA, 0x2AAA is bank 1 at 0x5554.
  auto expected = kWinbondEntry;
  expected.insert(expected.end(),
                  {Write(0x2000, 2), Flash(0x6AAA, 0xAA), Write(0x2000, 1), Flash(0x5554, 0x55),
                   Write(0x2000, 2), Flash(0x6AAA, 0x90), Write(0x2000, 2), Flash(0x6AAA, 0xAA),
                   Write(0x2000, 1), Flash(0x5554, 0x55), Write(0x2000, 2), Flash(0x6AAA, 0xF0)});
  EXPECT_EQ(Commands(), expected);
  EXPECT_EQ(BufferCount(0xEE), access_->TransferBuffer().size());
}

TEST_P(Cart, Intel64MbitIsIdentifiedByItsQueryInTheBuffer) {
  Insert(FlashChip::k64Mbit);
  FillBuffer(0xEE);
  EXPECT_EQ(access_->IdentifyFlashCard(), 64);
  EXPECT_EQ(access_->CardBankCount(), 512);
  const auto& buffer = access_->TransferBuffer();
  EXPECT_EQ(buffer[0], 0x89);
  EXPECT_EQ(buffer[1], 0x15);
  EXPECT_EQ(std::string(buffer.begin() + 0x10, buffer.begin() + 0x13), "QRY");
  EXPECT_EQ(buffer[65], 0xEE);
  const auto commands = Commands();
  ASSERT_GE(commands.size(), 6u);
  EXPECT_EQ(std::vector<CartBusEvent>(commands.end() - 6, commands.end()),
            (std::vector<CartBusEvent>{Write(0x3000, 0), Write(0x2000, 0), Flash(0, 0x98),
                                       Write(0x3000, 0), Write(0x2000, 0), Flash(0, 0xFF)}));
}

TEST_P(Cart, EmptySlotGivesNoCardAndOverwritesTheQueryBytes) {
  Insert(FlashChip::kNone);
  FillBuffer(0xEE);
  EXPECT_EQ(access_->IdentifyFlashCard(), 0);
  EXPECT_EQ(access_->CardBankCount(), 0);
  EXPECT_EQ(BufferCount(0xFF), 65u);
  EXPECT_EQ(access_->TransferBuffer()[65], 0xEE);
  CartHeader header;
  access_->ReadCartHeader(0, header);
  EXPECT_FALSE(CartAccess::CartHeaderValid(header));
}

TEST_P(Cart, HeaderFieldsOfBankZero) {
  Insert(FlashChip::k16Mbit);
  CartHeader header;
  access_->ReadCartHeader(0, header);
  EXPECT_TRUE(CartAccess::CartHeaderValid(header));
  EXPECT_EQ(header.Title, "BANK0         ");  // the NUL padding shows as blanks
  EXPECT_EQ(header.Signature, std::string(rom_.begin() + 0x30, rom_.begin() + 0x36));
  EXPECT_EQ(header.LicenseeCode, std::string(rom_.begin() + 0x144, rom_.begin() + 0x146));
  EXPECT_EQ(header.CgbFlag, rom_[0x143]);
  EXPECT_EQ(header.SgbFlag, rom_[0x146]);
  EXPECT_EQ(header.CartType, rom_[0x147]);
  EXPECT_EQ(header.RomSize, rom_[0x148]);
  EXPECT_EQ(header.RamSize, rom_[0x149]);
  EXPECT_EQ(header.DestinationCode, rom_[0x14A]);
  EXPECT_EQ(header.HeaderChecksum, rom_[0x14D]);
  EXPECT_EQ(header.GlobalChecksum, rom_[0x14E] << 8 | rom_[0x14F]);
  EXPECT_TRUE(std::equal(rom_.begin(), rom_.begin() + 512, access_->TransferBuffer().begin()));
  EXPECT_EQ(Commands(), (std::vector<CartBusEvent>{Write(0x2000, 0), Write(0x3000, 0)}));
  EXPECT_EQ(sim_->CartTrace().back().address, 0x01FF);
}

TEST_P(Cart, BanksAbove255AndTheMenuBank) {
  Insert(FlashChip::k64Mbit);
  FillBuffer(0xEE);
  access_->ReadMenuDirectory(1);
  EXPECT_TRUE(std::equal(rom_.begin() + kBank, rom_.begin() + 2 * kBank,
                         access_->TransferBuffer().begin()));
  EXPECT_EQ(access_->TransferBuffer()[kBank], 0xEE);
  EXPECT_EQ(sim_->CartTrace().back().address, 0x7FFF);
  EXPECT_EQ(sim_->Registers().mode, 0x81);

  sim_->ClearTraces();
  CartHeader header;
  access_->ReadCartHeader(511, header);
  EXPECT_EQ(header.Title, "BANK511       ");
  EXPECT_EQ(Commands(), (std::vector<CartBusEvent>{Write(0x2000, 0xFF), Write(0x3000, 0x01)}));
  EXPECT_EQ(sim_->CartTrace()[2].address, 0x4000);
  EXPECT_EQ(sim_->CartTrace().back().address, 0x41FF);
}

TEST_P(Cart, SramRoundTripOnTheLastBankOfEachCard) {
  for (const auto& [chip, banks] :
       {std::pair{FlashChip::k4Mbit, 4}, {FlashChip::k16Mbit, 16}, {FlashChip::k64Mbit, 16}}) {
    Insert(chip, static_cast<std::size_t>(banks));
    access_->IdentifyFlashCard();
    const auto last = static_cast<std::uint8_t>(banks - 1);
    auto& buffer = access_->TransferBuffer();
    for (std::size_t i = 0; i < kSramBank; ++i) {
      buffer[i] = static_cast<std::uint8_t>(i ^ (i >> 8) ^ 0xA5);
    }
    const std::vector<std::uint8_t> sent(buffer.begin(), buffer.begin() + kSramBank);
    sim_->ClearTraces();
    ASSERT_EQ(access_->WriteSramBank(last), 0);
    // SRAM is switched on, with the card's own mapper writes, before the bank.
    const auto commands = Commands();
    ASSERT_GE(commands.size(), 6u);
    EXPECT_EQ(
        std::vector<CartBusEvent>(commands.begin(), commands.begin() + 6),
        (std::vector<CartBusEvent>{Write(0x0000, 0x0A), Write(0x0000, 0xC0), Write(0xA000, 0xA0),
                                   Write(0xA100, 0xC0), Write(0x0000, 0x0A), Write(0x4000, last)}));
    const auto sram = sim_->Sram();
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), sram.begin() + last * kSramBank));
    EXPECT_EQ(std::count(sram.begin(), sram.begin() + last * kSramBank, 0), last * kSramBank);

    std::ranges::fill(buffer, 0);
    ASSERT_EQ(access_->ReadSramBank(last), 0);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), buffer.begin()));
    EXPECT_EQ(sim_->Registers().mode, 0x80);
  }
}

TEST_P(Cart, SramBankLimitsSendNothingAndKeepTheBuffer) {
  Insert(FlashChip::k4Mbit, 4);
  // Unidentified, every bank below 16 is taken.
  EXPECT_EQ(access_->ReadSramBank(15), 0);
  EXPECT_EQ(access_->ReadSramBank(16), kBankOutOfRange);
  ASSERT_EQ(access_->IdentifyFlashCard(), 4);
  FillBuffer(0xEE);
  const auto before = PortAccesses();
  for (const std::uint8_t bank : {4, 7, 16, 255}) {
    EXPECT_EQ(access_->ReadSramBank(bank), kBankOutOfRange) << int{bank};
    EXPECT_EQ(access_->WriteSramBank(bank), kBankOutOfRange) << int{bank};
  }
  EXPECT_EQ(PortAccesses(), before);
  EXPECT_EQ(BufferCount(0xEE), access_->TransferBuffer().size());
  EXPECT_EQ(access_->ReadSramBank(3), 0);
  EXPECT_EQ(access_->SramBankLimit(), 4);
}

TEST_P(Cart, WriteToASmallCardChecksItsLimitEvenBeforeAnyRead) {
  Insert(FlashChip::k4Mbit, 4);
  ASSERT_EQ(access_->IdentifyFlashCard(), 4);
  FillBuffer(0x5A);
  // Bank 7 would wrap onto bank 3 of this card and destroy that game's save.
  EXPECT_EQ(access_->WriteSramBank(7), kBankOutOfRange);
  EXPECT_EQ(std::ranges::count(sim_->Sram(), 0x5A), 0);
  EXPECT_EQ(access_->WriteSramBank(3), 0);
  EXPECT_EQ(std::ranges::count(sim_->Sram(), 0x5A), kSramBank);
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
}

TEST(CartHeaderCheck, TitleBlanksItsNulsButTheSignatureKeepsThem) {
  std::array<std::uint8_t, kHeaderBlockSize> bank{};
  std::ranges::copy(std::string("ZELDA"), bank.begin() + 0x134);
  bank[0x141] = 'X';
  std::ranges::copy(std::string("VE\0TR\0", 6), bank.begin() + 0x30);
  bank[0x14E] = 0x12;
  bank[0x14F] = 0x34;
  const CartHeader header = BuildCartHeader(bank);
  EXPECT_EQ(header.Title, "ZELDA        X");
  EXPECT_EQ(header.Signature, std::string("VE\0TR\0", 6));
  EXPECT_EQ(header.GlobalChecksum, 0x1234);
}

// In EPP mode every data cycle is one port access, so a scripted port can
// play a chip that answers the Winbond maker code with another device code.
TEST(CartCycles, OtherWinbondDeviceGoesStraightOnWithoutTheExitSequence) {
  RecordingPort port;
  SteppingTicks ticks(0);
  CountingPump pump;
  XChangerLink link(port, ticks, pump);
  link.ProbePort(0x378, kLinkModeEpp);
  CartAccess access(link);
  port.reads[0x37C] = {0xDA, 0x47};
  port.trace.clear();
  EXPECT_EQ(access.IdentifyFlashCard(), 0);
  const auto device = std::ranges::find(port.trace, testing::R(0x37C, 0x47));
  ASSERT_NE(device, port.trace.end());
  // Next comes the 16 Mbit probe: ModeReg 0x80, then 0x2000 latched.
  const std::vector<PortAccess> next(device + 1, device + 13);
  EXPECT_EQ(next, (std::vector<PortAccess>{W(0x37A, 1), W(0x37B, ModeReg), W(0x37A, 1),
                                           W(0x37C, 0x80), W(0x37A, 1), W(0x37B, AddrLowReg),
                                           W(0x37A, 1), W(0x37C, 0x00), W(0x37A, 1),
                                           W(0x37B, AddrHighReg), W(0x37A, 1), W(0x37C, 0x20)}));
}

TEST(CartCycles, BankRegisterWriteAndFlashCommandInEpp) {
  RecordingPort port;
  SteppingTicks ticks(0);
  CountingPump pump;
  XChangerLink link(port, ticks, pump);
  link.ProbePort(0x378, kLinkModeEpp);
  CartAccess access(link);
  port.trace.clear();
  access.CartWrite(0xA123, 0x42);
  access.FlashWriteCycle(0x98);
  constexpr std::uint16_t C = 0x37A, EA = 0x37B, ED = 0x37C;
  std::vector<PortAccess> expected;
  auto reg = [&](std::uint8_t r, std::uint8_t v) {
    expected.insert(expected.end(), {W(C, 1), W(EA, r), W(C, 1), W(ED, v)});
  };
  auto select = [&] { expected.insert(expected.end(), {W(C, 1), W(C, 1), W(EA, DataReg)}); };
  // CartWrite: the high address byte keeps to the ROM half of the bus.
  reg(ModeReg, 0x80), reg(AddrLowReg, 0x23), reg(AddrHighReg, 0x21), reg(DataReg, 0x42);
  expected.push_back(W(C, 0));
  // FlashWriteCycle.
  reg(ModeReg, 0x82), select(), expected.insert(expected.end(), {W(C, 1), W(ED, 0x98)});
  reg(ModeReg, 0x80), select();
  EXPECT_EQ(port.trace, expected);
}

// "sim:" descriptions reach the simulated X-Changer, settings and all.
TEST(SimulatedBackend, OpensFromItsDescription) {
  std::string error;
  auto backend = OpenPortBackend("sim:card=4,lpt=2,modes=spp", error);
  ASSERT_TRUE(backend) << error;
  SteppingTicks ticks(0);
  CountingPump pump;
  XChangerLink link(*backend, ticks, pump);
  ASSERT_TRUE(link.FindXChanger());
  EXPECT_EQ(link.LinkMode(), kLinkModeSpp);
  EXPECT_EQ(link.Ports().DataPort, sim::kLpt2Base);

  EXPECT_FALSE(OpenPortBackend("sim:card=17", error));
  EXPECT_NE(error.find("17"), std::string::npos) << error;
}

}  // namespace
}  // namespace velwin::xchanger
