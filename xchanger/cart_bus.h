#pragma once

#include <cstddef>
#include <cstdint>

namespace velwin::xchanger {

// Values of the X-Changer's mode register.
inline constexpr std::uint8_t kModeSingle = 0x80;
inline constexpr std::uint8_t kModeBlock = 0x81;  // the X-Changer advances the address itself
inline constexpr std::uint8_t kModeFlashCommand = 0x82;

// The control value of a data cycle.
inline constexpr std::uint8_t kControlRead = 0x00;
inline constexpr std::uint8_t kControlWrite = 0x01;

// The X-Changer advances the address within a 256-byte block only; every
// block gets its address set.
inline constexpr std::size_t kBlockSize = 256;

// The MBC5 ROM bank registers on the cart bus, and the bank they switch:
// bank 0 lies at 0x0000, every bank at 0x4000-0x7FFF.
inline constexpr std::uint16_t kRomBankLowAddress = 0x2000;
inline constexpr std::uint16_t kRomBankHighAddress = 0x3000;
inline constexpr std::uint32_t kBankBytes = 0x4000;

}  // namespace velwin::xchanger
