#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velwin::gbheader {

// Where the cartridge header keeps its checksum.
inline constexpr std::size_t kHeaderChecksumAt = 0x14D;

// The header checksum of a bank 0 (at least 0x14D bytes): the sum over the
// title to the mask ROM version, 0x134-0x14C, that a Game Boy compares with
// byte 0x14D before it starts a cart.
std::uint8_t HeaderChecksumOf(std::span<const std::uint8_t> bank0);

}  // namespace velwin::gbheader
