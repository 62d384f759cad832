#include "fileio/byte_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "fileio/file_error.h"

namespace velwin::fileio {
namespace {

[[noreturn]] void ThrowErrno(const std::string& path) {
  throw FileError(errno, path);
}

// Opens without blocking (a FIFO would otherwise wait for a writer), then
// insists on the kind of file the caller may use.
int OpenChecked(const std::string& path, int flags, bool allowCharDevice) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0)
    ThrowErrno(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    throw FileError(err, path);
  }
  const bool usable = S_ISREG(st.st_mode) || (allowCharDevice && S_ISCHR(st.st_mode));
  if (!usable) {
    ::close(fd);
    throw FileError(S_ISDIR(st.st_mode) ? EISDIR : EACCES, path);
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) < 0) {
    const int err = errno;
    ::close(fd);
    throw FileError(err, path);
  }
  return fd;
}

// Repeats a read or write call until size bytes have moved or the call moves
// nothing (the end of the file, or no room left). Interrupted calls are
// retried; a full disk either ends the loop with a short count or throws,
// as the caller asks; every other failure throws.
enum class OnNoSpace { kStop, kThrow };

template <typename Call>
std::size_t Repeat(const std::string& path, std::size_t size, OnNoSpace onNoSpace, Call call) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = call(done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      if (onNoSpace == OnNoSpace::kStop && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
        break;
      ThrowErrno(path);
    }
    if (n == 0)
      break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

off_t At(std::int64_t offset, std::size_t done) {
  return static_cast<off_t>(offset + static_cast<std::int64_t>(done));
}

}  // namespace

ByteFile ByteFile::Open(const std::string& path, Access access) {
  const int flags = access == Access::kRead ? O_RDONLY : O_RDWR;
  return ByteFile(OpenChecked(path, flags, false), path);
}

ByteFile ByteFile::Create(const std::string& path) {
  return ByteFile(OpenChecked(path, O_WRONLY | O_CREAT | O_TRUNC, true), path);
}

ByteFile::ByteFile(ByteFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      errorName_(std::move(other.errorName_)) {}

ByteFile& ByteFile::operator=(ByteFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    errorName_ = std::move(other.errorName_);
  }
  return *this;
}

ByteFile::~ByteFile() {
  if (fd_ >= 0)
    ::close(fd_);
}

std::int64_t ByteFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0)
    ThrowErrno(ErrorName());
  return static_cast<std::int64_t>(st.st_size);
}

std::size_t ByteFile::Read(std::span<std::uint8_t> buffer) {
  return Repeat(ErrorName(), buffer.size(), OnNoSpace::kThrow, [&](std::size_t done) {
    return ::read(fd_, buffer.data() + done, buffer.size() - done);
  });
}

std::size_t ByteFile::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) {
  return Repeat(ErrorName(), buffer.size(), OnNoSpace::kThrow, [&](std::size_t done) {
    return ::pread(fd_, buffer.data() + done, buffer.size() - done, At(offset, done));
  });
}

std::size_t ByteFile::WriteSome(std::span<const std::uint8_t> bytes) {
  return Repeat(ErrorName(), bytes.size(), OnNoSpace::kStop, [&](std::size_t done) {
    return ::write(fd_, bytes.data() + done, bytes.size() - done);
  });
}

void ByteFile::Write(std::span<const std::uint8_t> bytes) {
  if (WriteSome(bytes) != bytes.size())
    throw FileError(ENOSPC, ErrorName());
}

void ByteFile::WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes) {
  const std::size_t written =
      Repeat(ErrorName(), bytes.size(), OnNoSpace::kThrow, [&](std::size_t done) {
        return ::pwrite(fd_, bytes.data() + done, bytes.size() - done, At(offset, done));
      });
  if (written != bytes.size())
    throw FileError(ENOSPC, ErrorName());
}

void ByteFile::Seek(std::int64_t offset) {
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
    ThrowErrno(ErrorName());
}

void ByteFile::Close() {
  const int fd = std::exchange(fd_, -1);
  if (fd >= 0 && ::close(fd) != 0)
    ThrowErrno(ErrorName());
}

}  // namespace velwin::fileio
