#include "rom/stripped_size.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "fileio/file_error.h"
#include "fileio/page_cache.h"
#include "rom/filler_block.h"

namespace velwin::rom {
namespace {

// The largest piece read at once. Each read() costs a system call and a walk
// of the page cache besides the copy; pieces of half a MiB make those small
// against the copy, and still fit the second-level cache of most processors,
// so the compare that follows the copy finds the bytes close at hand.
constexpr std::int64_t kMaxPiece = 16 * kStripBlock;

// One buffer for every file this thread measures: a fresh one per file would
// cost a page fault for each of its pages the first time it is written. It
// starts on a page, as cat's does: the kernel copies into a buffer 16 bytes
// past a page (where malloc puts a large block) at a fraction of its speed
// on some processors, four to five times slower on the one measured.
struct PageAlignedDelete {
  void operator()(std::uint8_t* bytes) const { ::operator delete[](bytes, std::align_val_t{4096}); }
};
std::span<std::uint8_t> PieceBuffer() {
  thread_local const std::unique_ptr<std::uint8_t[], PageAlignedDelete> buffer(
      static_cast<std::uint8_t*>(
          ::operator new[](static_cast<std::size_t>(kMaxPiece), std::align_val_t{4096})));
  return {buffer.get(), static_cast<std::size_t>(kMaxPiece)};
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
  //
  // The file is read backwards in pieces of whole blocks. The first piece is
  // the last block alone, since most ROMs have no filler at all; each later
  // piece is as long as the filler already found, up to kMaxPiece, so a piece
  // never reads much more than the filler it may turn out to hold.
  const std::span<std::uint8_t> buffer = PieceBuffer();
  std::optional<std::uint8_t> filler;
  // Reads [from, to) and compares its blocks from the top down; the stripped
  // size once one of them is not all filler.
  const auto scan = [&](std::int64_t from, std::int64_t to) -> std::optional<std::int64_t> {
    const auto count = static_cast<std::size_t>(to - from);
    if (file.ReadAt(from, std::span(buffer.data(), count)) != count)
      throw fileio::FileError(EIO, file.Path());  // the file shrank under us
    bytesRead += count;
    std::int64_t blockEnd = to;
    for (std::int64_t blockStart = (to - 1) / kStripBlock * kStripBlock; blockStart >= from;
         blockEnd = blockStart, blockStart -= kStripBlock) {
      const auto length = static_cast<std::size_t>(blockEnd - blockStart);
      // The piece is in the program's own buffer: a plain compare.
      if (!IsFillerBlock(buffer.data() + (blockStart - from), length, filler))
        return blockStart + kStripBlock;
    }
    return std::nullopt;
  };

  const int fd = file.NativeHandle();
  std::int64_t end = size;  // everything from here on is filler
  std::int64_t piece = kStripBlock;
  while (end > kStripBlock) {
    const std::int64_t lastBlock = (end - 1) / kStripBlock * kStripBlock;
    const std::int64_t start = std::max(kStripBlock, lastBlock + kStripBlock - piece);
    // The kernel reads ahead only forwards, so on a file not cached yet every
    // piece would wait for the disk in turn. The piece below is asked for
    // together with this one, and arrives while this one is compared.
    if (!fileio::ByteInPageCache(fd, start)) {
      const std::int64_t below = std::max(kStripBlock, start - piece);
      ::posix_fadvise(fd, below, end - below, POSIX_FADV_WILLNEED);
    }
    // The piece's top block first, on its own: filler often begins at a
    // round address, and then that block is all of the piece to read.
    if (const auto found = scan(lastBlock, end))
      return *found;
    if (start < lastBlock) {
      if (const auto found = scan(start, lastBlock))
        return *found;
    }
    end = start;
    piece = std::clamp((size - end) / kStripBlock * kStripBlock, piece, kMaxPiece);
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
