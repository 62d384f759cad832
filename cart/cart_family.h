#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xchanger/cart_header.h"

namespace velwin::cart {

// The kinds of cart the header of ROM bank 0 tells apart. The Game Boy
// Camera is a single cart with a title of its own.
enum class CartFamily : std::uint8_t { kMenuCard, kGbpackCard, kSingleCart };

// The menu program of a VELTRA card carries this signature among the restart
// vectors of bank 0; older menus are known by their title instead.
inline constexpr std::string_view kMenuSignature = "VELTRA";
inline constexpr std::string_view kMenuTitle = "Diruzo RI Menu";
inline constexpr std::string_view kGbpackTitle = "GBPACK";
inline constexpr std::string_view kCameraTitle = "GAMEBOYCAMERA";

// The on-card directory of a VELTRA card, in its ROM bank 1: an entry count,
// then one entry per game.
inline constexpr std::uint16_t kMenuDirectoryBank = 1;
inline constexpr std::size_t kMenuEntrySize = 47;
inline constexpr std::size_t kMenuNameSize = 18;
inline constexpr std::size_t kMenuMarkerOffset = 19;
inline constexpr std::size_t kMenuSramOffset = 21;
inline constexpr std::uint8_t kMenuUsesSram = 0x80;

// Games on a GBPACK card follow the two banks of its menu, each stepped over
// by the ROM size of its header.
inline constexpr std::uint16_t kGbpackFirstGameBank = 2;
// 2 << 14 is the largest step that still fits a 16-bit ROM bank number.
inline constexpr std::uint8_t kLargestSteppableRomSize = 14;

// Decides on a header of ROM bank 0 whose logo is valid. All comparisons are
// exact byte comparisons.
CartFamily FamilyOf(const xchanger::CartHeader& header);

bool StartsWith(const std::string& text, std::string_view prefix);

// A directory entry's 18 name bytes, a NUL shown as a blank.
std::string MenuEntryName(const std::uint8_t* entry);

}  // namespace velwin::cart
