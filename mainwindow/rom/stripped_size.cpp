#include "mainwindow/rom/stripped_size.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "fileio/file_error.h"
#include "mainwindow/rom/filler_block.h"

namespace velwin::rom {
namespace {

// The blocks of the file, newest request first, either straight from the
// page cache through a read-only mapping, or copied by read() when the file
// cannot be mapped. A mapping saves copying every byte that is compared;
// the filler of a ROM is most of it.
//
// The kernel reads ahead only forwards, so a backward scan of a file that is
// not cached yet would wait for the disk at every block. The blocks below are
// asked for in advance, in windows that grow with the filler already seen:
// a ROM with little filler costs little more disk reading than it needs.
class BlockSource {
 public:
  BlockSource(fileio::ByteFile& file, std::int64_t size, bool mayMap)
      : file_(file), size_(size), requestedFrom_(size) {
    if (mayMap && std::uint64_t(size) <= SIZE_MAX) {
      void* mapped = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE,
                            file.NativeHandle(), 0);
      if (mapped != MAP_FAILED)
        mapped_ = static_cast<const std::uint8_t*>(mapped);
    }
  }
  BlockSource(const BlockSource&) = delete;
  BlockSource& operator=(const BlockSource&) = delete;
  ~BlockSource() { Unmap(); }

  // The bytes of [start, end); valid until the next call.
  const std::uint8_t* Block(std::int64_t start, std::int64_t end, std::int64_t fillerSeen) {
    RequestBelow(end, fillerSeen);
    if (mapped_ != nullptr)
      return mapped_ + start;
    const auto want = static_cast<std::size_t>(end - start);
    chunk_.resize(static_cast<std::size_t>(kStripBlock));
    if (file_.ReadAt(start, std::span(chunk_.data(), want)) != want)
      throw fileio::FileError(EIO, file_.Path());  // the file shrank under us
    return chunk_.data();
  }

 private:
  void RequestBelow(std::int64_t end, std::int64_t fillerSeen) {
    if (end > requestedFrom_)
      return;
    const std::int64_t window =
        std::clamp<std::int64_t>(fillerSeen, 4 * kStripBlock, 64 * kStripBlock);
    const std::int64_t from = std::max<std::int64_t>(kStripBlock, end - window);
    // A file cut short since it was mapped would raise SIGBUS at the first
    // touch past its new end; the reads report it as an error instead.
    if (mapped_ != nullptr && file_.Size() < size_)
      Unmap();
    // Asking for pages already cached still walks them one by one, which
    // costs as much as comparing them; so ask only when the window's first
    // page is not in the cache.
    if (!IsCached(from))
      ::posix_fadvise(file_.NativeHandle(), from, end - from, POSIX_FADV_WILLNEED);
    requestedFrom_ = from;
  }

  // Whether the byte at offset is in the page cache: a read that may not
  // wait for the disk gets it.
  bool IsCached(std::int64_t offset) const {
    std::uint8_t byte = 0;
    iovec vector{&byte, 1};
    return ::preadv2(file_.NativeHandle(), &vector, 1, offset, RWF_NOWAIT) == 1;
  }

  void Unmap() {
    if (mapped_ != nullptr)
      ::munmap(const_cast<std::uint8_t*>(mapped_), static_cast<std::size_t>(size_));
    mapped_ = nullptr;
  }

  fileio::ByteFile& file_;
  std::int64_t size_;
  const std::uint8_t* mapped_ = nullptr;
  std::vector<std::uint8_t> chunk_;
  std::int64_t requestedFrom_;
};

}  // namespace

std::int64_t StrippedSizeOf(fileio::ByteFile& file, std::int64_t size, std::uint64_t& bytesRead,
                            bool mayMap) {
  // Nothing follows the first block: there is no filler to strip.
  if (size <= kStripBlock)
    return kStripBlock;

  // Walking forward from block 1 and restarting after every block that is not
  // filler reads the tail again and again; a ROM of one value ending in a
  // different byte would cost the square of its length. From the end, the
  // filler value is known at once (the last byte), and the first block met
  // that holds anything else decides the result.
  BlockSource source(file, size, mayMap);
  std::optional<std::uint8_t> filler;
  std::int64_t blockStart = (size - 1) / kStripBlock * kStripBlock;
  std::int64_t blockEnd = size;
  for (; blockStart >= kStripBlock; blockEnd = blockStart, blockStart -= kStripBlock) {
    const std::uint8_t* bytes = source.Block(blockStart, blockEnd, size - blockEnd);
    const auto count = static_cast<std::size_t>(blockEnd - blockStart);
    bytesRead += count;
    switch (CheckFillerBlock(bytes, count, filler)) {
      case FillerBlock::kFiller:
        break;
      case FillerBlock::kNotFiller:
        return blockStart + kStripBlock;
      case FillerBlock::kFileShrank:
        throw fileio::FileError(EIO, file.Path());  // as a read of the shorter file says
    }
  }
  return kStripBlock;
}

std::int64_t StrippedSize(const std::string& path, std::uint64_t* bytesRead) {
  std::uint64_t count = 0;
  std::int64_t result = 0;
  try {
    auto file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
    const std::int64_t stripped = StrippedSizeOf(file, file.Size(), count);
    file.Close();
    result = stripped;
  } catch (const fileio::FileError&) {
    result = 0;
  }
  if (bytesRead != nullptr)
    *bytesRead = count;
  return result;
}

}  // namespace velwin::rom
