#pragma once

#include <string>

namespace velwin::xchanger {

// The description used when the user names none: VELWIN_PORT when set,
// otherwise "ppdev" where a parallel port device exists, else "direct".
std::string DefaultPortDescription();

// The port description to use: the environment's choice when it makes one
// (VELWIN_PORT, even an empty one, which opening then refuses), else ppdev
// where the kernel offers /dev/parport0, else direct port access.
std::string ChooseDefaultPort(const char* environment, bool parport0Exists);

}  // namespace velwin::xchanger
