#include "ips/room_reservation.h"

#include <fcntl.h>
#include <sys/statvfs.h>

#include <cerrno>

#include "fileio/file_error.h"

namespace velwin::ips {
namespace {

#ifdef __linux__
bool IsLackOfRoom(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG;
}
#endif

// Without allocation ahead the free space is the best guess; one block more
// than the growth covers the partial block at the old end.
void CheckFreeSpace(const fileio::ByteFile& file, std::int64_t growth) {
  struct statvfs fs {};
  if (::fstatvfs(file.NativeHandle(), &fs) != 0)
    throw fileio::FileError(errno, file.Path());
  const auto blockSize = static_cast<std::int64_t>(fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize);
  const auto freeBlocks = static_cast<std::int64_t>(fs.f_bavail);
  const std::int64_t neededBlocks = growth / blockSize + 1;
  if (freeBlocks < neededBlocks)
    throw fileio::FileError(ENOSPC, file.Path());
}

}  // namespace

void ReserveRoom(fileio::ByteFile& file, std::int64_t currentSize, std::int64_t newSize) {
  if (newSize <= currentSize)
    return;
  const int fd = file.NativeHandle();
  const std::int64_t growth = newSize - currentSize;
#ifdef __linux__
  int result = 0;
  do {
    result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(currentSize),
                         static_cast<off_t>(growth));
  } while (result != 0 && errno == EINTR);
  if (result == 0)
    return;
  const int error = errno;
  if (IsLackOfRoom(error)) {
    // Some file systems keep what they managed to allocate before running
    // out; hand it back, the file's size never moved.
    ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(currentSize),
                static_cast<off_t>(growth));
    throw fileio::FileError(ENOSPC, file.Path());
  }
  if (error != EOPNOTSUPP && error != ENOSYS)
    throw fileio::FileError(error, file.Path());
#endif
  CheckFreeSpace(file, growth);
}

}  // namespace velwin::ips
