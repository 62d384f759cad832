#include "sram/sram_game_table.h"

namespace velwin::sramman {

std::optional<SramKindInfo> KindInfo(std::uint8_t kind) {
  // A 256 kbit game is accepted only when it starts at bank 11 or below,
  // which is also why the GBPACK scan marks one that would start at bank 12.
  switch (kind) {
    case kSram64k:
      return SramKindInfo{1, "64kbit", "File too small. 64kbit (8kbyte) required", 15};
    case kSram256k:
      return SramKindInfo{4, "256kbit", "File too small. 256kbit (32kbyte) required", 11};
    case kSram1024k:
      return SramKindInfo{16, "1024kbit", "File too small. 1024kbit (128kbyte) required",
                          std::nullopt};
    default:
      return std::nullopt;
  }
}

}  // namespace velwin::sramman
