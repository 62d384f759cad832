#include "encoding/windows1252.h"

#include <array>
#include <cstdint>

#include "encoding/utf8.h"

namespace velwin::encoding {
namespace {

// Code points of the bytes 0x80..0x9F; the rest of the page equals Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t CodePointOf(std::uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F)
    return kHighControls[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

char ByteFor(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
    return static_cast<char>(cp);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp)
      return static_cast<char>(0x80 + i);
  }
  return '?';
}

// What a byte outside well-formed UTF-8 stands for: the Windows-1252
// character of that number, '?' for the five numbers the page leaves out.
char StrayByte(std::uint8_t byte) {
  const bool undefined =
      byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
  return undefined ? '?' : static_cast<char>(byte);
}

}  // namespace

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes)
    AppendUtf8(out, CodePointOf(static_cast<std::uint8_t>(c)));
  return out;
}

std::string Utf8ToWindows1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Sequence sequence = DecodeUtf8(utf8.substr(i));
    if (sequence.length == 0) {
      out.push_back(StrayByte(static_cast<std::uint8_t>(utf8[i])));
      ++i;
      continue;
    }
    out.push_back(ByteFor(sequence.codePoint));
    i += sequence.length;
  }
  return out;
}

std::string NameToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const Utf8Sequence sequence = DecodeUtf8(bytes.substr(i));
    if (sequence.length == 0) {
      const char stray = StrayByte(static_cast<std::uint8_t>(bytes[i]));
      AppendUtf8(out, CodePointOf(static_cast<std::uint8_t>(stray)));
      ++i;
      continue;
    }
    out.append(bytes.substr(i, sequence.length));
    i += sequence.length;
  }
  return out;
}

}  // namespace velwin::encoding
