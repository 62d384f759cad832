#include "mainwindow/rom/stripped_size.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "fileio/file_error.h"
#include "mainwindow/rom/rom_analysis.h"

namespace velwin::rom {
namespace {

// Whether all count bytes (at least one) equal value: the first does and
// each equals the next. Comparing the block with itself shifted by one
// lets the library's vectorised memcmp run over one stream of bytes.
bool AllBytesAre(const std::uint8_t* bytes, std::size_t count, std::uint8_t value) {
  return bytes[0] == value && std::memcmp(bytes, bytes + 1, count - 1) == 0;
}

// The kernel reads ahead only forwards, so a backward scan of a file that is
// not cached yet would wait for the disk at every block. Ask for the blocks
// below in advance, in windows that grow with the filler already seen: a
// ROM with little filler costs little more disk reading than it needs.
void PrefetchBelow(fileio::ByteFile& file, std::int64_t end, std::int64_t fillerSeen,
                   std::int64_t& prefetchedFrom) {
  if (end > prefetchedFrom)
    return;
  const std::int64_t window =
      std::clamp<std::int64_t>(fillerSeen, 4 * kStripBlock, 64 * kStripBlock);
  prefetchedFrom = std::max<std::int64_t>(kStripBlock, end - window);
  ::posix_fadvise(file.NativeHandle(), prefetchedFrom, end - prefetchedFrom, POSIX_FADV_WILLNEED);
}

}  // namespace

std::int64_t StrippedSizeOf(fileio::ByteFile& file, std::int64_t size, std::uint64_t& bytesRead) {
  // Nothing follows the first block: there is no filler to strip.
  if (size <= kStripBlock)
    return kStripBlock;

  // Walking forward from block 1 and restarting after every block that is not
  // filler reads the tail again and again; a ROM of one value ending in a
  // different byte would cost the square of its length. From the end, the
  // filler value is known at once (the last byte), and the first block met
  // that holds anything else decides the result.
  const auto block = static_cast<std::size_t>(kStripBlock);
  std::vector<std::uint8_t> chunk(block);
  bool haveFiller = false;
  std::uint8_t filler = 0;
  std::int64_t blockStart = (size - 1) / kStripBlock * kStripBlock;
  std::int64_t blockEnd = size;
  std::int64_t prefetchedFrom = size;
  for (; blockStart >= kStripBlock; blockEnd = blockStart, blockStart -= kStripBlock) {
    PrefetchBelow(file, blockEnd, size - blockEnd, prefetchedFrom);
    const auto want = static_cast<std::size_t>(blockEnd - blockStart);
    const std::size_t got = file.ReadAt(blockStart, std::span(chunk.data(), want));
    bytesRead += got;
    if (got != want)
      throw fileio::FileError(EIO);  // the file shrank under us
    if (!haveFiller) {
      filler = chunk[want - 1];
      haveFiller = true;
    }
    if (!AllBytesAre(chunk.data(), want, filler))
      return blockStart + kStripBlock;
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
