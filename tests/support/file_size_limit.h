#pragma once

#include <sys/resource.h>

#include <functional>
#include <string>

namespace velwin::testing {

// Runs action in a child process whose files may not grow beyond
// limitBytes, with SIGXFSZ ignored, so that writes past the limit fail with
// EFBIG as they would on a full disk. Returns what action returned in the
// child. The limit never touches the test process itself.
std::string RunWithFileSizeLimit(rlim_t limitBytes, const std::function<std::string()>& action);

}  // namespace velwin::testing
