#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velwin::gbheader {

// The logo bitmap that every Game Boy cartridge header carries at
// 0x104-0x133. The ROM file analysis and the cart header check both compare
// against this one table.
extern const std::array<std::uint8_t, 48> HeaderLogo;

// Where the logo sits in a cartridge header.
inline constexpr std::size_t kLogoOffset = 0x104;

}  // namespace velwin::gbheader
