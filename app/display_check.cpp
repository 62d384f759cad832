#include "app/display_check.h"

#include <string_view>
#include <vector>

namespace velwin::app {
namespace {

bool IsSet(const char* value) {
  return value != nullptr && *value != '\0';
}

std::vector<std::string_view> PlatformNames(std::string_view list) {
  std::vector<std::string_view> names;
  while (!list.empty()) {
    const auto end = list.find(';');
    std::string_view entry = list.substr(0, end);
    // "xcb:option=value": the options follow the name.
    entry = entry.substr(0, entry.find(':'));
    if (!entry.empty())
      names.push_back(entry);
    if (end == std::string_view::npos)
      break;
    list.remove_prefix(end + 1);
  }
  return names;
}

// The display variable a platform of the GUI library connects through;
// empty for the platforms that draw without a display server.
std::string_view DisplayVariableOf(std::string_view platform) {
  if (platform.starts_with("xcb"))
    return "DISPLAY";
  if (platform.starts_with("wayland"))
    return "WAYLAND_DISPLAY";
  return {};
}

std::string NoDisplayLine(const std::string& why) {
  return "velwin: no display to open the window on (" + why +
         "); run it on a desktop, or under a virtual display: xvfb-run -a velwin";
}

}  // namespace

std::string GuiOptionValue(int argc, char* argv[], std::string_view name) {
  for (int i = 1; i + 1 < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--")
      break;
    if (!arg.starts_with('-'))
      continue;
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    if (arg == name)
      return argv[i + 1];
  }
  return {};
}

std::string PlatformOption(int argc, char* argv[]) {
  return GuiOptionValue(argc, argv, "platform");
}

std::optional<std::string> MissingDisplayText(const EnvironmentLookup& environment,
                                              const std::string& platformOption) {
#if defined(_WIN32) || defined(__APPLE__)
  // The desktop is always there.
  (void)environment;
  (void)platformOption;
  return std::nullopt;
#else
  const char* configured = environment("QT_QPA_PLATFORM");
  const std::string platforms =
      !platformOption.empty() ? platformOption : (configured != nullptr ? configured : "");
  const std::vector<std::string_view> names = PlatformNames(platforms);
  std::string missing;
  if (names.empty()) {
    // The library's own choice: Wayland where a compositor is named, else
    // X11.
    if (IsSet(environment("DISPLAY")) || IsSet(environment("WAYLAND_DISPLAY")))
      return std::nullopt;
    missing = "neither DISPLAY nor WAYLAND_DISPLAY is set";
  } else {
    // The library tries the platforms in turn: one that can start is
    // enough.
    for (const std::string_view name : names) {
      const std::string_view variable = DisplayVariableOf(name);
      if (variable.empty() || IsSet(environment(std::string(variable).c_str())))
        return std::nullopt;
      if (missing.empty())
        missing = std::string(variable) + " is not set for the " + std::string(name) + " platform";
    }
  }
  return NoDisplayLine(missing);
#endif
}

std::string UnreachableDisplayText(const EnvironmentLookup& environment) {
  std::string named;
  for (const char* variable : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    if (const char* value = environment(variable); IsSet(value))
      named += std::string(named.empty() ? "" : " or ") + variable + "=" + value;
  }
  return NoDisplayLine(named.empty() ? std::string("the display could not be reached")
                                     : "nothing answers at " + named);
}

}  // namespace velwin::app
