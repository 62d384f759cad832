#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velwin::sramman::testing {

inline constexpr std::size_t kRomBank = 16384;

// Bytes that differ from bank to bank and from offset to offset.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed);

// A ROM image of whole 16 KB banks, filled with 0xFF as erased flash reads.
std::vector<std::uint8_t> BlankRom(std::size_t banks);

// Writes a Game Boy header with the logo into bank `bank` of rom (growing
// it as needed). title is written raw: up to 16 bytes, NUL-padded.
void PutHeader(std::vector<std::uint8_t>& rom, std::size_t bank, std::string_view title,
               std::uint8_t romSize, std::uint8_t ramSize);

// Six bytes among the restart vectors of bank 0.
void PutSignature(std::vector<std::uint8_t>& rom, std::string_view signature);

// One entry of a VELTRA card's directory in ROM bank 1.
struct MenuEntry {
  std::string name;  // up to 18 bytes, NUL-padded
  std::uint8_t marker;
  std::uint8_t sramByte;
};

// A VELTRA card: bank 0 with a header (and signature when given), bank 1
// with the directory of the given entries.
std::vector<std::uint8_t> MenuCard(const std::vector<MenuEntry>& entries,
                                   std::string_view signature = "VELTRA",
                                   std::string_view title = "MENU");

// Points XDG_DATA_HOME, where loads keep old saves and writes old cards, at
// folder for its lifetime, then back at the test run's own folder.
class ScopedDataHome {
 public:
  explicit ScopedDataHome(const std::string& folder);
  ~ScopedDataHome();
  ScopedDataHome(const ScopedDataHome&) = delete;
  ScopedDataHome& operator=(const ScopedDataHome&) = delete;

 private:
  std::string saved_;
};

}  // namespace velwin::sramman::testing
