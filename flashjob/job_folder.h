#pragma once

#include <functional>
#include <string>

namespace velwin::flash {

// Reads one environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// The folder the flash job works in: paldmi.tmp is made there, veltra and
// its veltra.ini are looked for there. That is the folder the program was
// started in, ".", when the user chose it by starting the program there.
// A program started from the application menu (its desktop entry says so
// with --from-menu) or at the root of the file system has no such folder:
// its current folder is wherever the desktop started it, the home folder
// or "/". It then works in $XDG_DATA_HOME/velwin/veltra, or
// ~/.local/share/velwin/veltra. currentFolder: the process's current
// folder, absolute.
std::string FlashJobFolder(bool fromMenu, const std::string& currentFolder,
                           const EnvironmentLookup& getEnv);

}  // namespace velwin::flash
