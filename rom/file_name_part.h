#pragma once

#include <string>

namespace velwin::rom {

// The file-name part of a path: the text after the platform's last path
// separator ('/' here; '\\', '/' and ':' on Windows).
std::string FileNamePart(const std::string& path);

}  // namespace velwin::rom
