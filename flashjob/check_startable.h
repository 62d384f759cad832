#pragma once

#include <string>
#include <system_error>

namespace velwin::flash {

// Why program, taken relative to workingDirectory, cannot be started, as far
// as its file tells: not there, a directory or other non-regular file, or
// without permission to run it. Empty when it looks startable. Lets a
// launcher that learns nothing from the start itself still say why.
std::error_code CheckStartable(const std::string& program, const std::string& workingDirectory);

}  // namespace velwin::flash
