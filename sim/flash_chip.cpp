#include "sim/flash_chip.h"

#include <algorithm>
#include <array>

#include "sim/intel_28f640j5_chip.h"
#include "sim/mx29f1610_chip.h"
#include "sim/w29c040_chip.h"

namespace velwin::xchanger::sim {
namespace {

constexpr std::array<FlashChipInfo, 3> kChips = {{
    // Winbond-style 5 V part: JEDEC software data protection and the
    // six-write product identification entry.
    {FlashChip::k4Mbit, 4, 32, CommandSet::kJedec, W29c040Chip::kManufacturer,
     W29c040Chip::kDevice},
    // Macronix-style part in word mode: its A0 is cart address line A1, so
    // every command address is a word address.
    {FlashChip::k16Mbit, 16, 128, CommandSet::kWordAutoselect, Mx29f1610Chip::kManufacturer,
     Mx29f1610Chip::kDevice},
    // Intel-style part: commands at any address, CFI query table.
    {FlashChip::k64Mbit, 64, 512, CommandSet::kIntel, Intel28f640j5Chip::kManufacturer,
     Intel28f640j5Chip::kDevice},
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

// A game cart's ROM: it has no write line, so it only ever reads its array.
class MaskRom final : public EmulatedChip {
 public:
  explicit MaskRom(std::span<const std::uint8_t> image)
      : EmulatedChip(MaskRomSize(image.size()), image, {}) {}
  void Write(std::uint32_t, std::uint8_t, std::uint64_t) override {}

 private:
  std::uint8_t ReadOther(std::uint32_t linear, std::uint64_t) override { return contents_[linear]; }
};

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

FlashChipModel::FlashChipModel(FlashChip kind, std::span<const std::uint8_t> image,
                               const ChipFaults& faults)
    : kind_(kind) {
  switch (kind) {
    case FlashChip::k4Mbit:
      chip_ = std::make_unique<W29c040Chip>(image, faults);
      break;
    case FlashChip::k16Mbit:
      chip_ = std::make_unique<Mx29f1610Chip>(image, faults);
      break;
    case FlashChip::k64Mbit:
      chip_ = std::make_unique<Intel28f640j5Chip>(image, faults);
      break;
    case FlashChip::kNone:
      chip_ = std::make_unique<MaskRom>(image);
      break;
  }
}

}  // namespace velwin::xchanger::sim
