#include "tests/support/immutable_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <utility>

namespace velwin::testing {
namespace {

bool SetImmutableFlag(const std::filesystem::path& path, bool on) {
  // O_NONBLOCK: a FIFO must not hold the test up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}

}  // namespace

ImmutableFile::ImmutableFile(std::filesystem::path path) : path_(std::move(path)) {
  applied_ = SetImmutableFlag(path_, true);
}

ImmutableFile::~ImmutableFile() {
  if (applied_)
    SetImmutableFlag(path_, false);
}

}  // namespace velwin::testing
