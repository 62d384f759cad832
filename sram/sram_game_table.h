#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velwin::sramman {

// How much battery SRAM a listed game uses, as the cart analysis records it.
enum SramKind : std::uint8_t {
  kNoSram = 0,     // no game in this row, or a size the program cannot move
  kSram64k = 1,    // 8 KB, one bank (16 kbit carts use it too)
  kSram256k = 2,   // 32 KB, four banks
  kSram1024k = 3,  // 128 KB, sixteen banks (the Game Boy Camera)
};

// One grid row's game: its SramKind and the cart's SRAM bank it starts at.
struct SramGameEntry {
  std::uint8_t Kind = kNoSram;
  std::uint8_t FirstBank = 0;

  bool operator==(const SramGameEntry&) const = default;
};

// Entry r belongs to grid row r. No cart can list more than 255 games.
using SramGameTable = std::array<SramGameEntry, 256>;

inline constexpr std::size_t kSramBankBytes = 8192;

// What a transfer needs to know about a kind: how many banks to move, the
// size it names in its messages and the highest first bank that still fits.
struct SramKindInfo {
  std::uint8_t bankCount;
  std::string_view sizeText;                  // "64kbit"
  std::string_view tooSmallText;              // the message for a .sav file that is too short
  std::optional<std::uint8_t> lastFirstBank;  // none: no capacity limit
};

// The transfer details of kind 1 to 3; nothing for kind 0 or unknown kinds.
std::optional<SramKindInfo> KindInfo(std::uint8_t kind);

}  // namespace velwin::sramman
