#include "port/parport_sysctl.h"

#include <algorithm>
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

namespace {

std::uint16_t ReadBaseAddr(const std::filesystem::path& port) {
  std::ifstream in(port / "base-addr");
  if (!in) {
    return 0;
  }
  // The entry is a line of two short numbers; anything longer is not it.
  std::string text(64, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return ParseParportBase(text).value_or(0);
}

}  // namespace

std::uint16_t ReadParportBase(const std::filesystem::path& root, int n) {
  if (n < 1) {
    return 0;
  }
  return ReadBaseAddr(root / ("parport" + std::to_string(n - 1)));
}

std::vector<std::uint16_t> ListedParportBases(const std::filesystem::path& root) {
  std::vector<std::uint16_t> bases;
  std::error_code error;
  for (std::filesystem::directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().starts_with("parport")) {
      if (const std::uint16_t base = ReadBaseAddr(it->path()); base != 0) {
        bases.push_back(base);
      }
    }
  }
  return bases;
}

std::uint16_t ReadParportHighBase(const std::filesystem::path& root, std::uint16_t base) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->path().filename().string().starts_with("parport") || ReadBaseAddr(it->path()) != base)
      continue;
    std::ifstream in(it->path() / "base-addr");
    std::string text(64, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    const auto gap = text.find_first_of(" \t", text.find_first_not_of(" \t\n"));
    return gap == std::string::npos ? 0 : ParseParportBase(text.substr(gap)).value_or(0);
  }
  return 0;
}

std::optional<PortModes> ParseParportModes(std::string_view text) {
  PortModes modes;
  bool known = false;
  while (!text.empty()) {
    const auto end = text.find_first_of(", \t\n");
    const std::string_view word = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    for (const std::string_view name : {"PCSPP", "TRISTATE", "COMPAT", "EPP", "ECP", "DMA"}) {
      if (word == name)
        known = true;
    }
    modes.epp = modes.epp || word == "EPP";
    modes.ecp = modes.ecp || word == "ECP";
  }
  return known ? std::optional<PortModes>(modes) : std::nullopt;
}

std::optional<PortModes> ReadParportModes(const std::filesystem::path& root, std::uint16_t base) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->path().filename().string().starts_with("parport") || ReadBaseAddr(it->path()) != base)
      continue;
    std::ifstream in(it->path() / "modes");
    // One short line; a longer entry is not the driver's.
    std::string text(128, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return ParseParportModes(text);
  }
  return std::nullopt;
}

}  // namespace velwin::xchanger
