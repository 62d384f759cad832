#pragma once

#include <string>
#include <string_view>

namespace velwin::encoding {

// ROM titles, database names and card directory names are 8-bit text in the
// Windows-1252 code page. These turn such bytes into UTF-8 for Qt and JSON.
// The five code points that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same number, as Windows does.
std::string Windows1252ToUtf8(std::string_view bytes);

// The reverse, for text typed or shown in the windows and for file names;
// characters outside the code page become '?'. A byte that is not part of
// well-formed UTF-8 (an old Latin-1 file name, say) stands for itself as a
// Windows-1252 character, or '?' where the code page has none; decoding goes
// on with the byte after it.
std::string Utf8ToWindows1252(std::string_view utf8);

// Text that should be UTF-8 but need not be (file names, arguments) as
// well-formed UTF-8: every well-formed sequence is kept, every other byte is
// taken as its Windows-1252 character, '?' where the code page has none.
std::string NameToUtf8(std::string_view bytes);

}  // namespace velwin::encoding
