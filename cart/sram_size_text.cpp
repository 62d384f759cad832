#include "cart/sram_size_text.h"

namespace velwin::cart {

std::string SramSizeText(std::uint8_t ramSizeCode) {
  switch (ramSizeCode) {
    case 0:
      return "0 k";
    case 1:
    case 2:
      return "64 k";
    case 3:
      return "256 k";
    case 4:
      return "1024 k";
    default:
      return "?";
  }
}

std::string MenuSramSizeText(std::uint8_t sramByte) {
  return (sramByte >> 4) == 3 ? "256 k" : "64 k";
}

}  // namespace velwin::cart
