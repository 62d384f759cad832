#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velwin::xchanger::sim {

// The header fields a cart image builder sets; the rest of the header gets
// the values of an ordinary MBC5 game.
struct CartHeaderFields {
  std::string title;             // up to 16 bytes at 0x134-0x143, NUL-padded
  std::string signature;         // up to 6 bytes at 0x30-0x35 of the bank, NUL-padded
  std::uint8_t cartType = 0x1B;  // MBC5 with RAM and battery
  std::uint8_t romSizeCode = 0;  // 0x148: 32 KiB shifted left by the code
  std::uint8_t ramSizeCode = 0;  // 0x149
};

// The 16 KB banks that a header's ROM size code declares: 2 for code 0 up
// to 512 for code 8; 0 for the codes no MBC5 game uses.
std::uint32_t RomBanksOfSizeCode(std::uint8_t code);

// Writes a Game Boy header (entry point, logo, fields, checksums) into the
// 16 KB bank of rom, growing the image with 0xFF to hold the game's declared
// banks. The checksums cover the bytes present when it is called, so write
// the rest of the game first. Throws std::invalid_argument for a title over
// 16 bytes or a signature over 6.
void WriteCartHeader(std::vector<std::uint8_t>& rom, std::uint16_t bank,
                     const CartHeaderFields& fields);

// The header checksum of the bank starting at header[0] (byte 0x14D).
std::uint8_t HeaderChecksum(std::span<const std::uint8_t> bank);
// The 16-bit sum of every byte of a game but its two checksum bytes.
std::uint16_t GlobalChecksum(std::span<const std::uint8_t> game);

// One game in the directory of a VELTRA multi-game card.
struct MenuEntry {
  std::string name;           // up to 18 bytes, NUL-padded
  bool usesSram = false;      // marker byte 0x80, else 0x00
  std::uint8_t sramByte = 0;  // high nibble 3: 256 kbit; low nibble: first SRAM bank
};

inline constexpr std::size_t kMenuEntrySize = 47;

// Writes the card's directory to the start of ROM bank 1: the entry count,
// then 47 bytes per entry. Throws std::invalid_argument for more than 255
// entries or a name over 18 bytes.
void WriteMenuDirectory(std::vector<std::uint8_t>& rom, std::span<const MenuEntry> entries);

}  // namespace velwin::xchanger::sim
