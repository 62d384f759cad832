#include "fileio/file_error.h"

#include <cerrno>
#include <utility>

namespace velwin::fileio {

std::string RuntimeText(int systemError) {
  switch (systemError) {
    case ENOENT:
    case ENOTDIR:
      return "File not found";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
      return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(systemError);
  }
}

FileError::FileError(int systemError, std::string path)
    : std::runtime_error(RuntimeText(systemError)), code_(systemError), path_(std::move(path)) {}

}  // namespace velwin::fileio
