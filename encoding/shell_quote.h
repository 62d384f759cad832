#pragma once

#include <string>

namespace velwin::encoding {

// path as one word that bash reads back as exactly these bytes, for a
// command line the user pastes: in single quotes ('it'\''s') while the path
// is printable UTF-8, else in $'...' with every control character, stray
// byte and the quote marks written as escapes. The result is plain
// printable text either way, so it survives a terminal and a log unchanged.
std::string ShellQuoted(const std::string& path);

}  // namespace velwin::encoding
