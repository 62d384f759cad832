#include "fileio/page_cache.h"

#include <fcntl.h>
#include <sys/uio.h>

#include "fileio/byte_file.h"
#include "fileio/file_error.h"

namespace velwin::fileio {

bool ByteInPageCache(int fd, std::int64_t offset) {
  std::uint8_t byte = 0;
  iovec vector{&byte, 1};
  return ::preadv2(fd, &vector, 1, offset, RWF_NOWAIT) == 1;
}

bool LooksWhollyCached(const std::string& path) {
  constexpr std::int64_t kStride = std::int64_t{1} << 20;
  try {
    const ByteFile file = ByteFile::Open(path, ByteFile::Access::kRead);
    const std::int64_t size = file.Size();
    for (std::int64_t offset = 0; offset < size; offset += kStride) {
      if (!ByteInPageCache(file.NativeHandle(), offset))
        return false;
    }
    return size == 0 || ByteInPageCache(file.NativeHandle(), size - 1);
  } catch (const FileError&) {
    return false;
  }
}

}  // namespace velwin::fileio
