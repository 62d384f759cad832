#include "flashjob/job_folder.h"

namespace velwin::flash {
namespace {

bool Absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

}  // namespace

std::string FlashJobFolder(bool fromMenu, const std::string& currentFolder,
                           const EnvironmentLookup& getEnv) {
  // An empty name is a current folder that was removed under the program.
  if (!fromMenu && !currentFolder.empty() && currentFolder != "/")
    return ".";
  if (const char* data = getEnv("XDG_DATA_HOME"); Absolute(data))
    return std::string(data) + "/velwin/veltra";
  if (const char* home = getEnv("HOME"); Absolute(home))
    return std::string(home) + "/.local/share/velwin/veltra";
  // Nowhere better to go: the relative names, wherever that is.
  return ".";
}

}  // namespace velwin::flash
