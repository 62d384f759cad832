#include "encoding/utf8.h"

#include <cstdint>

namespace velwin::encoding {

Utf8Sequence DecodeUtf8(std::string_view text) {
  if (text.empty())
    return {};
  const auto lead = static_cast<std::uint8_t>(text[0]);
  if (lead < 0x80)
    return {1, lead};
  std::size_t length = 0;
  char32_t minimum = 0;
  char32_t cp = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, cp = lead & 0x07;
  } else {
    return {};
  }
  if (text.size() < length)
    return {};
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<std::uint8_t>(text[i]);
    if ((next & 0xC0) != 0x80)
      return {};
    cp = (cp << 6) | (next & 0x3F);
  }
  // The shortest form only: an over-long '/' must not sneak past a check for
  // separators, and surrogates only exist in UTF-16.
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return {};
  return {length, cp};
}

}  // namespace velwin::encoding
