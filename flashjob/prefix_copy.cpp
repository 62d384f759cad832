#include "flashjob/prefix_copy.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <vector>

#include "fileio/file_error.h"

namespace velwin::flash {
namespace {

constexpr std::int64_t kBufferSize = 32768;
// Keeps a single kernel copy well inside what one call may move.
constexpr std::int64_t kKernelChunk = std::int64_t{1} << 30;

// Errors that only say this pair of files cannot be copied inside the
// kernel (another file system, a device, an old kernel), not that the
// copy failed.
bool KernelCopyUnsupported(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == EBADF;
}

}  // namespace

std::int64_t CopyPrefix(fileio::ByteFile& from, fileio::ByteFile& to, std::int64_t length,
                        bool allowKernelCopy) {
  std::int64_t done = 0;
  bool kernelCopy = allowKernelCopy;
  while (kernelCopy && done < length) {
    off_t in = static_cast<off_t>(done);
    off_t out = static_cast<off_t>(done);
    const auto chunk = static_cast<std::size_t>(std::min(length - done, kKernelChunk));
    const ssize_t n =
        ::copy_file_range(from.NativeHandle(), &in, to.NativeHandle(), &out, chunk, 0);
    if (n > 0) {
      done += n;
    } else if (n == 0) {
      return done;  // the source ends before length
    } else if (errno == EINTR) {
      continue;
    } else if (KernelCopyUnsupported(errno)) {
      kernelCopy = false;  // carry on from done through the buffer
    } else {
      // The kernel does not say which side failed: a lack of room is the
      // copy's, anything else is taken for the ROM's (a bad sector, a
      // medium pulled out).
      const int error = errno;
      const bool noRoom = error == ENOSPC || error == EDQUOT || error == EFBIG;
      throw fileio::FileError(error, noRoom ? to.Path() : from.Path());
    }
  }

  std::vector<std::uint8_t> buffer;
  while (done < length) {
    if (buffer.empty())
      buffer.resize(static_cast<std::size_t>(kBufferSize));
    const auto wanted = static_cast<std::size_t>(std::min(length - done, kBufferSize));
    const std::size_t got = from.ReadAt(done, std::span(buffer).first(wanted));
    // Writes exactly what was read; a short write throws "Disk full".
    to.WriteAt(done, std::span(buffer).first(got));
    done += static_cast<std::int64_t>(got);
    if (got < wanted)
      break;
  }
  return done;
}

}  // namespace velwin::flash
