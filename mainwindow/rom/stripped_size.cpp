#include "mainwindow/rom/stripped_size.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "fileio/file_error.h"
#include "mainwindow/rom/rom_analysis.h"

namespace velwin::rom {

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
  std::vector<std::uint8_t> filler;
  std::int64_t blockStart = (size - 1) / kStripBlock * kStripBlock;
  std::int64_t blockEnd = size;
  for (; blockStart >= kStripBlock; blockEnd = blockStart, blockStart -= kStripBlock) {
    const auto want = static_cast<std::size_t>(blockEnd - blockStart);
    const std::size_t got = file.ReadAt(blockStart, std::span(chunk.data(), want));
    bytesRead += got;
    if (got != want)
      throw fileio::FileError(EIO);  // the file shrank under us
    if (filler.empty())
      filler.assign(block, chunk[want - 1]);
    if (std::memcmp(chunk.data(), filler.data(), want) != 0)
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
