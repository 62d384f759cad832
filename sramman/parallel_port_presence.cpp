#include "sramman/parallel_port_presence.h"

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
