#pragma once

#include <cstdint>
#include <string>

#include "fileio/byte_file.h"

namespace velwin::rom {

// The size of a stripped-size block.
inline constexpr std::int64_t kStripBlock = 32768;

// The stripped size of the file: the smallest multiple P of 32,768, at least
// 32,768, such that every byte from P to the end has one value; 0 when the
// file cannot be read. Works backwards from the end of the file.
// bytesRead, when given, receives the number of bytes it read.
std::int64_t StrippedSize(const std::string& path, std::uint64_t* bytesRead = nullptr);

// The stripped size of an open file of the given size, worked out backwards
// from its end: the filler is the value of the last byte, and the result is
// the block after the last 32 KiB block (past the first) that holds any other
// value. Reads the trailing filler and at most one block more, never the
// first block. Adds what it read to bytesRead. Throws fileio::FileError when
// a read fails or the file turns out shorter than size.
//
// The bytes are compared where they lie in the page cache, through a
// read-only mapping of the file; a file that cannot be mapped, or mayMap
// false, is read with read() instead.
std::int64_t StrippedSizeOf(fileio::ByteFile& file, std::int64_t size, std::uint64_t& bytesRead,
                            bool mayMap = true);

}  // namespace velwin::rom
