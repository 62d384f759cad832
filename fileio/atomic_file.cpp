#include "fileio/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "fileio/file_error.h"

namespace velwin::fileio {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void ThrowErrno() {
  throw FileError(errno);
}

// Some file systems (and pipes) cannot flush; that is no reason to fail.
void SyncOrThrow(int fd) {
  if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
    ThrowErrno();
}

// The rename lives in the folder's entry list: flush the folder too, or a
// power cut can bring back the old name.
void SyncFolderOf(const std::string& path) {
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty())
    folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    ThrowErrno();
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
  const int err = errno;
  ::close(fd);
  if (!synced)
    throw FileError(err);
}

// Follows a symbolic link (also a dangling one: the save creates the file it
// names), so the link itself stays in place.
std::string ResolvedTarget(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec))
    return path;
  const fs::path resolved = fs::weakly_canonical(path, ec);
  return ec ? path : resolved.string();
}

// The permission bits of the file to be replaced, nothing for a new file.
// Refuses what a plain create would refuse.
std::optional<mode_t> ExistingMode(const std::string& target, bool& isDevice) {
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno == ENOENT)
      return std::nullopt;
    ThrowErrno();
  }
  if (S_ISDIR(st.st_mode))
    throw FileError(EISDIR);
  if (S_ISCHR(st.st_mode)) {
    isDevice = true;
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode))
    throw FileError(EACCES);
  // A backup the user made read-only stays protected, as it would be
  // against an open for writing.
  if (::access(target.c_str(), W_OK) != 0)
    ThrowErrno();
  return st.st_mode & 07777;
}

}  // namespace

std::string AtomicFile::TempPathFor(const std::string& target) {
  const fs::path path(target);
  // Built by appending: GCC 12 warns falsely (-Wrestrict) about "." + name.
  std::string name(1, '.');
  name.append(path.filename().string()).append(".velwin-tmp");
  return (path.parent_path() / name).string();
}

void AtomicFile::RemoveLeftover(const std::string& path) {
  ::unlink(TempPathFor(ResolvedTarget(path)).c_str());
}

AtomicFile AtomicFile::Begin(const std::string& path) {
  std::string target = ResolvedTarget(path);
  bool isDevice = false;
  const std::optional<mode_t> mode = ExistingMode(target, isDevice);
  if (isDevice) {
    ByteFile device = ByteFile::Create(target);
    return AtomicFile(std::move(target), {}, std::move(device));
  }

  std::string temp = TempPathFor(target);
  // What an earlier, killed save of this target left behind.
  ::unlink(temp.c_str());
  ByteFile file = ByteFile::Create(temp);
  AtomicFile atomic(std::move(target), std::move(temp), std::move(file));
  if (mode && ::fchmod(atomic.file_.NativeHandle(), *mode) != 0)
    ThrowErrno();
  return atomic;
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::exchange(other.temp_, {})),
      file_(std::move(other.file_)),
      done_(std::exchange(other.done_, true)) {}

AtomicFile::~AtomicFile() {
  if (done_ || temp_.empty())
    return;
  ::unlink(temp_.c_str());
}

void AtomicFile::Commit() {
  if (temp_.empty()) {
    file_.Close();
    done_ = true;
    return;
  }
  SyncOrThrow(file_.NativeHandle());
  file_.Close();
  if (std::rename(temp_.c_str(), target_.c_str()) != 0)
    ThrowErrno();
  done_ = true;
  SyncFolderOf(target_);
}

}  // namespace velwin::fileio
