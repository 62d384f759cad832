#include "fileio/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

#include "fileio/file_error.h"

namespace velwin::fileio {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void ThrowErrno() {
  throw FileError(errno);
}

// The folder a file is in, "." for a bare name.
std::string FolderOf(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// Some file systems (and pipes) cannot flush; that is no reason to fail.
// A failure names the folder, as every error of the temporary file does.
void SyncOrThrow(int fd, const std::string& target) {
  if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
    throw FileError(errno, FolderOf(target));
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

constexpr std::string_view kTempSuffix = ".velwin-tmp";
// As the kernel's own limit on links followed while resolving one path.
constexpr int kMostLinksFollowed = 40;

// Follows a symbolic link, also a dangling one (the save creates the file it
// names), so the link itself stays in place. A loop of links is left as it
// is: opening it fails with ELOOP, as a plain create would.
std::string ResolvedTarget(const std::string& path) {
  fs::path current(path);
  std::error_code ec;
  for (int hop = 0; hop < kMostLinksFollowed && fs::is_symlink(current, ec); ++hop) {
    const fs::path next = fs::read_symlink(current, ec);
    if (ec)
      return path;
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return current.string();
}

// A running process of this PID; one of another user counts as running.
bool ProcessRuns(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno != ESRCH;
}

// The writer's PID in a temporary file name ".NAME.PID.velwin-tmp", or 0
// when the name is not one of ours.
pid_t WriterOf(std::string_view name) {
  if (name.size() < 2 || name.front() != '.' || !name.ends_with(kTempSuffix))
    return 0;
  name.remove_suffix(kTempSuffix.size());
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0)
    return 0;
  const std::string_view digits = name.substr(dot + 1);
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0)
    return 0;
  return pid;
}

// Whether the entry is a file this user could have written as a temporary
// file: a plain file of ours. A link or folder of that name, or another
// user's file in a folder both may write, is not ours to remove.
bool OwnFile(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

// Removes the temporary files in folder whose writer is gone; with a target
// name, only those written for it.
void RemoveDeadTemps(const fs::path& folder, const std::string& targetName) {
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const pid_t pid = WriterOf(name);
    if (pid == 0 || ProcessRuns(pid))
      continue;
    const std::string prefix = "." + targetName + ".";
    if (!targetName.empty() && !name.starts_with(prefix))
      continue;
    // A target name with dots of its own could pass the prefix test for
    // another target's temporary file; the PID must follow the prefix.
    if (!targetName.empty() && name.find('.', prefix.size()) != name.size() - kTempSuffix.size()) {
      continue;
    }
    if (OwnFile(it->path()))
      ::unlink(it->path().c_str());
  }
}

// Earlier versions named the temporary file without the PID.
void RemoveUnnumberedTemp(const fs::path& target) {
  std::string name(1, '.');
  name.append(target.filename().string()).append(kTempSuffix);
  if (const fs::path old = target.parent_path() / name; OwnFile(old))
    ::unlink(old.c_str());
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
  name.append(path.filename().string())
      .append(".")
      .append(std::to_string(::getpid()))
      .append(kTempSuffix);
  return (path.parent_path() / name).string();
}

void AtomicFile::RemoveLeftover(const std::string& path) {
  const fs::path target(ResolvedTarget(path));
  RemoveDeadTemps(target.parent_path(), target.filename().string());
  RemoveUnnumberedTemp(target);
}

void AtomicFile::RemoveLeftoversIn(const std::string& folder) {
  RemoveDeadTemps(folder, {});
}

AtomicFile AtomicFile::Begin(const std::string& path) {
  std::string target = ResolvedTarget(path);
  bool isDevice = false;
  const std::optional<mode_t> mode = ExistingMode(target, isDevice);
  if (isDevice) {
    ByteFile device = ByteFile::Create(target);
    return AtomicFile(std::move(target), {}, std::move(device));
  }

  // Whatever killed writers left in the folder goes first, for any target:
  // a killed job's name may never be written again. One look at the folder
  // finds this target's leftovers too.
  RemoveUnnumberedTemp(target);
  RemoveLeftoversIn(fs::path(target).parent_path().string());
  std::string temp = TempPathFor(target);
  // Our own, from an earlier save in this process that could not clean up.
  ::unlink(temp.c_str());
  ByteFile file = ByteFile::Create(temp);
  // The temporary file is removed once a write fails, so a report that
  // named it would name nothing; the folder is where the space ran out.
  file.NameErrorsAfter(FolderOf(target));
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
  SyncOrThrow(file_.NativeHandle(), target_);
  file_.Close();
  if (std::rename(temp_.c_str(), target_.c_str()) != 0)
    ThrowErrno();
  done_ = true;
  SyncFolderOf(target_);
}

void AtomicFile::CommitNew() {
  if (temp_.empty())
    throw FileError(EEXIST, target_);
  SyncOrThrow(file_.NativeHandle(), target_);
  file_.Close();
  // A hard link is made only where no name exists, atomically: two
  // programs racing for one name cannot both win it.
  // File systems without hard links (FAT) get the same promise from a
  // rename that refuses to replace.
  if (::link(temp_.c_str(), target_.c_str()) == 0) {
    ::unlink(temp_.c_str());
  } else if ((errno != EPERM && errno != ENOTSUP) ||
             ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) !=
                 0) {
    ThrowErrno();
  }
  done_ = true;
  SyncFolderOf(target_);
}

}  // namespace velwin::fileio
