#include "xchanger/cart_access.h"

#include <algorithm>
#include <span>
#include <utility>

#include "gbheader/header_logo.h"
#include "xchanger/block_run.h"
#include "xchanger/cart_bus.h"

namespace velwin::xchanger {

namespace {

constexpr std::size_t kSramBlocks = 32;  // one 8 KB SRAM bank
constexpr std::size_t kRomBankBlocks = 64;
constexpr std::size_t kHeaderBlocks = kHeaderBlockSize / kBlockSize;

// MBC5 registers on the cart bus.
constexpr std::uint16_t kSramEnableAddress = 0x0000;
constexpr std::uint16_t kSramBankAddress = 0x4000;
constexpr std::uint8_t kSramEnableValue = 0x0A;
constexpr std::uint8_t kSramWindowHigh = 0xA0;            // 0xA000-0xBFFF
constexpr std::uint8_t kSwitchableBankWindowHigh = 0x40;  // 0x4000-0x7FFF

constexpr std::uint8_t kSramBanksSmallCard = 4;
constexpr std::uint8_t kSramBanksLargeCard = 16;

// The JEDEC software-ID unlock addresses of the flash chips on these cards.
constexpr std::uint16_t kUnlock1 = 0x5555;
constexpr std::uint16_t kUnlock2 = 0x2AAA;

}  // namespace

CartAccess::CartAccess(XChangerLink& link) : link_(link) {}

void CartAccess::SetCartAddress(std::uint16_t address) {
  link_.WriteRegister(AddrLowReg, static_cast<std::uint8_t>(address & 0xFFu));
  link_.WriteRegister(AddrHighReg, static_cast<std::uint8_t>(address >> 8));
  link_.SelectRegister(DataReg);
  link_.SetControl(kControlRead);
}

std::uint8_t CartAccess::ReadCartByte() {
  link_.SelectRegister(DataReg);
  link_.SetControl(kControlRead);
  return link_.ReadData();
}

void CartAccess::WriteCartByte(std::uint8_t value) {
  link_.SelectRegister(DataReg);
  link_.SetControl(kControlWrite);
  link_.WriteData(value);
}

void CartAccess::CartWrite(std::uint16_t address, std::uint8_t value) {
  link_.WriteRegister(ModeReg, kModeSingle);
  link_.WriteRegister(AddrLowReg, static_cast<std::uint8_t>(address & 0xFFu));
  // Bank register writes go to the ROM half of the bus, below 0x8000.
  link_.WriteRegister(AddrHighReg, static_cast<std::uint8_t>((address >> 8) & 0x7Fu));
  link_.WriteRegister(DataReg, value);
  link_.SetControl(kControlRead);
}

void CartAccess::FlashWriteCycle(std::uint8_t value) {
  link_.WriteRegister(ModeReg, kModeFlashCommand);
  link_.SelectRegister(DataReg);
  link_.SetControl(kControlWrite);
  link_.WriteData(value);
  link_.WriteRegister(ModeReg, kModeSingle);
  link_.SelectRegister(DataReg);
}

void CartAccess::FlashWriteAt(std::uint16_t address, std::uint8_t value) {
  SetCartAddress(address);
  FlashWriteCycle(value);
}

void CartAccess::FlashWriteLinear(std::uint32_t address, std::uint8_t value) {
  link_.WriteRegister(ModeReg, kModeSingle);
  const auto low = static_cast<std::uint8_t>(address & 0xFFu);
  auto high = static_cast<std::uint8_t>((address >> 8) & 0x3Fu);
  const std::uint32_t bank = (address >> 14) & 0x7FFu;
  if (bank != 0) {
    high = static_cast<std::uint8_t>(high | kSwitchableBankWindowHigh);
  }
  SetCartAddress(kRomBankHighAddress);
  link_.SetControl(kControlWrite);
  link_.WriteData(static_cast<std::uint8_t>((address >> 22) & 0x07u));
  SetCartAddress(kRomBankLowAddress);
  link_.SetControl(kControlWrite);
  link_.WriteData(static_cast<std::uint8_t>((address >> 14) & 0xFFu));
  link_.WriteRegister(AddrHighReg, high);
  link_.WriteRegister(AddrLowReg, low);
  FlashWriteCycle(value);
}

void CartAccess::FlashWriteWord(std::uint16_t word, std::uint8_t value) {
  link_.WriteRegister(ModeReg, kModeSingle);
  // The 16 Mbit chip sits on the bus in word mode: its address line A-1 is
  // the cart's A0, so word address w is byte address 2w.
  const std::uint32_t byteAddress = 2u * word;
  const auto low = static_cast<std::uint8_t>(byteAddress & 0xFFu);
  auto high = static_cast<std::uint8_t>((byteAddress >> 8) & 0x3Fu);
  const auto bank = static_cast<std::uint8_t>((byteAddress >> 14) & 0xFFu);
  if (bank != 0) {
    high = static_cast<std::uint8_t>(high | kSwitchableBankWindowHigh);
  }
  SetCartAddress(kRomBankLowAddress);
  link_.SetControl(kControlWrite);
  link_.WriteData(bank);
  link_.WriteRegister(AddrHighReg, high);
  link_.WriteRegister(AddrLowReg, low);
  FlashWriteCycle(value);
}

void CartAccess::FlashResetWord() {
  FlashWriteWord(kUnlock1, 0xAA);
  FlashWriteWord(kUnlock2, 0x55);
  FlashWriteWord(kUnlock1, 0xF0);
}

void CartAccess::SelectSramBank(std::uint8_t bank) {
  SetCartAddress(kSramBankAddress);
  WriteCartByte(bank);
}

void CartAccess::EnableSram() {
  link_.ResetLink();
  SetCartAddress(kSramEnableAddress);
  WriteCartByte(kSramEnableValue);
  // The card's own mapper takes these; they go out before every SRAM
  // transfer as the card expects them.
  WriteCartByte(0xC0);
  SetCartAddress(0xA000);
  WriteCartByte(0xA0);
  SetCartAddress(0xA100);
  WriteCartByte(0xC0);
  SetCartAddress(kSramEnableAddress);
  WriteCartByte(kSramEnableValue);
}

void CartAccess::UpdateSramBankLimit() {
  switch (cardSizeMbit_) {
    case 4:
      sramBankLimit_ = kSramBanksSmallCard;
      break;
    case 16:
    case 64:
      sramBankLimit_ = kSramBanksLargeCard;
      break;
    default:
      sramBankLimit_ = 0;
      break;
  }
}

std::uint8_t CartAccess::ReadCartByteAt(std::uint16_t address) {
  SetCartAddress(address);
  return ReadCartByte();
}

bool CartAccess::ProbeWinbond4Mbit() {
  FlashWriteAt(kUnlock1, 0xAA);
  FlashWriteAt(kUnlock2, 0x55);
  FlashWriteAt(kUnlock1, 0x80);
  FlashWriteAt(kUnlock1, 0xAA);
  FlashWriteAt(kUnlock2, 0x55);
  FlashWriteAt(kUnlock1, 0x60);
  // The chip needs time to enter its product identification mode.
  link_.DelayMs(10);
  const std::uint8_t manufacturer = ReadCartByteAt(0x0000);
  probeAnswers_.push_back({4, 0xDA, manufacturer});
  if (manufacturer != 0xDA)
    return false;
  const std::uint8_t device = ReadCartByteAt(0x0001);
  probeAnswers_.push_back({4, 0x46, device});
  if (device != 0x46)
    return false;
  FlashWriteAt(kUnlock1, 0xAA);
  FlashWriteAt(kUnlock2, 0x55);
  FlashWriteAt(kUnlock1, 0xF0);
  return true;
}

bool CartAccess::ProbeMacronix16Mbit() {
  FlashWriteWord(kUnlock1, 0xAA);
  FlashWriteWord(kUnlock2, 0x55);
  FlashWriteWord(kUnlock1, 0x90);
  // Word-mode autoselect: the device code sits at word 1, byte address 2.
  const std::uint8_t manufacturer = ReadCartByteAt(0x0000);
  probeAnswers_.push_back({16, 0xC2, manufacturer});
  bool match = manufacturer == 0xC2;
  if (match) {
    const std::uint8_t device = ReadCartByteAt(0x0002);
    probeAnswers_.push_back({16, 0xF1, device});
    match = device == 0xF1;
  }
  FlashResetWord();
  return match;
}

bool CartAccess::ProbeIntel64Mbit() {
  link_.ResetLink();
  FlashWriteLinear(0, 0x98);
  // The chip answers its query on even byte addresses only (16-bit wide).
  for (std::uint16_t address = 0; address <= 128; address += 2) {
    buffer_[address / 2] = ReadCartByteAt(address);
  }
  constexpr std::pair<std::size_t, std::uint8_t> kAnswers[] = {
      {0, 0x89}, {1, 0x15}, {0x10, 'Q'}, {0x11, 'R'}, {0x12, 'Y'}};
  bool match = true;
  for (const auto& [at, expected] : kAnswers) {
    probeAnswers_.push_back({64, expected, buffer_[at]});
    match = match && buffer_[at] == expected;
  }
  if (match) {
    FlashWriteLinear(0, 0xFF);  // back to read-array mode
  }
  return match;
}

std::uint8_t CartAccess::IdentifyFlashCard() {
  cardSizeMbit_ = 0;
  probeAnswers_.clear();
  // The 4 Mbit chip decodes A0-A14 for its unlock cycles, and 0x5555 lies in
  // the switchable window, where A14 comes from the ROM bank register. Bank 1
  // (the power-on bank) puts the chip's 5555 there; after a read of bank 0 or
  // any other even bank the probe would miss the card.
  CartWrite(kRomBankLowAddress, 0x01);
  CartWrite(kRomBankHighAddress, 0x00);
  if (ProbeWinbond4Mbit()) {
    cardSizeMbit_ = 4;
  } else if (ProbeMacronix16Mbit()) {
    cardSizeMbit_ = 16;
  } else if (ProbeIntel64Mbit()) {
    cardSizeMbit_ = 64;
  }
  switch (cardSizeMbit_) {
    case 4:
      cardBankCount_ = 32;
      break;
    case 16:
      cardBankCount_ = 128;
      break;
    case 64:
      cardBankCount_ = 512;
      break;
    default:
      cardBankCount_ = 0;
      break;
  }
  return cardSizeMbit_;
}

void CartAccess::ReadRomBlocks(std::uint16_t bank, std::size_t blocks) {
  CartWrite(kRomBankLowAddress, static_cast<std::uint8_t>(bank & 0xFFu));
  CartWrite(kRomBankHighAddress, static_cast<std::uint8_t>(bank >> 8));
  // Bank 0 is only visible at 0x0000; every other bank through the window.
  const std::uint8_t window = bank == 0 ? 0 : kSwitchableBankWindowHigh;
  if (ReadBlockRun(link_, static_cast<std::uint16_t>(window << 8),
                   std::span(buffer_).first(blocks * kBlockSize), blockRunsCarry_))
    return;
  for (std::size_t block = 0; block < blocks; ++block) {
    link_.WriteRegister(AddrHighReg, static_cast<std::uint8_t>(window + block));
    link_.WriteRegister(AddrLowReg, 0x00);
    link_.WriteRegister(ModeReg, kModeBlock);
    link_.SelectRegister(DataReg);
    link_.SetControl(kControlRead);
    link_.ReadDataRun(std::span(buffer_).subspan(block * kBlockSize, kBlockSize));
  }
}

void CartAccess::ReadCartHeader(std::uint16_t bank, CartHeader& header) {
  ReadRomBlocks(bank, kHeaderBlocks);
  header = BuildCartHeader(
      std::span<const std::uint8_t, kHeaderBlockSize>(buffer_.data(), kHeaderBlockSize));
}

bool CartAccess::CartHeaderValid(const CartHeader& header) {
  return std::equal(header.Logo.begin(), header.Logo.end(), gbheader::HeaderLogo.begin());
}

void CartAccess::ReadMenuDirectory(std::uint16_t bank) {
  ReadRomBlocks(bank, kRomBankBlocks);
}

bool CartAccess::SramBankAvailable(std::uint8_t bank) {
  UpdateSramBankLimit();
  if (sramBankLimit_ == kSramBanksSmallCard) {
    return bank < kSramBanksSmallCard;
  }
  return bank < kSramBanksLargeCard;
}

void CartAccess::StartSramBlock(std::size_t block, std::uint8_t control) {
  link_.WriteRegister(AddrHighReg, static_cast<std::uint8_t>(kSramWindowHigh + block));
  link_.WriteRegister(AddrLowReg, 0x00);
  link_.WriteRegister(ModeReg, kModeBlock);
  link_.SelectRegister(DataReg);
  link_.SetControl(control);
}

std::uint8_t CartAccess::ReadSramBank(std::uint8_t bank) {
  if (!SramBankAvailable(bank)) {
    return kBankOutOfRange;
  }
  EnableSram();
  SelectSramBank(bank);
  for (std::size_t block = 0; block < kSramBlocks; ++block) {
    StartSramBlock(block, kControlRead);
    link_.ReadDataRun(std::span(buffer_).subspan(block * kBlockSize, kBlockSize));
    link_.WriteRegister(ModeReg, kModeSingle);
  }
  return 0;
}

std::uint8_t CartAccess::WriteSramBank(std::uint8_t bank) {
  // The limit comes from the card identified now, not from whatever read ran
  // last: a small card's mapper wraps bank 4 onto bank 0, so writing past its
  // last bank would overwrite another game's save.
  if (!SramBankAvailable(bank)) {
    return kBankOutOfRange;
  }
  EnableSram();
  SelectSramBank(bank);
  for (std::size_t block = 0; block < kSramBlocks; ++block) {
    StartSramBlock(block, kControlWrite);
    link_.WriteDataRun(std::span(buffer_).subspan(block * kBlockSize, kBlockSize));
    link_.WriteRegister(ModeReg, kModeSingle);
  }
  return 0;
}

}  // namespace velwin::xchanger
