#include "xchanger/parport_sysctl.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <string>

namespace velwin::xchanger {

std::optional<std::uint16_t> ParseParportBase(std::string_view text) {
  const auto start = text.find_first_not_of(" \t\n");
  if (start == std::string_view::npos) {
    return std::nullopt;
  }
  unsigned long value = 0;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end == first || value > 0xFFFF) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

std::uint16_t ReadParportBase(const std::filesystem::path& root, int n) {
  if (n < 1) {
    return 0;
  }
  std::ifstream in(root / ("parport" + std::to_string(n - 1)) / "base-addr");
  if (!in) {
    return 0;
  }
  // The entry is a line of two short numbers; anything longer is not it.
  std::string text(64, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return ParseParportBase(text).value_or(0);
}

}  // namespace velwin::xchanger
