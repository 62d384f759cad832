#include "fileio/file_error.h"

#include <cerrno>

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

FileError::FileError(int systemError)
    : std::runtime_error(RuntimeText(systemError)), code_(systemError) {}

}  // namespace velwin::fileio
