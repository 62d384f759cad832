#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velwin::app {

// Reads one environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// The value given to the GUI library's option -NAME (or --NAME), empty when
// there is none.
std::string GuiOptionValue(int argc, char* argv[], std::string_view name);
// The -platform option's value.
std::string PlatformOption(int argc, char* argv[]);

// Why no window can open here, as the one line the program ends with, or
// nothing when it can: the GUI library aborts the process on a display it
// cannot reach, with a text that blames the installation. X11 needs DISPLAY,
// Wayland WAYLAND_DISPLAY; the platforms that draw without a display server
// (offscreen, minimal, vnc, linuxfb, eglfs, ...) need neither. platform is
// the -platform option, else QT_QPA_PLATFORM, which may list fallbacks
// separated by ';'.
std::optional<std::string> MissingDisplayText(const EnvironmentLookup& environment,
                                              const std::string& platformOption);

// The same line for a display that is named but does not answer, naming
// what DISPLAY and WAYLAND_DISPLAY hold.
std::string UnreachableDisplayText(const EnvironmentLookup& environment);

}  // namespace velwin::app
