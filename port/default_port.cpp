#include "port/default_port.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace velwin::xchanger {

std::string ChooseDefaultPort(const char* environment, bool parport0Exists) {
  // Set but empty is a choice too, and an empty port is refused when it is
  // opened: taking it for the default would hide a mistake in the setup.
  if (environment != nullptr)
    return environment;
  return parport0Exists ? "ppdev" : "direct";
}

std::string DefaultPortDescription() {
  std::error_code ignored;
  return ChooseDefaultPort(std::getenv("VELWIN_PORT"),
                           std::filesystem::exists("/dev/parport0", ignored));
}

}  // namespace velwin::xchanger
