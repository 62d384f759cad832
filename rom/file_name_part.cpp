#include "rom/file_name_part.h"

namespace velwin::rom {

std::string FileNamePart(const std::string& path) {
#ifdef _WIN32
  // Windows: a file name follows the last backslash, slash or drive colon.
  const char* const separators = "\\/:";
#else
  const char* const separators = "/";
#endif
  const auto last = path.find_last_of(separators);
  return last == std::string::npos ? path : path.substr(last + 1);
}

}  // namespace velwin::rom
