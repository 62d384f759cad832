#pragma once

#include <string>
#include <string_view>

namespace velwin::cli {

// A JSON string literal, quotes included, for UTF-8 text or a file name's
// bytes: a byte that is not part of valid UTF-8 becomes \udcXX (U+DC00 +
// the byte), from which the exact bytes can be recovered.
std::string JsonString(std::string_view utf8);

// A JSON string literal for 8-bit Windows-1252 text (ROM titles, names).
std::string JsonString1252(std::string_view bytes);

}  // namespace velwin::cli
