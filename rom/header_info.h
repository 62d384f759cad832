#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "rom/rom_info_labels.h"

namespace velwin::rom {

// Where the fields of the Game Boy cartridge header sit in the first 336
// bytes of a ROM file.
inline constexpr std::size_t kHeaderBytes = 336;
inline constexpr std::size_t kTitleOffset = 0x134;
inline constexpr std::size_t kTitleLength = 15;  // the colour flag follows it
inline constexpr std::size_t kColourFlagOffset = 0x143;
inline constexpr std::size_t kRomSizeCodeOffset = 0x148;
inline constexpr std::size_t kHeaderChecksumOffset = 0x14D;
inline constexpr std::size_t kChecksumOffset = 0x14E;  // high byte first

// How many of the 48 logo bytes must match for the header to count as a Game
// Boy header. Dumps and hacked ROMs often carry a damaged logo, so a third of
// the bytes may differ.
inline constexpr int kLogoBytesNeeded = 32;

// True when at least 32 of the 48 logo bytes at 0x104 equal HeaderLogo.
bool HasGameBoyLogo(std::span<const std::uint8_t, kHeaderBytes> header);

// The ROM size in kilobits for a size code at 0x148, as the labels show it;
// "Unknown/Invalid" for a code outside the table.
std::string RomSizeText(std::uint8_t code);

// The header checksum the console's boot ROM computes over 0x134-0x14C
// before it starts a game; the game does not start unless it equals the
// byte at 0x14D.
std::uint8_t ComputeHeaderChecksum(std::span<const std::uint8_t, kHeaderBytes> header);

// Whether the byte at 0x14D holds the header checksum; a header without the
// logo has no checksum to speak of.
enum class HeaderChecksumState { kNoHeader, kValid, kBad };
HeaderChecksumState CheckHeaderChecksum(std::span<const std::uint8_t, kHeaderBytes> header);

// The state as velwin-cli shows it: "OK", "BAD", or "-" for a header without
// the logo (as the other header labels).
std::string HeaderChecksumText(std::span<const std::uint8_t, kHeaderBytes> header);

// Tests the header and writes fileisgbrom, romname, romcolor, romsize and
// ROMCRC: "NO" and four "-" without the logo. Returns whether the header
// passed the test.
bool WriteHeaderLabels(std::span<const std::uint8_t, kHeaderBytes> header, RomInfoLabels& labels);

}  // namespace velwin::rom
