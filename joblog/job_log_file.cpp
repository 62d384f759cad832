#include "joblog/job_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "fileio/file_error.h"

namespace velwin::joblog {
namespace {

constexpr const char* kSubpath = "velwin/velwin.log";

bool Absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

std::string Why(const std::string& path, int error) {
  return path + ": " + fileio::RuntimeText(error);
}

// Closes the descriptor whichever way the append ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  // The close of a file written to can report what the writes could not.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Starts a new log when this text would take the file past the limit. Only
// a regular file is moved aside; anything else in its place is left for the
// open to refuse.
void RotateIfFull(const std::string& path, std::uintmax_t adding, std::uintmax_t limit) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
    return;
  if (static_cast<std::uintmax_t>(st.st_size) + adding <= limit)
    return;
  // Two programs may both find it full: the second rename finds no file,
  // and the text goes into the new one either way.
  std::rename(path.c_str(), (path + ".1").c_str());
}

}  // namespace

std::string JobLogPath(const EnvironmentLookup& getEnv) {
  if (const char* state = getEnv("XDG_STATE_HOME"); Absolute(state))
    return std::string(state) + "/" + kSubpath;
  if (const char* home = getEnv("HOME"); Absolute(home))
    return std::string(home) + "/.local/state/" + kSubpath;
  return {};
}

std::string AppendToJobLog(const std::string& path, std::string_view text, std::uintmax_t limit) {
  if (path.empty())
    return "no folder for the job log: neither XDG_STATE_HOME nor HOME is an absolute path";
  std::error_code folderError;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::filesystem::create_directories(folder, folderError);
  if (folderError)
    return Why(folder.string(), folderError.value());
  RotateIfFull(path, text.size(), limit);
  // Non-blocking, so that a pipe put in the log's place cannot hang the
  // job; no links followed, so the log never writes through one elsewhere.
  Descriptor file(::open(
      path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
  if (file.Get() < 0)
    return Why(path, errno == ELOOP ? EACCES : errno);
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0)
    return Why(path, errno);
  if (!S_ISREG(st.st_mode))
    return path + ": not a regular file";
  // One write per entry: with O_APPEND the entries of two programs writing
  // at once end up one after the other, never mixed.
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(file.Get(), text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return Why(path, errno);
    }
    written += static_cast<std::size_t>(n);
  }
  if (file.Close() != 0)
    return Why(path, errno);
  return {};
}

}  // namespace velwin::joblog
