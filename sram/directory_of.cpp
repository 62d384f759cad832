#include "sram/directory_of.h"

namespace velwin::sramman {

std::string DirectoryOf(const std::string& path, char separator) {
  const auto last = path.rfind(separator);
  return last == std::string::npos ? std::string() : path.substr(0, last);
}

}  // namespace velwin::sramman
