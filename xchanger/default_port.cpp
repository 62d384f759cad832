#include "xchanger/default_port.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace velwin::xchanger {

std::string ChooseDefaultPort(const char* environment, bool parport0Exists) {
  if (environment != nullptr && *environment != '\0') {
    return environment;
  }
  return parport0Exists ? "ppdev" : "direct";
}

std::string DefaultPortDescription() {
  std::error_code ignored;
  return ChooseDefaultPort(std::getenv("VELWIN_PORT"),
                           std::filesystem::exists("/dev/parport0", ignored));
}

}  // namespace velwin::xchanger
