#pragma once

#include <string>

namespace velwin::sramman {

#ifdef _WIN32
// Windows: the backslash that separates a path's folders.
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The part of a path before its last separator, without that separator; the
// empty string when the path has none. "c:\saves\zelda.sav" gives
// "c:\saves", "c:\zelda.sav" gives "c:", "zelda.sav" gives "".
std::string DirectoryOf(const std::string& path, char separator = kPathSeparator);

}  // namespace velwin::sramman
