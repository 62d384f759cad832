#include "encoding/shell_quote.h"

#include <cstdint>
#include <string_view>

#include "encoding/utf8.h"

namespace velwin::encoding {
namespace {

// The length of the UTF-8 sequence of a printable character at the start
// of text, 0 for a byte that starts none (stray, overlong, a surrogate,
// past U+10FFFF) or for a control character, C1 included, which a terminal
// would obey.
std::size_t PrintableUtf8Length(std::string_view text) {
  const Utf8Sequence sequence = DecodeUtf8(text);
  const char32_t code = sequence.codePoint;
  const bool control = code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
  return sequence.length == 0 || control ? 0 : sequence.length;
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

}  // namespace velwin::encoding
