#include "cli/json_text.h"

#include <cstdio>

#include "encoding/utf8.h"
#include "encoding/windows1252.h"

namespace velwin::cli {
// File names on Linux are bytes, and a name need not be UTF-8 (an old
// Latin-1 name often is not). Every byte that does not decode as UTF-8 goes
// out as the escape \udcXX of the lone surrogate U+DC00 + the byte (0x80 to
// 0xFF), the rule Python calls surrogateescape: a reader gets the name's
// exact bytes back from it (os.fsencode), and no two names look alike.
std::string JsonString(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 2);
  out.push_back('"');
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t length = encoding::DecodeUtf8(utf8.substr(i)).length;
    if (length == 0) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\udc%02x", static_cast<unsigned char>(utf8[i]));
      out += escaped;
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(utf8.substr(i, length));
      i += length;
      continue;
    }
    const char c = utf8[i++];
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string JsonString1252(std::string_view bytes) {
  return JsonString(encoding::Windows1252ToUtf8(bytes));
}

}  // namespace velwin::cli
