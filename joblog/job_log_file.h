#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velwin::joblog {

// Reads one environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// Past this size the log starts afresh and the old one is kept as
// velwin.log.1, so the two never hold much more than twice this.
inline constexpr std::uintmax_t kJobLogLimit = std::uintmax_t{1} << 20;

// $XDG_STATE_HOME/velwin/velwin.log, or ~/.local/state/velwin/velwin.log when
// XDG_STATE_HOME is unset, empty or not absolute (as the XDG rules say);
// empty when HOME is not absolute either.
std::string JobLogPath(const EnvironmentLookup& getEnv);

// Adds text (whole lines) at the end of the log file at path, creating the
// file and its folder. When the file would grow past limit, it is first
// renamed to path + ".1" (an older one there goes). Returns why the text
// could not be added, or an empty string.
std::string AppendToJobLog(const std::string& path, std::string_view text,
                           std::uintmax_t limit = kJobLogLimit);

}  // namespace velwin::joblog
