#include "sram/parallel_port_presence.h"

#include <string>
#include <system_error>

namespace velwin::sramman {
namespace {

bool IsPpdevName(const std::string& name) {
  constexpr std::string_view kPrefix = "parport";
  if (!name.starts_with(kPrefix) || name.size() == kPrefix.size())
    return false;
  return name.find_first_not_of("0123456789", kPrefix.size()) == std::string::npos;
}

}  // namespace

bool NeedsParallelPort(const std::string& description) {
  // The simulator's and the demo's errors are about their own keys and
  // files, and a name that is no port at all is a mistake to mend first.
  return description.starts_with("ppdev") || description.starts_with("direct");
}

std::string CliPortError(const std::string& description, const std::string& error,
                         const std::filesystem::path& deviceFolder,
                         const std::filesystem::path& sysctlRoot) {
  if (!NeedsParallelPort(description) || MachineHasParallelPort(deviceFolder, sysctlRoot))
    return error;
  return error + (error.ends_with('.') ? " " : ". ") + kNoParallelPortCliHint;
}

bool MachineHasParallelPort(const std::filesystem::path& deviceFolder,
                            const std::filesystem::path& sysctlRoot) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(deviceFolder, error), end; !error && it != end;
       it.increment(error)) {
    if (IsPpdevName(it->path().filename().string()))
      return true;
  }
  return !xchanger::ListedParportBases(sysctlRoot).empty();
}

}  // namespace velwin::sramman
