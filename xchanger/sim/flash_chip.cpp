#include "xchanger/sim/flash_chip.h"

#include <algorithm>
#include <array>

namespace velwin::xchanger::sim {
namespace {

constexpr std::array<FlashChipInfo, 3> kChips = {{
    // Winbond-style 5 V part: JEDEC software data protection and the
    // six-write product identification entry.
    {FlashChip::k4Mbit, 4, 32, CommandSet::kJedec, 0xDA, 0x46},
    // Macronix-style part in word mode: its A0 is cart address line A1, so
    // every command address is a word address.
    {FlashChip::k16Mbit, 16, 128, CommandSet::kWordAutoselect, 0xC2, 0xF1},
    // Intel-style part: commands at any address, CFI query table.
    {FlashChip::k64Mbit, 64, 512, CommandSet::kIntel, 0x89, 0x15},
}};

// Byte values of the query words from word 0 on. Multi-byte fields are
// little-endian, one byte per word, as CFI defines them.
constexpr std::array<std::uint8_t, 0x40> kCfiTable = {
    0x89, 0x15, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0x00: manufacturer, device
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  //
    'Q',  'R',  'Y',                                 // 0x10: query signature
    0x01, 0x00,                                      // 0x13: Intel/Sharp command set
    0x31, 0x00,                                      // 0x15: primary extended table
    0x00, 0x00, 0x00, 0x00,                          // 0x17: no alternate set
    0x27, 0x36, 0x00, 0x00,                          // 0x1B: Vcc 2.7-3.6 V, no Vpp
    0x08, 0x08, 0x0A, 0x00,                          // 0x1F: typical write/erase times
    0x04, 0x04, 0x04, 0x00,                          // 0x23: maximum times
    0x17,                                            // 0x27: 2^23 bytes = 64 Mbit
    0x02, 0x00,                                      // 0x28: x8/x16 interface
    0x05, 0x00,                                      // 0x2A: 32-byte write buffer
    0x01,                                            // 0x2C: one erase block region
    0x3F, 0x00, 0x00, 0x02,                          // 0x2D: 64 blocks of 128 KB
    'P',  'R',  'I',  '1',  '1',                     // 0x31: primary extended table
    0x0A, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x33,  // 0x36: features, Vcc optimum
    0x00, 0x01,                                      // 0x3E: protection register
};

std::uint32_t MaskRomSize(std::size_t imageSize) {
  std::uint32_t size = kMaskRomMinBytes;
  while (size < imageSize && size < kMaskRomMaxBytes)
    size *= 2;
  return size;
}

}  // namespace

std::span<const FlashChipInfo> FlashChipTable() {
  return kChips;
}

const FlashChipInfo* FindFlashChip(FlashChip kind) {
  for (const auto& chip : kChips) {
    if (chip.kind == kind)
      return &chip;
  }
  return nullptr;
}

std::span<const std::uint8_t> CfiQueryTable() {
  return kCfiTable;
}

FlashChipModel::FlashChipModel(FlashChip kind, std::span<const std::uint8_t> image) : kind_(kind) {
  std::uint32_t size = MaskRomSize(image.size());
  if (const FlashChipInfo* info = FindFlashChip(kind)) {
    size = info->bankCount * kRomBankSize;
    commands_ = info->commands;
    manufacturer_ = info->manufacturer;
    device_ = info->device;
  }
  // An erased flash cell reads 1s: the card beyond the image is 0xFF.
  contents_.assign(size, 0xFF);
  std::copy_n(image.begin(), std::min<std::size_t>(image.size(), size), contents_.begin());
}

void FlashChipModel::Reset() {
  mode_ = ChipMode::kReadArray;
  step_ = 0;
  intelStatus_ = 0x80;
}

void FlashChipModel::Command(std::uint32_t linear, std::uint8_t value) {
  switch (commands_) {
    case CommandSet::kJedec:
      UnlockCommand(linear & 0x7FFF, value);
      break;
    case CommandSet::kWordAutoselect:
      // Its A0 is cart address line A1: commands arrive at word addresses.
      UnlockCommand((linear >> 1) & 0x7FFF, value);
      break;
    case CommandSet::kIntel:
      IntelCommand(value);
      break;
    case CommandSet::kNone:
      break;  // a mask ROM has no write line
  }
}

// The JEDEC-style parts share the AA@5555, 55@2AAA unlock cycles, compared
// on the 15 address bits they decode. The 5 V part decodes A0-A14 of the
// byte address, so 0x5555 and 0x2AAA match in every 32 KB window of the chip;
// the word-mode part compares its word address. After the unlock the
// word-mode part enters autoselect on 0x90; 0x80 opens the six-write
// sequences (erase, and on the 5 V part product identification with 0x60).
// 0xA0 would program the following bytes and 0x10/0x30 erase, which the card
// never needs: the contents stay.
void FlashChipModel::UnlockCommand(std::uint32_t address, std::uint8_t value) {
  if (value == 0xF0) {
    // Any F0 ends identification; the three-write exit ends in one as well.
    Reset();
    return;
  }
  const bool commandAddress = address == 0x5555;
  const bool first = commandAddress && value == 0xAA;
  const bool second = address == 0x2AAA && value == 0x55;
  switch (step_) {
    case 0:
    case 3:
      step_ = first ? step_ + 1 : 0;
      return;
    case 1:
    case 4:
      step_ = second ? step_ + 1 : (first ? 1 : 0);
      return;
    case 2:
      if (commands_ == CommandSet::kWordAutoselect && commandAddress && value == 0x90) {
        mode_ = ChipMode::kAutoselect;
        step_ = 0;
      } else {
        step_ = commandAddress && value == 0x80 ? 3 : (first ? 1 : 0);
      }
      return;
    default:
      if (commands_ == CommandSet::kJedec && commandAddress && value == 0x60)
        mode_ = ChipMode::kProductId;
      step_ = first ? 1 : 0;
      return;
  }
}

void FlashChipModel::IntelCommand(std::uint8_t value) {
  if (mode_ == ChipMode::kSetup) {
    // The second write of a program, erase or lock command. The array is
    // left as it is; the status register reports the outcome.
    if (step_ != 0x40 && step_ != 0x10 && value != 0xD0 && value != 0x01 && value != 0x2F) {
      intelStatus_ = 0xB0;  // command sequence error
    }
    step_ = 0;
    mode_ = ChipMode::kStatus;
    return;
  }
  switch (value) {
    case 0xFF:
      mode_ = ChipMode::kReadArray;
      break;
    case 0x98:
      mode_ = ChipMode::kCfiQuery;
      break;
    case 0x90:
      mode_ = ChipMode::kIdentifier;
      break;
    case 0x70:
      mode_ = ChipMode::kStatus;
      break;
    case 0x50:
      intelStatus_ = 0x80;
      break;
    case 0x10:
    case 0x20:
    case 0x40:
    case 0x60:
      step_ = value;  // remembered for the confirm check
      mode_ = ChipMode::kSetup;
      break;
    default:
      break;  // not a command of this part: ignored
  }
}

std::uint8_t FlashChipModel::ReadIdentification(std::uint32_t linear) const {
  // The word-wide parts drive identification data on D0-D7 only; the odd
  // byte of each word is their upper half, 0x00.
  const bool oddByte = (linear & 1) != 0;
  const std::uint32_t word = (linear >> 1) & 0xFF;
  switch (mode_) {
    case ChipMode::kProductId:
      return oddByte ? device_ : manufacturer_;  // only A0 is decoded
    case ChipMode::kAutoselect:
    case ChipMode::kIdentifier:
      if (oddByte)
        return 0x00;
      if ((word & 3) == 0)
        return manufacturer_;
      if ((word & 3) == 1)
        return device_;
      return 0x00;  // block protection status: unprotected
    case ChipMode::kCfiQuery:
      if (oddByte || word >= kCfiTable.size())
        return 0x00;
      return kCfiTable[word];
    case ChipMode::kStatus:
    case ChipMode::kSetup:
      return intelStatus_;
    case ChipMode::kReadArray:
      break;
  }
  return contents_[linear];
}

}  // namespace velwin::xchanger::sim
