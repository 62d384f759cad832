#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velwin::xchanger {

// How a chip is erased, programmed and watched; one file per family holds
// its command sequences and completion check.
enum class FlashFamily : std::uint8_t {
  kWinbondPageWrite,     // JEDEC page write, no separate erase, toggle bit
  kMacronixSectorFlash,  // word-addressed commands, sector erase, page program, status
  kIntelBlockFlash,      // Intel command set, block erase, write buffer, status register
};

// One flash card the X-Changer can write: what the chip's datasheet says
// about its shape and its times. Adding a card is adding a row.
struct FlashChipSpec {
  std::string_view name;
  std::uint8_t cardMbit;
  std::uint8_t manufacturer;
  std::uint8_t device;
  std::uint32_t sizeBytes;
  // 0 when the chip has no separate erase: its page write erases the page.
  std::uint32_t eraseUnitBytes;
  std::string_view eraseUnitName;  // "sector" or "block", as the datasheet calls it
  // What one program operation writes: a page, or the write buffer.
  std::uint32_t programUnitBytes;
  // Typical and maximum times in microseconds, per program unit and per
  // erase unit, from the datasheets' AC tables.
  std::uint32_t programTypicalUs;
  std::uint32_t programMaxUs;
  std::uint32_t eraseTypicalUs;
  std::uint32_t eraseMaxUs;
  FlashFamily family;
  // How long the chip waits for the next byte of a page load before it
  // programs what it has, in microseconds; 0 when it waits for a closing
  // command instead (a write buffer).
  std::uint32_t byteLoadWindowUs;
  // The longest gap between two timed writes of the family's page load, in
  // loaded bytes' worth of port traffic (a byte is two register writes):
  // what the window must hold once the link's time per byte is known.
  double loadGapBytes;
};

std::span<const FlashChipSpec> FlashChipTable();

// The chip of a card identified as 4, 16 or 64 Mbit; null for anything else.
const FlashChipSpec* FlashChipForCard(std::uint8_t cardMbit);

// How long to wait for an operation whose datasheet maximum is maxUs before
// calling it a timeout: twice that, so a slow but healthy chip is never cut
// short.
constexpr std::uint64_t FlashTimeoutUs(std::uint32_t maxUs) {
  return 2 * static_cast<std::uint64_t>(maxUs);
}

}  // namespace velwin::xchanger
