#pragma once

#include <string>
#include <vector>

namespace velwin::cli {

// A command's arguments: the words after the command word.
using Arguments = std::vector<std::string>;

}  // namespace velwin::cli
