#include "flashjob/check_startable.h"

#include <cerrno>
#include <filesystem>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velwin::flash {

std::error_code CheckStartable(const std::string& program, const std::string& workingDirectory) {
  namespace fs = std::filesystem;
  const fs::path path = fs::path(workingDirectory) / program;  // absolute program stays as is
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error)
    return error;
  if (fs::is_directory(status))
    return std::error_code(EISDIR, std::system_category());
  if (!fs::is_regular_file(status))
    return std::error_code(EACCES, std::system_category());
#ifdef _WIN32
    // Windows: whether a file runs is its extension's business, which
    // CreateProcess reports itself.
#else
  // The permission the process actually has, as exec would judge it.
  if (::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) != 0)
    return std::error_code(errno, std::system_category());
#endif
  return {};
}

}  // namespace velwin::flash
