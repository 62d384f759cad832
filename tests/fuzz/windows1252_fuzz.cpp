// The Windows-1252 conversions over any bytes. Every 8-bit text must come
// out as well-formed UTF-8 and go back unchanged; any byte string taken as
// UTF-8 must give at most one character per byte.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "encoding/windows1252.h"

namespace {

// Well-formed UTF-8: shortest forms only, no surrogates, nothing past
// U+10FFFF.
bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    std::size_t length = 0;
    std::uint32_t cp = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length)
      return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto b = static_cast<std::uint8_t>(text[i + k]);
      if ((b & 0xC0) != 0x80)
        return false;
      cp = cp << 6 | (b & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string utf8 = velwin::encoding::Windows1252ToUtf8(bytes);
  if (!IsUtf8(utf8))
    std::abort();
  if (velwin::encoding::Utf8ToWindows1252(utf8) != bytes)
    std::abort();
  if (velwin::encoding::Utf8ToWindows1252(bytes).size() > size)
    std::abort();
  return 0;
}
