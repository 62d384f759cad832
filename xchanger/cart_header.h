#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velwin::xchanger {

// The header fields of one ROM bank read over the X-Changer. Text fields are
// 8-bit and of fixed length.
struct CartHeader {
  std::string Title = std::string(14, ' ');        // 0x134-0x141, NUL shown as blank
  std::uint8_t CgbFlag = 0;                        // 0x143
  std::string LicenseeCode = std::string(2, ' ');  // 0x144-0x145
  std::uint8_t SgbFlag = 0;                        // 0x146
  std::array<std::uint8_t, 48> Logo{};             // 0x104-0x133
  std::uint8_t CartType = 0;                       // 0x147
  std::uint8_t RomSize = 0;                        // 0x148
  std::uint8_t RamSize = 0;                        // 0x149
  std::uint8_t DestinationCode = 0;                // 0x14A
  std::uint8_t HeaderChecksum = 0;                 // 0x14D
  std::uint16_t GlobalChecksum = 0;                // 0x14E high, 0x14F low
  std::string Signature = std::string(6, '\0');    // 0x30-0x35, NULs kept
};

// The first 512 bytes of a ROM bank, as the header read leaves them.
inline constexpr std::size_t kHeaderBlockSize = 512;

// Fills every field of a CartHeader from the first 512 bytes of a ROM bank.
CartHeader BuildCartHeader(std::span<const std::uint8_t, kHeaderBlockSize> bank);

}  // namespace velwin::xchanger
