#include "sim/emulated_chip.h"

#include <algorithm>

namespace velwin::xchanger::sim {

EmulatedChip::EmulatedChip(std::uint32_t sizeBytes, std::span<const std::uint8_t> image,
                           const ChipFaults& faults)
    : contents_(sizeBytes, 0xFF), faults_(faults) {
  std::copy_n(image.begin(), std::min<std::size_t>(image.size(), sizeBytes), contents_.begin());
}

bool EmulatedChip::ProgramByte(std::uint32_t linear, std::uint8_t value) {
  std::uint8_t& cell = contents_[linear];
  const auto wanted = static_cast<std::uint8_t>(cell & value);
  if (faults_.badByte && linear == *faults_.badByte)
    return wanted == cell;
  if (wanted != cell) {
    cell = wanted;
    changed_ = true;
  }
  return true;
}

bool EmulatedChip::EraseRange(std::uint32_t start, std::uint32_t length) {
  const auto first = contents_.begin() + start;
  const auto last = first + length;
  bool failed = false;
  for (std::uint32_t sector = start / kFaultSectorBytes;
       sector * kFaultSectorBytes < start + length; ++sector) {
    failed = failed || SectorFails(sector * kFaultSectorBytes);
  }
  if (failed)
    return false;
  if (std::any_of(first, last, [](std::uint8_t b) { return b != 0xFF; })) {
    std::fill(first, last, std::uint8_t{0xFF});
    changed_ = true;
  }
  return true;
}

}  // namespace velwin::xchanger::sim
