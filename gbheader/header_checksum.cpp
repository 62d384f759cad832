#include "gbheader/header_checksum.h"

namespace velwin::gbheader {

std::uint8_t HeaderChecksumOf(std::span<const std::uint8_t> bank0) {
  constexpr std::size_t kFirst = 0x134;
  std::uint8_t sum = 0;
  for (std::size_t i = kFirst; i < kHeaderChecksumAt; ++i)
    sum = static_cast<std::uint8_t>(sum - bank0[i] - 1u);
  return sum;
}

}  // namespace velwin::gbheader
