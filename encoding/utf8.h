#pragma once

#include <cstddef>
#include <string_view>

namespace velwin::encoding {

// One well-formed UTF-8 sequence at the start of a text.
struct Utf8Sequence {
  std::size_t length = 0;  // 0 when the text does not start with one
  char32_t codePoint = 0;
};

// Decodes the sequence at the start of text. Over-long forms, surrogates,
// code points above U+10FFFF, stray continuation bytes and sequences cut
// short are not well-formed: they give length 0, and the caller decides what
// the first byte stands for.
Utf8Sequence DecodeUtf8(std::string_view text);

}  // namespace velwin::encoding
