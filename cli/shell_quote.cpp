#include "cli/shell_quote.h"

#include <cstdint>
#include <string_view>

namespace velwin::cli {
namespace {

// The length of the UTF-8 sequence of a printable character at the start
// of text, 0 for a byte that starts none (stray, overlong, a surrogate,
// past U+10FFFF) or for a C1 control, which a terminal would obey.
std::size_t PrintableUtf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80)
    return lead >= 0x20 && lead != 0x7F ? 1 : 0;
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length)
    return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u)
      return 0;
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool invalid = overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF;
  const bool c1Control = code >= 0x80 && code <= 0x9F;
  return invalid || c1Control ? 0 : length;
}

bool AllPrintable(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = PrintableUtf8Length(text.substr(i));
    if (length == 0)
      return false;
    i += length;
  }
  return true;
}

}  // namespace

std::string ShellQuoted(const std::string& path) {
  std::string quoted;
  if (AllPrintable(path)) {
    quoted = "'";
    for (const char c : path)
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  }
  // In $'...' a backslash starts an escape and a quote ends the word; '!'
  // is written as an escape too, so that no history expansion of an
  // interactive shell can touch it.
  constexpr char kHex[] = "0123456789abcdef";
  quoted = "$'";
  const std::string_view text = path;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = PrintableUtf8Length(text.substr(i));
    const char c = text[i];
    if (length > 1) {
      quoted.append(text.substr(i, length));
      i += length;
      continue;
    }
    if (c == '\\' || c == '\'') {
      quoted.append(1, '\\').append(1, c);
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (length == 1 && c != '!') {
      quoted += c;
    } else {
      const auto byte = static_cast<std::uint8_t>(c);
      quoted.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xFu]);
    }
    ++i;
  }
  return quoted + "'";
}

}  // namespace velwin::cli
