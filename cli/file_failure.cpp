#include "cli/file_failure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <vector>

#include "encoding/windows1252.h"
#include "fileio/byte_file.h"
#include "fileio/file_error.h"

namespace velwin::cli {
namespace {

// The program opens only regular files, and says "File access denied" for
// anything else; what the path really is tells the user more.
std::string KindOfFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
    return {};
  if (S_ISDIR(st.st_mode))
    return "a directory";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    return "a device, not a file";
  if (S_ISFIFO(st.st_mode))
    return "a pipe, not a file";
  return "not a regular file";
}

std::string PlainerCause(const std::string& path, int systemError) {
  // What the path is explains a refusal; it says nothing about a disk that
  // is full (/dev/full is a device and answers just that).
  if (systemError == EACCES || systemError == EISDIR) {
    if (std::string kind = KindOfFile(path); !kind.empty())
      return kind;
  }
  switch (systemError) {
    case ENOTDIR:
      return "a part of the path is not a directory";
    case EROFS:
      return "a read-only file system";
    case EBUSY:
    case ETXTBSY:
      return "the file is in use";
    case EFBIG:
      return "the file would grow too large";
    case EDQUOT:
      return "the disk quota is used up";
    default:
      break;
  }
  // "I/O error N" says nothing by itself.
  if (fileio::RuntimeText(systemError).starts_with("I/O error"))
    return std::strerror(systemError);
  return {};
}

}  // namespace

std::string FileFailureReason(const std::string& path, int systemError) {
  std::string reason = fileio::RuntimeText(systemError);
  if (const std::string cause = PlainerCause(path, systemError); !cause.empty())
    reason += " (" + cause + ")";
  return reason;
}

std::string AnalysisFailureReason(const std::string& path, int systemError, std::int64_t size) {
  if (systemError != 0)
    return FileFailureReason(path, systemError);
  return "File shorter than a Game Boy header (" + std::to_string(size) + " of 336 bytes)";
}

std::string ShownName(const std::string& name) {
  const std::string utf8 = encoding::NameToUtf8(name);
  std::string shown;
  shown.reserve(utf8.size());
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else {
      constexpr char kHex[] = "0123456789abcdef";
      shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
    }
  }
  return shown;
}

void ReportFileFailure(std::ostream& err, const std::string& path, const std::string& reason) {
  // A reason may name files too (a backup, a folder): shown by the same rule.
  err << "velwin-cli: " << ShownName(path) << ": " << ShownName(reason) << '\n';
}

void ReportFileError(std::ostream& err, const fileio::FileError& error) {
  if (error.path().empty())
    err << "velwin-cli: " << error.what() << '\n';
  else
    ReportFileFailure(err, error.path(), FileFailureReason(error.path(), error.code()));
}

}  // namespace velwin::cli
